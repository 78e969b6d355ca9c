// The program on a terminal (a pseudo-terminal here): answers asked again,
// Ctrl-C during a fit, and the command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver/command_line.h"
#include "driver/interrupt.h"
#include "tests/driver_e2e_util.h"

namespace {

namespace fs = std::filesystem;

// The program started on a pseudo-terminal in a fresh directory that
// holds dnit2.dat; the test types answers and reads what the terminal
// shows.
class Terminal {
 public:
  // `env`: variables set for the program; `memory`: its address-space limit
  // in bytes (0: none).
  explicit Terminal(const std::string& name,
                    const std::vector<std::pair<std::string, std::string>>& env = {},
                    rlim_t memory = 0) {
    dir_ = fs::temp_directory_path() / ("suscep_tty_" + std::to_string(::getpid())) / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    e2e::WriteFile(dir_ / "dnit2.dat", e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/dnit2.dat"));
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      setenv("TERM", "xterm", 1);
      for (const auto& [variable, value] : env) setenv(variable.c_str(), value.c_str(), 1);
      const rlimit as{memory, memory};
      if (memory != 0 && setrlimit(RLIMIT_AS, &as) != 0) _exit(127);
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
  // Reads to the end and returns the wait status.
  int Finish() {
    while (ReadSome(60000)) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return status;
  }

 private:
  bool ReadSome(int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return false;  // EIO once the program has ended
    shown_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  fs::path dir_;
  pid_t pid_ = -1;
  int master_ = -1;
  bool waited_ = false;
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

TEST(DriverTerminal, ASecondCtrlCOrOneOutsideAFitEndsTheProgram) {
  {
    Terminal t("ctrl_c_twice");
    ASSERT_TRUE(t.started());
    StartLongFit(t);
    t.Type("\x03");
    ASSERT_TRUE(t.Expect("Iteration is completed."));
    // Ends the Std. devn. estimate or the statistics, each a stage of its
    // own, or, once they are done, the program at the pause.
    t.Type("\x03");
    if (t.Expect("Press RETURN key")) {
      const std::string& shown = t.shown();
      EXPECT_TRUE(shown.find("estimate was stopped by Ctrl-C") != std::string::npos ||
                  shown.find("minimum were stopped by Ctrl-C") != std::string::npos)
          << shown.substr(shown.find("Iteration is completed"));
      t.Type("\x03");  // outside any stage
    }
    const int status = t.Finish();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
  }
  {
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

volatile sig_atomic_t g_previous_calls = 0;
extern "C" void CountCall(int) { g_previous_calls = g_previous_calls + 1; }

// In the process itself: the first SIGINT only sets the request, the
// second goes to the previous handler, which is back in place afterwards.
#if defined(SUSCEP_HAVE_LIBEDIT)
// The line editor's start-up file is read only when it is a regular file of
// at most 64 KB; anything else is named in a note and the program starts as
// usual. A memory limit keeps a file read without end from filling memory.
TEST(DriverTerminal, LineEditorSettingsAreReadOnlyFromASmallRegularFile) {
  const fs::path dir = fs::temp_directory_path() / ("suscep_editrc_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Ctrl-T types the g-value.
  const std::string binding = "# start\n\n  bind -s ^T 2.0\n";
  e2e::WriteFile(dir / "small", binding);
  e2e::WriteFile(dir / "large", binding + std::string(64 * 1024, '#'));
  const struct {
    std::string editrc;
    std::string note;  // "" for none
  } cases[] = {
      {"/dev/zero", "suscep: note: line editor settings /dev/zero not read: not a regular file"},
      {fifo, "suscep: note: line editor settings " + fifo + " not read: not a regular file"},
      {(dir / "large").string(), "suscep: note: line editor settings " + (dir / "large").string() +
                                     " not read: larger than 65536 bytes"},
      {(dir / "missing").string(), "suscep: note: line editor settings " +
                                       (dir / "missing").string() +
                                       " not read: No such file or directory"},
      {(dir / "small").string(), ""},
  };
  for (const auto& c : cases) {
    Terminal t("editrc", {{"EDITRC", c.editrc}}, e2e::kSanitized ? 0 : 512u << 20);
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
}
#endif

TEST(DriverFitInterrupt, SecondSigintGoesToThePreviousHandler) {
  struct sigaction counting {
  }, saved{};
  counting.sa_handler = CountCall;
  sigemptyset(&counting.sa_mask);
  ASSERT_EQ(sigaction(SIGINT, &counting, &saved), 0);
  g_previous_calls = 0;
  {
    const driver::FitInterrupt interrupt;
    EXPECT_FALSE(interrupt.Requested());
    raise(SIGINT);
    EXPECT_TRUE(interrupt.Requested());
    EXPECT_EQ(g_previous_calls, 0);
    raise(SIGINT);
    EXPECT_EQ(g_previous_calls, 1);
  }
  {
    const driver::FitInterrupt interrupt;
    EXPECT_FALSE(interrupt.Requested());
  }
  raise(SIGINT);
  EXPECT_EQ(g_previous_calls, 2);
  // An ignored SIGINT stays ignored.
  signal(SIGINT, SIG_IGN);
  {
    const driver::FitInterrupt interrupt;
    raise(SIGINT);
    EXPECT_FALSE(interrupt.Requested());
  }
  sigaction(SIGINT, &saved, nullptr);
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
      {{"suscep", "-h"}, 2, "", "suscep: unknown option '-h' (see suscep --help)\n"},
      {{"suscep", "dnit2.dat"},
       2,
       "",
       "suscep: unexpected argument 'dnit2.dat' (the data file is asked for at the start; see "
       "suscep --help)\n"},
      {{"suscep", "--version", "x"}, 2, "", "suscep: unexpected argument 'x' after --version\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(driver::CommandLine(static_cast<int>(c.args.size()), c.args.data(), out, err),
              c.status)
        << c.args.back();
    EXPECT_NE(out.str().find(c.out_has), std::string::npos) << c.args.back();
    EXPECT_EQ(c.out_has.empty(), out.str().empty()) << c.args.back();
    EXPECT_EQ(err.str(), c.err);
  }
  // The program itself: the status, and no session started.
  EXPECT_EQ(std::system("'" SUSCEP_BINARY "' --version > /dev/null"), 0);
  const int unknown = std::system("'" SUSCEP_BINARY "' --verbose < /dev/null 2> /dev/null");
  ASSERT_TRUE(WIFEXITED(unknown));
  EXPECT_EQ(WEXITSTATUS(unknown), 2);
}

}  // namespace
