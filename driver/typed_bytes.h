// Bytes typed at a terminal as the characters a line editor works with,
// and back. Valid UTF-8 gives its character; every other byte of 128 and
// above gives the character 0xDC00 + byte, which no valid UTF-8 gives, so
// Bytes() of the characters is exactly the bytes typed.
#ifndef SUSCEP_DRIVER_TYPED_BYTES_H_
#define SUSCEP_DRIVER_TYPED_BYTES_H_

#include <optional>
#include <string>
#include <string_view>

namespace driver {

class TypedBytes {
 public:
  // The next character; `next_byte(unsigned char&)` gives the next byte
  // typed, false at the end. Nothing once the bytes have ended.
  template <typename NextByte>
  std::optional<wchar_t> Next(NextByte&& next_byte) {
    unsigned char lead = 0;
    if (!Take(lead, next_byte)) return std::nullopt;
    const int more = lead >= 0xC2 && lead <= 0xDF   ? 1
                     : lead >= 0xE0 && lead <= 0xEF ? 2
                     : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                    : 0;
    if (lead < 0x80) return static_cast<wchar_t>(lead);
    std::string tail;
    for (int k = 0; k < more; ++k) {
      unsigned char c = 0;
      if (!Take(c, next_byte)) break;
      tail += static_cast<char>(c);
      if ((c & 0xC0) != 0x80) break;
    }
    return Decode(lead, more, tail);
  }

  static std::string Bytes(std::wstring_view chars);

 private:
  template <typename NextByte>
  bool Take(unsigned char& byte, NextByte& next_byte) {
    if (pending_.empty()) return next_byte(byte);
    byte = static_cast<unsigned char>(pending_.front());
    pending_.erase(0, 1);
    return true;
  }
  // The character of `lead` and the `tail` read after it; what is not part
  // of it is read again.
  wchar_t Decode(unsigned char lead, int more, const std::string& tail);

  std::string pending_;  // bytes read ahead and not yet taken
};

}  // namespace driver

#endif  // SUSCEP_DRIVER_TYPED_BYTES_H_
