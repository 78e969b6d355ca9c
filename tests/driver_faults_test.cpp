// Faults from outside the dialogue, each in a child process: signals, a
// console pipe closed early, file-size and memory limits, two runs in one
// directory. Every output file is left whole or as it was, never cut.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/driver_e2e_util.h"

namespace {

namespace fs = std::filesystem;

using e2e::kSanitized;

struct Limits {
  rlim_t file_size = RLIM_INFINITY;
  rlim_t address_space = RLIM_INFINITY;
};

// What the caller leaves the program.
struct Caller {
  // Left ignored, as nohup leaves SIGHUP.
  std::vector<int> ignored;
  // Run as nobody when the tests run as root (the directory becomes
  // nobody's), so that permissions count.
  bool unprivileged = false;
};

// The program run in `dir` with its console input from a pipe the test
// writes, its console output into a pipe the test reads (or one a process
// of its own drains), and its error output in dir/stderr.txt.
class Child {
 public:
  Child(const fs::path& dir, bool piped, Limits limits = {}, const Caller& caller = {})
      : dir_(dir) {
    // A write to a child that has ended is the child's business.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2] = {-1, -1};
    if (::pipe(out) != 0) return;
    if (!piped) {
      // Reads and forgets the output, before any other descriptor is open.
      drain_ = ::fork();
      if (drain_ == 0) {
        ::dup2(out[0], 0);
        for (int fd = 3; fd < 1024; ++fd) ::close(fd);
        char buf[4096];
        while (::read(0, buf, sizeof buf) > 0) {
        }
        ::_exit(0);
      }
      ::close(out[0]);
      out[0] = -1;
    }
    if (::pipe(in) != 0) return;
    const std::string dir_name = dir.string();
    const std::string err_name = (dir / "stderr.txt").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Dispositions as a shell would give them, whatever the test runner's.
      for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) ::signal(sig, SIG_DFL);
      for (int sig : caller.ignored) ::signal(sig, SIG_IGN);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      const rlimit fsize{limits.file_size, limits.file_size};
      const rlimit as{limits.address_space, limits.address_space};
      if (::chdir(dir_name.c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &fsize) != 0 ||
          ::setrlimit(RLIMIT_AS, &as) != 0) {
        ::_exit(120);
      }
      const int err = ::open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (caller.unprivileged && ::geteuid() == 0) {
        const auto nobody = e2e::Nobody();
        if (!nobody || ::chown(dir_name.c_str(), nobody->first, nobody->second) != 0 ||
            ::setgroups(0, nullptr) != 0 || ::setgid(nobody->second) != 0 ||
            ::setuid(nobody->first) != 0) {
          ::_exit(122);
        }
      }
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err, 2);
      for (int fd : {in[0], in[1], out[0], out[1], err}) {
        if (fd > 2) ::close(fd);
      }
      ::execl(SUSCEP_BINARY, SUSCEP_BINARY, static_cast<char*>(nullptr));
      ::_exit(121);
    }
    ::close(in[0]);
    in_ = in[1];
    ::close(out[1]);
    if (piped) out_ = out[0];
  }
  ~Child() {
    EndInput();
    CloseOutput();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    // The drain ends with the program's output.
    if (drain_ > 0) ::waitpid(drain_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  void Signal(int sig) { ::kill(pid_, sig); }

  // Stops quietly when the child no longer reads.
  void Send(std::string_view text) {
    while (in_ >= 0 && !text.empty()) {
      const ssize_t n = ::write(in_, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      text.remove_prefix(static_cast<size_t>(n));
    }
  }
  void EndInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
  }
  // Reads the console output until it holds `text`; false at its end.
  bool ReadUntil(const std::string& text) {
    char buf[4096];
    while (out_ >= 0 && seen_.find(text) == std::string::npos) {
      const ssize_t n = ::read(out_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      seen_.append(buf, static_cast<size_t>(n));
    }
    return seen_.find(text) != std::string::npos;
  }
  void CloseOutput() {
    if (out_ >= 0) ::close(out_);
    out_ = -1;
  }
  // The exit status, or 128 + the number of the signal that ended it.
  int Wait() {
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }
  std::string err() const { return e2e::ReadFile(dir_ / "stderr.txt"); }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
  pid_t drain_ = -1;
  int in_ = -1, out_ = -1;
  std::string seen_;
};

constexpr char kFlat[] = "3\n10 0.01\n20 0.01\n30 0.01\n";
constexpr char kOld[] = "the last whole report\r\n";

// Expression 99 with one DIM term and g fixed: a report after 0 iterations,
// cut at the pause inside the report; kRest goes on from there.
constexpr char kToPause[] = "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n1\n-1\n-1\n0\n";
constexpr char kRest[] = "\n-2\n3\n";
constexpr char kPause[] = "Press RETURN key\n";
// The same model, then an HP-GL plot of X vs. T.
constexpr char kPlotRun[] =
    "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n3\n0 40 10\n0 0.02 0.005\n-2\n3\n";

std::string Points300() {
  std::string text = "300\n";
  for (int i = 1; i <= 300; ++i) {
    text += std::to_string(i) + " " + std::to_string(1.0 / i) + "\n";
  }
  return text;
}

// A fresh directory holding `files`.
fs::path Prepare(const std::string& name,
                 const std::vector<std::pair<std::string, std::string>>& files) {
  return e2e::Run(name, "", files).dir;
}

// The names in `dir`, sorted: a stray temporary file shows here.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name != "input.txt" && name != "stdout.txt") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

using NameList = std::vector<std::string>;

// The report and its result file are in place before the pause: a signal
// there keeps the pair just shown.
TEST(DriverFaults, ASignalAtThePauseKeepsTheReportJustShown) {
  const e2e::Result alone =
      e2e::Run("signal_alone", std::string(kToPause) + kRest, {{"t.dat", kFlat}});
  ASSERT_EQ(alone.status, 0) << alone.err;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    const fs::path dir =
        Prepare("signal", {{"t.dat", kFlat}, {"SUSCEP.OUT", kOld}, {"SUSCEP.JSON", kOld}});
    Child child(dir, true);
    ASSERT_TRUE(child.started());
    child.Send(kToPause);
    ASSERT_TRUE(child.ReadUntil(kPause)) << sig;
    child.Signal(sig);
    EXPECT_EQ(child.Wait(), 128 + sig);
    EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.OUT"), alone.File("SUSCEP.OUT")) << sig;
    EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.JSON"), alone.File("SUSCEP.JSON")) << sig;
    EXPECT_EQ(Names(dir), (NameList{"SUSCEP.JSON", "SUSCEP.OUT", "stderr.txt", "t.dat"})) << sig;
  }
}

// The working directory removed while the program runs: the fit and its
// report are shown, then the error.
TEST(DriverFaults, AFitInARemovedDirectoryIsShownBeforeTheError) {
  const fs::path outer = Prepare("removed_dir", {});
  const fs::path wd = outer / "wd";
  fs::create_directory(wd);
  e2e::WriteFile(wd / "t.dat", kFlat);
  Child child(wd, true);
  ASSERT_TRUE(child.started());
  child.Send("t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n1\n-1\n");
  ASSERT_TRUE(child.ReadUntil("Change step No."));
  fs::create_hard_link(wd / "stderr.txt", outer / "wd_stderr.txt");
  fs::remove_all(wd);
  child.Send("0\n\n-2\n3\n");
  child.EndInput();
  EXPECT_TRUE(child.ReadUntil("Solution:"));
  EXPECT_TRUE(child.ReadUntil("        30.00         .01000         .01000         .00000\n"));
  EXPECT_EQ(child.Wait(), 2);
  const std::string err = e2e::ReadFile(outer / "wd_stderr.txt");
  EXPECT_NE(err.find("suscep: run-time error: open error on file SUSCEP.OUT: No such file or "
                     "directory\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("suscep: note: before the fit: open error on file SUSCEP.OUT: No such "
                     "file or directory; the report will be shown on the console"),
            std::string::npos)
      << err;
}

TEST(DriverFaults, ASignalTheCallerIgnoresChangesNothing) {
  for (int sig : {SIGHUP, SIGTERM, SIGINT}) {
    const fs::path dir = Prepare("ignored", {{"t.dat", kFlat}, {"SUSCEP.OUT", kOld}});
    Caller caller;
    caller.ignored = {sig};
    Child child(dir, true, {}, caller);
    ASSERT_TRUE(child.started());
    child.Send(kToPause);
    ASSERT_TRUE(child.ReadUntil(kPause)) << sig;
    child.Signal(sig);
    child.Send(kRest);
    child.EndInput();
    ASSERT_TRUE(child.ReadUntil("Stop - Program terminated.")) << sig;
    EXPECT_EQ(child.Wait(), 0) << sig;
    EXPECT_NE(e2e::ReadFile(dir / "SUSCEP.OUT"), kOld) << sig;
  }
}

TEST(DriverFaults, AReadOnlyReportIsNotReplaced) {
  if (::geteuid() == 0 && !e2e::Nobody()) GTEST_SKIP() << "no user nobody to drop privileges to";
  const fs::path dir = Prepare("read_only", {{"t.dat", kFlat}, {"SUSCEP.OUT", kOld}});
  fs::permissions(dir / "SUSCEP.OUT",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Caller caller;
  caller.unprivileged = true;
  Child child(dir, false, {}, caller);
  ASSERT_TRUE(child.started());
  child.Send(std::string(kToPause) + kRest);
  child.EndInput();
  EXPECT_EQ(child.Wait(), 2);
  EXPECT_EQ(child.err(),
            "suscep: run-time error: open error on file SUSCEP.OUT: Permission denied\n");
  EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.OUT"), kOld);
  EXPECT_EQ(Names(dir), (NameList{"SUSCEP.OUT", "stderr.txt", "t.dat"}));
}

// A new report is made as any new file: the umask decides who may read it.
TEST(DriverFaults, NewFilesFollowTheUmask) {
  const fs::path dir = Prepare("umask", {{"t.dat", kFlat}});
  const mode_t old = ::umask(027);
  {
    Child child(dir, false);
    ASSERT_TRUE(child.started());
    child.Send(std::string(kToPause) + kRest);
    child.EndInput();
    EXPECT_EQ(child.Wait(), 0);
  }
  ::umask(old);
  for (const char* name : {"SUSCEP.OUT", "SUSCEP.JSON"}) {
    EXPECT_EQ(fs::status(dir / name).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << name;
  }
}

TEST(DriverFaults, AConsolePipeClosedEarlyIsAWriteError) {
  // 300 points: the rest of the report is more than one buffer of output.
  const fs::path dir = Prepare("pipe", {{"t.dat", Points300()}, {"SUSCEP.OUT", kOld}});
  Child child(dir, true);
  ASSERT_TRUE(child.started());
  child.Send(kToPause);
  ASSERT_TRUE(child.ReadUntil(kPause));
  child.CloseOutput();
  child.Send(kRest);
  child.EndInput();
  EXPECT_EQ(child.Wait(), 2);
  EXPECT_NE(child.err().find("run-time error: write error on console output"), std::string::npos)
      << child.err();
  // In place before the pause, the report stays.
  EXPECT_NE(e2e::ReadFile(dir / "SUSCEP.OUT"), kOld);
  EXPECT_EQ(Names(dir), (NameList{"SUSCEP.JSON", "SUSCEP.OUT", "stderr.txt", "t.dat"}));
}

// Ten dimer terms of S1 = S2 = 20 with g on 300 points, fitted with a budget
// of 50, up to the start of the fit.
std::string HeavyFit() {
  std::string text = "h.dat\n\nE\n99\nF\n2.0\n10\n8 8 8 8 8 8 8 8 8 8\n1\n";
  for (int k = 1; k <= 10; ++k) text += "20 20\n" + std::to_string(-0.2 * k) + "\nn\n";
  return text + "1\n1\n-1\n-1\n50\n0\n";
}

std::string HeavyData() {
  std::string text = "300\n";
  for (int i = 0; i < 300; ++i) {
    const double t = 2.0 + i;
    text +=
        std::to_string(t) + " " + std::to_string(0.02 / t + 0.001 * (1.0 + 0.01 * (i % 7))) + "\n";
  }
  return text;
}

// Ctrl-C once the fit is over ends the estimate, and again a little later
// the analysis (or, if that is done, the program at the pause): at every
// moment the report and its result file are the old pair or the new one,
// with no temporary file.
TEST(DriverFaults, SignalsAfterAHeavyFitLeaveAConsistentPair) {
  for (int delay_ms : {0, 20, 100, 400}) {
    const fs::path dir =
        Prepare("heavy", {{"h.dat", HeavyData()}, {"SUSCEP.OUT", kOld}, {"SUSCEP.JSON", kOld}});
    Child child(dir, true);
    ASSERT_TRUE(child.started());
    child.Send(HeavyFit());
    ASSERT_TRUE(child.ReadUntil("Iteration is completed.")) << delay_ms;
    child.Signal(SIGINT);
    ::usleep(delay_ms * 1000);
    child.Signal(SIGINT);
    child.Send(kRest);
    child.EndInput();
    child.ReadUntil("never written");
    const int status = child.Wait();
    const std::string report = e2e::ReadFile(dir / "SUSCEP.OUT");
    const std::string result = e2e::ReadFile(dir / "SUSCEP.JSON");
    EXPECT_EQ(report == kOld, result == kOld) << delay_ms;
    if (report != kOld) {
      EXPECT_NE(result.find("\"J-Dimer\""), std::string::npos) << delay_ms;
      EXPECT_NE(report.find(" J-Dimer "), std::string::npos) << delay_ms;
    }
    if (status == 0) {
      // Both stages were stopped, not the program: the notes say which.
      EXPECT_NE(child.err().find("stopped by Ctrl-C"), std::string::npos) << child.err();
      EXPECT_NE(report, kOld);
    } else {
      EXPECT_EQ(status, 128 + SIGINT) << delay_ms << child.err();
    }
    EXPECT_EQ(Names(dir), (NameList{"SUSCEP.JSON", "SUSCEP.OUT", "h.dat", "stderr.txt"}))
        << delay_ms;
  }
}

// A file-size limit stands in for a full disk.
TEST(DriverFaults, AFileSizeLimitIsAWriteErrorAndCutsNothing) {
  const e2e::Result whole = e2e::Run("limit_whole", kPlotRun, {{"t.dat", kFlat}});
  ASSERT_EQ(whole.status, 0) << whole.err;
  // The picture is the larger of the plot's two files: a limit between
  // them stops the picture alone.
  const size_t hgl = whole.File("SUSCEP.HGL").size(), svg = whole.File("SUSCEP.SVG").size();
  ASSERT_GT(hgl, 4096u);
  ASSERT_LT(hgl + 200, svg);
  const struct {
    const char* file;
    std::string input;
    rlim_t limit;
  } cases[] = {{"SUSCEP.OUT", std::string(kToPause) + kRest, 4096},
               {"SUSCEP.HGL", kPlotRun, 4096},
               {"SUSCEP.SVG", kPlotRun, static_cast<rlim_t>(hgl + svg) / 2}};
  for (const auto& c : cases) {
    // A plot's two files are replaced together or not at all: both old ones
    // stay when either new one cannot be written.
    const bool plot = std::string(c.file) != "SUSCEP.OUT";
    const fs::path dir =
        plot ? Prepare("limit", {{"t.dat", kFlat}, {"SUSCEP.HGL", kOld}, {"SUSCEP.SVG", kOld}})
             : Prepare("limit", {{"t.dat", kFlat}, {c.file, kOld}});
    Child child(dir, false, {c.limit, RLIM_INFINITY});
    ASSERT_TRUE(child.started());
    child.Send(c.input);
    child.EndInput();
    EXPECT_EQ(child.Wait(), 2) << c.file;
    EXPECT_NE(child.err().find(std::string("write error on file ") + c.file), std::string::npos)
        << child.err();
    EXPECT_EQ(e2e::ReadFile(dir / c.file), kOld) << c.file;
    if (plot) {
      EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.HGL"), kOld) << c.file;
      EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.SVG"), kOld) << c.file;
      EXPECT_EQ(Names(dir), (NameList{"SUSCEP.HGL", "SUSCEP.SVG", "stderr.txt", "t.dat"}));
    } else {
      EXPECT_EQ(Names(dir), (NameList{c.file, "stderr.txt", "t.dat"}));
    }
  }
}

TEST(DriverFaults, OutOfMemoryIsReportedAndCutsNothing) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
  const std::string chunk(1 << 20, '7');
  {
    // A 100 MB bad answer is reported in two short lines, within 400 MB.
    const fs::path dir = Prepare("memory_answer", {{"t.dat", kFlat}});
    Child child(dir, false, {RLIM_INFINITY, 400u << 20});
    ASSERT_TRUE(child.started());
    child.Send("t.dat\n\nA\n");
    for (int i = 0; i < 100; ++i) child.Send(chunk);
    child.Send("x\n");
    child.EndInput();
    EXPECT_EQ(child.Wait(), 2) << child.err();
    EXPECT_LT(child.err().size(), 300u);
    EXPECT_NE(child.err().find("\"" + std::string(40, '7') + "...\" is not a number"),
              std::string::npos)
        << child.err();
  }
  {
    // An answer too long to hold, at the pause inside the report: a read
    // error; the report just shown, in place before the pause, stays.
    const fs::path dir = Prepare("memory_pause", {{"t.dat", kFlat}, {"SUSCEP.OUT", kOld}});
    Child child(dir, true, {RLIM_INFINITY, 64u << 20});
    ASSERT_TRUE(child.started());
    child.Send(kToPause);
    ASSERT_TRUE(child.ReadUntil(kPause));
    for (int i = 0; i < 200; ++i) child.Send(chunk);
    child.EndInput();
    child.ReadUntil("never written");
    EXPECT_EQ(child.Wait(), 2);
    EXPECT_EQ(child.err(), "suscep: run-time error: read error on console input\n");
    EXPECT_NE(e2e::ReadFile(dir / "SUSCEP.OUT"), kOld);
    EXPECT_EQ(Names(dir), (NameList{"SUSCEP.JSON", "SUSCEP.OUT", "stderr.txt", "t.dat"}));
  }
  {
    // 80 000 ticks typed on each axis: the plotter file has them all, the
    // figure chooses its own, and both are written within 48 MB.
    const fs::path dir =
        Prepare("memory_plot", {{"t.dat", kFlat}, {"SUSCEP.HGL", kOld}, {"SUSCEP.SVG", kOld}});
    Child child(dir, false, {RLIM_INFINITY, 48u << 20});
    ASSERT_TRUE(child.started());
    child.Send(
        "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n3\n0 40 0.0005\n0 0.02 0.00000025\n-2\n3\n");
    child.EndInput();
    EXPECT_EQ(child.Wait(), 0) << child.err();
    EXPECT_GT(e2e::ReadFile(dir / "SUSCEP.HGL").size(), 5000000u);
    const std::string figure = e2e::ReadFile(dir / "SUSCEP.SVG");
    EXPECT_LT(figure.size(), 20000u);
    EXPECT_NE(figure.find(">40<"), std::string::npos);
  }
}

TEST(DriverFaults, TwoRunsInOneDirectoryLeaveOneWholeReport) {
  // B fits g as well: its report is longer than A's. A's pair is in place
  // at its pause, before B starts: B's pair is the last.
  const std::string b_input =
      std::string("t.dat\n\nE\n99\nF\n2\n1\n10\n1\n0.01\n1\n1\n-1\n-1\n0\n") + kRest;
  const e2e::Result alone =
      e2e::Run("two_alone", std::string(kToPause) + kRest, {{"t.dat", kFlat}});
  ASSERT_EQ(alone.status, 0) << alone.err;
  const e2e::Result b_alone = e2e::Run("two_b_alone", b_input, {{"t.dat", kFlat}});
  ASSERT_EQ(b_alone.status, 0) << b_alone.err;
  const fs::path dir = Prepare("two_runs", {{"t.dat", kFlat}});
  Child a(dir, true);
  ASSERT_TRUE(a.started());
  a.Send(kToPause);
  ASSERT_TRUE(a.ReadUntil(kPause));
  EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.OUT"), alone.File("SUSCEP.OUT"));
  {
    Child b(dir, false);
    b.Send(b_input);
    b.EndInput();
    EXPECT_EQ(b.Wait(), 0);
  }
  ASSERT_GT(fs::file_size(dir / "SUSCEP.OUT"), alone.File("SUSCEP.OUT").size());
  a.Send(kRest);
  a.EndInput();
  a.ReadUntil("Stop - Program terminated.");
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.OUT"), b_alone.File("SUSCEP.OUT"));
  EXPECT_EQ(e2e::ReadFile(dir / "SUSCEP.JSON"), b_alone.File("SUSCEP.JSON"));
}

TEST(DriverFaults, PlantedLinksAreReplacedNotFollowed) {
  const fs::path dir = Prepare("links", {{"t.dat", kFlat}, {"victim", "not yours"}});
  for (const char* name : {"SUSCEP.OUT", "SUSCEP.HGL", "SUSCEP.SVG"}) {
    fs::create_symlink("victim", dir / name);
  }
  Child child(dir, false);
  ASSERT_TRUE(child.started());
  child.Send(
      "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n3\n0 40 10\n0 0.02 0.005\n"
      "-1\n-1\n0\n\n0 40 10\n0 0.02 0.005\n-2\n3\n");
  child.EndInput();
  EXPECT_EQ(child.Wait(), 0) << child.err();
  EXPECT_EQ(e2e::ReadFile(dir / "victim"), "not yours");
  for (const char* name : {"SUSCEP.OUT", "SUSCEP.HGL", "SUSCEP.SVG"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / name))) << name;
    EXPECT_GT(fs::file_size(dir / name), 1000u) << name;
  }
}

}  // namespace
