// Whole files and the signal that ends the program while one is open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "format/errors.h"
#include "format/whole_file.h"
#include "signals/signals.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

// Each test's files in a directory of its own.
class WholeFileSignal : public test_util::ScratchDirTest {};
class WholeFileNames : public test_util::ScratchDirTest {};

// However many files were written before, a signal removes the temporary
// file of the one being written.
TEST_F(WholeFileSignal, ASignalRemovesTheFileBeingWritten) {
  const fs::path dir = scratch_;
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
}

// The window between the clean-up and the end of the program, stretched:
// threads still making files then make none, so none is left behind.
void Pause() {
  const timespec pause{0, 300000000};
  nanosleep(&pause, nullptr);
}

TEST_F(WholeFileSignal, ThreadsMakeNoFileOnceTheCleanUpHasRun) {
  const fs::path dir = scratch_;
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGTERM, SIG_DFL);
    signals::Install();
    format::WriteWholeFile((dir / "first").string(), "whole\n");
    signals::AtSignalEnd(Pause);
    std::atomic<int> made{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&dir, &made, t] {
        for (;;) {
          try {
            format::WholeFile file((dir / ("f" + std::to_string(t))).string());
            file.Write("half");
            ++made;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          } catch (const format::RunTimeError&) {
            std::this_thread::yield();
          }
        }
      });
    }
    while (made.load() < 8) std::this_thread::yield();
    raise(SIGTERM);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"first"});
}

// The temporary name of a name as long as the system allows is no longer.
TEST_F(WholeFileNames, TheLongestNameIsWritten) {
  const fs::path dir = scratch_;
  for (std::size_t length : {247u, 248u, 255u}) {
    const fs::path path = dir / std::string(length, 'n');
    format::WriteWholeFile(path.string(), "whole\n");
    EXPECT_TRUE(fs::exists(path)) << length;
  }
}

// Pieces are gathered, and written once they are large: the file holds
// every byte in order either way, and reads back whole.
TEST(WholeFile, PiecesOfEverySizeKeepTheirOrder) {
  const fs::path path = fs::temp_directory_path() / ("suscep_pieces_" + std::to_string(::getpid()));
  std::string all;
  {
    format::WholeFile file(path.string(), false);
    for (std::size_t size : {10u, 70000u, 5u, 65531u, 65536u, 1u}) {
      const std::string piece(size, static_cast<char>('a' + all.size() % 26));
      file.Write(piece);
      all += piece;
    }
    file.Commit();
  }
  std::string why;
  EXPECT_EQ(format::ReadRegularFile(path.string(), all.size(), why), all);
  EXPECT_EQ(why, "");
  EXPECT_EQ(format::ReadRegularFile(path.string(), all.size() - 1, why), "");
  EXPECT_EQ(why, "larger than " + std::to_string(all.size() - 1) + " bytes");
  fs::remove(path);
}

}  // namespace
