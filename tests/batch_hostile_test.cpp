// `suscep fit` against a hostile machine and careless arguments: threads
// that cannot start, a file-size limit, links, devices and pipes at output
// names, a standard output that cannot be written, and the order of its
// messages. Limits and users are set in a forked child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "engine/engine.h"
#include "tests/batch_util.h"

namespace {

namespace fs = std::filesystem;

using batch_test::BatchDir;
using batch_test::Fit;
using batch_test::Outcome;
using batch_test::ReadFile;
using test_util::kThreadSanitizer;

// `body` in a forked child whose exit status is the test's; its standard
// error goes to dir/child_err.txt.
int InChild(const fs::path& dir, const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open((dir / "child_err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(err, 2);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class BatchHostile : public BatchDir {
 protected:
  void SetUp() override {
    MakeDir({});
    const std::string data = ReadFile(fs::path(SUSCEP_SOURCE_DIR) / "examples" / "dnit2.dat");
    for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat"}) {
      std::ofstream(dir_ / name, std::ios::binary) << data;
    }
  }
};

// Threads that cannot be started: the fits run on the calling thread, with a
// note, and every file is fitted.
TEST_F(BatchHostile, JobsFallBackToTheThreadsThatStart) {
  if (kThreadSanitizer) GTEST_SKIP() << "the thread sanitizer needs threads of its own";
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become nobody";
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "no user nobody";
  fs::permissions(dir_, fs::perms::all);
  const int status = InChild(dir_, [&] {
    // One process for the user: this one. No thread can start.
    const rlimit one{1, 1};
    if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0 ||
        ::setrlimit(RLIMIT_NPROC, &one) != 0) {
      return 120;
    }
    const Outcome r = Fit({"--jobs", "8", P("m.json"), P("a.dat"), P("b.dat"), P("c.dat")});
    std::ofstream(dir_ / "err.txt") << r.err;
    return r.status;
  });
  EXPECT_EQ(status, 0) << ReadFile(dir_ / "child_err.txt");
  EXPECT_EQ(ReadFile(dir_ / "err.txt")
                .rfind("suscep fit: note: --jobs 8: a thread could not be started (", 0),
            0u)
      << ReadFile(dir_ / "err.txt");
  EXPECT_NE(ReadFile(dir_ / "err.txt").find("); fitting with 1\n"), std::string::npos);
  for (const char* name : {"a.json", "b.json", "c.json"}) EXPECT_TRUE(fs::exists(dir_ / name));
}

// A file-size limit that the document (some 19 kB) passes and the report
// (some 33 kB) does not: neither file of a data file is put in place alone.
TEST_F(BatchHostile, EachFilesOutputsAreCommittedTogether) {
  for (const rlim_t limit : {25000u}) {
    SCOPED_TRACE(limit);
    const int status = InChild(dir_, [&] {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit size{limit, limit};
      if (::setrlimit(RLIMIT_FSIZE, &size) != 0) return 120;
      return Fit({"--report", P("m.json"), P("a.dat"), P("b.dat")}).status;
    });
    EXPECT_EQ(status, 1);
    for (const char* name : {"a.json", "a.out", "b.json", "b.out"}) {
      EXPECT_FALSE(fs::exists(dir_ / name)) << name;
    }
  }
}

// Links, a pipe, a directory and a device at the output names are refused,
// each for its own data file, and left as they were; two links to one file
// are no clash.
TEST_F(BatchHostile, OutputNamesThatAreNotFilesAreRefused) {
  const fs::path out = dir_ / "o9";
  fs::create_directories(out / "c.json");
  std::ofstream(dir_ / "target") << "kept\n";
  fs::create_symlink(dir_ / "target", out / "a.json");
  fs::create_symlink(dir_ / "target", out / "b.json");
  ASSERT_EQ(::mkfifo((out / "d.json").c_str(), 0600), 0);
  const Outcome r = Fit(
      {"--output-dir", out.string(), P("m.json"), P("a.dat"), P("b.dat"), P("c.dat"), P("d.dat")});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string o = out.string();
  EXPECT_EQ(r.err, "suscep fit: " + P("a.dat") + ": open error on file " + o +
                       "/a.json: a symbolic link, not replaced\n"
                       "suscep fit: " +
                       P("b.dat") + ": open error on file " + o +
                       "/b.json: a symbolic link, not replaced\n"
                       "suscep fit: " +
                       P("c.dat") + ": open error on file " + o +
                       "/c.json: Is a directory\n"
                       "suscep fit: " +
                       P("d.dat") + ": open error on file " + o + "/d.json: not a regular file\n");
  EXPECT_EQ(ReadFile(dir_ / "target"), "kept\n");
  EXPECT_TRUE(fs::is_fifo(out / "d.json"));
  if (::geteuid() == 0) {
    fs::remove(out / "d.json");
    ASSERT_EQ(::mknod((out / "d.json").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    const Outcome device = Fit({"--output-dir", o, P("m.json"), P("d.dat")});
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.err.find("d.json: not a regular file"), std::string::npos) << device.err;
    EXPECT_TRUE(fs::is_character_file(out / "d.json"));
  }
}

// With several jobs the messages come in the order of the files, whichever
// fit ends first.
TEST_F(BatchHostile, MessagesComeInTheOrderOfTheFiles) {
  // A long fit first: the missing file fails long before it ends.
  engine::ModelDescription slow = engine::Template(24);
  slow.fit.iterations = 100000;
  slow.fit.reqmin = 1e-300;
  std::ofstream(dir_ / "slow.json") << engine::ModelText(slow);
  const Outcome r =
      Fit({"--jobs", "2", "--verbose", P("slow.json"), P("a.dat"), P("missing.dat"), P("b.dat")});
  EXPECT_EQ(r.status, 1);
  const std::size_t a = r.err.find("suscep fit: " + P("a.dat") + ":\n");
  const std::size_t missing = r.err.find("cannot open data file '" + P("missing.dat"));
  const std::size_t b = r.err.find("suscep fit: " + P("b.dat") + ":\n");
  ASSERT_NE(missing, std::string::npos) << r.err;
  EXPECT_LT(a, missing) << r.err;
  EXPECT_LT(missing, b) << r.err;
}

// Output that cannot be written is a failure of the run, not of a data file.
TEST_F(BatchHostile, AStandardOutputThatCannotBeWrittenIsStatus3) {
  std::ostream lost(nullptr);
  EXPECT_EQ(Fit({"--template", "24"}, &lost).status, 3);
  const Outcome r = Fit({P("m.json"), P("a.dat")}, &lost);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "suscep fit: write error on standard output\n");
}

}  // namespace
