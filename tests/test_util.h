// Small helpers shared by the unit tests.
#ifndef SUSCEP_TESTS_TEST_UTIL_H_
#define SUSCEP_TESTS_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "format/console.h"
#include "model/model.h"

namespace test_util {

// Built with a sanitizer, which reserves more address space than a memory
// limit of a test allows, and (the thread sanitizer) needs threads of its own.
#if defined(__has_feature)
#define SUSCEP_TEST_HAS_FEATURE(x) __has_feature(x)
#else
#define SUSCEP_TEST_HAS_FEATURE(x) 0
#endif
constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__) || SUSCEP_TEST_HAS_FEATURE(address_sanitizer)
    true;
#else
    false;
#endif
constexpr bool kThreadSanitizer =
#if defined(__SANITIZE_THREAD__) || SUSCEP_TEST_HAS_FEATURE(thread_sanitizer)
    true;
#else
    false;
#endif

// A whole file's bytes, "" when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A file of examples/.
inline std::string Example(const std::string& name) {
  return std::string(SUSCEP_SOURCE_DIR) + "/examples/" + name;
}

// A fresh directory under /tmp for each test, removed after it (its owner's
// permissions given back first, for tests that take them away).
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/suscep_testXXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    scratch_ = pattern;
  }
  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(scratch_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(scratch_, ignored);
  }
  std::filesystem::path scratch_;
};

// The message of the E that `f` throws, "" when it throws none.
template <class E>
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

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
