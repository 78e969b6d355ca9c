// The console, the report and plot files, and the free-form reader.
#ifndef SUSCEP_FORMAT_CONSOLE_H_
#define SUSCEP_FORMAT_CONSOLE_H_

#include <cstdio>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "format/layout.h"

namespace format {

// A run-time error report: the program ends with exit status 2 after
// writing what() to standard error. The message names the operation
// (open, read, write, close), the file or console input, and the text.
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An orderly end ("Stop - Program terminated.", exit status 0). Thrown after
// the caller has written its own message, if any; main writes the stop line.
struct ProgramStop {};

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

 private:
  std::istream& in_;
  std::string name_;
  bool first_ = true;
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
// are skipped. A text that is not a number for its target, or the end of
// the input, throws RunTimeError.
void ReadFree(LineSource& source, const std::vector<Target>& targets);

// The console: formatted records with the control character of their first
// position, free-form prompts, "(A)" line reads and free-form number reads.
class Console : public RecordSink {
 public:
  Console(std::istream& in, std::ostream& out);

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
  void Read(const std::vector<Target>& targets) {
    out_.flush();
    ReadFree(source_, targets);
  }
  int ReadInt();
  double ReadReal();

  std::ostream& out() { return out_; }

 private:
  LineSource source_;
  std::ostream& out_;
};

// SUSCEP.OUT and SUSCEP.HGL: created or replaced; every record written whole
// and followed by CR LF (or by LF alone, for SUSCEP.SVG). Failures to open,
// write or close throw RunTimeError.
class RecordFile : public RecordSink {
 public:
  enum class LineEnd { kCrLf, kLf };
  explicit RecordFile(const std::string& path, LineEnd end = LineEnd::kCrLf);
  ~RecordFile() override;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  void Record(std::string_view record) override;
  void Close();

 private:
  std::string path_;
  std::string_view end_;
  std::FILE* file_ = nullptr;
};

}  // namespace format

#endif  // SUSCEP_FORMAT_CONSOLE_H_
