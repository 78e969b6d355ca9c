// The console, the report and plot files, and the free-form reader.
#ifndef SUSCEP_FORMAT_CONSOLE_H_
#define SUSCEP_FORMAT_CONSOLE_H_

#include <cstdio>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "format/errors.h"
#include "format/layout.h"
#include "format/whole_file.h"

namespace format {

// `text` fit to quote in a message: at most `limit` bytes of it, "..." after
// a cut, and every byte that is not printable ASCII (control characters,
// DEL, bytes of 128 and above) and the backslash shown as \xHH.
std::string Printable(std::string_view text, std::size_t limit = 40);
// The limit for a file name, which is shown whole as far as is sensible.
constexpr std::size_t kNameShown = 260;

// The items one after the other with `separator` between them.
std::string Join(const std::vector<std::string>& items, std::string_view separator = ", ");

// Where formatted and free-form records go.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // One complete record, first character included.
  virtual void Record(std::string_view record) = 0;
};

// Writes `items` through `layout` to `sink`, one or more records.
void Write(RecordSink& sink, std::string_view layout, const Items& items = {});
// Writes one free-form record.
void WriteFree(RecordSink& sink, const Items& items);
// Writes `items` through a prepared layout, as Write does.
void Write(RecordSink& sink, PreparedLayout& layout, const Items& items);

// A line-oriented text source for free-form and "(A)" reads: the console or
// the data file. Drops a carriage return before the line end, and a UTF-8
// byte-order mark at the start.
class LineSource {
 public:
  LineSource(std::istream& in, std::string name);
  // Next line into `line`; false at the end of the input.
  bool Next(std::string& line);
  const std::string& name() const { return name_; }
  // The number of the line Next() returned last, counting from 1.
  int line() const { return line_; }

 private:
  std::istream& in_;
  std::string name_;
  bool first_ = true;
  int line_ = 0;
};

// A target of a free-form read.
struct Target {
  int* i = nullptr;
  double* d = nullptr;
  float* f = nullptr;  // a single: the typed decimal rounded once, to float
  Target(int& v) : i(&v) {}
  Target(double& v) : d(&v) {}
  Target(float& v) : f(&v) {}
};

// One free-form read: fills the targets in order from as many lines as
// needed, starting with a fresh line; the rest of the last line is
// discarded. Separators are blanks, tabs and commas; "/" ends the read early
// (unfilled targets keep their values); "r*v" is r copies of v; blank lines
// are skipped. A text that is not a number for its target throws
// UnreadableAnswer; the end of the input throws RunTimeError. With `rest`,
// the last line goes there when it held more values than were taken.
void ReadFree(LineSource& source, const std::vector<Target>& targets, std::string* rest = nullptr);

// The console: formatted records with the control character of their first
// position, free-form prompts, "(A)" line reads and free-form number reads.
class Console : public RecordSink {
 public:
  Console(std::istream& in, std::ostream& out);

  // On a terminal: an answer that cannot be read as the numbers asked for
  // is not fatal. One line says what could not be read, the records
  // written since the last read (the question) are written again, and the
  // answer is read anew; the targets keep their values until a read
  // succeeds. A line with more than the one value asked for ("0,5") is
  // asked again the same way. The end of the input still throws
  // RunTimeError.
  void SetAskAgain(bool on);
  bool asks_again() const { return ask_again_; }
  // Why a value is asked again, in one line; written only when asking
  // again (from a file or pipe the question simply comes again).
  void Reason(std::string_view text);
  // The records written from here on are the question of the next read
  // (what went before, such as progress lines, is not repeated).
  void BeginQuestion() { question_.clear(); }

  // Blank or other: the rest on its own line; "0": an empty line first;
  // "1": a form feed before the rest. An empty record is an empty line.
  void Record(std::string_view record) override;
  // Text written as it is, with no line end (the "UNIT 1? " prompt).
  void Raw(std::string_view text);

  // Shorthands for Write / WriteFree to the console.
  void Out(std::string_view layout, const Items& items = {}) { Write(*this, layout, items); }
  void Free(const Items& items) { WriteFree(*this, items); }

  // "(A)" read: one whole line, CR dropped; end of input throws RunTimeError.
  std::string ReadLine();
  // First character of a line, blank for an empty line.
  char ReadLetter();
  // Free-form reads.
  void Read(const std::vector<Target>& targets);
  // One value: "/" or a null value ("1*") leaves it at `current`.
  int ReadInt(int current);
  double ReadReal(double current);

  std::ostream& out() { return out_; }

  // An answer that caused a run-time error: its line of the console input
  // and the question it answered (the last line written before it was read).
  struct Answer {
    int line = 0;
    std::string question;
  };
  // Marks the answer read last as the cause of the error about to be thrown.
  // A free-form read that finds no number marks its own answer.
  void BlameLastAnswer() { blamed_ = Answer{source_.line(), asked_}; }
  const std::optional<Answer>& blamed() const { return blamed_; }

 private:
  // Shows what was written before a read; a failure is a write error.
  void Flush();
  // A record, or a text written with Raw.
  struct Written {
    std::string text;
    bool raw;
  };
  void Remember(std::string_view text, bool raw);
  // Keeps the text of a line written, for the question of the next read.
  void Note(std::string_view text);

  LineSource source_;
  std::ostream& out_;
  bool ask_again_ = false;
  std::vector<Written> question_;  // kept only when asking again
  std::string last_written_;       // the last line with text, for asked_
  std::string asked_;              // what the last read answered
  std::optional<Answer> blamed_;
};

// SUSCEP.OUT, SUSCEP.HGL and SUSCEP.SVG: every record written whole and
// followed by CR LF (or by LF alone, for SUSCEP.SVG), into a WholeFile that
// Close() puts in place of the old file. Destroyed without a successful
// Close(), it leaves the old file untouched. Failures to open, write or
// close throw RunTimeError.
class RecordFile : public RecordSink {
 public:
  enum class LineEnd { kCrLf, kLf };
  explicit RecordFile(const std::string& path, LineEnd end = LineEnd::kCrLf);
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  void Record(std::string_view record) override;
  void Close();
  // The file underneath, to put in place with others (CommitTogether).
  WholeFile& file() { return file_; }

 private:
  WholeFile file_;
  std::string_view end_;
};

}  // namespace format

#endif  // SUSCEP_FORMAT_CONSOLE_H_
