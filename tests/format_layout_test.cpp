// Field and layout rendering: tables of value, item and exact text.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/layout.h"

namespace {

using format::Items;
using format::Render;

std::string One(std::string_view layout, const Items& items) {
  std::vector<std::string> records = Render(layout, items);
  EXPECT_EQ(records.size(), 1u) << layout;
  return records.empty() ? std::string() : records[0];
}

struct FixedCase {
  double value;
  int w, d;
  const char* text;
};

TEST(FormatF, Table) {
  const FixedCase cases[] = {
      {0.5, 3, 1, " .5"},
      {2.5, 3, 1, "2.5"},
      {0.25, 3, 2, ".25"},
      {0.5, 10, 4, "     .5000"},
      {0.0, 10, 4, "     .0000"},
      {-0.0, 10, 4, "     .0000"},
      {-0.00004, 10, 4, "     .0000"},
      {-0.00005, 10, 4, "    -.0001"},
      {0.00005, 10, 4, "     .0001"},
      {12345.678, 7, 2, "*******"},
      {-999.995, 7, 2, "*******"},  // rounds to -1000.00
      {-99.995, 7, 2, "-100.00"},
      {9.99995, 7, 4, "10.0000"},
      {0.125, 4, 2, " .13"},  // half away from zero
      {-0.125, 4, 2, "-.13"},
      {0.15, 3, 1, " .2"},     // 16 digits: 1.500000000000000e-01
      {2.675, 5, 2, " 2.68"},  // binary 2.67499999... but 16 digits end in 5
      {1.0 / 3.0, 20, 18, " .333333333333333300"},
      {123456789.0, 15, 2, "   123456789.00"},
      {1e20, 25, 2, " 100000000000000000000.00"},
      {0.3, 3, 0, " 0."},
      {0.7, 3, 0, " 1."},
      {-0.3, 3, 0, " 0."},
      {5.0, 2, 0, "5."},
      {300.0, 7, 2, " 300.00"},
      {50.38, 7, 2, "  50.38"},
      {-0.000011, 8, 6, "-.000011"},
      {0.0015539, 9, 6, "  .001554"},
      {1e-300, 7, 2, "    .00"},
      {1e300, 7, 2, "*******"},
      {2.0, 5, 2, " 2.00"},
      {-1.5, 4, 2, "****"},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(format::FormatF(c.value, c.w, c.d), c.text) << c.value << " F" << c.w << "." << c.d;
  }
}

struct ExpCase {
  double value;
  int w, d, scale;
  char letter;
  const char* text;
};

TEST(FormatE, Table) {
  const ExpCase cases[] = {
      {1234.5, 12, 5, 0, 'E', "  .12345E+04"},
      {1234.5, 12, 5, 1, 'E', " 1.23450E+03"},
      {0.0, 12, 5, 1, 'E', " 0.00000E+00"},
      {1.0e-120, 12, 5, 1, 'E', " 1.00000-120"},
      {1.0e120, 12, 5, 1, 'E', " 1.00000+120"},
      {1.0e-120, 11, 4, 0, 'E', "  .1000-119"},
      {-123.456, 12, 4, 1, 'E', " -1.2346E+02"},
      {0.0015, 11, 4, 0, 'E', "  .1500E-02"},
      {0.0, 11, 4, 0, 'E', "  .0000E+00"},
      {-0.0, 11, 4, 0, 'E', "  .0000E+00"},
      {0.001234, 12, 4, 0, 'D', "   .1234D-02"},
      {9.99995, 11, 4, 0, 'E', "  .1000E+02"},
      {9.99995, 12, 4, 1, 'E', "  1.0000E+01"},
      {99.5, 10, 1, 1, 'E', "   1.0E+02"},  // 9.95 -> 10.0: carry raises exponent
      {1.0, 11, 4, 0, 'E', "  .1000E+01"},
      {-0.00032, 10, 3, 1, 'E', "-3.200E-04"},
      {0.00012, 10, 3, 1, 'E', " 1.200E-04"},
      {0.0, 10, 3, 1, 'E', " 0.000E+00"},
      {1e-4, 10, 2, 1, 'E', "  1.00E-04"},
      {-1234.5, 10, 5, 0, 'E', "**********"},
      {-0.12345, 11, 5, 0, 'E', "-.12345E+00"},
      {0.125, 9, 2, 0, 'E', "  .13E+00"},
      {1.7976931348623157e308, 12, 5, 1, 'E', " 1.79769+308"},
      {4.9e-324, 12, 5, 1, 'E', " 4.94066-324"},
      {4.9e-324, 12, 5, 0, 'E', "  .49407-323"},
      {1.0e99, 11, 4, 1, 'E', " 1.0000E+99"},
      {1.0e99, 11, 4, 0, 'E', "  .1000+100"},
      {9.99996e99, 11, 4, 1, 'E', " 1.0000+100"},
  };
  for (const ExpCase& c : cases) {
    EXPECT_EQ(format::FormatE(c.value, c.w, c.d, c.scale, c.letter), c.text)
        << c.value << " " << c.letter << c.w << "." << c.d << " scale " << c.scale;
  }
}

TEST(FormatI, Table) {
  EXPECT_EQ(format::FormatI(123456, 5), "*****");
  EXPECT_EQ(format::FormatI(12345, 5), "12345");
  EXPECT_EQ(format::FormatI(-1234, 5), "-1234");
  EXPECT_EQ(format::FormatI(-12345, 5), "*****");
  EXPECT_EQ(format::FormatI(0, 3), "  0");
  EXPECT_EQ(format::FormatI(7, 1), "7");
  EXPECT_EQ(format::FormatI(10, 1), "*");
  EXPECT_EQ(format::FormatI(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
}

TEST(FormatNonFinite, FieldsAndFreeForm) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(format::FormatF(nan, 10, 4), "       NaN");
  EXPECT_EQ(format::FormatF(inf, 10, 4), "  Infinity");
  EXPECT_EQ(format::FormatF(-inf, 10, 4), " -Infinity");
  EXPECT_EQ(format::FormatF(-inf, 9, 4), "-Infinity");
  EXPECT_EQ(format::FormatF(-inf, 8, 4), "    -Inf");
  EXPECT_EQ(format::FormatF(inf, 7, 2), "    Inf");
  EXPECT_EQ(format::FormatF(inf, 3, 1), "Inf");
  EXPECT_EQ(format::FormatF(-inf, 3, 1), "***");
  EXPECT_EQ(format::FormatF(nan, 2, 1), "**");
  EXPECT_EQ(format::FormatE(-nan, 12, 5, 1), "         NaN");
  EXPECT_EQ(format::FormatE(inf, 12, 4, 0, 'D'), "    Infinity");
  EXPECT_EQ(format::FormatFreeReal(nan), std::string(21, ' ') + "NaN");
  EXPECT_EQ(format::FormatFreeReal(inf), std::string(16, ' ') + "Infinity");
  EXPECT_EQ(format::FormatFreeReal(-inf), std::string(15, ' ') + "-Infinity");
}

TEST(FormatFree, Reals) {
  struct {
    double value;
    const char* text;
  } cases[] = {
      {12.5, "12.500000000000000"},
      {-0.00015, "-1.500000000000000E-004"},
      {0.0, "0.000000000000000E+000"},
      {-0.0, "0.000000000000000E+000"},
      {1.0, "1.000000000000000"},
      {-1.0, "-1.000000000000000"},
      {9999999.0, "9999999.000000000000000"},
      {10000000.0, "1.000000000000000E+007"},
      {0.1, "1.000000000000000E-001"},
      {1.0 / 3.0, "3.333333333333333E-001"},
      {4.0 / 3.0, "1.333333333333333"},
      {1234567.1234567891, "1234567.123456789000000"},
      {706.893623549172, "706.893623549172000"},
      {1e300, "1.000000000000000E+300"},
      {-2.5e-300, "-2.500000000000000E-300"},
  };
  for (const auto& c : cases) {
    std::string text = format::FormatFreeReal(c.value);
    ASSERT_EQ(text.size(), std::max<std::size_t>(24, std::string(c.text).size())) << c.value;
    EXPECT_EQ(text.substr(text.size() - std::string(c.text).size()), c.text) << c.value;
    EXPECT_EQ(text.find_first_not_of(' '), text.size() - std::string(c.text).size());
  }
}

TEST(FormatFree, Records) {
  EXPECT_EQ(format::RenderFree({"Enter No. of iterations"}), " Enter No. of iterations");
  EXPECT_EQ(format::RenderFree({}), " ");
  EXPECT_EQ(format::FormatFreeInt(40), "         40");
  EXPECT_EQ(format::FormatFreeInt(-7), "         -7");
  EXPECT_EQ(format::RenderFree({"No. of observed data points:", 40}),
            " No. of observed data points:         40");
  // A number after a number takes one more blank.
  EXPECT_EQ(format::RenderFree({1, 2}), "           1           2");
  EXPECT_EQ(format::RenderFree({1, 2.0, "x", 3}),
            "           1 " + std::string(7, ' ') + "2.000000000000000x" + "          3");
}

TEST(RenderLayout, Items) {
  EXPECT_EQ(One("('Hatfield''s S=1/2 Four-spin system')", {}), "Hatfield's S=1/2 Four-spin system");
  EXPECT_EQ(One("(1X,75('-'))", {}), " " + std::string(75, '-'));
  EXPECT_EQ(One("(1X,2A,' S=',F3.1)", {"Curie   ", "xx", 2.5}), " Curie   xx S=2.5");
  EXPECT_EQ(One("(2F12.6)", {1.0, -2.0}), "    1.000000   -2.000000");
  EXPECT_EQ(One("(1X,A,1P,E12.5,5X,1P,E12.5)", {"T", 1234.5, 0.0}),
            " T 1.23450E+03      0.00000E+00");
  EXPECT_EQ(One("(' L.S. Error =',D12.4)", {0.001234}), " L.S. Error =   .1234D-02");
  EXPECT_EQ(One("(4X,3A1)", {'a', 'b', 'c'}), "    abc");
  EXPECT_EQ(One("(A3,'|',A5,'|')", {"abcdef", "ab"}), "abc|   ab|");
  EXPECT_EQ(One("(I3,'. ',A,F12.6)", {1, "g-value ", 2.0}), "  1. g-value     2.000000");
  // Tn counts the first position as 1; X at the end leaves nothing.
  EXPECT_EQ(One("(' ab',T6,'c',5X)", {}), " ab  c");
  EXPECT_EQ(One("('abcdef',T2,'X')", {}), "aXcdef");
  EXPECT_EQ(One("(1X,'a',4X)", {}), " a");
  // The scale factor lasts for the rest of the write, not across writes.
  EXPECT_EQ(One("(1P,E10.2,E10.2)", {1.0, 2.0}), "  1.00E+00  2.00E+00");
  EXPECT_EQ(One("(E10.2)", {1.0}), "   .10E+01");
  // Blanks outside literals are ignored; lower case is accepted.
  EXPECT_EQ(One("( 1x , f5.2 )", {1.0}), "  1.00");
  // An integer in a real field is its value.
  EXPECT_EQ(One("(F5.1)", {3}), "  3.0");
}

TEST(RenderLayout, StopsWhenItemsRunOut) {
  EXPECT_EQ(Render("(1X,'a',I3,' b',I3,' c')", {1}), std::vector<std::string>{" a  1 b"});
  EXPECT_EQ(Render("(1X,'a',I3,' b')", {1}), std::vector<std::string>{" a  1 b"});
  EXPECT_EQ(Render("(' only text')", {}), std::vector<std::string>{" only text"});
  EXPECT_EQ(Render("(I5)", {}), std::vector<std::string>{""});
  // With nothing left at the end no further record starts.
  EXPECT_EQ(Render("(2I3)", {1, 2}), std::vector<std::string>{"  1  2"});
}

TEST(RenderLayout, Slashes) {
  EXPECT_EQ(Render("(/,4X,'Experimental points',/)", {}),
            (std::vector<std::string>{"", "    Experimental points", ""}));
  EXPECT_EQ(Render("(/,/,' Starting:')", {}), (std::vector<std::string>{"", "", " Starting:"}));
  EXPECT_EQ(Render("(' a'/' b'//)", {}), (std::vector<std::string>{" a", " b", "", ""}));
  EXPECT_EQ(Render("(' L.S. Error =',D12.4,/)", {0.5}),
            (std::vector<std::string>{" L.S. Error =   .5000D+00", ""}));
}

TEST(RenderLayout, Reversion) {
  // To the last top-level group.
  Items items{12};
  for (int i = 1; i <= 10; ++i) items.push_back(i * 1.0);
  EXPECT_EQ(Render("(I5,(7F10.4))", items),
            (std::vector<std::string>{
                "   12    1.0000    2.0000    3.0000    4.0000    5.0000    6.0000    7.0000",
                "    8.0000    9.0000   10.0000"}));
  // To the whole layout when there is no inner group.
  EXPECT_EQ(Render("(1X,I2,I3)", {1, 2, 3, 4, 5}),
            (std::vector<std::string>{"  1  2", "  3  4", "  5"}));
  // With the group's repeat count, and the items after the group.
  EXPECT_EQ(Render("(' h',2(I2),' t')", {1, 2, 3, 4, 5}),
            (std::vector<std::string>{" h 1 2 t", " 3 4 t", " 5"}));
  // A layout without value items never takes items.
  EXPECT_EQ(Render("(' x')", {1, 2}), std::vector<std::string>{" x"});
  // Nor does a reverted group without value items loop for ever.
  EXPECT_EQ(Render("(I2,(' x'))", {1, 2}), (std::vector<std::string>{" 1 x", " x"}));
  // Nested groups expand inside their parent; reversion takes the outer one.
  EXPECT_EQ(Render("(' h',2(I1,2(I1)),'|')", {1, 2, 3, 4, 5, 6, 7}),
            (std::vector<std::string>{" h123456|", "7"}));
}

TEST(RenderLayout, ThreePairsPerRecordNoTrailingBlanks) {
  Items items;
  for (int i = 0; i < 7; ++i) {
    items.push_back(5.0 + i);
    items.push_back(0.001 * i);
  }
  std::vector<std::string> records = Render("(3(F7.2,F9.6,5X))", items);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], "   5.00  .000000        6.00  .001000        7.00  .002000");
  EXPECT_EQ(records[1], "   8.00  .003000        9.00  .004000       10.00  .005000");
  EXPECT_EQ(records[2], "  11.00  .006000");
}

TEST(RenderLayout, NameHeading) {
  const char kLayout[] = "(8X,7(1X,A,1X))";
  EXPECT_EQ(One(kLayout, {"J-BB    ", "COEFF1  ", "g-value ", "L.S.Error"}),
            "         J-BB      COEFF1    g-value   L.S.Error");
  Items eight{"A1      ", "A2      ", "A3      ", "A4      ",
              "A5      ", "A6      ", "A7      ", "L.S.Error"};
  std::vector<std::string> records = Render(kLayout, eight);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].substr(0, 19), "         A1        ");
  EXPECT_EQ(records[0].size(), 8u + 7 * 10 - 1);
  EXPECT_EQ(records[1], " L.S.Error");
}

TEST(RenderLayout, SolutionTable) {
  const char kLayout[] =
      "(/,' Solution:',/,' Parameter      Value       Std. devn.',/,(1X,A,' =',1P,E12.5,' +/-',1P,E12.4))";
  std::vector<std::string> records =
      Render(kLayout, {"J-BB    ", -296.5, 1.25, "g-value ", 2.1, 0.0});
  EXPECT_EQ(records,
            (std::vector<std::string>{"", " Solution:", " Parameter      Value       Std. devn.",
                                      " J-BB     =-2.96500E+02 +/-  1.2500E+00",
                                      " g-value  = 2.10000E+00 +/-  0.0000E+00"}));
}

TEST(RenderLayout, Errors) {
  const char* bad[] = {"",      "1X",  "(1X",   "(Q5)", "('abc)",  "(F5)",
                       "(F5.)", "(I)", "(1X)x", "(T)",  "(1X,,I2)"};
  for (const char* layout : bad) {
    EXPECT_THROW(Render(layout, {1}), std::invalid_argument) << layout;
  }
  EXPECT_THROW(Render("(I5)", {1.0}), std::invalid_argument);
  EXPECT_THROW(Render("(A)", {1}), std::invalid_argument);
  EXPECT_THROW(Render("(F5.1)", {"x"}), std::invalid_argument);
}

// The 16 significant digits behind every field, against the general
// conversion: random magnitudes across the range the program prints, their
// neighbours at the powers of ten, and exact ties between two 16-digit
// decimals (rounded to even).
TEST(FormatDigits, SixteenDigitsAsTheGeneralConversion) {
  auto expected = [](double v) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 15);
    std::string text(buf, r.ptr);
    const std::size_t e = text.find('e');
    int exponent = std::stoi(text.substr(e + 1));
    // As FormatE(v, 26, 15, 1) writes it.
    char field[40];
    std::snprintf(field, sizeof field, "%s%c%c%02d", text.substr(0, e).c_str(),
                  std::abs(exponent) > 99 ? '\0' : 'E', exponent < 0 ? '-' : '+',
                  std::abs(exponent));
    std::string s = field;
    return std::string(26 - s.size(), ' ') + s;
  };
  std::mt19937_64 rng(12081);
  std::vector<double> values;
  for (int i = 0; i < 200000; ++i) {
    values.push_back(std::pow(10.0, std::uniform_real_distribution<double>(-9.0, 17.0)(rng)));
  }
  for (int e = -9; e <= 17; ++e) {
    const double p = std::pow(10.0, e);
    values.push_back(p);
    values.push_back(std::nextafter(p, 0.0));
    values.push_back(std::nextafter(p, 1.0E300));
  }
  for (int i = 0; i < 20000; ++i) {
    // N + odd/2^j with 17 - j digits in N: 17 digits ending in 5, exactly.
    const int j = std::uniform_int_distribution<int>(1, 10)(rng);
    const double low = std::pow(10.0, 16 - j);
    const double high = std::min(10.0 * low, std::ldexp(1.0, 53 - j)) - 1.0;
    const double N = std::floor(std::uniform_real_distribution<double>(low, high)(rng));
    const double odd = 2.0 * static_cast<double>(rng() % (1u << (j - 1))) + 1.0;
    values.push_back(N + std::ldexp(odd, -j));
  }
  values.push_back(1234567890123456.5);
  values.push_back(1234567890123457.5);
  values.push_back(4503599627370495.5);
  for (double v : values) {
    ASSERT_EQ(format::FormatE(v, 26, 15, 1), expected(v)) << v;
    ASSERT_EQ(format::FormatE(-v, 26, 15, 1), expected(-v)) << -v;
  }
}

// A prepared layout renders what Render does, call after call: longer and
// shorter records, one record and two, T moving left, and a failed rendering
// in between that leaves nothing behind.
TEST(PreparedLayout, RendersAsRenderCallAfterCall) {
  const char* layout = "(I5,(7F10.4))";
  format::PreparedLayout prepared(layout);
  const std::vector<Items> calls = {
      {1, 2.1, -140.0, 0.98, 0.0526},
      {12345, 1.0, -2.0, 3.0, -4.0, 5.0, -6.0, 7.0, 0.125},
      {7, 1.0E9, 0.5},
      {3, 2.0},
  };
  for (const Items& items : calls) {
    const std::size_t count = prepared.Render(items);
    const std::vector<std::string> expected = Render(layout, items);
    ASSERT_EQ(count, expected.size());
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(prepared.record(i), expected[i]);
  }
  EXPECT_THROW(prepared.Render({1.5}), std::invalid_argument);
  ASSERT_EQ(prepared.Render({2, 0.5}), 1u);
  EXPECT_EQ(prepared.record(0), "    2     .5000");

  format::PreparedLayout tabs("(T8,'abc',T2,'XY',5X,I3)");
  format::PreparedLayout copy = tabs;
  ASSERT_EQ(tabs.Render({42}), 1u);
  ASSERT_EQ(copy.Render({7}), 1u);
  EXPECT_EQ(tabs.record(0), Render("(T8,'abc',T2,'XY',5X,I3)", {42})[0]);
  EXPECT_EQ(copy.record(0), Render("(T8,'abc',T2,'XY',5X,I3)", {7})[0]);
  EXPECT_THROW(format::PreparedLayout("(Q5)"), std::invalid_argument);
}

}  // namespace

namespace {

// Decimal values that are their own 16-digit expansion: integer arithmetic
// on the digits gives the expected field.
std::uint64_t Pow10(int n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

std::string Digits(std::uint64_t q, int width) {
  std::string s = std::to_string(q);
  return std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
}

TEST(FieldProperty, DecimalRoundingAgainstIntegerArithmetic) {
  std::uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 11;
  };
  int checked = 0;
  for (int n = 0; n < 20000; ++n) {
    int len = 1 + static_cast<int>(next() % 15);
    std::uint64_t m = next() % Pow10(len);
    if (m == 0) continue;
    // Often end in 5 to exercise the half-way case.
    if (next() % 2 == 0) m = m / 10 * 10 + 5;
    int len_m = static_cast<int>(std::to_string(m).size());
    int s = static_cast<int>(next() % 20);
    bool negative = next() % 2 == 0;
    std::string text = (negative ? "-" : "") + std::to_string(m) + "e-" + std::to_string(s);
    double value = std::strtod(text.c_str(), nullptr);
    // Keep values whose 16-digit expansion is m itself (68.85 is
    // 6.884999999999999e+01 to 16 digits, and is rounded from those).
    char sixteen[32];
    std::snprintf(sixteen, sizeof sixteen, "%.15e", std::fabs(value));
    std::string own = std::string(1, sixteen[0]) + std::string(sixteen + 2, 15);
    if (own != std::to_string(m) + std::string(static_cast<std::size_t>(16 - len_m), '0')) continue;
    ++checked;

    // Fd.d with fewer decimals than the value has.
    if (s > 0) {
      int d = static_cast<int>(next() % static_cast<std::uint64_t>(s));
      std::uint64_t unit = Pow10(s - d);
      std::uint64_t q = (m + unit / 2) / unit;
      std::string expected = q == 0 || !negative ? "" : "-";
      std::uint64_t int_part = q / Pow10(d);
      if (int_part > 0) expected += std::to_string(int_part);
      if (int_part == 0 && d == 0) expected += "0";
      expected += "." + (d > 0 ? Digits(q % Pow10(d), d) : "");
      std::string field = format::FormatF(value, 40, d);
      EXPECT_EQ(field.substr(field.find_first_not_of(' ')), expected) << text << " F40." << d;
    }

    // Ed.d without and with 1P.
    for (int scale = 0; scale <= 1; ++scale) {
      int d = 1 + static_cast<int>(next() % 10);
      int significant = d + scale;
      std::uint64_t q = m;
      int exponent = len_m - s;
      if (len_m > significant) {
        std::uint64_t unit = Pow10(len_m - significant);
        q = (m + unit / 2) / unit;
        if (q == Pow10(significant)) {
          q /= 10;
          ++exponent;
        }
      } else {
        q = m * Pow10(significant - len_m);
      }
      exponent -= scale;
      std::string digits = Digits(q, significant);
      std::string expected = negative ? "-" : "";
      expected += scale == 1 ? digits.substr(0, 1) + "." + digits.substr(1) : "." + digits;
      char exp_text[16];
      std::snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+',
                    exponent < 0 ? -exponent : exponent);
      expected += exp_text;
      std::string field = format::FormatE(value, 40, d, scale);
      EXPECT_EQ(field.substr(field.find_first_not_of(' ')), expected)
          << text << " " << scale << "P,E40." << d;
    }
  }
  EXPECT_GT(checked, 10000);
}

}  // namespace
