#include "format/console.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace format {
namespace {

constexpr char kConsoleInput[] = "console input";

// "console input", or "file NAME" for anything else.
std::string Where(const std::string& name) {
  if (name == kConsoleInput) return name;
  return "file " + name;
}

[[noreturn]] void ReadError(const LineSource& source, const std::string& what) {
  throw RunTimeError("read error on " + Where(source.name()) + ": " + what);
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An optionally signed decimal integer in the 32-bit range.
bool ParseInt(std::string_view text, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// A number: optional sign, digits with an optional point (at least one
// digit), an optional exponent with letter E, e, D or d and optional sign.
// Overflow beyond the double range is not a number; underflow gives the
// nearest representable value.
bool ParseReal(std::string_view text, double& value, float* single = nullptr) {
  std::string buf;
  buf.reserve(text.size());
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) buf += text[i++];
  int mantissa_digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      ++mantissa_digits;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    buf += c;
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size()) {
    char c = text[i];
    if (c != 'E' && c != 'e' && c != 'D' && c != 'd') return false;
    buf += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) buf += text[i++];
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return false;
      buf += text[i];
    }
  }
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(buf.c_str(), &end);
  if (end != buf.c_str() + buf.size()) return false;
  if (errno == ERANGE && (v == HUGE_VAL || v == -HUGE_VAL)) return false;
  value = v;
  // Beyond the single range this gives an infinity, which callers refuse.
  if (single != nullptr) *single = std::strtof(buf.c_str(), nullptr);
  return true;
}

void Store(const LineSource& source, std::string_view text, const Target& target) {
  if (target.i != nullptr) {
    int v = 0;
    if (!ParseInt(text, v)) {
      ReadError(source, "\"" + std::string(text) + "\" is not an integer");
    }
    *target.i = v;
  } else if (target.d != nullptr) {
    double v = 0;
    if (!ParseReal(text, v)) {
      ReadError(source, "\"" + std::string(text) + "\" is not a number");
    }
    *target.d = v;
  } else if (target.f != nullptr) {
    double v = 0;
    if (!ParseReal(text, v, target.f)) {
      ReadError(source, "\"" + std::string(text) + "\" is not a number");
    }
  }
}

}  // namespace

void Write(RecordSink& sink, std::string_view layout, const Items& items) {
  for (const std::string& record : Render(layout, items)) sink.Record(record);
}

void WriteFree(RecordSink& sink, const Items& items) { sink.Record(RenderFree(items)); }

void Write(RecordSink& sink, PreparedLayout& layout, const Items& items) {
  const std::size_t count = layout.Render(items);
  for (std::size_t i = 0; i < count; ++i) sink.Record(layout.record(i));
}

LineSource::LineSource(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {}

bool LineSource::Next(std::string& line) {
  if (!std::getline(in_, line)) {
    if (in_.bad()) throw RunTimeError("read error on " + Where(name_));
    return false;
  }
  if (first_) {
    first_ = false;
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void ReadFree(LineSource& source, const std::vector<Target>& targets) {
  std::size_t next = 0;
  std::string line;
  bool done = targets.empty();
  // Always one fresh line, even when no values are asked for.
  bool first = true;
  while (first || !done) {
    first = false;
    if (!source.Next(line)) ReadError(source, "end of input");
    std::size_t i = 0;
    while (!done) {
      while (i < line.size() && IsSeparator(line[i])) ++i;
      if (i >= line.size()) break;
      if (line[i] == '/') {
        done = true;
        break;
      }
      std::size_t start = i;
      while (i < line.size() && !IsSeparator(line[i]) && line[i] != '/') ++i;
      std::string_view token(line.data() + start, i - start);
      // "r*v": r copies of v; "r*" alone leaves r targets as they are.
      std::size_t star = token.find('*');
      int repeat = 1;
      if (star != std::string_view::npos) {
        std::string_view count = token.substr(0, star);
        bool digits_only = !count.empty();
        for (char c : count) digits_only = digits_only && IsDigit(c);
        if (!digits_only || !ParseInt(count, repeat) || repeat < 1) {
          ReadError(source, "\"" + std::string(token) + "\" is not a number");
        }
        token = token.substr(star + 1);
      }
      for (int r = 0; r < repeat && next < targets.size(); ++r) {
        if (!token.empty()) Store(source, token, targets[next]);
        ++next;
      }
      if (next == targets.size()) done = true;
    }
  }
}

Console::Console(std::istream& in, std::ostream& out) : source_(in, kConsoleInput), out_(out) {}

void Console::Record(std::string_view record) {
  if (record.empty()) {
    out_.put('\n');
  } else {
    if (record[0] == '0') {
      out_.put('\n');
    } else if (record[0] == '1') {
      out_.put('\f');
    }
    out_.write(record.data() + 1, static_cast<std::streamsize>(record.size() - 1));
    out_.put('\n');
  }
  if (!out_) throw RunTimeError("write error on console output");
}

void Console::Raw(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out_) throw RunTimeError("write error on console output");
}

std::string Console::ReadLine() {
  out_.flush();
  std::string line;
  if (!source_.Next(line)) throw RunTimeError("read error on console input: end of input");
  return line;
}

char Console::ReadLetter() {
  std::string line = ReadLine();
  return line.empty() ? ' ' : line[0];
}

int Console::ReadInt() {
  out_.flush();
  int value = 0;
  ReadFree(source_, {value});
  return value;
}

double Console::ReadReal() {
  out_.flush();
  double value = 0.0;
  ReadFree(source_, {value});
  return value;
}

RecordFile::RecordFile(const std::string& path, LineEnd end)
    : path_(path), end_(end == LineEnd::kLf ? "\n" : "\r\n") {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    throw RunTimeError("open error on file " + path_ + ": " + std::strerror(errno));
  }
}

RecordFile::~RecordFile() {
  // A file not closed by Close() is closed quietly; Close() reports.
  if (file_ != nullptr) std::fclose(file_);
}

void RecordFile::Record(std::string_view record) {
  if (file_ == nullptr) throw RunTimeError("write error on file " + path_ + ": file is closed");
  if (std::fwrite(record.data(), 1, record.size(), file_) != record.size() ||
      std::fwrite(end_.data(), 1, end_.size(), file_) != end_.size()) {
    throw RunTimeError("write error on file " + path_ + ": " + std::strerror(errno));
  }
}

void RecordFile::Close() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  bool flushed = std::fflush(file) == 0;
  int flush_errno = errno;
  bool closed = std::fclose(file) == 0;
  if (!flushed) {
    throw RunTimeError("write error on file " + path_ + ": " + std::strerror(flush_errno));
  }
  if (!closed) {
    throw RunTimeError("close error on file " + path_ + ": " + std::strerror(errno));
  }
}

}  // namespace format
