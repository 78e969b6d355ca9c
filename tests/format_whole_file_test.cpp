// Whole files and the signal that ends the program while one is open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "format/whole_file.h"
#include "signals/signals.h"

namespace {

namespace fs = std::filesystem;

// However many files were written before, a signal removes the temporary
// file of the one being written.
TEST(WholeFileSignal, ASignalRemovesTheFileBeingWritten) {
  const fs::path dir = fs::temp_directory_path() / ("suscep_whole_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    signal(SIGTERM, SIG_DFL);
    signals::Install();
    for (int k = 0; k < 20; ++k) {
      format::WriteWholeFile((dir / ("done" + std::to_string(k))).string(), "whole\n");
    }
    format::WholeFile open((dir / "open").string());
    open.Write("half");
    raise(SIGTERM);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.rfind("done", 0), 0u) << name;
    ++files;
  }
  EXPECT_EQ(files, 20);
  fs::remove_all(dir);
}

}  // namespace
