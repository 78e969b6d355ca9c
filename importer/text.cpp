#include "importer/text.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <istream>

#include "importer/importer.h"

namespace importer {

LineReader::LineReader(std::istream& in, Sha256& hash) : in_(in), hash_(hash) {}

bool LineReader::Fill() {
  if (eof_) return false;
  buffer_.erase(0, pos_);
  pos_ = 0;
  const std::size_t old = buffer_.size();
  constexpr std::size_t kBlock = 1 << 16;
  buffer_.resize(old + kBlock);
  in_.read(&buffer_[old], kBlock);
  const std::size_t got = static_cast<std::size_t>(in_.gcount());
  buffer_.resize(old + got);
  if (in_.bad()) throw Error("cannot read the file");
  if (got < kBlock) eof_ = true;
  hash_.Update(std::string_view(buffer_).substr(old));
  if (bytes_ == 0 && got > 0 && buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bom_ = true;
    pos_ = 3;
  }
  bytes_ += got;
  return got > 0;
}

bool LineReader::Next(std::string_view& line) {
  std::size_t scanned = 0;  // bytes after pos_ already searched
  for (;;) {
    const std::size_t end = buffer_.find('\n', pos_ + scanned);
    if (end != std::string::npos) {
      line = std::string_view(buffer_).substr(pos_, end - pos_);
      pos_ = end + 1;
      break;
    }
    scanned = buffer_.size() - pos_;
    if (scanned > kMaxLine) {
      throw Error("line " + std::to_string(number_ + 1) + " is longer than " +
                  std::to_string(kMaxLine) + " bytes: not a data file");
    }
    if (!Fill()) {
      if (pos_ >= buffer_.size()) return false;
      line = std::string_view(buffer_).substr(pos_);
      pos_ = buffer_.size();
      break;
    }
  }
  ++number_;
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
    crlf_ = true;
  }
  return true;
}

namespace {
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool WordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }
}  // namespace

std::string_view Trim(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool HasWord(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (!SameName(text.substr(i, word.size()), word)) continue;
    const bool before = i > 0 && WordChar(text[i - 1]);
    const bool after = i + word.size() < text.size() && WordChar(text[i + word.size()]);
    if (!before && !after) return true;
  }
  return false;
}

void SplitCells(std::string_view line, char sep, std::vector<std::string>& cells) {
  std::size_t n = 0;
  auto next = [&]() -> std::string& {
    if (n == cells.size()) cells.emplace_back();
    std::string& c = cells[n++];
    c.clear();
    return c;
  };
  std::size_t i = 0;
  if (sep == ' ') {
    while (i < line.size() && Blank(line[i])) ++i;
    if (i == line.size()) {
      cells.resize(0);
      return;
    }
  }
  for (;;) {
    std::string& cell = next();
    while (i < line.size() && line[i] == ' ') ++i;
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size(); ++i) {
        if (line[i] != '"') {
          cell += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          cell += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
    }
    const std::size_t start = i;
    if (sep == ' ') {
      while (i < line.size() && !Blank(line[i])) ++i;
    } else {
      while (i < line.size() && line[i] != sep) ++i;
    }
    cell += line.substr(start, i - start);
    const std::string_view trimmed = Trim(cell);
    if (trimmed.size() != cell.size()) cell = std::string(trimmed);
    if (sep == ' ') {
      while (i < line.size() && Blank(line[i])) ++i;
      if (i == line.size()) break;
    } else {
      if (i == line.size()) break;
      ++i;
    }
  }
  cells.resize(n);
}

Cell ParseNumber(std::string_view cell, double& value) {
  cell = Trim(cell);
  if (cell.empty()) return Cell::kEmpty;
  if (cell.front() == '+') {
    cell.remove_prefix(1);
    if (cell.empty() || cell.front() == '-' || cell.front() == '+') return Cell::kText;
  }
  const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (end != cell.data() + cell.size()) return Cell::kText;
  if (ec == std::errc::result_out_of_range) {
    // Beyond the range of a double: infinite, or underflows towards zero.
    value = std::strtod(std::string(cell).c_str(), nullptr);
    return Cell::kNumber;
  }
  if (ec != std::errc()) return Cell::kText;
  return Cell::kNumber;
}

std::string Number(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

std::string Exact(double value) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : Number(value, 17);
}

}  // namespace importer
