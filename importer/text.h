// Lines, cells and numbers of a data file.
#ifndef SUSCEP_IMPORTER_TEXT_H_
#define SUSCEP_IMPORTER_TEXT_H_

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "importer/sha256.h"

namespace importer {

// A line longer than this is refused: no data file has one.
constexpr std::size_t kMaxLine = 1 << 20;

// The lines of a stream, read in blocks: the bytes go through `hash` as they
// come, a UTF-8 byte-order mark before the first line and a carriage return
// before each line end are dropped.
class LineReader {
 public:
  LineReader(std::istream& in, Sha256& hash);
  // The next line, valid until the next call; false at the end.
  bool Next(std::string_view& line);
  long number() const { return number_; }  // of the last line, from 1
  std::size_t bytes() const { return bytes_; }
  bool bom() const { return bom_; }
  bool crlf() const { return crlf_; }

 private:
  bool Fill();
  std::istream& in_;
  Sha256& hash_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t bytes_ = 0;
  long number_ = 0;
  bool eof_ = false, bom_ = false, crlf_ = false;
};

std::string_view Trim(std::string_view s);
bool SameName(std::string_view a, std::string_view b);       // ignoring case and outer blanks
bool HasWord(std::string_view text, std::string_view word);  // a whole word, ignoring case

// Splits a line at `sep` (',' or '\t'; ' ' for runs of blanks and tabs).
// A cell in double quotes may hold the separator; "" in it is one quote.
// Cells are trimmed of blanks. `cells` is reused from call to call.
void SplitCells(std::string_view line, char sep, std::vector<std::string>& cells);

enum class Cell { kEmpty, kNumber, kText };
// A whole cell as a number (a leading + allowed; NaN and Inf are numbers
// that are not finite).
Cell ParseNumber(std::string_view cell, double& value);

// A number for a message or the summary: up to `digits` significant digits.
std::string Number(double value, int digits = 6);
// The shortest text that reads back as the same double.
std::string Exact(double value);

}  // namespace importer

#endif  // SUSCEP_IMPORTER_TEXT_H_
