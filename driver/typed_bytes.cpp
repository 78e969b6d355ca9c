#include "driver/typed_bytes.h"

namespace driver {
namespace {

constexpr wchar_t kRawByte = 0xDC00;

wchar_t Raw(unsigned char byte) { return static_cast<wchar_t>(kRawByte + byte); }

}  // namespace

wchar_t TypedBytes::Decode(unsigned char lead, int more, const std::string& tail) {
  if (more == 0 || static_cast<int>(tail.size()) < more ||
      (static_cast<unsigned char>(tail.back()) & 0xC0) != 0x80) {
    pending_.insert(0, tail);
    return Raw(lead);
  }
  char32_t c = lead & (more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07);
  for (char t : tail) c = (c << 6) | (static_cast<unsigned char>(t) & 0x3F);
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  // Overlong forms, surrogates and the C1 controls (which libedit would
  // take for meta keys) are bytes, not characters.
  if (c < kLeast[more] || c < 0xA0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    pending_.insert(0, tail);
    return Raw(lead);
  }
  return static_cast<wchar_t>(c);
}

std::string TypedBytes::Bytes(std::wstring_view chars) {
  std::string bytes;
  for (const wchar_t w : chars) {
    const auto c = static_cast<char32_t>(w);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c >= kRawByte + 0x80 && c <= kRawByte + 0xFF) {
      bytes += static_cast<char>(c - kRawByte);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

}  // namespace driver
