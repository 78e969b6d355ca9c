// Runs the built program in a scratch directory with a scripted console.
#ifndef SUSCEP_TESTS_DRIVER_E2E_UTIL_H_
#define SUSCEP_TESTS_DRIVER_E2E_UTIL_H_

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_util.h"

namespace e2e {

// Built with AddressSanitizer, which reserves more address space than a
// memory limit of a test allows.
constexpr bool kSanitized = test_util::kAddressSanitizer;

using test_util::ReadFile;
using test_util::WriteFile;

struct Result {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status
  std::filesystem::path dir;
  std::string File(const std::string& name) const;  // a file the run left, "" if none
  bool Has(const std::string& name) const;
  bool HasTemporaryFile() const;  // an output file's ".SUSCEP.*" left behind
};

// Makes a fresh directory, writes `files` (name, content) into it and runs
// the program there with `input` on standard input.
Result Run(const std::string& name, const std::string& input,
           const std::vector<std::pair<std::string, std::string>>& files);

// The credit lines are free wording: they are replaced by a marker before
// transcripts are compared (banner lines of the console, heading lines of
// the report file).
std::string MaskConsoleCredits(const std::string& console);
std::string MaskReportCredits(const std::string& report);

// A test data file in tests/data.
std::string TestData(const std::string& relative);

// The uid and gid of nobody, or nothing.
std::optional<std::pair<uid_t, gid_t>> Nobody();

// Lines of text, for readable comparisons.
std::vector<std::string> Lines(const std::string& text);

}  // namespace e2e

#endif  // SUSCEP_TESTS_DRIVER_E2E_UTIL_H_
