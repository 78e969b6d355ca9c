// Hostile data files and output files, run end to end: odd but valid files
// load like a plain one; the rest end in a run-time error report, never a
// crash, a hang or a write failure that passes silently.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/device_node.h"
#include "tests/driver_e2e_util.h"

namespace {

namespace fs = std::filesystem;

// 300 points, each pair written by `pair` (temperature, susceptibility).
template <typename Pair>
std::string Points300(const char* head, Pair pair) {
  std::string text = head;
  for (int i = 1; i <= 300; ++i) text += pair(i, 1.0 / i);
  return text;
}

std::string Number(const char* layout, double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, layout, v);
  return buf;
}

TEST(DriverHostile, OddFilesLoadLikeThePlainOne) {
  auto plain_line = [](int t, double x) { return Number("%.2f ", t) + Number("%.6e\n", x); };
  const std::string plain = Points300("300\n", plain_line);
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"crlf",
       Points300("300\r\n",
                 [](int t, double x) { return Number("%.2f ", t) + Number("%.6e\r\n", x); })},
      {"bom", "\xEF\xBB\xBF" + plain},
      {"tabs",
       Points300("300\t\n",
                 [](int t, double x) { return Number("\t%.2f\t\t", t) + Number("%.6e\t\n", x); })},
      {"trailing_text", plain.substr(0, plain.size() - 1) + " end of run 42 x\nmore notes\n"},
      // All pairs on one line of about 100 000 characters, with long
      // mantissas and long gaps.
      {"one_long_line", Points300("300\n",
                                  [](int t, double x) {
                                    return Number("%.150f", t) + std::string(150, ' ') +
                                           Number("%.6e", x) + " \t,";
                                  }) +
                            "\n"},
  };
  const e2e::Result reference = e2e::Run("plain300", "t.dat\n", {{"t.dat", plain}});
  ASSERT_EQ(reference.status, 2);  // the console input ends at "Press Enter"
  ASSERT_NE(reference.out.find("No. of observed data points:        300\n"), std::string::npos);
  ASSERT_NE(reference.out.find("300.00  .003333\n"), std::string::npos) << reference.out;
  for (const auto& c : cases) {
    if (std::string(c.name) == "one_long_line") {
      ASSERT_GT(c.content.size(), 90000u);
    }
    const e2e::Result r = e2e::Run(c.name, "t.dat\n", {{"t.dat", c.content}});
    EXPECT_EQ(r.out, reference.out) << c.name;
    EXPECT_EQ(r.err, reference.err) << c.name;
  }
}

// Runs the program in a directory prepared by `prepare`, which gets the
// directory's path.
template <typename Prepare>
e2e::Result RunPrepared(const std::string& name, const std::string& input, Prepare prepare) {
  e2e::Result r = e2e::Run(name, "", {});
  prepare(r.dir);
  e2e::WriteFile(r.dir / "input.txt", input);
  const int raw = std::system(
      ("cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' < input.txt > stdout.txt 2> stderr.txt")
          .c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = e2e::ReadFile(r.dir / "stdout.txt");
  r.err = e2e::ReadFile(r.dir / "stderr.txt");
  return r;
}

void ExpectRunTimeError(const e2e::Result& r, const std::string& name, const std::string& what) {
  EXPECT_EQ(r.status, 2) << name;
  EXPECT_NE(r.err.find("run-time error"), std::string::npos) << name << ": " << r.err;
  EXPECT_NE(r.err.find(what), std::string::npos) << name << ": " << r.err;
  EXPECT_EQ(r.out.find("Stop - Program terminated."), std::string::npos) << name;
}

constexpr char kFlat[] = "3\n10 0.01\n20 0.01\n30 0.01\n";

TEST(DriverHostile, DataFilesThatCannotBeRead) {
  // Works as root too: permissions would not stop a read there.
  const struct {
    const char* name;
    const char* typed;  // the file name typed
    void (*prepare)(const fs::path&);
  } cases[] = {
      {"directory", "t.dat", [](const fs::path& d) { fs::create_directory(d / "t.dat"); }},
      {"through_a_file", "t.dat/x", [](const fs::path& d) { e2e::WriteFile(d / "t.dat", "1\n"); }},
      // Opens, but every read fails (EIO).
      {"read_fails", "t.dat",
       [](const fs::path& d) { fs::create_symlink("/proc/self/mem", d / "t.dat"); }},
  };
  for (const auto& c : cases) {
    const e2e::Result r = RunPrepared(c.name, std::string(c.typed) + "\n\n", c.prepare);
    ExpectRunTimeError(r, c.name, c.typed);
    EXPECT_EQ(r.out.find("No. of observed data points"), std::string::npos) << c.name;
  }
}

TEST(DriverHostile, DataFileNamesAndReasons) {
  const struct {
    const char* name;
    std::string typed;  // the file name typed
    void (*prepare)(const fs::path&);
    const char* what;  // in the message
  } cases[] = {
      {"missing", "t.dat", [](const fs::path&) {}, "'t.dat': No such file or directory"},
      {"link_loop", "t.dat", [](const fs::path& d) { fs::create_symlink("t.dat", d / "t.dat"); },
       "'t.dat': Too many levels of symbolic links"},
      // Not the file before the NUL, and no escape sequence to the terminal.
      {"nul", std::string("t.dat\0junk", 10),
       [](const fs::path& d) { e2e::WriteFile(d / "t.dat", kFlat); },
       "'t.dat\\x00junk': the name holds a control character"},
      {"escape", "t\x1b[2J.dat", [](const fs::path&) {},
       "'t\\x1B[2J.dat': the name holds a control character"},
  };
  for (const auto& c : cases) {
    const e2e::Result r = RunPrepared(c.name, c.typed + "\n\n", c.prepare);
    ExpectRunTimeError(r, c.name, c.what);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << c.name;
    EXPECT_EQ(r.out.find("No. of observed data points"), std::string::npos) << c.name;
  }
  // Text from a data file is quoted with its control characters shown.
  const e2e::Result r = e2e::Run("escape_in_data", "t.dat\n", {{"t.dat", "2\n10 \x1b]0;x\x07\n"}});
  ExpectRunTimeError(r, "escape in data", "\"\\x1B]0;x\\x07\" is not a number");
}

// Expression 99 with one DIM term and g fixed: a report after 0 iterations.
constexpr char kReportRun[] = "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n1\n-1\n-1\n0\n\n-2\n3\n";
// The same model, then an HP-GL plot of X vs. T.
constexpr char kPlotRun[] =
    "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n3\n0 40 10\n0 0.02 0.005\n-2\n3\n";

TEST(DriverHostile, OutputFilesThatCannotBeWritten) {
  // A directory in the way.
  const struct {
    const char* file;
    const char* input;
  } files[] = {{"SUSCEP.OUT", kReportRun}, {"SUSCEP.HGL", kPlotRun}, {"SUSCEP.SVG", kPlotRun}};
  for (const auto& f : files) {
    const e2e::Result ok = e2e::Run("writable", f.input, {{"t.dat", kFlat}});
    ASSERT_EQ(ok.status, 0) << f.file << ": " << ok.err;
    ASSERT_GT(ok.File(f.file).size(), 1000u) << f.file;
    const std::string file = f.file;
    const auto planted = [&file](const fs::path& d) {
      e2e::WriteFile(d / "t.dat", kFlat);
      e2e::WriteFile(d / "elsewhere", "someone else's");
      fs::create_symlink("elsewhere", d / file);
    };
    // A link planted at the name is replaced, not followed; a full disk is
    // tested with a file-size limit in driver_faults_test.cpp.
    const e2e::Result linked = RunPrepared("planted_link", f.input, planted);
    EXPECT_EQ(linked.status, 0) << file << ": " << linked.err;
    EXPECT_FALSE(fs::is_symlink(linked.dir / file)) << file;
    EXPECT_EQ(linked.File(file), ok.File(file)) << file;
    EXPECT_EQ(linked.File("elsewhere"), "someone else's") << file;
    if (file == "SUSCEP.OUT") continue;  // a directory here is tested with the fit
    const auto directory = [&file](const fs::path& d) {
      e2e::WriteFile(d / "t.dat", kFlat);
      fs::create_directory(d / file);
    };
    ExpectRunTimeError(RunPrepared("directory", f.input, directory), "directory " + file, file);
  }
}

// The same model fitted (200 iterations), then the report.
constexpr char kFitRun[] = "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n1\n-1\n0\n\n-2\n3\n";

// The console part of the report of a run whose report ended in an error:
// everything a whole run shows up to the end of its difference table.
void ExpectFitShownThenError(const e2e::Result& r, const e2e::Result& ok, const std::string& name,
                             const std::string& what) {
  EXPECT_EQ(r.status, 2) << name << ": " << r.err;
  const std::size_t table = ok.out.find("X-Expt");
  ASSERT_NE(table, std::string::npos);
  const std::size_t table_end = ok.out.find("No. Parameter", table);
  ASSERT_NE(table_end, std::string::npos);
  EXPECT_EQ(r.out, ok.out.substr(0, table_end)) << name;
  EXPECT_NE(r.err.find("suscep: run-time error: " + what), std::string::npos) << name << r.err;
  EXPECT_FALSE(r.HasTemporaryFile()) << name;
}

TEST(DriverHostile, AFinishedFitIsShownWhenItsFilesCannotBeMade) {
  const e2e::Result ok = e2e::Run("fit_ok", kFitRun, {{"t.dat", kFlat}});
  ASSERT_EQ(ok.status, 0) << ok.err;
  const struct {
    const char* name;
    void (*prepare)(const fs::path&);
    const char* what;
  } cases[] = {
      {"report_directory", [](const fs::path& d) { fs::create_directory(d / "SUSCEP.OUT"); },
       "open error on file SUSCEP.OUT: Is a directory"},
      {"report_fifo",
       [](const fs::path& d) { ASSERT_EQ(::mkfifo((d / "SUSCEP.OUT").c_str(), 0600), 0); },
       "open error on file SUSCEP.OUT: not a regular file"},
      {"results_directory", [](const fs::path& d) { fs::create_directory(d / "SUSCEP.JSON"); },
       "open error on file SUSCEP.JSON: Is a directory"},
  };
  for (const auto& c : cases) {
    const e2e::Result r = RunPrepared(c.name, kFitRun, [&c](const fs::path& d) {
      e2e::WriteFile(d / "t.dat", kFlat);
      c.prepare(d);
    });
    ExpectFitShownThenError(r, ok, c.name, c.what);
    // Said once before the fit, so that the user knows what will happen.
    const std::string note = std::string("suscep: note: before the fit: ") + c.what +
                             "; the report will be shown on the console, then the run ends\n";
    EXPECT_EQ(r.err.find(note), 0u) << c.name << ": " << r.err;
  }
}

// A directory the user may not write to, holding writable SUSCEP.* files:
// run as nobody when the tests run as root.
TEST(DriverHostile, AReadOnlyDirectoryIsNamedBeforeTheFit) {
  const e2e::Result ok = e2e::Run("fit_ok_ro", kFitRun, {{"t.dat", kFlat}});
  ASSERT_EQ(ok.status, 0) << ok.err;
  e2e::Result r = e2e::Run("read_only", "", {});
  const fs::path ro = r.dir / "ro";
  fs::create_directory(ro);
  e2e::WriteFile(ro / "t.dat", kFlat);
  e2e::WriteFile(r.dir / "input.txt", kFitRun);
  for (const char* name : {"SUSCEP.OUT", "SUSCEP.JSON"}) {
    e2e::WriteFile(ro / name, "old");
    fs::permissions(ro / name, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                                  fs::perms::others_exec));
  }
  fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(r.dir, fs::perms::others_exec | fs::perms::others_write, fs::perm_options::add);
  const std::string drop =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const int raw =
      std::system(("cd '" + ro.string() + "' && " + drop +
                   "'" SUSCEP_BINARY "' < ../input.txt > ../stdout.txt 2> ../stderr.txt")
                      .c_str());
  fs::permissions(ro, fs::perms::owner_all, fs::perm_options::add);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = e2e::ReadFile(r.dir / "stdout.txt");
  r.err = e2e::ReadFile(r.dir / "stderr.txt");
  const std::string why = "cannot create a file in its directory: Permission denied";
  ExpectFitShownThenError(r, ok, "read-only directory", "open error on file SUSCEP.OUT: " + why);
  EXPECT_EQ(r.err.find("suscep: note: before the fit: open error on file SUSCEP.OUT: " + why), 0u)
      << r.err;
  EXPECT_NE(r.err.find("suscep: note: before the fit: open error on file SUSCEP.JSON: " + why),
            std::string::npos)
      << r.err;
  EXPECT_EQ(e2e::ReadFile(ro / "SUSCEP.OUT"), "old");
}

// A run-time error caused by an answer names the answer's line and its
// question on standard error; the console shows what it always showed.
TEST(DriverHostile, AnAnswerThatEndsTheRunIsNamedByLineAndQuestion) {
  const std::string answers = e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/dnit2-answers.txt");
  const std::string data = e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/dnit2.dat");
  const std::size_t at = answers.find("\n-150\n");
  ASSERT_NE(at, std::string::npos);
  std::string bad = answers;
  bad.replace(at, 6, "\n-1x50\n");
  const e2e::Result r = e2e::Run("bad_answer", bad, {{"dnit2.dat", data}});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "suscep: run-time error: read error on console input: \"-1x50\" is not a number\n"
            "suscep: the answer on line 7 of the input, to \"Enter Initial value for J-BB\"\n");
  const e2e::Result ok = e2e::Run("good_answer", answers, {{"dnit2.dat", data}});
  EXPECT_EQ(r.out, ok.out.substr(0, ok.out.find('\n', ok.out.find("value for J-BB")) + 1));

  const e2e::Result missing = e2e::Run("missing_data", "\n\nnone.dat\n", {});
  EXPECT_EQ(missing.err,
            "suscep: run-time error: open: cannot open data file 'none.dat': No such file or "
            "directory\nsuscep: the answer on line 3 of the input, to \"UNIT 1?\"\n");
  // Not an answer's fault: the end of the input, a data file's contents.
  const e2e::Result ended = e2e::Run("ended", "dnit2.dat\n", {{"dnit2.dat", data}});
  EXPECT_EQ(ended.err, "suscep: run-time error: read error on console input: end of input\n");
  const e2e::Result content = e2e::Run("bad_data", "t.dat\n", {{"t.dat", "2\n10 x\n"}});
  EXPECT_EQ(content.err,
            "suscep: run-time error: read error on file t.dat: \"x\" is not a number\n");
}

TEST(DriverHostile, AReportCutShortAtThePauseKeepsItsFiles) {
  // The console input ends at the pause inside the report, when the report
  // and its result file are already in place.
  const std::string input(kReportRun, std::string(kReportRun).find("0\n\n-2") + 2);
  const e2e::Result r = e2e::Run("report_cut", input, {{"t.dat", kFlat}});
  ASSERT_NE(r.out.find("Press RETURN key"), std::string::npos);
  ExpectRunTimeError(r, "report cut short", "end of input");
  EXPECT_TRUE(r.Has("SUSCEP.OUT"));
  EXPECT_TRUE(r.Has("SUSCEP.JSON"));
}

TEST(DriverHostile, ConsoleOnAFullDisk) {
  const e2e::Result r = e2e::Run("console_full", kReportRun, {{"t.dat", kFlat}});
  if (!test_util::DeviceNode(r.dir, "full")) GTEST_SKIP() << test_util::kNoDeviceNode;
  const int raw = std::system(
      ("cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' < input.txt > full 2> stderr.txt")
          .c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
  EXPECT_NE(e2e::ReadFile(r.dir / "stderr.txt").find("write error on console output"),
            std::string::npos);
}

}  // namespace
