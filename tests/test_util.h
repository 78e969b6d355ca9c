// Small helpers shared by the unit tests.
#ifndef SUSCEP_TESTS_TEST_UTIL_H_
#define SUSCEP_TESTS_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "format/console.h"
#include "model/model.h"

namespace test_util {

// A sink that keeps the records written to it.
struct RecordLog : format::RecordSink {
  std::vector<std::string> records;
  void Record(std::string_view r) override { records.emplace_back(r); }
};

// A sink that keeps the records as one text, a line end after each.
struct TextLog : format::RecordSink {
  std::string text;
  void Record(std::string_view r) override { text.append(r).append("\n"); }
};

// `actual` agrees with `expected` to `digits` significant digits.
inline ::testing::AssertionResult Sig(double actual, double expected, int digits = 8) {
  const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - digits + 1);
  if (std::fabs(actual - expected) <= 0.5 * unit * (1.0 + 1e-9)) {
    return ::testing::AssertionSuccess();
  }
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.12g differs from %.12g", actual, expected);
  return ::testing::AssertionFailure() << buf;
}

// Expression 24, x (Bleaney-Bower) + (1-x) (Curie S=1/2), with its
// parameter table as the program builds it: g fitted when GVAL is 0.
inline model::FitModel Expression24(double GVAL = 0.0) {
  model::FitModel m;
  m.GVAL = GVAL;
  m.ITYPE = 2;
  m.NTERM = 2;
  m.IFN[0] = 4;
  m.IFN[1] = 1;
  m.S1[1] = 0.5;
  for (const char* name : {"g-value ", "J-BB    ", "COEFF1  "}) {
    if (name[0] == 'g' && !model::GFitted(GVAL)) continue;
    m.PNAME[m.NPAR++] = name;
  }
  return m;
}

}  // namespace test_util

#endif  // SUSCEP_TESTS_TEST_UTIL_H_
