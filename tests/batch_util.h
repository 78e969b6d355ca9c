// `suscep fit` run in the test's process, and a fresh directory for it.
#ifndef SUSCEP_TESTS_BATCH_UTIL_H_
#define SUSCEP_TESTS_BATCH_UTIL_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "engine/engine.h"
#include "tests/test_util.h"

namespace batch_test {

namespace fs = std::filesystem;
using test_util::ReadFile;
using test_util::WriteFile;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// `suscep fit ARGS`; standard output to `out_stream` when given.
inline Outcome Fit(std::vector<std::string> args, std::ostream* out_stream = nullptr) {
  args.insert(args.begin(), "fit");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  Outcome r;
  r.status = batch::Main(static_cast<int>(argv.size()), argv.data(),
                         out_stream != nullptr ? *out_stream : out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// A fresh directory of this process and test (another test run at the same
// time, of another build, has its own) with the model of expression 24 as
// m.json and the named files of examples/.
class BatchDir : public ::testing::Test {
 protected:
  void MakeDir(std::initializer_list<const char*> examples) {
    dir_ = fs::path(::testing::TempDir()) /
           ("batch_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* name : examples) {
      fs::copy_file(fs::path(SUSCEP_SOURCE_DIR) / "examples" / name, dir_ / name);
    }
    WriteFile(dir_ / "m.json", engine::ModelText(engine::Template(24)));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

}  // namespace batch_test

#endif  // SUSCEP_TESTS_BATCH_UTIL_H_
