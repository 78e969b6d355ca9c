// The program on a terminal (a pseudo-terminal here): answers asked again,
// Ctrl-C during a fit, and the command line.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver/command_line.h"
#include "tests/device_node.h"
#include "tests/driver_e2e_util.h"

namespace {

namespace fs = std::filesystem;

// The program started on a pseudo-terminal in a fresh directory that
// holds dnit2.dat; the test types answers and reads what the terminal
// shows.
// How the program is started on the terminal.
struct Start {
  std::vector<std::pair<const char*, const char*>> env;
  std::vector<int> ignored;  // signals the caller ignores
  // Through /bin/sh -c with this script ($SUSCEP is the program), instead
  // of the program alone.
  std::string shell;
  // Under a stand-in for a job-control shell: the program is a job of its
  // own; when it stops, the terminal's echo is reported and it is continued.
  bool job_control = false;
  // As the user nobody when the tests run as root.
  bool unprivileged = false;
  // Standard error into this file of the directory, not the terminal.
  std::string err_file;
  // An address-space limit in bytes (0: none).
  rlim_t memory = 0;
};

Start WithLocale(const char* locale) {
  Start s;
  s.env = {{"LC_ALL", locale}};
  return s;
}

class Terminal {
 public:
  explicit Terminal(const std::string& name, const Start& start = {}) {
    dir_ = fs::temp_directory_path() / ("suscep_tty_" + std::to_string(::getpid())) / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    e2e::WriteFile(dir_ / "dnit2.dat", e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/dnit2.dat"));
    const auto nobody = e2e::Nobody();
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      setenv("TERM", "xterm", 1);
      setenv("SUSCEP", SUSCEP_BINARY, 1);
      for (const auto& [name, value] : start.env) setenv(name, value, 1);
      for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGTTOU}) signal(sig, SIG_DFL);
      for (int sig : start.ignored) signal(sig, SIG_IGN);
      if (start.unprivileged && geteuid() == 0) {
        if (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->second) != 0 ||
            setuid(nobody->first) != 0) {
          _exit(126);
        }
      }
      if (!start.err_file.empty()) {
        const int err = open(start.err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || dup2(err, STDERR_FILENO) < 0) _exit(121);
        close(err);
      }
      if (start.job_control) JobControl();
      if (!start.shell.empty()) {
        execl("/bin/sh", "sh", "-c", start.shell.c_str(), static_cast<char*>(nullptr));
      }
      const rlimit as{start.memory, start.memory};
      if (start.memory != 0 && setrlimit(RLIMIT_AS, &as) != 0) _exit(127);
      execl(SUSCEP_BINARY, "suscep", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    std::error_code ec;
    fs::remove_all(dir_.parent_path(), ec);
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  int master() const { return master_; }
  // The program started by the shell of Start::shell, once it runs.
  pid_t Program() const {
    for (;;) {
      for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string stat = e2e::ReadFile(e.path() / "stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.find("(suscep)") == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == pid_) return std::stoi(e.path().filename().string());
      }
      usleep(1000);
    }
  }
  // True once the program waits in a write (its output is not read).
  static bool BlockedInWrite(pid_t pid) {
    const std::string call = e2e::ReadFile("/proc/" + std::to_string(pid) + "/syscall");
    return call.compare(0, std::to_string(SYS_write).size() + 1, std::to_string(SYS_write) + " ") ==
           0;
  }
  // The terminal's settings (those of the program's side).
  termios Settings() const {
    termios t{};
    tcgetattr(master_, &t);
    return t;
  }
  // Waits until the line editor has the terminal (no echo): keys typed from
  // here on reach it, and none is flushed by a signal key.
  void WaitForEditing() const {
    while ((Settings().c_lflag & ECHO) != 0) usleep(1000);
  }
  // Hangs the terminal up: the program's reads fail from here on.
  void Hangup() {
    close(master_);
    master_ = -1;
  }
  const fs::path& dir() const { return dir_; }
  // Everything the terminal has shown so far.
  const std::string& shown() const { return shown_; }

  // Reads until `text` shows after what earlier calls found; false if the
  // program ends, stays silent for a minute or writes 16 MB first.
  bool Expect(const std::string& text) {
    for (const std::size_t limit = shown_.size() + (16 << 20); shown_.size() < limit;) {
      const std::size_t at = shown_.find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      if (!ReadSome(60000)) return false;
    }
    return false;
  }
  // Types `keys` (a line needs "\r", as the Enter key sends).
  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  void Answer(const std::string& line) { Type(line + "\r"); }
  // Reads to the end and returns the wait status. A program still running
  // after a minute's silence is ended by SIGKILL, which the status shows.
  int Finish() {
    while (master_ >= 0 && ReadSome(60000)) {
    }
    int status = 0;
    if (silent_) kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    waited_ = true;
    return status;
  }

 private:
  bool ReadSome(int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    const int ready = poll(&p, 1, timeout_ms);
    silent_ = ready == 0;
    if (ready <= 0) return false;
    char buf[4096];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return false;  // EIO once the program has ended
    shown_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  // In the child of forkpty: starts the program as a job of its own in the
  // foreground and goes on as its job-control shell.
  [[noreturn]] static void JobControl() {
    signal(SIGTTOU, SIG_IGN);
    int go[2];
    if (pipe(go) != 0) _exit(125);
    const pid_t job = fork();
    if (job == 0) {
      char c;
      close(go[1]);
      if (read(go[0], &c, 1) != 1) _exit(124);
      signal(SIGTTOU, SIG_DFL);
      execl(SUSCEP_BINARY, "suscep", static_cast<char*>(nullptr));
      _exit(127);
    }
    setpgid(job, job);
    tcsetpgrp(STDIN_FILENO, job);
    if (write(go[1], "g", 1) != 1) _exit(124);
    for (;;) {
      int status = 0;
      if (waitpid(job, &status, WUNTRACED) != job) _exit(123);
      if (!WIFSTOPPED(status))
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
      tcsetpgrp(STDIN_FILENO, getpgrp());
      termios t{};
      tcgetattr(STDIN_FILENO, &t);
      const char* note =
          (t.c_lflag & ECHO) != 0 ? "\r\n[stopped: echo on]\r\n" : "\r\n[stopped: echo off]\r\n";
      if (write(STDOUT_FILENO, note, std::strlen(note)) < 0) _exit(122);
      tcsetpgrp(STDIN_FILENO, job);
      kill(-job, SIGCONT);
    }
  }

  fs::path dir_;
  pid_t pid_ = -1;
  int master_ = -1;
  bool waited_ = false;
  bool silent_ = false;  // the last read found nothing for its whole time
  std::string shown_;
  std::size_t seen_ = 0;
};

// The answers of examples/dnit2-answers.txt up to J-BB.
const char* const kUpToJ[] = {"dnit2.dat", "", "C", "0.5", "F", "2.0"};

// The report block from "Solution:" to the L.S. error, line ends dropped;
// `file`: the first character of each line (the control character) too.
std::string Solution(const std::string& text, bool file = false) {
  const std::size_t from = text.find("Solution:");
  const std::size_t to = text.find("L.S. Error", from);
  if (from == std::string::npos || to == std::string::npos) return "";
  std::string block = text.substr(from, text.find('\n', to) - from);
  std::string plain;
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (block[i] != '\r' && !(file && i > 0 && block[i - 1] == '\n')) plain += block[i];
  }
  return plain;
}

TEST(DriverTerminal, AnUnreadableNumberIsAskedAgain) {
  Terminal t("ask_again");
  ASSERT_TRUE(t.started());
  for (const char* a : kUpToJ) t.Answer(a);
  ASSERT_TRUE(t.Expect("Enter Initial value for J-BB"));
  t.Answer("n");
  ASSERT_TRUE(t.Expect("\"n\" is not a number - please answer again"));
  ASSERT_TRUE(t.Expect("Enter Initial value for J-BB"));
  for (const char* a : {"-150", "n", "0.5", "n", "0.99", "1", "1", "-1", "x"}) t.Answer(a);
  ASSERT_TRUE(t.Expect("\"x\" is not an integer - please answer again"));
  ASSERT_TRUE(t.Expect("Change step No."));
  for (const char* a : {"0", "", "-2", "3"}) t.Answer(a);
  ASSERT_TRUE(t.Expect("Stop - Program terminated."));
  const int status = t.Finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // The report is the one of the session typed without mistakes.
  const std::string answers =
      "dnit2.dat\n\nC\n0.5\nF\n2.0\n-150\nn\n0.5\nn\n0.99\n1\n1\n-1\n0\n\n-2\n3\n";
  const std::vector<std::pair<std::string, std::string>> data = {
      {"dnit2.dat", e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/dnit2.dat")}};
  const e2e::Result clean = e2e::Run("tty_clean", answers, data);
  ASSERT_EQ(clean.status, 0);
  EXPECT_EQ(e2e::ReadFile(t.dir() / "SUSCEP.OUT"), clean.File("SUSCEP.OUT"));

  // The same mistake from a pipe still ends the program.
  const e2e::Result piped = e2e::Run("tty_piped", "dnit2.dat\n\nC\n0.5\nF\n2.0\nn\n-150\n", data);
  EXPECT_EQ(piped.status, 2);
  EXPECT_EQ(piped.err,
            "suscep: run-time error: read error on console input: \"n\" is not a number\n"
            "suscep: the answer on line 7 of the input, to \"Enter Initial value for J-BB\"\n");
  EXPECT_EQ(piped.out.find("please answer again"), std::string::npos);
}

// Answers up to the start of a fit that does not converge before its budget
// of 10^8 evaluations (tiny observed values make the L.S. error sums
// overflow, so the vertex values never agree).
void StartLongFit(Terminal& t) {
  for (const char* a : {"dnit2.dat", "", "C", "1e-150", "F", "2.0", "-150", "n", "0.5", "n", "0.99",
                        "1", "1", "-1", "-1", "100000000", "0"}) {
    t.Answer(a);
  }
  ASSERT_TRUE(t.Expect("L.S.Error"));
  ASSERT_TRUE(t.Expect("L.S.Error"));
  ASSERT_TRUE(t.Expect("\n 500 "));  // the count's first blank is the control character
}

TEST(DriverTerminal, CtrlCEndsTheSearchAndTheReportFollows) {
  Terminal t("ctrl_c");
  ASSERT_TRUE(t.started());
  StartLongFit(t);
  t.Type("\x03");
  ASSERT_TRUE(t.Expect("Iteration is completed.  Calculation ESDs"));
  ASSERT_TRUE(t.Expect("Press RETURN key"));
  const std::string console = Solution(t.shown());
  t.Answer("");
  ASSERT_TRUE(t.Expect("Change Parameter No."));
  t.Answer("-2");
  t.Answer("3");
  const int status = t.Finish();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // SUSCEP.OUT is whole and holds the point the console reported.
  const std::string report = e2e::ReadFile(t.dir() / "SUSCEP.OUT");
  ASSERT_FALSE(console.empty());
  EXPECT_EQ(Solution(report, true), console);
  const std::vector<std::string> lines = e2e::Lines(report);
  ASSERT_GT(lines.size(), 302u);
  EXPECT_EQ(lines[lines.size() - 302], "\r");
  EXPECT_EQ(lines[lines.size() - 303], "    Calculated points\r");
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
  // The search had moved from the start before it was stopped.
  EXPECT_EQ(console.find("J-BB     =-1.50000E+02"), std::string::npos);
  // The result file and the note say the fit was stopped, not that it ran out.
  const nlohmann::json result = nlohmann::json::parse(e2e::ReadFile(t.dir() / "SUSCEP.JSON"));
  EXPECT_TRUE(result["fit"]["interrupted"].get<bool>());
  EXPECT_FALSE(result["fit"]["budget_exhausted"].get<bool>());
  EXPECT_NE(t.shown().find("suscep: note: the fit was stopped by Ctrl-C"), std::string::npos);
}

// True while `sig` waits to be handled by the process `pid`.
bool Pending(pid_t pid, int sig) {
  const std::string status = e2e::ReadFile("/proc/" + std::to_string(pid) + "/status");
  for (const std::string field : {"SigPnd:", "ShdPnd:"}) {
    const std::size_t at = status.find(field);
    if (at == std::string::npos) continue;
    const unsigned long long mask = std::stoull(status.substr(at + field.size()), nullptr, 16);
    if ((mask >> (sig - 1)) & 1u) return true;
  }
  return false;
}

// False once the process `pid` has ended.
bool Running(pid_t pid) {
  const std::string stat = e2e::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Each case waits for the program's state, never for time.
TEST(DriverTerminal, ASecondCtrlCOrOneOutsideAFitEndsTheProgram) {
  {
    // Two during the search. The search waits on a stopped terminal
    // (Ctrl-S), so it cannot take the first before the second comes; the
    // second comes once the first is handled.
    Terminal t("ctrl_c_twice");
    ASSERT_TRUE(t.started());
    StartLongFit(t);
    t.Type("\x13");
    while (Running(t.pid()) && !Terminal::BlockedInWrite(t.pid())) usleep(1000);
    ASSERT_TRUE(Terminal::BlockedInWrite(t.pid()));
    kill(t.pid(), SIGINT);
    while (Running(t.pid()) && Pending(t.pid(), SIGINT)) usleep(1000);
    kill(t.pid(), SIGINT);
    const int status = t.Finish();
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_EQ(t.shown().find("Iteration is completed"), std::string::npos)
        << t.shown().substr(t.shown().size() - 300);
    EXPECT_FALSE(fs::exists(t.dir() / "SUSCEP.OUT"));
  }
  {
    // One at the pause in the report, after the fit.
    Terminal t("ctrl_c_pause");
    ASSERT_TRUE(t.started());
    StartLongFit(t);
    t.Type("\x03");
    ASSERT_TRUE(t.Expect("Press RETURN key"));
    t.WaitForEditing();
    t.Type("\x03");
    const int status = t.Finish();
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
  }
  {
    // One at a prompt.
    Terminal t("ctrl_c_prompt");
    ASSERT_TRUE(t.started());
    ASSERT_TRUE(t.Expect("Experimental data file name?"));
    t.Type("dnit\x03");
    const int status = t.Finish();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_FALSE(fs::exists(t.dir() / "SUSCEP.OUT"));
  }
}

// Up to the diamagnetic prompt with "2.5" typed, not yet entered.
void TypeHalfAnAnswer(Terminal& t) {
  for (const char* a : {"dnit2.dat", "", "A"}) t.Answer(a);
  ASSERT_TRUE(t.Expect("Enter diamagnetic correction including -ve sign"));
  t.WaitForEditing();
  t.Type("2.5");
  ASSERT_TRUE(t.Expect("2.5"));
}

// The rest of that answer, and the menu that shows it.
void FinishTheAnswer(Terminal& t) {
  t.Answer("e-4");
  t.Answer("D");
  ASSERT_TRUE(t.Expect("data= 2.500E-04"));
  EXPECT_EQ(t.shown().find("end of input"), std::string::npos);
}

TEST(DriverTerminal, TypedBytesReachTheProgramAsTyped) {
  for (const char* locale : {"C", "C.UTF-8"}) {
    Terminal t(std::string("bytes_") + locale, WithLocale(locale));
    ASSERT_TRUE(t.started());
    e2e::WriteFile(t.dir() / "caf\xE9.dat", e2e::ReadFile(t.dir() / "dnit2.dat"));
    t.Answer("caf\xE9.dat");
    ASSERT_TRUE(t.Expect("See next menu.")) << locale;
    t.Answer("");
    t.Answer("A");
    t.Answer(
        "2\xFF"
        "5\xB7\xE9"
        "0");
    ASSERT_TRUE(t.Expect("\"2\\xFF5\\xB7\\xE90\" is not a number - please answer again")) << locale;
    ASSERT_TRUE(t.Expect("Enter diamagnetic correction including -ve sign")) << locale;
  }
  // UTF-8 typed where the locale is plain ASCII: shown and taken as typed.
  Terminal t("bytes_utf8", WithLocale("C"));
  ASSERT_TRUE(t.started());
  e2e::WriteFile(t.dir() / "caf\xC3\xA9.dat", e2e::ReadFile(t.dir() / "dnit2.dat"));
  t.Answer("caf\xC3\xA9.dat");
  ASSERT_TRUE(t.Expect("caf\xC3\xA9.dat"));
  ASSERT_TRUE(t.Expect("See next menu.")) << t.shown();
}

TEST(DriverTerminal, IgnoredSignalsAtAPromptChangeNothing) {
  Start start;
  start.ignored = {SIGINT, SIGTERM, SIGHUP};
  Terminal t("ignored", start);
  ASSERT_TRUE(t.started());
  TypeHalfAnAnswer(t);
  for (int sig : {SIGHUP, SIGTERM, SIGINT}) kill(t.pid(), sig);
  t.Type("\x03");
  FinishTheAnswer(t);
}

TEST(DriverTerminal, CtrlZWhereItCannotStopChangesNothing) {
  // The program leads its own session: no shell could continue it.
  Terminal t("ctrl_z_orphan");
  ASSERT_TRUE(t.started());
  TypeHalfAnAnswer(t);
  t.Type("\x1a");
  FinishTheAnswer(t);
}

TEST(DriverTerminal, CtrlZUnderJobControlKeepsTheAnswer) {
  Start start;
  start.job_control = true;
  Terminal t("ctrl_z_job", start);
  ASSERT_TRUE(t.started());
  TypeHalfAnAnswer(t);
  t.Type("\x1a");
  // Stopped with the terminal set back, and the line drawn again after.
  ASSERT_TRUE(t.Expect("[stopped: echo on]"));
  ASSERT_TRUE(t.Expect("2.5"));
  // Drawn again once the line editor has the terminal back.
  EXPECT_EQ(t.Settings().c_lflag & ECHO, 0u);
  FinishTheAnswer(t);
}

TEST(DriverTerminal, ASignalEndsTheProgramAloneAndSetsTheTerminalBack) {
  const char* const script =
      "trap 'echo parent trapped' INT; \"$SUSCEP\"; echo \"parent survived $?\"; sleep 60";
  for (int sig : {SIGTERM, SIGHUP, SIGINT, 0}) {
    Start start;
    start.shell = script;
    Terminal t("alone_" + std::to_string(sig), start);
    ASSERT_TRUE(t.started());
    ASSERT_TRUE(t.Expect("Experimental data file name?"));
    // The line editor has the terminal, without echo.
    t.WaitForEditing();
    t.Type("dnit");
    ASSERT_TRUE(t.Expect("dnit"));
    if (sig != 0) {
      kill(t.Program(), sig);
    } else {
      t.Type("\x03");  // to the whole foreground group, the shell too
    }
    ASSERT_TRUE(t.Expect("parent survived " + std::to_string(128 + (sig != 0 ? sig : SIGINT))))
        << sig << t.shown();
    const termios after = t.Settings();
    EXPECT_NE(after.c_lflag & ECHO, 0u) << sig;
    EXPECT_NE(after.c_lflag & ICANON, 0u) << sig;
    EXPECT_FALSE(fs::exists(t.dir() / "SUSCEP.OUT"));
  }
}

TEST(DriverTerminal, CtrlCWhileTheOutputIsBlockedEndsTheSearchOnly) {
  Terminal t("ctrl_c_blocked");
  ASSERT_TRUE(t.started());
  StartLongFit(t);
  if (e2e::ReadFile("/proc/" + std::to_string(t.pid()) + "/syscall").empty()) {
    GTEST_SKIP() << "/proc/PID/syscall cannot be read here";
  }
  // Output stopped (Ctrl-S): the fit's next write waits before its first
  // byte, where a signal would end it with EINTR unless it is restarted.
  t.Type("\x13");
  while (!Terminal::BlockedInWrite(t.pid())) usleep(1000);
  kill(t.pid(), SIGINT);
  t.Type("\x11");
  ASSERT_TRUE(t.Expect("Iteration is completed.  Calculation ESDs"));
  ASSERT_TRUE(t.Expect("Press RETURN key"));
  for (const char* a : {"", "-2", "3"}) t.Answer(a);
  const int status = t.Finish();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << t.shown().substr(t.shown().size() - 300);
  EXPECT_EQ(t.shown().find("write error"), std::string::npos);
}

TEST(DriverTerminal, ADecimalCommaAndOtherMistakesAreAskedAgainWithTheReason) {
  {
    Terminal t("reasons");
    ASSERT_TRUE(t.started());
    for (const char* a : {"dnit2.dat", "", "C", "0,5"}) t.Answer(a);
    ASSERT_TRUE(t.Expect(
        "\"0,5\" holds more than one number; a decimal needs a point, not a comma - please answer "
        "again\r\nEnter the factor\r\n"));
    for (const char* a : {"0.5", "E", "3 4"}) t.Answer(a);
    // An integer: no word of decimals.
    ASSERT_TRUE(t.Expect("\"3 4\" holds more than one number - please answer again\r\n"));
    for (const char* a : {"150", "F", "2.0"}) t.Answer(a);
    ASSERT_TRUE(
        t.Expect("Expression No. 150 is not in the menu: M 0-7 with N 1-9, or 90-99\r\n"
                 "Enter S.No. (1-99) for equation\r\n"));
    for (const char* a : {"2", "F", "2.0"}) t.Answer(a);
    ASSERT_TRUE(t.Expect("Enter Spin (1.0, 1.5, 2.0, or 2.5)"));
    t.Answer("3");
    ASSERT_TRUE(
        t.Expect("The Zero-field terms are for S = 1.0, 1.5, 2.0 or 2.5 only\r\n"
                 "Enter Spin (1.0, 1.5, 2.0, or 2.5)\r\n"));
  }
  {
    Terminal t("reasons_dimer");
    ASSERT_TRUE(t.started());
    for (const char* a : {"dnit2.dat", "", "E", "8", "F", "2.0"}) t.Answer(a);
    ASSERT_TRUE(t.Expect("Enter S1, S2 of dimer"));
    t.Answer("-1 1");
    ASSERT_TRUE(t.Expect("S1 and S2 must lie between 0 and 50\r\nEnter S1, S2 of dimer\r\n"));
  }
  {
    Terminal t("reasons_reqmin");
    ASSERT_TRUE(t.started());
    for (const char* a : kUpToJ) t.Answer(a);
    for (const char* a : {"-150", "n", "0.5", "n", "0.99", "1", "1", "-1", "-2", "0"}) {
      t.Answer(a);
    }
    ASSERT_TRUE(t.Expect("REQMIN must be above 0\r\nEnter REQMIN value for convergence:\r\n"));
  }
  // From a pipe: no reasons, and "0,5" is 0 as before.
  const std::vector<std::pair<std::string, std::string>> data = {
      {"dnit2.dat", e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/dnit2.dat")}};
  const e2e::Result piped =
      e2e::Run("reasons_piped", "dnit2.dat\n\nC\n0,5\nE\n150\nF\n2.0\n24\nD\n", data);
  EXPECT_EQ(piped.status, 2);
  EXPECT_NE(piped.out.find("factor=  .00"), std::string::npos);
  EXPECT_EQ(piped.out.find("please answer again"), std::string::npos);
  EXPECT_EQ(piped.out.find("not in the menu"), std::string::npos);
}

TEST(DriverTerminal, ADataFileThatCannotBeOpenedIsAskedAgain) {
  if (geteuid() == 0 && !e2e::Nobody()) GTEST_SKIP() << "no user nobody to drop privileges to";
  Start start;
  start.unprivileged = true;
  Terminal t("unopened", start);
  ASSERT_TRUE(t.started());
  e2e::WriteFile(t.dir() / "secret.dat", "3\n");
  fs::permissions(t.dir() / "secret.dat", fs::perms::none);
  t.Answer("nosuch.dat");
  ASSERT_TRUE(t.Expect(
      "cannot open data file 'nosuch.dat': No such file or directory - please enter another "
      "name\r\nUNIT 1? "));
  t.Answer("secret.dat");
  ASSERT_TRUE(t.Expect(
      "cannot open data file 'secret.dat': Permission denied - please enter another name\r\n"
      "UNIT 1? "));
  t.Answer("");
  ASSERT_TRUE(t.Expect("File name missing or blank - please enter file name"));
  t.Answer("dnit2.dat");
  ASSERT_TRUE(t.Expect("See next menu.  Press Enter key..."));
}

TEST(DriverTerminal, ThePromptIsRedrawnFromTheStartOfItsLine) {
  Terminal t("redraw");
  ASSERT_TRUE(t.started());
  t.Answer("");
  // The program writes "UNIT 1? ", the editor the same from the line's start.
  ASSERT_TRUE(t.Expect("UNIT 1? \rUNIT 1? "));
  EXPECT_EQ(t.shown().find("UNIT 1? UNIT 1? "), std::string::npos);
}

TEST(DriverTerminal, HistoryHoldsTheAnswersAsEntered) {
  Terminal t("history");
  ASSERT_TRUE(t.started());
  for (const char* a : {"dnit2.dat", "", "A", "3e-4", "B"}) t.Answer(a);
  ASSERT_TRUE(t.Expect("Enter Temperature Independent Paramagnetism value"));
  // A blank answer is read past and kept out of the history: two steps up
  // is "3e-4" ("B" is one step up).
  t.Answer("   ");
  t.Type("\x1b[A\x1b[A\r");
  t.Answer("D");
  ASSERT_TRUE(t.Expect("Susceptibility= 3.000E-04"));
  ASSERT_TRUE(t.Expect("ENTER OPTION (A-G):"));
  // A recalled answer is the one line entered, with no line end of its own:
  // one more letter prompt only.
  const std::size_t before = t.shown().size();
  t.Type("\x1b[A\r");  // "D" again
  ASSERT_TRUE(t.Expect("Susceptibility= 3.000E-04"));
  t.Answer("A");
  ASSERT_TRUE(t.Expect("Enter diamagnetic correction including -ve sign"));
  const std::string after = t.shown().substr(before);
  std::size_t asks = 0;
  for (std::size_t at = after.find("ENTER OPTION"); at != std::string::npos;
       at = after.find("ENTER OPTION", at + 1)) {
    ++asks;
  }
  EXPECT_EQ(asks, 1u) << after;
}

// With SIGHUP ignored, a terminal hung up mid-answer is the end of the
// input, not a wait for ever.
TEST(DriverTerminal, AHangUpIsTheEndOfTheInput) {
  Start start;
  start.ignored = {SIGHUP};
  start.err_file = "stderr.txt";
  Terminal t("hang_up", start);
  ASSERT_TRUE(t.started());
  ASSERT_TRUE(t.Expect("Experimental data file name?"));
  t.WaitForEditing();
  t.Type("dnit");
  ASSERT_TRUE(t.Expect("dnit"));
  t.Hangup();
  const int status = t.Finish();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(e2e::ReadFile(t.dir() / "stderr.txt"),
            "suscep: run-time error: read error on console input: end of input\n");
}

TEST(DriverCommandLine, HelpVersionAndOtherArguments) {
  struct Case {
    std::vector<const char*> args;
    std::optional<int> status;
    std::string out_has;
    std::string err;
  };
  const Case cases[] = {
      {{"suscep"}, std::nullopt, "", ""},
      {{"suscep", "--version"}, 0, "suscep " SUSCEP_VERSION "\n", ""},
      {{"suscep", "--help"}, 0, "suscep < answers.txt", ""},
      {{"suscep", "--help"}, 0, "130  ended by Ctrl-C outside a fit", ""},
      {{"suscep", "-h"}, 0, "suscep < answers.txt", ""},
      {{"suscep", "--version", "--help"}, 0, "suscep < answers.txt", ""},
      {{"suscep", "dnit2.dat"},
       2,
       "",
       "suscep: unexpected argument 'dnit2.dat': the data file is asked for at the start (see "
       "suscep --help)\n"},
      {{"suscep", "--version", "x"},
       2,
       "",
       "suscep: unexpected argument 'x': the data file is asked for at the start (see suscep "
       "--help)\n"},
      {{"suscep", "--version=1"}, 2, "", "suscep: --version takes no value (see suscep --help)\n"},
      // Control characters are shown, not sent to the terminal.
      {{"suscep", "-\x1b[2J"}, 2, "", "suscep: unknown option '-\\x1B[2J' (see suscep --help)\n"},
      {{"suscep", "a\tb"},
       2,
       "",
       "suscep: unexpected argument 'a\\x09b': the data file is asked for at the start (see "
       "suscep --help)\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(driver::CommandLine(static_cast<int>(c.args.size()), c.args.data(), out, err),
              c.status)
        << c.args.back();
    EXPECT_NE(out.str().find(c.out_has), std::string::npos) << c.args.back();
    EXPECT_EQ(c.out_has.empty(), out.str().empty()) << c.args.back();
    // A mistake is followed by the usage line.
    EXPECT_EQ(err.str(), c.err.empty() ? "" : c.err + "Usage: suscep [--help | --version]\n");
  }
  // The program itself: the status, and no session started.
  const fs::path dir = fs::temp_directory_path() / ("suscep_cmdline_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  e2e::WriteFile(dir / "empty", "");
  const std::string run = "cd '" + dir.string() + "' && '" SUSCEP_BINARY "' ";
  EXPECT_EQ(std::system((run + "--version > out.txt").c_str()), 0);
  const int unknown = std::system((run + "--verbose < empty 2> err.txt").c_str());
  ASSERT_TRUE(WIFEXITED(unknown));
  EXPECT_EQ(WEXITSTATUS(unknown), 2);
  EXPECT_EQ(e2e::ReadFile(dir / "err.txt"),
            "suscep: unknown option '--verbose' (see suscep --help)\nUsage: suscep [--help | "
            "--version]\n");
  // A failed write is a run-time error, as everywhere else.
  for (const char* arg : {"--help", "--version"}) {
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    const char* const args[] = {"suscep", arg};
    EXPECT_EQ(driver::CommandLine(2, args, out, err), 2) << arg;
    EXPECT_EQ(err.str(), "suscep: run-time error: write error on console output\n") << arg;
  }
  const bool full = test_util::DeviceNode(dir, "full").has_value();
  for (const char* arg : {"--help", "--version"}) {
    if (!full) break;
    const int status = std::system((run + arg + " > full 2> err.txt").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << arg;
    EXPECT_EQ(WEXITSTATUS(status), 2) << arg;
  }
  fs::remove_all(dir);
  if (!full) GTEST_SKIP() << "standard output on a full disk: " << test_util::kNoDeviceNode;
}

#if defined(SUSCEP_HAVE_LIBEDIT)
// The line editor's start-up file is read only when it is a regular file of
// at most 64 KB; anything else is named in a note and the program starts as
// usual. A memory limit keeps a file read without end from filling memory.
TEST(DriverTerminal, LineEditorSettingsAreReadOnlyFromASmallRegularFile) {
  const fs::path dir = fs::temp_directory_path() / ("suscep_editrc_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto zero = test_util::DeviceNode(dir, "zero");
  // Ctrl-T types the g-value.
  const std::string binding = "# start\n\n  bind -s ^T 2.0\n";
  e2e::WriteFile(dir / "small", binding);
  e2e::WriteFile(dir / "large", binding + std::string(64 * 1024, '#'));
  const struct {
    std::string editrc;
    std::string note;  // "" for none
  } cases[] = {
      {zero.value_or(fifo), "suscep: note: line editor settings " + zero.value_or(fifo) +
                                " not read: not a regular file"},
      {fifo, "suscep: note: line editor settings " + fifo + " not read: not a regular file"},
      {(dir / "large").string(), "suscep: note: line editor settings " + (dir / "large").string() +
                                     " not read: larger than 65536 bytes"},
      {(dir / "missing").string(), "suscep: note: line editor settings " +
                                       (dir / "missing").string() +
                                       " not read: No such file or directory"},
      {(dir / "small").string(), ""},
  };
  for (const auto& c : cases) {
    Start start;
    start.env = {{"EDITRC", c.editrc.c_str()}};
    start.memory = e2e::kSanitized ? 0 : 512u << 20;
    Terminal t("editrc", start);
    ASSERT_TRUE(t.started());
    ASSERT_TRUE(t.Expect("Experimental data file name?")) << c.editrc << ": " << t.shown();
    if (!c.note.empty()) {
      EXPECT_NE(t.shown().find(c.note), std::string::npos) << t.shown();
    } else {
      EXPECT_EQ(t.shown().find("suscep: note:"), std::string::npos) << t.shown();
      for (const char* a : {"dnit2.dat", "", "F"}) t.Answer(a);
      ASSERT_TRUE(t.Expect("Enter Initial value for g-value"));
      t.Type("\x14\r");
      ASSERT_TRUE(t.Expect("Enter Initial value for J-BB")) << t.shown();
    }
  }
  fs::remove_all(dir);
  if (!zero) GTEST_SKIP() << "a device as the settings file: " << test_util::kNoDeviceNode;
}
#endif

}  // namespace
