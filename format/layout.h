// Layout-descriptor writer and free-form writer: every record the program
// writes is rendered here.
#ifndef SUSCEP_FORMAT_LAYOUT_H_
#define SUSCEP_FORMAT_LAYOUT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace format {

// One value handed to a layout: an integer (I fields), a double (F, E, D
// fields) or a text (A fields).
struct Item {
  enum class Kind { kInt, kReal, kText };
  Kind kind;
  std::int64_t i = 0;
  double r = 0.0;
  std::string s;

  Item(int v) : kind(Kind::kInt), i(v) {}
  Item(long v) : kind(Kind::kInt), i(v) {}
  Item(long long v) : kind(Kind::kInt), i(v) {}
  Item(double v) : kind(Kind::kReal), r(v) {}
  Item(float v) = delete;  // convert explicitly: a single must say so
  Item(const char* v) : kind(Kind::kText), s(v) {}
  Item(std::string v) : kind(Kind::kText), s(std::move(v)) {}
  Item(std::string_view v) : kind(Kind::kText), s(v) {}
  Item(char c) : kind(Kind::kText), s(1, c) {}
};

using Items = std::vector<Item>;

// Renders `items` through the layout descriptor `layout`, e.g.
// "(1X,F7.2,5(1X,E11.4))", into complete records (no line ends).
// Throws std::invalid_argument for a layout it cannot parse.
std::vector<std::string> Render(std::string_view layout, const Items& items);

// The storage of a rendering: the records (those past `count` are kept from
// an earlier rendering for their storage), the record being built and the
// field being formatted.
struct RenderBuffers {
  std::vector<std::string> records;
  std::size_t count = 0;
  std::string record;
  std::string field;
};

struct ParsedLayout;

// A layout parsed once, for a record written again and again (the progress
// line of every evaluation). Its records are rendered into buffers kept from
// one rendering to the next: once they have grown to the longest record, a
// rendering allocates nothing. Copies are independent.
class PreparedLayout {
 public:
  // Throws std::invalid_argument for a layout it cannot parse.
  explicit PreparedLayout(std::string_view layout);
  // Renders `items` as Render does; returns the number of records, each
  // available as record(i) until the next rendering.
  std::size_t Render(const Items& items);
  std::string_view record(std::size_t i) const { return buffers_.records[i]; }

 private:
  const ParsedLayout* layout_;  // parsed layouts live for the whole run
  RenderBuffers buffers_;
};

// One free-form output record: a leading blank, then the items (texts as
// they are, integers in 11 positions, doubles in 24, one more blank before
// a number that follows a number).
std::string RenderFree(const Items& items);

// Single fields, exposed for tests and for callers that build a record by
// hand. `scale` is the 1P scale factor (0 or 1).
std::string FormatI(std::int64_t value, int w);
std::string FormatF(double value, int w, int d);
std::string FormatE(double value, int w, int d, int scale, char letter = 'E');
std::string FormatFreeReal(double value);       // 24 positions
std::string FormatFreeInt(std::int64_t value);  // 11 positions

}  // namespace format

#endif  // SUSCEP_FORMAT_LAYOUT_H_
