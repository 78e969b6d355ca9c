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

}  // namespace test_util

#endif  // SUSCEP_TESTS_TEST_UTIL_H_
