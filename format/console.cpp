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
  return "file " + Printable(name, kNameShown);
}

std::string Quoted(std::string_view text) { return "\"" + Printable(text) + "\""; }

[[noreturn]] void ReadError(const LineSource& source, const std::string& what) {
  throw RunTimeError("read error on " + Where(source.name()) + ": " + what);
}

[[noreturn]] void Unreadable(const LineSource& source, const std::string& what) {
  throw UnreadableAnswer("read error on " + Where(source.name()) + ": " + what, what);
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
      Unreadable(source, Quoted(text) + " is not an integer");
    }
    *target.i = v;
  } else if (target.d != nullptr) {
    double v = 0;
    if (!ParseReal(text, v)) {
      Unreadable(source, Quoted(text) + " is not a number");
    }
    *target.d = v;
  } else if (target.f != nullptr) {
    double v = 0;
    if (!ParseReal(text, v, target.f)) {
      Unreadable(source, Quoted(text) + " is not a number");
    }
  }
}

// `c` as \xHH.
void AppendEscaped(std::string& shown, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  shown += "\\x";
  shown += kHex[c >> 4];
  shown += kHex[c & 0xF];
}

}  // namespace

std::string Printable(std::string_view text, std::size_t limit) {
  std::string shown;
  const std::size_t kept = text.size() > limit ? limit : text.size();
  for (std::size_t i = 0; i < kept; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      AppendEscaped(shown, c);
    }
  }
  if (kept < text.size()) shown += "...";
  return shown;
}

std::string MessageText(std::string_view text, std::size_t limit) {
  std::string shown;
  std::size_t i = 0;
  for (; i < text.size() && shown.size() < limit; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != 0x7F) {
      shown += static_cast<char>(c);
    } else {
      AppendEscaped(shown, c);
    }
  }
  if (i < text.size()) shown += "...";
  return shown;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) text += separator;
    text += items[i];
  }
  return text;
}

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
  ++line_;
  if (first_) {
    first_ = false;
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void ReadFree(LineSource& source, const std::vector<Target>& targets, std::string* rest) {
  if (rest != nullptr) rest->clear();
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
          Unreadable(source, Quoted(token) + " is not a number");
        }
        token = token.substr(star + 1);
      }
      for (int r = 0; r < repeat && next < targets.size(); ++r) {
        if (!token.empty()) Store(source, token, targets[next]);
        ++next;
      }
      if (next == targets.size()) {
        done = true;
        while (i < line.size() && IsSeparator(line[i])) ++i;
        if (rest != nullptr && i < line.size() && line[i] != '/') *rest = line;
      }
    }
  }
}

Console::Console(std::istream& in, std::ostream& out) : source_(in, kConsoleInput), out_(out) {}

void Console::SetAskAgain(bool on) {
  ask_again_ = on;
  question_.clear();
}

void Console::Remember(std::string_view text, bool raw) {
  // A question is a few records; a longer run (a listing, progress lines)
  // is not worth repeating whole.
  constexpr std::size_t kMaxQuestion = 40;
  if (question_.size() == kMaxQuestion) question_.erase(question_.begin());
  question_.push_back({std::string(text), raw});
}

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
  if (ask_again_) Remember(record, false);
  Note(record.empty() ? record : record.substr(1));
}

void Console::Raw(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out_) throw RunTimeError("write error on console output");
  if (ask_again_) Remember(text, true);
  Note(text);
}

void Console::Note(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return;
  const std::size_t last = text.find_last_not_of(' ');
  last_written_.assign(text.substr(first, last + 1 - first));
}

void Console::Reason(std::string_view text) {
  if (!ask_again_) return;
  Free({std::string(text)});
  question_.clear();
}

void Console::Flush() {
  out_.flush();
  if (!out_) throw RunTimeError("write error on console output");
  asked_ = last_written_;
}

std::string Console::ReadLine() {
  Flush();
  question_.clear();
  std::string line;
  if (!source_.Next(line)) throw RunTimeError("read error on console input: end of input");
  return line;
}

char Console::ReadLetter() {
  std::string line = ReadLine();
  return line.empty() ? ' ' : line[0];
}

void Console::Read(const std::vector<Target>& targets) {
  Flush();
  if (!ask_again_) {
    try {
      ReadFree(source_, targets);
    } catch (const UnreadableAnswer&) {
      BlameLastAnswer();
      throw;
    }
    return;
  }
  const std::vector<Written> question = std::move(question_);
  question_.clear();
  // A failed read may have filled some targets: they go back to what they
  // were, so that "/" in the next answer keeps the values from before.
  struct Value {
    int i = 0;
    double d = 0.0;
    float f = 0.0f;
  };
  std::vector<Value> before(targets.size());
  for (std::size_t k = 0; k < targets.size(); ++k) {
    if (targets[k].i != nullptr) before[k].i = *targets[k].i;
    if (targets[k].d != nullptr) before[k].d = *targets[k].d;
    if (targets[k].f != nullptr) before[k].f = *targets[k].f;
  }
  for (;;) {
    std::string problem;
    try {
      // One value asked for and more given ("0,5" for 0.5) is a mistake.
      std::string rest;
      ReadFree(source_, targets, targets.size() == 1 ? &rest : nullptr);
      if (rest.empty()) return;
      problem = Quoted(rest) + " holds more than one number";
      if (targets[0].i == nullptr) problem += "; a decimal needs a point, not a comma";
    } catch (const UnreadableAnswer& e) {
      problem = e.detail();
    }
    for (std::size_t k = 0; k < targets.size(); ++k) {
      if (targets[k].i != nullptr) *targets[k].i = before[k].i;
      if (targets[k].d != nullptr) *targets[k].d = before[k].d;
      if (targets[k].f != nullptr) *targets[k].f = before[k].f;
    }
    Free({problem + " - please answer again"});
    for (const Written& w : question) {
      if (w.raw) {
        Raw(w.text);
      } else {
        Record(w.text);
      }
    }
    question_.clear();
    Flush();
  }
}

int Console::ReadInt(int current) {
  Read({current});
  return current;
}

double Console::ReadReal(double current) {
  Read({current});
  return current;
}

RecordFile::RecordFile(const std::string& path, LineEnd end)
    : file_(path), end_(end == LineEnd::kLf ? "\n" : "\r\n") {}

void RecordFile::Record(std::string_view record) {
  file_.Write(record);
  file_.Write(end_);
}

void RecordFile::Close() { file_.Commit(); }

}  // namespace format
