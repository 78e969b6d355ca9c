// Bytes typed at a terminal, as the line editor's characters and back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "driver/typed_bytes.h"

namespace {

std::wstring Characters(const std::string& bytes) {
  driver::TypedBytes decoder;
  std::size_t at = 0;
  std::wstring chars;
  const auto next = [&](unsigned char& b) {
    if (at == bytes.size()) return false;
    b = static_cast<unsigned char>(bytes[at++]);
    return true;
  };
  while (const auto c = decoder.Next(next)) chars += *c;
  return chars;
}

TEST(DriverTypedBytes, EveryByteSequenceComesBackAsTyped) {
  const std::string cases[] = {
      "2\xFF"
      "5\xB7\xE9"
      "0",
      "caf\xE9.dat",
      "caf\xC3\xA9.dat",
      "\xC3",
      "\xE2\x82",
      "\xF0\x9F\x98",
      "\xC0\xAF",
      "\xE0\x80\xAF",
      "\xED\xA0\x80",
      "\xF4\x90\x80\x80",
      "\xC2\x85",
      "\xC3\xC3\xA9",
      "\xE2\x82\xAC\xE2\x82",
      std::string("a\0b", 3)};
  for (const std::string& bytes : cases) {
    EXPECT_EQ(driver::TypedBytes::Bytes(Characters(bytes)), bytes) << bytes;
  }
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(driver::TypedBytes::Bytes(Characters(one)), one) << b;
  }
  std::mt19937 random(23);
  for (int n = 0; n < 2000; ++n) {
    std::string bytes;
    for (int k = random() % 12; k > 0; --k) {
      // Mostly bytes of 128 and above, where the cases are.
      bytes += static_cast<char>(random() % 4 == 0 ? random() % 128 : 128 + random() % 128);
    }
    ASSERT_EQ(driver::TypedBytes::Bytes(Characters(bytes)), bytes) << n;
  }
}

TEST(DriverTypedBytes, ValidUtf8IsOneCharacterAndOtherBytesStandApart) {
  EXPECT_EQ(Characters("caf\xC3\xA9"), L"caf\u00E9");
  EXPECT_EQ(Characters("\xE2\x82\xAC"), L"\u20AC");
  EXPECT_EQ(Characters("\xF0\x9F\x98\x80"), std::wstring(1, static_cast<wchar_t>(0x1F600)));
  // A byte that is not UTF-8 is a character no UTF-8 text gives.
  EXPECT_EQ(Characters("\xE9"
                       "0"),
            std::wstring({static_cast<wchar_t>(0xDCE9), L'0'}));
  // Overlong, surrogate, beyond U+10FFFF and C1 controls (meta keys to
  // the editor): byte by byte.
  for (const std::string bytes :
       {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC2\x85"}) {
    const std::wstring chars = Characters(bytes);
    ASSERT_EQ(chars.size(), bytes.size()) << bytes;
    for (std::size_t k = 0; k < chars.size(); ++k) {
      EXPECT_EQ(chars[k], static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(bytes[k])))
          << bytes;
    }
  }
  // A lead byte followed by a character that is not a continuation: that
  // character is read again as itself.
  EXPECT_EQ(Characters("\xC3"
                       "A"),
            std::wstring({static_cast<wchar_t>(0xDCC3), L'A'}));
  EXPECT_EQ(Characters("\xE2\x82"
                       "\n"),
            std::wstring({static_cast<wchar_t>(0xDCE2), static_cast<wchar_t>(0xDC82), L'\n'}));
}

}  // namespace
