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

int main(int argc, char* argv[]) {
  if (argc > 1 && std::string_view(argv[1]) == "fit") {
    signals::Install();
    return batch::Main(argc - 1, argv + 1, std::cout, std::cerr);
  }
  if (argc > 1 && std::string_view(argv[1]) == "import") {
    signals::Install();
    return importer::Main(argc - 1, argv + 1, std::cout, std::cerr);
  }
  if (argc > 1 && std::string_view(argv[1]) == "serve") {
    signals::Install();
    return serve::Main(argc - 1, argv + 1, std::cout, std::cerr);
  }
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
