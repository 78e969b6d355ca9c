// The three reference runs, byte for byte (credit lines excepted).
#include <gtest/gtest.h>

#include "tests/driver_e2e_util.h"

namespace {

struct Reference {
  const char* folder;
  const char* data_file;
};

void PrintTo(const Reference& ref, std::ostream* os) { *os << ref.folder; }

class ReferenceRun : public ::testing::TestWithParam<Reference> {};

TEST_P(ReferenceRun, MatchesTranscript) {
  const Reference ref = GetParam();
  const std::string base = std::string("reference/") + ref.folder + "/";
  const e2e::Result r = e2e::Run(ref.folder, e2e::TestData(base + "input.txt"),
                                 {{ref.data_file, e2e::TestData(base + ref.data_file)}});
  EXPECT_EQ(r.status, std::stoi(e2e::TestData(base + "expected/exit-status")));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(e2e::Lines(e2e::MaskConsoleCredits(r.out)),
            e2e::Lines(e2e::MaskConsoleCredits(e2e::TestData(base + "expected/stdout.txt"))));
  EXPECT_EQ(e2e::MaskConsoleCredits(r.out),
            e2e::MaskConsoleCredits(e2e::TestData(base + "expected/stdout.txt")));
  for (const char* file : {"SUSCEP.OUT", "SUSCEP.HGL"}) {
    const std::string expected = e2e::TestData(base + "expected/" + file);
    if (expected.empty()) {
      EXPECT_FALSE(r.Has(file)) << file;
      continue;
    }
    const std::string actual = r.File(file);
    const bool report = std::string(file) == "SUSCEP.OUT";
    EXPECT_EQ(e2e::Lines(report ? e2e::MaskReportCredits(actual) : actual),
              e2e::Lines(report ? e2e::MaskReportCredits(expected) : expected))
        << file;
    EXPECT_EQ(report ? e2e::MaskReportCredits(actual) : actual,
              report ? e2e::MaskReportCredits(expected) : expected)
        << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Transcripts, ReferenceRun,
                         ::testing::Values(Reference{"corrections_zero_iter", "cuac2.dat"},
                                           Reference{"bb_fit_full", "cuac.dat"},
                                           Reference{"hpgl_inverse_t", "mncw.dat"}),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
