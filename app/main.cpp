// The program: the dialogue, or the command named by the first argument.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"
#include "driver/command_line.h"
#include "driver/line_editor.h"
#include "driver/session.h"
#include "importer/importer.h"
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
};

// `suscep serve` is the program suscep-serve beside this one (on the PATH
// when this one's place is unknown), run in place of this process.
int Serve(int argc, char* argv[]) {
  std::string path = "suscep-serve";
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    const std::string exe(self, static_cast<std::size_t>(n));
    path = exe.substr(0, exe.find_last_of('/') + 1) + path;
  }
  std::vector<char*> args(argv, argv + argc);
  args.push_back(nullptr);
  if (n > 0) {
    ::execv(path.c_str(), args.data());
  } else {
    ::execvp(path.c_str(), args.data());
  }
  std::cerr << "suscep serve: cannot run " << path << ": " << std::strerror(errno) << std::endl;
  return 2;
}

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
  if (argc > 1 && std::string_view(argv[1]) == "serve") return Serve(argc - 1, argv + 1);
  if (argc > 1) {
    for (const Command& command : kCommands) {
      if (command.name != argv[1]) continue;
      signals::Install();
      return command.main(argc - 1, argv + 1, std::cout, std::cerr);
    }
  }
  return Dialogue(argc, argv);
}
