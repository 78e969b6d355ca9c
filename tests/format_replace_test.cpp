// WholeFile replacing a file: what a replaced file keeps, what a typed
// name may be, and what a directory that cannot take a new file says.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format/errors.h"
#include "format/whole_file.h"
#include "tests/device_node.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::string ErrorOf(const std::function<void()>& f) {
  return test_util::ErrorOf<format::RunTimeError>(f);
}

using test_util::ReadFile;

class WholeFileTest : public test_util::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    dir_ = scratch_;
    old_mask_ = ::umask(022);
  }
  void TearDown() override {
    ::umask(old_mask_);
    ScratchDirTest::TearDown();
  }
  struct stat Stat(const fs::path& path) const {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
  }
  fs::path dir_;
  mode_t old_mask_ = 0;
};

TEST_F(WholeFileTest, AReplacedFileKeepsItsPermissionBits) {
  for (const mode_t mode : {0600, 0664, 0640, 0604}) {
    const fs::path path = dir_ / "SUSCEP.OUT";
    format::WriteWholeFile(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    format::WriteWholeFile(path, "new");
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(Stat(path).st_mode & 07777, mode) << std::oct << mode;
  }
  // A new file, and one replacing a link, take the umask.
  const fs::path fresh = dir_ / "SUSCEP.HGL";
  format::WriteWholeFile(fresh, "x");
  EXPECT_EQ(Stat(fresh).st_mode & 07777, 0644u);
  const fs::path target = dir_ / "target";
  format::WriteWholeFile(target, "t");
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  fs::create_symlink(target, dir_ / "SUSCEP.SVG");
  format::WriteWholeFile(dir_ / "SUSCEP.SVG", "svg");
  EXPECT_EQ(Stat(dir_ / "SUSCEP.SVG").st_mode & 07777, 0644u);
  EXPECT_EQ(ReadFile(target), "t");
}

TEST_F(WholeFileTest, AReplacedFileKeepsItsOwnerWhereThatMayBeSet) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
  const fs::path path = dir_ / "SUSCEP.JSON";
  format::WriteWholeFile(path, "old");
  ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  format::WriteWholeFile(path, "new");
  const struct stat st = Stat(path);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(WholeFileTest, AHardLinkKeepsTheOldContents) {
  const fs::path path = dir_ / "SUSCEP.OUT";
  format::WriteWholeFile(path, "old");
  fs::create_hard_link(path, dir_ / "copy");
  format::WriteWholeFile(path, "new");
  EXPECT_EQ(ReadFile(dir_ / "copy"), "old");
  EXPECT_EQ(ReadFile(path), "new");
}

TEST_F(WholeFileTest, ATypedNameThatIsALinkIsRefused) {
  const fs::path target = dir_ / "target";
  format::WriteWholeFile(target, "someone else's");
  const fs::path link = dir_ / "out.svg";
  fs::create_symlink(target, link);
  const std::string message =
      ErrorOf([&] { format::WriteWholeFile(link, "picture", format::AtName::kTypedName); });
  EXPECT_EQ(message, "open error on file " + link.string() + ": a symbolic link, not replaced");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "someone else's");
  // A dangling link too: nothing is created where it points.
  fs::remove(target);
  EXPECT_NE(ErrorOf([&] { format::WriteWholeFile(link, "p", format::AtName::kTypedName); }), "");
  EXPECT_FALSE(fs::exists(target));
  // A plain file is replaced as usual.
  format::WriteWholeFile(dir_ / "plain.svg", "a", format::AtName::kTypedName);
  format::WriteWholeFile(dir_ / "plain.svg", "b", format::AtName::kTypedName);
  EXPECT_EQ(ReadFile(dir_ / "plain.svg"), "b");
  // A device stays refused for both kinds of name.
  const auto null = test_util::DeviceNode(dir_, "null");
  if (!null) GTEST_SKIP() << test_util::kNoDeviceNode;
  for (const auto at : {format::AtName::kOwnFile, format::AtName::kTypedName}) {
    EXPECT_EQ(ErrorOf([&] { format::WriteWholeFile(*null, "p", at); }),
              "open error on file " + *null + ": not a regular file");
    EXPECT_TRUE(fs::is_character_file(*null));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

// Until Commit(), the new contents are under a hidden name beside the file
// (".NAME.XXXXXX"), which listings and globs leave out.
TEST_F(WholeFileTest, TheTemporaryFileIsHiddenBesideTheName) {
  fs::create_directories(dir_ / "sub");
  format::WholeFile file((dir_ / "sub" / "plot.svg").string());
  file.Write("new");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_ / "sub")) {
    names.push_back(e.path().filename().string());
  }
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), std::string(".plot.svg.XXXXXX").size()) << names[0];
  EXPECT_EQ(names[0].rfind(".plot.svg.", 0), 0u) << names[0];
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  file.Commit();
  EXPECT_EQ(ReadFile(dir_ / "sub" / "plot.svg"), "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "sub"), fs::directory_iterator()), 1);
}

// A rename that fails at the end (a directory made at the name meanwhile)
// is a close error on the file, and leaves no temporary file behind.
TEST_F(WholeFileTest, ARenameThatFailsIsAnErrorAndLeavesNothing) {
  const fs::path path = dir_ / "SUSCEP.OUT";
  format::WholeFile file(path.string());
  file.Write("new");
  fs::create_directories(path / "inside");
  EXPECT_EQ(ErrorOf([&] { file.Commit(); }),
            "close error on file " + path.string() + ": Is a directory");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(WholeFileTest, AnEmptyNameIsRefusedByName) {
  EXPECT_EQ(ErrorOf([] { format::WriteWholeFile("", "x"); }), "open error: empty file name");
  EXPECT_EQ(format::CannotReplace(""), "open error: empty file name");
}

TEST_F(WholeFileTest, CannotReplaceSaysWhyAndLeavesNothing) {
  EXPECT_EQ(format::CannotReplace((dir_ / "SUSCEP.OUT").string()), "");
  fs::create_directory(dir_ / "SUSCEP.JSON");
  EXPECT_EQ(format::CannotReplace((dir_ / "SUSCEP.JSON").string()),
            "open error on file " + (dir_ / "SUSCEP.JSON").string() + ": Is a directory");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// In a child that is not root (root may write anywhere): a directory the
// process may not write to is named as the reason, though the file itself
// is writable.
TEST_F(WholeFileTest, ADirectoryThatCannotTakeANewFileIsTheReason) {
  const fs::path path = dir_ / "SUSCEP.HGL";
  format::WriteWholeFile(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(3);
    const std::string message = format::CannotReplace(path.string());
    const bool written =
        ::write(fds[1], message.data(), message.size()) == static_cast<ssize_t>(message.size());
    ::_exit(written ? 0 : 4);
  }
  ::close(fds[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(message, "open error on file " + path.string() +
                         ": cannot create a file in its directory: Permission denied");
  EXPECT_EQ(ReadFile(path), "old");
}

}  // namespace
