// Ticks, labels and the numbers of the figure, written without the locale.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "figure/figure.h"
#include "figure/internal.h"

namespace figure {

namespace {

constexpr char kMinus[] = "\xE2\x88\x92";  // U+2212

// 10^n, exact for |n| <= 22.
double Pow10(int n) {
  double p = 1.0;
  for (int i = 0; i < std::abs(n); ++i) p *= 10.0;
  return n < 0 ? 1.0 / p : p;
}

// m × 10^k as a tick value i × m × 10^k, divided by 10^e: integer products
// and one exact power of ten, so that the label rounds as the value does.
double Scaled(long long i, int m, int k, int e) {
  const double units = static_cast<double>(i) * m;
  const int n = k - e;
  return n < 0 ? units / Pow10(-n) : units * Pow10(n);
}

bool Round(double step, int& m, int& k) {
  if (!(step > 0.0) || !std::isfinite(step)) return false;
  const int e = static_cast<int>(std::floor(std::log10(step)));
  for (int shift : {0, -1, 1}) {
    for (int mantissa : {1, 2, 5, 25}) {
      const int kk = e + shift - (mantissa == 25 ? 1 : 0);
      if (std::fabs(mantissa * Pow10(kk) - step) <= 1e-9 * step) {
        m = mantissa;
        k = kk;
        return true;
      }
    }
  }
  return false;
}

long long TickCount(double min, double max, double step, long long& first) {
  const double lo = std::ceil(min / step - 1e-9), hi = std::floor(max / step + 1e-9);
  if (!(hi - lo < 1e6)) return 1000000;
  first = static_cast<long long>(lo);
  return static_cast<long long>(hi) - first + 1;
}

}  // namespace

std::string Superscript(int n) {
  static const char* const kDigits[] = {
      "\xE2\x81\xB0", "\xC2\xB9",     "\xC2\xB2",     "\xC2\xB3",     "\xE2\x81\xB4",
      "\xE2\x81\xB5", "\xE2\x81\xB6", "\xE2\x81\xB7", "\xE2\x81\xB8", "\xE2\x81\xB9"};
  std::string digits = std::to_string(std::abs(n)), s = n < 0 ? "\xE2\x81\xBB" : "";
  for (char c : digits) s += kDigits[c - '0'];
  return s;
}

std::string Fixed(double value, int decimals) {
  if (std::isnan(value)) return "undefined";
  if (std::isinf(value)) return value < 0 ? std::string(kMinus) + "\xE2\x88\x9E" : "\xE2\x88\x9E";
  if (decimals < 0) {
    const double unit = Pow10(-decimals);
    value = std::round(value / unit) * unit;
    decimals = 0;
  }
  decimals = std::min(decimals, 40);
  char buffer[400];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                               std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "\xE2\x88\x9E";
  std::string digits(buffer, r.ptr);
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return (value < 0 && !zero ? kMinus : "") + digits;
}

Axis ChooseAxis(double lo, double hi, int max_ticks, bool from_zero, const Limits& given) {
  Axis a;
  max_ticks = std::max(max_ticks, 3);
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0.0, hi = 1.0;
  if (lo > hi) std::swap(lo, hi);
  // A span beyond the doubles (-1e308 to 1e308) is drawn as one within them.
  if (!std::isfinite(hi - lo)) lo = std::max(lo, -1e300), hi = std::min(hi, 1e300);
  double span = hi - lo;
  if (!(span > 1e-12 * std::max(std::fabs(lo), std::fabs(hi))) || span == 0.0) {
    const double d = lo == 0.0 ? 1.0 : 0.05 * std::fabs(lo);
    lo -= d, hi += d, span = hi - lo;
  }
  a.min = lo - 0.04 * span;
  a.max = hi + 0.04 * span;
  if (from_zero && lo >= 0.0 && lo <= 0.15 * hi) a.min = 0.0;
  if (std::isfinite(given.min)) a.min = given.min;
  if (std::isfinite(given.max)) a.max = given.max;
  if (!(a.max > a.min) || !std::isfinite(a.max - a.min)) {
    a.min = lo - 0.04 * span;
    a.max = hi + 0.04 * span;
  }
  span = a.max - a.min;

  int m = 1, k = 0;
  long long first = 0, count = 0;
  bool chosen = false;
  if (Round(given.step, m, k)) {
    count = TickCount(a.min, a.max, m * Pow10(k), first);
    chosen = count >= 2 && count <= 20;
  }
  if (!chosen) {
    int k0 = static_cast<int>(std::floor(std::log10(span / max_ticks))) - 1;
    for (int kk = k0; kk < k0 + 4 && !chosen; ++kk) {
      for (int mm : {1, 2, 5}) {
        long long f = 0;
        const long long c = TickCount(a.min, a.max, mm * Pow10(kk), f);
        if (c < 2) break;
        m = mm, k = kk, first = f, count = c;
        if (c <= max_ticks) {
          chosen = true;
          break;
        }
      }
    }
  }
  // m = 25 stands for 2.5 × 10^(k+1): its labels need one more digit.
  a.step = m * Pow10(k);
  double largest = 0.0;
  for (long long i = first; i < first + count; ++i) {
    a.ticks.push_back(Scaled(i, m, k, 0));
    largest = std::max(largest, std::fabs(a.ticks.back()));
  }
  if (largest >= 1e5 || (largest > 0.0 && largest < 1e-2)) {
    a.exponent = 3 * static_cast<int>(std::floor(std::log10(largest) / 3.0));
  }
  a.decimals = std::max(0, a.exponent - k);
  for (long long i = first; i < first + count; ++i) {
    a.labels.push_back(Fixed(Scaled(i, m, k, a.exponent), a.decimals));
  }
  return a;
}

std::string ValueWithError(double value, double error) {
  if (!std::isfinite(value)) return Fixed(value, 0);
  const bool known = std::isfinite(error) && error > 0.0;
  const double ref = known ? std::max(std::fabs(value), error) : std::fabs(value);
  int e = 0;
  if (ref > 0.0 && (ref >= 1e6 || ref < 1e-3)) e = static_cast<int>(std::floor(std::log10(ref)));
  const double v = value / Pow10(e);
  std::string text;
  if (known) {
    const double err = error / Pow10(e);
    int d = 1 - static_cast<int>(std::floor(std::log10(err)));
    // 0.0996 to two digits is 0.10: one digit fewer.
    if (std::round(err * Pow10(d)) >= 100.0) --d;
    text = Fixed(v, d) + " \xC2\xB1 " + Fixed(err, d);
    if (e != 0) text = "(" + text + ")";
  } else {
    const int d = v == 0.0 ? 0 : 3 - static_cast<int>(std::floor(std::log10(std::fabs(v))));
    text = Fixed(v, d);
  }
  if (e != 0)
    text +=
        "\xC3\x97"
        "10" +
        Superscript(e);
  if (std::isfinite(error) && error == 0.0) text += " (fixed)";
  return text;
}

}  // namespace figure
