#include "format/layout.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace format {
namespace {

// ---------------------------------------------------------------------------
// Decimal digits of a double.

// The magnitude of a finite double as 16 significant decimal digits
// d0.d1...d15 x 10^exp, correctly rounded from the binary value.
struct Decimal {
  char digits[16];
  int exp = 0;
  bool negative = false;
  bool zero = false;
};

// 10^k for k = 0..22, all below 2^74.
struct Powers {
  unsigned __int128 of10[23];
  constexpr Powers() : of10() {
    unsigned __int128 p = 1;
    for (auto& v : of10) {
      v = p;
      p *= 10;
    }
  }
};
constexpr Powers kPowers;

// The digits of `magnitude` (positive, finite) for the usual magnitudes,
// 1.0E-7 up to 2^52, without the general conversion: with magnitude = m/2^s
// (m below 2^53), the digits are m 10^k / 2^s rounded half to even, as the
// general conversion rounds, for k = 15 - exp, in 128-bit integers. False
// outside that range.
bool ExactDigits(double magnitude, Decimal& dec) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  if (biased == 0 || biased == 0x7ff) return false;
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int e2 = biased - 1023;  // magnitude in [2^e2, 2^(e2+1))
  const int s = 52 - e2;
  if (s < 1 || s > 120) return false;
  constexpr std::uint64_t kLow = 1000000000000000;  // 10^15
  constexpr std::uint64_t kHigh = 10 * kLow;
  // floor(log10(magnitude)) is floor(e2 log10 2) or one more.
  int exp = static_cast<int>(std::floor(e2 * 0.30102999566398120));
  for (int attempt = 0; attempt < 2; ++attempt, ++exp) {
    const int k = 15 - exp;
    if (k < 0 || k > 22) return false;
    const unsigned __int128 N = m * kPowers.of10[k];
    const unsigned __int128 one = 1;
    unsigned __int128 q = N >> s;
    if (q >= kHigh) continue;  // exp was one too small
    const unsigned __int128 rest = N & ((one << s) - 1);
    const unsigned __int128 half = one << (s - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    std::uint64_t D = static_cast<std::uint64_t>(q);
    if (D == kHigh) {
      D = kLow;
      ++exp;
    }
    for (int i = 15; i >= 0; --i) {
      dec.digits[i] = static_cast<char>('0' + D % 10);
      D /= 10;
    }
    dec.exp = exp;
    return true;
  }
  return false;
}

Decimal ToDecimal(double value) {
  Decimal dec;
  dec.negative = std::signbit(value);
  double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    dec.zero = true;
    std::memset(dec.digits, '0', sizeof dec.digits);
    return dec;
  }
  if (ExactDigits(magnitude, dec)) return dec;
  // "d.ddddddddddddddde+XXX": at most 23 characters.
  char buf[32];
  auto result = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 15);
  dec.digits[0] = buf[0];
  std::memcpy(dec.digits + 1, buf + 2, 15);
  const char* p = buf + 18;  // the sign after 'e'
  bool exp_negative = *p == '-';
  int e = 0;
  for (++p; p < result.ptr; ++p) e = e * 10 + (*p - '0');
  dec.exp = exp_negative ? -e : e;
  return dec;
}

// Rounds `dec` to `count` significant digits, half away from zero on its 16
// decimal digits. Writes the kept digits to `out` (room for 16; digits past
// the 16th are zeros and not stored) and their number to `kept`; returns the
// power of ten of the first digit, one more than dec.exp after a carry out of
// the top digit (9.99995 to 10.0000). With count == 0 the value can still
// round up to one unit of the next higher position; `kept` is 0 when the
// value rounds to zero.
int RoundDigits(const Decimal& dec, int count, char* out, int& kept) {
  kept = 0;
  if (dec.zero || count < 0) return dec.exp;
  if (count == 0) {
    if (dec.digits[0] < '5') return dec.exp;
    out[0] = '1';
    kept = 1;
    return dec.exp + 1;
  }
  kept = count < 16 ? count : 16;
  std::memcpy(out, dec.digits, static_cast<std::size_t>(kept));
  if (count >= 16 || dec.digits[count] < '5') return dec.exp;
  int i = count - 1;
  while (i >= 0 && out[i] == '9') out[i--] = '0';
  if (i >= 0) {
    ++out[i];
    return dec.exp;
  }
  out[0] = '1';
  return dec.exp + 1;
}

// Right-justifies `text` in `w` positions, or w asterisks if it is longer.
void Justify(std::string& field, const char* text, int len, int w) {
  if (w <= 0) return;
  if (len > w) {
    field.append(static_cast<std::size_t>(w), '*');
    return;
  }
  field.append(static_cast<std::size_t>(w - len), ' ');
  field.append(text, static_cast<std::size_t>(len));
}

// NaN and the infinities in a numeric field of `w` positions.
void AppendNonFinite(std::string& field, double value, int w) {
  if (std::isnan(value)) {
    Justify(field, "NaN", 3, w);
    return;
  }
  bool negative = value < 0;
  const char* full = negative ? "-Infinity" : "Infinity";
  const char* brief = negative ? "-Inf" : "Inf";
  int full_len = negative ? 9 : 8;
  int brief_len = negative ? 4 : 3;
  if (full_len <= w) {
    Justify(field, full, full_len, w);
  } else {
    Justify(field, brief, brief_len, w);
  }
}

void AppendI(std::string& field, std::int64_t value, int w) {
  char buf[24];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  Justify(field, buf, static_cast<int>(result.ptr - buf), w);
}

void AppendF(std::string& field, double value, int w, int d) {
  if (!std::isfinite(value)) {
    AppendNonFinite(field, value, w);
    return;
  }
  if (d < 0) d = 0;
  Decimal dec = ToDecimal(value);
  // Keep the digits from 10^exp down to 10^-d.
  char digits[16];
  int kept = 0;
  int top = RoundDigits(dec, dec.exp + d + 1, digits, kept);
  bool rounds_to_zero = true;
  for (int i = 0; i < kept; ++i) {
    if (digits[i] != '0') rounds_to_zero = false;
  }
  bool minus = dec.negative && !rounds_to_zero;
  int int_digits = !rounds_to_zero && top >= 0 ? top + 1 : 0;
  // Only when there are neither integer digits nor decimals is a single
  // zero written before the point.
  bool lone_zero = int_digits == 0 && d == 0;
  int len = (minus ? 1 : 0) + int_digits + (lone_zero ? 1 : 0) + 1 + d;
  if (len > w) {
    field.append(static_cast<std::size_t>(w > 0 ? w : 0), '*');
    return;
  }
  field.append(static_cast<std::size_t>(w - len), ' ');
  auto digit_at = [&](int pos) -> char {
    int idx = top - pos;
    return idx >= 0 && idx < kept ? digits[idx] : '0';
  };
  if (minus) field += '-';
  for (int pos = int_digits - 1; pos >= 0; --pos) field += digit_at(pos);
  if (lone_zero) field += '0';
  field += '.';
  for (int pos = -1; pos >= -d; --pos) field += digit_at(pos);
}

// The exponent part: letter, sign, two digits; beyond +-99 the letter gives
// way to a third digit.
void AppendExponent(std::string& field, int exponent, char letter) {
  int magnitude = exponent < 0 ? -exponent : exponent;
  char sign = exponent < 0 ? '-' : '+';
  if (magnitude > 99) {
    field += sign;
    if (magnitude > 999) field += static_cast<char>('0' + magnitude / 1000);
    field += static_cast<char>('0' + magnitude / 100 % 10);
    field += static_cast<char>('0' + magnitude / 10 % 10);
    field += static_cast<char>('0' + magnitude % 10);
    return;
  }
  field += letter;
  field += sign;
  field += static_cast<char>('0' + magnitude / 10);
  field += static_cast<char>('0' + magnitude % 10);
}

void AppendE(std::string& field, double value, int w, int d, int scale, char letter) {
  if (!std::isfinite(value)) {
    AppendNonFinite(field, value, w);
    return;
  }
  if (d < 0) d = 0;
  // Digits before the point, zeros after it, and significant digits: with
  // scale k > 0, k digits before the point and d - k + 1 after; with k <= 0,
  // -k zeros after the point and d + k significant digits.
  int before = 0, lead_zeros = 0, significant = d;
  if (scale > 0) {
    before = scale;
    significant = scale > d + 1 ? scale : d + 1;
  } else if (scale < 0) {
    lead_zeros = -scale < d ? -scale : d;
    significant = d - lead_zeros;
  }
  int after = significant - before;
  if (significant < 1) {
    field.append(static_cast<std::size_t>(w > 0 ? w : 0), '*');
    return;
  }
  Decimal dec = ToDecimal(value);
  char digits[16];
  int kept = 0;
  int top = RoundDigits(dec, significant, digits, kept);
  int exponent = dec.zero ? 0 : top + 1 - scale;
  int magnitude = exponent < 0 ? -exponent : exponent;
  bool minus = dec.negative && !dec.zero;
  int len = (minus ? 1 : 0) + before + 1 + lead_zeros + after + 4 + (magnitude > 999 ? 1 : 0);
  if (len > w) {
    field.append(static_cast<std::size_t>(w > 0 ? w : 0), '*');
    return;
  }
  field.append(static_cast<std::size_t>(w - len), ' ');
  if (minus) field += '-';
  int i = 0;
  auto next = [&]() -> char { return i < kept ? digits[i++] : '0'; };
  for (int k = 0; k < before; ++k) field += next();
  field += '.';
  field.append(static_cast<std::size_t>(lead_zeros), '0');
  for (int k = 0; k < after; ++k) field += next();
  AppendExponent(field, exponent, letter);
}

// ---------------------------------------------------------------------------
// Free-form fields.

void AppendFreeReal(std::string& field, double value) {
  constexpr int kWidth = 24;
  if (!std::isfinite(value)) {
    AppendNonFinite(field, value, kWidth);
    return;
  }
  Decimal dec = ToDecimal(value);
  char buf[40];
  int len = 0;
  if (dec.negative && !dec.zero) buf[len++] = '-';
  if (!dec.zero && dec.exp >= 0 && dec.exp < 7) {
    // Fixed: exp + 1 integer digits, 15 decimals; positions past the 16th
    // significant digit are zeros.
    int int_digits = dec.exp + 1;
    for (int k = 0; k < int_digits; ++k) buf[len++] = dec.digits[k];
    buf[len++] = '.';
    for (int k = int_digits; k < int_digits + 15; ++k) {
      buf[len++] = k < 16 ? dec.digits[k] : '0';
    }
  } else {
    buf[len++] = dec.digits[0];
    buf[len++] = '.';
    for (int k = 1; k < 16; ++k) buf[len++] = dec.digits[k];
    int exponent = dec.zero ? 0 : dec.exp;
    int magnitude = exponent < 0 ? -exponent : exponent;
    buf[len++] = 'E';
    buf[len++] = exponent < 0 ? '-' : '+';
    buf[len++] = static_cast<char>('0' + magnitude / 100);
    buf[len++] = static_cast<char>('0' + magnitude / 10 % 10);
    buf[len++] = static_cast<char>('0' + magnitude % 10);
  }
  Justify(field, buf, len, kWidth);
}

void AppendFreeInt(std::string& field, std::int64_t value) {
  char buf[24];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  int len = static_cast<int>(result.ptr - buf);
  // A wider number than the field widens the field rather than hiding it.
  Justify(field, buf, len, len > 11 ? len : 11);
}

// ---------------------------------------------------------------------------
// Layout descriptors.

struct Node {
  enum class Op { kLiteral, kSkip, kTab, kSlash, kScale, kI, kF, kE, kA, kGroup };
  Op op = Op::kLiteral;
  int repeat = 1;
  int w = 0;  // width; n of nX and Tn; k of kP; 0 for a bare A
  int d = 0;
  char letter = 'E';
  std::string text;
  std::vector<Node> children;
};

}  // namespace

struct ParsedLayout {
  std::vector<Node> nodes;
  // Index in `nodes` where a further record starts when items are left at
  // the final parenthesis: the last top-level group, else the beginning.
  std::size_t reversion = 0;
};

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  ParsedLayout Parse() {
    ParsedLayout layout;
    SkipBlanks();
    Expect('(');
    layout.nodes = ParseList();
    Expect(')');
    SkipBlanks();
    if (pos_ != text_.size()) Fail("text after the final parenthesis");
    for (std::size_t i = 0; i < layout.nodes.size(); ++i) {
      if (layout.nodes[i].op == Node::Op::kGroup) layout.reversion = i;
    }
    return layout;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw std::invalid_argument("layout \"" + std::string(text_) + "\": " + what + " at position " +
                                std::to_string(pos_ + 1));
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }

  char Peek() {
    SkipBlanks();
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }

  void Expect(char c) {
    if (Peek() != c) Fail(c == ')' ? "missing ')'" : "expected '('");
    ++pos_;
  }

  bool IsDigit(char c) const { return c >= '0' && c <= '9'; }

  // An unsigned number, or -1 if none is here.
  int Number() {
    SkipBlanks();
    if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return -1;
    long n = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) {
      n = n * 10 + (text_[pos_] - '0');
      if (n > 1000000) Fail("number too large");
      ++pos_;
      SkipBlanks();
    }
    return static_cast<int>(n);
  }

  std::vector<Node> ParseList() {
    std::vector<Node> nodes;
    if (Peek() == ')') return nodes;
    for (;;) {
      char c = Peek();
      if (c == '/') {
        // "/" needs no comma around it.
        ++pos_;
        Node node;
        node.op = Node::Op::kSlash;
        nodes.push_back(std::move(node));
        c = Peek();
        if (c == ')') return nodes;
        if (c == ',') ++pos_;
        continue;
      }
      nodes.push_back(ParseItem());
      c = Peek();
      if (c == ',') {
        ++pos_;
      } else if (c == ')') {
        return nodes;
      } else if (c != '/') {
        Fail("expected ',' or ')'");
      }
    }
  }

  std::string Literal(char quote) {
    std::string s;
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) Fail("unterminated literal");
      char c = text_[pos_++];
      if (c == quote) {
        if (pos_ < text_.size() && text_[pos_] == quote) {
          s.push_back(quote);
          ++pos_;
          continue;
        }
        return s;
      }
      s.push_back(c);
    }
  }

  Node ParseItem() {
    int count = Number();
    char c = Peek();
    if (c == '\0') Fail("unexpected end");
    Node node;
    if (c == '\'' || c == '"') {
      node.text = Literal(c);
      node.repeat = count < 0 ? 1 : count;
      return node;
    }
    if (c == '(') {
      ++pos_;
      node.op = Node::Op::kGroup;
      node.children = ParseList();
      Expect(')');
      node.repeat = count < 0 ? 1 : count;
      return node;
    }
    ++pos_;
    switch (c) {
      case 'X':
      case 'x':
        node.op = Node::Op::kSkip;
        node.w = count < 0 ? 1 : count;
        return node;
      case 'P':
      case 'p':
        if (count < 0) Fail("P needs a scale factor");
        node.op = Node::Op::kScale;
        node.w = count;
        return node;
      case 'T':
      case 't': {
        if (count >= 0) Fail("a repeat count before T");
        node.op = Node::Op::kTab;
        node.w = Number();
        if (node.w < 1) Fail("T needs a position");
        return node;
      }
      default:
        break;
    }
    node.repeat = count < 0 ? 1 : count;
    ParseField(node, c);
    return node;
  }

  // A value field: Iw, A or Aw, Fw.d, Ew.d, Dw.d.
  void ParseField(Node& node, char c) {
    switch (c) {
      case 'I':
      case 'i':
        node.op = Node::Op::kI;
        node.w = Number();
        if (node.w < 1) Fail("I needs a width");
        return;
      case 'A':
      case 'a':
        node.op = Node::Op::kA;
        node.w = Number();
        if (node.w < 0) node.w = 0;
        return;
      case 'F':
      case 'f':
      case 'E':
      case 'e':
      case 'D':
      case 'd': {
        node.op = (c == 'F' || c == 'f') ? Node::Op::kF : Node::Op::kE;
        node.letter = (c == 'D' || c == 'd') ? 'D' : 'E';
        node.w = Number();
        if (node.w < 1) Fail("a numeric field needs a width");
        if (Peek() != '.') Fail("a numeric field needs '.d'");
        ++pos_;
        node.d = Number();
        if (node.d < 0) Fail("a numeric field needs '.d'");
        return;
      }
      default:
        Fail("unknown edit item");
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// Parsed layouts by their text; the program's layouts are a fixed set of
// constants, so the cache stays small. Shared by every thread: an entry, once
// made, never moves or changes.
const ParsedLayout& CachedLayout(std::string_view text) {
  static std::mutex guard;
  static std::map<std::string, ParsedLayout, std::less<>> cache;
  const std::lock_guard<std::mutex> lock(guard);
  auto it = cache.find(text);
  if (it != cache.end()) return it->second;
  ParsedLayout layout = Parser(text).Parse();
  return cache.emplace(std::string(text), std::move(layout)).first->second;
}

// The state of one write.
class Writer {
 public:
  Writer(const Items& items, RenderBuffers& buffers)
      : items_(items), buffers_(buffers), record_(buffers.record), field_(buffers.field) {
    buffers_.count = 0;
    record_.clear();
  }

  void Run(const ParsedLayout& layout) {
    std::size_t start = 0;
    for (;;) {
      std::size_t before = next_;
      if (!RunList(layout.nodes, start)) break;
      // At the final parenthesis: stop when the items are used up, or when a
      // pass took none (the reverted part has no value item) and never will.
      if (next_ >= items_.size() || next_ == before) break;
      EndRecord();
      start = layout.reversion;
    }
    EndRecord();
  }

 private:
  // False when the items ran out at a value item.
  bool RunList(const std::vector<Node>& nodes, std::size_t start) {
    for (std::size_t i = start; i < nodes.size(); ++i) {
      const Node& node = nodes[i];
      for (int r = 0; r < node.repeat; ++r) {
        if (!RunNode(node)) return false;
      }
    }
    return true;
  }

  bool RunNode(const Node& node) {
    switch (node.op) {
      case Node::Op::kLiteral:
        Put(node.text.data(), node.text.size());
        return true;
      case Node::Op::kSkip:
        pos_ += static_cast<std::size_t>(node.w);
        return true;
      case Node::Op::kTab:
        pos_ = static_cast<std::size_t>(node.w - 1);
        return true;
      case Node::Op::kSlash:
        EndRecord();
        return true;
      case Node::Op::kScale:
        scale_ = node.w;
        return true;
      case Node::Op::kGroup:
        return RunList(node.children, 0);
      default:
        break;
    }
    if (next_ >= items_.size()) return false;
    const Item& item = items_[next_++];
    field_.clear();
    switch (node.op) {
      case Node::Op::kI:
        if (item.kind != Item::Kind::kInt) Mismatch("I", item);
        AppendI(field_, item.i, node.w);
        break;
      case Node::Op::kF:
        AppendF(field_, Real(item, "F"), node.w, node.d);
        break;
      case Node::Op::kE:
        AppendE(field_, Real(item, node.letter == 'D' ? "D" : "E"), node.w, node.d, scale_,
                node.letter);
        break;
      case Node::Op::kA:
        if (item.kind != Item::Kind::kText) Mismatch("A", item);
        AppendA(item.s, node.w);
        break;
      default:
        break;
    }
    Put(field_.data(), field_.size());
    return true;
  }

  void AppendA(const std::string& s, int w) {
    if (w == 0) {
      field_ = s;
    } else if (static_cast<std::size_t>(w) <= s.size()) {
      field_.assign(s, 0, static_cast<std::size_t>(w));
    } else {
      field_.assign(static_cast<std::size_t>(w) - s.size(), ' ');
      field_ += s;
    }
  }

  static double Real(const Item& item, const char* edit) {
    if (item.kind == Item::Kind::kReal) return item.r;
    if (item.kind == Item::Kind::kInt) return static_cast<double>(item.i);
    Mismatch(edit, item);
  }

  [[noreturn]] static void Mismatch(const char* edit, const Item& item) {
    const char* kind = item.kind == Item::Kind::kInt    ? "an integer"
                       : item.kind == Item::Kind::kReal ? "a real"
                                                        : "a text";
    throw std::invalid_argument(std::string(edit) + " field given " + kind);
  }

  void Put(const char* text, std::size_t len) {
    if (pos_ > record_.size()) record_.append(pos_ - record_.size(), ' ');
    if (pos_ == record_.size()) {
      record_.append(text, len);
    } else {
      // T moved left: overwrite.
      std::size_t overlap = record_.size() - pos_;
      if (overlap > len) overlap = len;
      record_.replace(pos_, overlap, text, len);
    }
    pos_ += len;
  }

  void EndRecord() {
    std::vector<std::string>& records = buffers_.records;
    if (buffers_.count == records.size()) records.emplace_back();
    // The finished record goes out; the storage of an old one comes back.
    records[buffers_.count++].swap(record_);
    record_.clear();
    pos_ = 0;
  }

  const Items& items_;
  RenderBuffers& buffers_;
  std::size_t next_ = 0;
  int scale_ = 0;
  std::string& record_;
  std::string& field_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::string> Render(std::string_view layout, const Items& items) {
  RenderBuffers buffers;
  Writer(items, buffers).Run(CachedLayout(layout));
  return std::move(buffers.records);
}

PreparedLayout::PreparedLayout(std::string_view layout) : layout_(&CachedLayout(layout)) {}

std::size_t PreparedLayout::Render(const Items& items) {
  Writer(items, buffers_).Run(*layout_);
  return buffers_.count;
}

std::string RenderFree(const Items& items) {
  std::string record(1, ' ');
  bool after_number = false;
  for (const Item& item : items) {
    switch (item.kind) {
      case Item::Kind::kText:
        record += item.s;
        after_number = false;
        break;
      case Item::Kind::kInt:
        if (after_number) record += ' ';
        AppendFreeInt(record, item.i);
        after_number = true;
        break;
      case Item::Kind::kReal:
        if (after_number) record += ' ';
        AppendFreeReal(record, item.r);
        after_number = true;
        break;
    }
  }
  return record;
}

std::string FormatI(std::int64_t value, int w) {
  std::string field;
  AppendI(field, value, w);
  return field;
}

std::string FormatF(double value, int w, int d) {
  std::string field;
  AppendF(field, value, w, d);
  return field;
}

std::string FormatE(double value, int w, int d, int scale, char letter) {
  std::string field;
  AppendE(field, value, w, d, scale, letter);
  return field;
}

std::string FormatFreeReal(double value) {
  std::string field;
  AppendFreeReal(field, value);
  return field;
}

std::string FormatFreeInt(std::int64_t value) {
  std::string field;
  AppendFreeInt(field, value);
  return field;
}

}  // namespace format
