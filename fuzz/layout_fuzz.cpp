// The layout writer fed arbitrary doubles (NaN, infinities, subnormals, the
// extremes) and integers through every field kind and every layout the
// program uses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "format/layout.h"
#include "tests/program_layouts.h"

namespace {

using Lim = std::numeric_limits<double>;

const double kSpecial[] = {0.0,
                           -0.0,
                           Lim::quiet_NaN(),
                           -Lim::quiet_NaN(),
                           Lim::infinity(),
                           -Lim::infinity(),
                           Lim::max(),
                           -Lim::max(),
                           Lim::min(),
                           -Lim::min(),
                           Lim::denorm_min(),
                           -Lim::denorm_min(),
                           Lim::epsilon(),
                           0.5,
                           0.95,
                           0.995,
                           9.9999,
                           99.995,
                           999.5,
                           1.0E10,
                           -1.0E10,
                           9.99995E-5,
                           1.0E100,
                           1.0E-100,
                           1.0E307,
                           2147483647.5,
                           -2147483648.5,
                           9.2233720368547758E18,
                           -9.2233720368547758E18,
                           1.0E-310,
                           123.456,
                           -0.004999};

// Single fields of every width the program's layouts use.
const struct {
  char kind;  // F, E (also with 1P) or D
  int w, d;
} kFields[] = {{'F', 3, 1},  {'F', 3, 2},  {'F', 5, 2},  {'F', 7, 2},  {'F', 7, 4},  {'F', 8, 4},
               {'F', 9, 6},  {'F', 10, 4}, {'F', 12, 6}, {'F', 15, 2}, {'F', 15, 5}, {'E', 10, 2},
               {'E', 10, 3}, {'E', 11, 4}, {'E', 12, 4}, {'E', 12, 5}, {'E', 13, 6}, {'D', 12, 4}};

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Printable(const std::string& s) {
  for (char c : s) {
    if (c < ' ' || c > '~') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Nine bytes a value: a tag that picks a special value (below 64) or the
  // raw bits of the next eight bytes.
  std::vector<double> reals;
  std::vector<std::int64_t> ints;
  for (std::size_t pos = 0; pos + 9 <= size && reals.size() < 64; pos += 9) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + pos + 1, sizeof bits);
    double r = 0.0;
    std::memcpy(&r, &bits, sizeof r);
    if (data[pos] < 64) r = kSpecial[data[pos] % (sizeof kSpecial / sizeof kSpecial[0])];
    reals.push_back(r);
    // Integers: small ones often, any 64-bit value sometimes.
    ints.push_back(data[pos] & 1 ? static_cast<std::int64_t>(bits)
                                 : static_cast<std::int32_t>(bits & 0xFFFFFu) - 0x80000);
  }
  if (reals.empty()) return 0;

  for (std::size_t k = 0; k < reals.size(); ++k) {
    const double v = reals[k];
    for (const auto& f : kFields) {
      if (f.kind == 'F') {
        Check(static_cast<int>(format::FormatF(v, f.w, f.d).size()) == f.w);
      } else {
        const char letter = f.kind;
        for (int scale = 0; scale <= 1; ++scale) {
          const std::string s = format::FormatE(v, f.w, f.d, scale, letter);
          Check(static_cast<int>(s.size()) == f.w && Printable(s));
        }
      }
    }
    const std::string free_real = format::FormatFreeReal(v);
    Check(free_real.size() == 24 && Printable(free_real));
    const std::string free_int = format::FormatFreeInt(ints[k]);
    // Free-form integers widen rather than overflow; the program's own fit.
    const bool narrow = ints[k] >= INT32_MIN && ints[k] <= INT32_MAX;
    Check((narrow ? free_int.size() == 11 : free_int.size() >= 11) && Printable(free_int));
    for (int w : {1, 2, 3, 5, 11}) Check(static_cast<int>(format::FormatI(ints[k], w).size()) == w);
  }

  std::size_t next = 0;
  for (const auto& l : test_util::kProgramLayouts) {
    format::Items items;
    for (const char* kind = l.kinds; *kind != '\0'; ++kind, ++next) {
      const std::size_t k = next % reals.size();
      if (*kind == 'I') {
        items.emplace_back(static_cast<long long>(ints[k]));
      } else if (*kind == 'A') {
        items.emplace_back("J-BB    ");
      } else {
        items.emplace_back(reals[k]);
      }
    }
    // A layout of the program that does not parse throws: a finding.
    for (const std::string& record : format::Render(l.layout, items)) Check(Printable(record));
    format::Items free_items(items.begin(), items.end());
    Check(Printable(format::RenderFree(free_items)));
  }
  return 0;
}
