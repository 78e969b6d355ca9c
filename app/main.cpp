// The program: the dialogue, or the command named by the first argument.
#include <unistd.h>

#include <iostream>
#include <string_view>

#include "batch/batch.h"
#include "driver/command_line.h"
#include "driver/line_editor.h"
#include "driver/session.h"
#include "importer/importer.h"
#include "serve/serve.h"
#include "signals/signals.h"

namespace {

// Each command reads its own arguments (argv[0] is its name) and returns
// the exit status.
struct Command {
  std::string_view name;
  int (*main)(int argc, const char* const argv[], std::ostream& out, std::ostream& err);
};

constexpr Command kCommands[] = {
    {"fit", batch::Main},
    {"import", importer::Main},
    {"serve", serve::Main},
};

int Dialogue(int argc, const char* const argv[]) {
  if (const auto status = driver::CommandLine(argc, argv, std::cout, std::cerr)) return *status;
  signals::Install();
  // On a terminal an unreadable answer is asked again; line editing needs
  // the terminal on both sides. Otherwise lines are read as they come.
  const bool typed = isatty(STDIN_FILENO) == 1;
  if (typed && isatty(STDOUT_FILENO) == 1) {
    if (const auto editor = driver::LineEditor::Open()) {
      return driver::Main(editor->in(), editor->out(), std::cerr, true);
    }
  }
  return driver::Main(std::cin, std::cout, std::cerr, typed);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc > 1) {
    for (const Command& command : kCommands) {
      if (command.name != argv[1]) continue;
      signals::Install();
      return command.main(argc - 1, argv + 1, std::cout, std::cerr);
    }
  }
  return Dialogue(argc, argv);
}
