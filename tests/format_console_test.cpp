// The console, the record files and the free-form reader.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "format/console.h"
#include "format/errors.h"
#include "tests/test_util.h"

namespace {

using format::Console;
using format::LineSource;
using format::ReadFree;
using format::RecordFile;
using format::RunTimeError;

// The message of the RunTimeError `f` throws, or "" if it throws none.
std::string ErrorOf(const std::function<void()>& f) { return test_util::ErrorOf<RunTimeError>(f); }

TEST(ConsoleRecord, ControlCharacter) {
  std::istringstream in;
  std::ostringstream out;
  Console console(in, out);
  console.Record(" blank");
  console.Record("0after an empty line");
  console.Record("1after a page break");
  console.Record("xother as blank");
  console.Record("");
  console.Record(" ");
  EXPECT_EQ(out.str(), "blank\n\nafter an empty line\n\fafter a page break\nother as blank\n\n\n");
}

TEST(ConsoleRecord, LayoutsFreeFormAndRaw) {
  std::istringstream in;
  std::ostringstream out;
  Console console(in, out);
  console.Out("(/,' Plot options:',/,' 1. X vs. T')");
  console.Free({"Enter No. of iterations"});
  console.Free({"No. of iterations", 200});
  console.Raw("UNIT 1? ");
  EXPECT_EQ(
      out.str(),
      "\nPlot options:\n1. X vs. T\nEnter No. of iterations\nNo. of iterations        200\nUNIT 1? ");
}

TEST(ConsoleRead, Lines) {
  std::istringstream in(
      "\xEF\xBB\xBF"
      "cuac.dat\r\n\nab \r\n\xEF\xBB\xBFx\nlast");
  std::ostringstream out;
  Console console(in, out);
  EXPECT_EQ(console.ReadLine(), "cuac.dat");
  EXPECT_EQ(console.ReadLetter(), ' ');
  EXPECT_EQ(console.ReadLine(), "ab ");
  EXPECT_EQ(console.ReadLine(), "\xEF\xBB\xBFx");  // a mark only counts at the start
  EXPECT_EQ(console.ReadLetter(), 'l');
  std::string message = ErrorOf([&] { console.ReadLine(); });
  EXPECT_NE(message.find("read"), std::string::npos) << message;
  EXPECT_NE(message.find("console input"), std::string::npos) << message;
  EXPECT_NE(ErrorOf([&] { console.ReadInt(0); }), "");
}

TEST(ConsoleRead, Numbers) {
  std::istringstream in("7 8\n  \n-2.5e1\n1 2 3\n4\n");
  std::ostringstream out;
  Console console(in, out);
  EXPECT_EQ(console.ReadInt(0), 7);  // "8" is discarded with the rest of its line
  EXPECT_EQ(console.ReadReal(0.0), -25.0);
  int a = 0, b = 0;
  double c = 0;
  console.Read({a, b, c});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3.0);
  EXPECT_EQ(console.ReadInt(0), 4);
}

TEST(ConsoleRead, OneValueKeptBySlashOrNull) {
  std::istringstream in("/\n1*\n 3*, /\n/ 9\n1*5\n");
  std::ostringstream out;
  Console console(in, out);
  EXPECT_EQ(console.ReadInt(200), 200);
  EXPECT_EQ(console.ReadReal(0.5), 0.5);
  EXPECT_EQ(console.ReadInt(-7), -7);
  EXPECT_EQ(console.ReadReal(1.0E-16), 1.0E-16);
  EXPECT_EQ(console.ReadReal(0.5), 5.0);
}

struct ReadCase {
  const char* input;
  int i;
  double d;
};

// Asking again: one line saying what could not be read, the question's
// records since the last read (or since BeginQuestion) again, a new read;
// the targets keep their values until a read succeeds.
TEST(ConsoleAskAgain, RepeatsQuestionUntilReadable) {
  std::istringstream in("\nn\n1.5\n7\n2 x\n/\n\nq\n");
  std::ostringstream out;
  Console console(in, out);
  console.SetAskAgain(true);
  console.Free({"progress"});
  console.ReadLine();
  console.Free({"Options:"});
  console.Free({"Enter option"});
  EXPECT_EQ(console.ReadInt(0), 7);
  EXPECT_EQ(out.str(),
            "progress\nOptions:\nEnter option\n"
            "\"n\" is not an integer - please answer again\nOptions:\nEnter option\n"
            "\"1.5\" is not an integer - please answer again\nOptions:\nEnter option\n");
  out.str("");
  console.Free({"a listing"});
  console.BeginQuestion();
  console.Raw("S1, S2? ");
  double s1 = 3.0, s2 = 4.0;
  console.Read({s1, s2});
  EXPECT_EQ(s1, 3.0);
  EXPECT_EQ(s2, 4.0);
  EXPECT_EQ(out.str(), "a listing\nS1, S2? \"x\" is not a number - please answer again\nS1, S2? ");
  // The end of the input stays fatal.
  EXPECT_EQ(ErrorOf([&] { console.ReadReal(0.0); }), "read error on console input: end of input");
}

// Without asking again (a file or pipe of answers) the first unreadable
// answer ends the read as before, and nothing is repeated.
TEST(ConsoleAskAgain, OffByDefault) {
  std::istringstream in("n\n7\n");
  std::ostringstream out;
  Console console(in, out);
  console.Free({"Enter option"});
  EXPECT_EQ(ErrorOf([&] { console.ReadInt(0); }),
            "read error on console input: \"n\" is not an integer");
  EXPECT_EQ(out.str(), "Enter option\n");
}

TEST(ReadFreeTest, ValidAnswers) {
  const ReadCase cases[] = {
      {"3 2.5", 3, 2.5},
      {"3,2.5", 3, 2.5},
      {"3\t2.5\textra", 3, 2.5},
      {" , 3 ,, 2.5 ,", 3, 2.5},
      {"\n\n  \n3\n\n2.5", 3, 2.5},
      {"+3 1d2", 3, 100.0},
      {"-3 1.D-2", -3, 0.01},
      {"0 .5", 0, 0.5},
      {"0 5.", 0, 5.0},
      {"1 -.5e+1", 1, -5.0},
      {"1 1E3", 1, 1000.0},
      {"1 1e-400", 1, 0.0},  // underflow is a number
      {"-2147483648 7", -2147483648, 7.0},
      {"2147483647 -0", 2147483647, -0.0},
      {"2*4", 4, 4.0},
      {"1 2.5\r", 1, 2.5},
      {"/", -1, -1.0},
      {"5/", 5, -1.0},
      {"5 / 6", 5, -1.0},
      {"1*5 1*6", 5, 6.0},
      {"2* ", -1, -1.0},
  };
  for (const ReadCase& c : cases) {
    std::istringstream in(c.input);
    LineSource source(in, "console input");
    int i = -1;
    double d = -1.0;
    ASSERT_NO_THROW(ReadFree(source, {i, d})) << c.input;
    EXPECT_EQ(i, c.i) << c.input;
    EXPECT_EQ(d, c.d) << c.input;
  }
}

TEST(ReadFreeTest, Refused) {
  // Texts that are not a number for an integer and a double target, in order.
  const char* cases[] = {
      "1.5 2",   "1e3 2", "1E3 2", "2147483648 1", "-2147483649 1", "abc 1",   "1 abc",
      "1 NaN",   "1 nan", "1 Inf", "1 inf",        "1 Infinity",    "1 1e400", "1 -1e400",
      "1 1.2.3", "1 1e",  "1 e5",  "1 .",          "1 1e+",         "1 --1",   "1 0x10",
      "1 5e",    "x*1 2", "0*1 2", "1 2.5q",       "1 1e5.0",       "- 1"};
  for (const char* input : cases) {
    std::istringstream in(input);
    LineSource source(in, "console input");
    int i = 0;
    double d = 0;
    std::string message = ErrorOf([&] { ReadFree(source, {i, d}); });
    EXPECT_NE(message, "") << input;
    EXPECT_NE(message.find("read"), std::string::npos) << message;
  }
}

// A repeat count of 0 is refused, not read as no copies: "0*5 3" is not
// the number 3.
TEST(ReadFreeTest, ZeroRepeatCountIsRefused) {
  std::istringstream in("0*5 3\n4\n");
  LineSource source(in, "mydata.dat");
  int n = -1;
  std::string message = ErrorOf([&] { ReadFree(source, {n}); });
  EXPECT_NE(message.find("0*5"), std::string::npos) << message;
  EXPECT_EQ(n, -1);
}

TEST(ReadFreeTest, MessageNamesSourceAndText) {
  std::istringstream in("12 1.5x");
  LineSource source(in, "mydata.dat");
  int n = 0;
  double t = 0;
  std::string message = ErrorOf([&] { ReadFree(source, {n, t}); });
  EXPECT_NE(message.find("mydata.dat"), std::string::npos) << message;
  EXPECT_NE(message.find("1.5x"), std::string::npos) << message;
  EXPECT_EQ(n, 12);
}

TEST(ReadFreeTest, EndOfInput) {
  std::istringstream in("1\n\n   \n");
  LineSource source(in, "console input");
  int a = 0, b = 0;
  std::string message = ErrorOf([&] { ReadFree(source, {a, b}); });
  EXPECT_NE(message.find("end of input"), std::string::npos) << message;
  EXPECT_EQ(a, 1);
}

TEST(ReadFreeTest, SinglesAreRoundedOnceFromTheTypedDecimal) {
  // Through a double this decimal would round to 1.0f.
  std::istringstream in("1.00000005960464478 1e39 -2.5\n1e400\n");
  LineSource source(in, "console input");
  float a = 0.0f, b = 0.0f, c = 0.0f;
  ReadFree(source, {a, b, c});
  EXPECT_EQ(a, std::nextafter(1.0f, 2.0f));
  EXPECT_TRUE(std::isinf(b));  // beyond the single range, for the caller to refuse
  EXPECT_EQ(c, -2.5f);
  EXPECT_NE(ErrorOf([&] { ReadFree(source, {a}); }), "");
}

TEST(ReadFreeTest, NoTargetsConsumesOneLine) {
  std::istringstream in("anything at all\n\n5\n");
  LineSource source(in, "console input");
  ReadFree(source, {});
  ReadFree(source, {});  // an empty line counts as the line
  int v = 0;
  ReadFree(source, {v});
  EXPECT_EQ(v, 5);
  EXPECT_NE(ErrorOf([&] { ReadFree(source, {}); }), "");
}

TEST(LineSourceTest, ByteOrderMarkAndCarriageReturns) {
  std::istringstream in(
      "\xEF\xBB\xBF"
      "3\r\n1.0 2.0\r\r\n");
  LineSource source(in, "data.dat");
  std::string line;
  ASSERT_TRUE(source.Next(line));
  EXPECT_EQ(line, "3");
  ASSERT_TRUE(source.Next(line));
  EXPECT_EQ(line, "1.0 2.0\r");  // only the one before the line end goes
  EXPECT_FALSE(source.Next(line));
}

class RecordFileTest : public test_util::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    dir_ = scratch_.string();
  }
  static std::string Contents(const std::string& path) { return test_util::ReadFile(path); }
  // The names in the directory, temporary files included.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string dir_;
};

using NameList = std::vector<std::string>;

TEST_F(RecordFileTest, RecordsEndWithCrLfAndReplaceTheFileWhole) {
  std::string path = dir_ + "/SUSCEP.OUT";
  {
    RecordFile file(path);
    format::Write(file, "(/,1X,'PA',I5,',',I5,'PD')", {7834, 6002});
    format::WriteFree(file, {"x"});
    file.Close();
    file.Close();  // a second close does nothing
  }
  EXPECT_EQ(Contents(path), "\r\n PA 7834, 6002PD\r\n x\r\n");
  {
    RecordFile file(path);
    file.Record("only");
    EXPECT_EQ(Contents(path), "\r\n PA 7834, 6002PD\r\n x\r\n");  // the old file until Close
    file.Close();
  }
  EXPECT_EQ(Contents(path), "only\r\n");
  {
    RecordFile file(path);  // destroyed without Close: the old file stays
    file.Record("dropped");
  }
  EXPECT_EQ(Contents(path), "only\r\n");
  EXPECT_EQ(Names(), NameList{"SUSCEP.OUT"});
  format::WriteWholeFile(path, "whole");
  EXPECT_EQ(Contents(path), "whole");
  EXPECT_EQ(Names(), NameList{"SUSCEP.OUT"});
}

// Files written for a batch are synced together, once.
TEST_F(RecordFileTest, UnsyncedFilesAndOneSyncOfTheirFileSystem) {
  const std::string path = dir_ + "/a.json";
  format::WriteWholeFile(path, "{}\n", false);
  EXPECT_EQ(Contents(path), "{}\n");
  EXPECT_EQ(Names(), NameList{"a.json"});
  format::SyncFileSystem(dir_);
  EXPECT_EQ(ErrorOf([&] { format::SyncFileSystem(dir_ + "/missing"); }),
            "write error on directory " + dir_ + "/missing: No such file or directory");
  EXPECT_EQ(ErrorOf([&] { format::SyncFileSystem(path); }),
            "write error on directory " + path + ": Not a directory");
}

TEST_F(RecordFileTest, APlantedLinkIsReplacedNotFollowed) {
  const std::string target = dir_ + "/target";
  const std::string path = dir_ + "/SUSCEP.OUT";
  std::ofstream(target) << "someone else's file";
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  RecordFile file(path);
  file.Record("report");
  file.Close();
  EXPECT_EQ(Contents(target), "someone else's file");
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(Contents(path), "report\r\n");
}

TEST_F(RecordFileTest, OpenFailureNamesOperationAndFile) {
  std::string path = dir_ + "/missing/SUSCEP.HGL";
  std::string message = ErrorOf([&] { RecordFile file(path); });
  EXPECT_NE(message.find("open"), std::string::npos) << message;
  EXPECT_NE(message.find(path), std::string::npos) << message;
  std::filesystem::create_directory(dir_ + "/SUSCEP.SVG");
  message = ErrorOf([&] { format::WriteWholeFile(dir_ + "/SUSCEP.SVG", "x"); });
  EXPECT_NE(message.find("open error on file " + dir_ + "/SUSCEP.SVG"), std::string::npos)
      << message;
  EXPECT_EQ(Names(), NameList{"SUSCEP.SVG"});
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  message = ErrorOf([&] { format::WriteWholeFile(dir_ + "/fifo", "x"); });
  EXPECT_NE(message.find("/fifo: not a regular file"), std::string::npos) << message;
}

// A file-size limit of 4096 bytes, with SIGXFSZ ignored, while it lives: a
// full disk, for the files written meanwhile.
class SmallFileSizeLimit {
 public:
  SmallFileSizeLimit() : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved_), 0);
    rlimit small = saved_;
    small.rlim_cur = 4096;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  }
  ~SmallFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }
  SmallFileSizeLimit(const SmallFileSizeLimit&) = delete;
  SmallFileSizeLimit& operator=(const SmallFileSizeLimit&) = delete;

 private:
  void (*old_handler_)(int);
  rlimit saved_{};
};

// A file-size limit stands in for a full disk.
TEST_F(RecordFileTest, AFullDiskLeavesTheOldFile) {
  const std::string path = dir_ + "/SUSCEP.HGL";
  format::WriteWholeFile(path, "old");
  std::string at_close, while_writing;
  bool closed = false;
  {
    const SmallFileSizeLimit limit;
    // Fails at the close: the records fit in the buffer.
    at_close = ErrorOf([&] {
      RecordFile file(path);
      for (int i = 0; i < 100; ++i) file.Record(std::string(70, 'x'));
      file.Close();
    });
    // A long stream of records fails while writing, not only at the close.
    while_writing = ErrorOf([&] {
      RecordFile file(path);
      for (int i = 0; i < 100000; ++i) file.Record(std::string(70, 'x'));
      closed = true;
    });
  }
  EXPECT_NE(at_close.find("write error on file " + path), std::string::npos) << at_close;
  EXPECT_NE(while_writing.find("write error on file " + path), std::string::npos) << while_writing;
  EXPECT_FALSE(closed);
  EXPECT_EQ(Contents(path), "old");
  EXPECT_EQ(Names(), NameList{"SUSCEP.HGL"});
}

// Files put in place together: all new after it; all old when one of them
// cannot be finished; no temporary file either way.
TEST_F(RecordFileTest, FilesCommittedTogether) {
  const std::string report = dir_ + "/SUSCEP.OUT", result = dir_ + "/SUSCEP.JSON";
  format::WriteWholeFile(report, "old report");
  format::WriteWholeFile(result, "old result");
  {
    RecordFile a(report);
    format::WholeFile b(result);
    a.Record("new report");
    b.Write("new result");
    format::CommitTogether({&a.file(), &b});
    a.Close();  // already in place: nothing more
  }
  EXPECT_EQ(Contents(report), "new report\r\n");
  EXPECT_EQ(Contents(result), "new result");
  EXPECT_EQ(Names(), (NameList{"SUSCEP.JSON", "SUSCEP.OUT"}));

  // The second fails as it is finished (a file-size limit): the first,
  // finished already, is not put in place either.
  std::string message;
  {
    const SmallFileSizeLimit limit;
    message = ErrorOf([&] {
      format::WholeFile a(report), b(result);
      a.Write("newer report");
      b.Write(std::string(8000, 'x'));
      format::CommitTogether({&a, &b});
    });
  }
  EXPECT_NE(message.find("write error on file " + result), std::string::npos) << message;
  EXPECT_EQ(Contents(report), "new report\r\n");
  EXPECT_EQ(Contents(result), "new result");
  EXPECT_EQ(Names(), (NameList{"SUSCEP.JSON", "SUSCEP.OUT"}));
}

TEST(Printable, EscapesAndCuts) {
  EXPECT_EQ(format::Printable("cuac.dat"), "cuac.dat");
  EXPECT_EQ(format::Printable(std::string("a\0b\x1b[2J\\\xC3\xA9\x7F", 11)),
            "a\\x00b\\x1B[2J\\x5C\\xC3\\xA9\\x7F");
  EXPECT_EQ(format::Printable(std::string(100, '9')), std::string(40, '9') + "...");
  EXPECT_EQ(format::Printable(std::string(100, '9'), 100), std::string(100, '9'));
}

TEST(ConsoleRead, ABadAnswerIsQuotedOnceAndCut) {
  std::istringstream in(std::string(1000000, '7') + "x\n\x1b]0;title\x07\n");
  std::ostringstream out;
  Console console(in, out);
  std::string message = ErrorOf([&] { console.ReadInt(0); });
  EXPECT_LT(message.size(), 100u) << message;
  EXPECT_NE(message.find("\"" + std::string(40, '7') + "...\" is not an integer"),
            std::string::npos)
      << message;
  message = ErrorOf([&] { console.ReadReal(0.0); });
  EXPECT_NE(message.find("\"\\x1B]0;title\\x07\" is not a number"), std::string::npos) << message;
}

TEST(ConsoleRead, AnUnreadableAnswerIsBlamedWithItsLineAndQuestion) {
  std::istringstream in("a\n\n1 2\n3\n2.o\n");
  std::ostringstream out;
  Console console(in, out);
  console.Free({"Experimental data file name?"});
  console.ReadLine();
  console.Free({"Enter two numbers"});
  int a = 0, b = 0, c = 0;
  console.Read({a, b});  // the blank line is skipped: line 3
  EXPECT_FALSE(console.blamed());
  console.Out("(I5)", {42});
  console.Out("(1X,'   Enter c   ')");
  console.Record("");                                        // an empty line is not a question
  EXPECT_NE(ErrorOf([&] { console.Read({a, b, c}); }), "");  // 3 on line 4, 2.o on line 5
  ASSERT_TRUE(console.blamed());
  EXPECT_EQ(console.blamed()->line, 5);
  EXPECT_EQ(console.blamed()->question, "Enter c");
  // The end of the input is no answer's fault.
  Console ended(in, out);
  EXPECT_NE(ErrorOf([&] { ended.ReadInt(0); }), "");
  EXPECT_FALSE(ended.blamed());
}

TEST(ConsoleRead, TheQuestionOfAReadIsTrimmedAndMayBeRawOrBlamedByTheCaller) {
  std::istringstream in("\nname\n");
  std::ostringstream out;
  Console console(in, out);
  console.Out("(1X,'   padded question   ')");
  console.ReadLine();
  console.Raw("UNIT 1? ");
  console.ReadLine();
  console.BlameLastAnswer();
  ASSERT_TRUE(console.blamed());
  EXPECT_EQ(console.blamed()->line, 2);
  EXPECT_EQ(console.blamed()->question, "UNIT 1?");
  // Asked again on a terminal, a bad answer ends nothing and blames nothing.
  std::istringstream typed("x\n7\n");
  Console terminal(typed, out);
  terminal.SetAskAgain(true);
  terminal.Free({"Enter n"});
  EXPECT_EQ(terminal.ReadInt(0), 7);
  EXPECT_FALSE(terminal.blamed());
}

TEST(ConsoleRecord, AFailedFlushBeforeAReadIsAWriteError) {
  std::istringstream in("1\n");
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  Console console(in, out);
  EXPECT_EQ(ErrorOf([&] { console.ReadInt(0); }), "write error on console output");
}

}  // namespace
