// The model description lines, as they reach the report file.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "format/console.h"
#include "model/model.h"
#include "tests/test_util.h"

namespace {

using Lines = test_util::RecordLog;

std::vector<std::string> Describe(const model::FitModel& m) {
  Lines sink;
  model::Describe(m, sink);
  return sink.records;
}

TEST(ModelDescribe, Expression24) {
  model::FitModel m = test_util::Expression24();
  EXPECT_EQ(Describe(m), (std::vector<std::string>{
                             " Equation type used for fitting of data:",
                             "  x(A) + (1-x)(B) + C + ...",
                             " Where, x is coefficient and",
                             " A. Bleaney-Bower term",
                             " B. Curie term S= .5",
                             " g-value varied",
                         }));
  m.S1[1] = 2.5;
  m.GVAL = 2.1;
  const std::vector<std::string> lines = Describe(m);
  EXPECT_EQ(lines[4], " B. Curie term S=2.5");
  EXPECT_EQ(lines.back(), " g-value fixed");
}

TEST(ModelDescribe, CorrectionsFollowTheirTermAndGLimit) {
  model::FitModel m;
  m.GVAL = 1.0E-6;  // still fitted
  m.ITYPE = 3;
  m.NTERM = 4;
  m.IFN = {1, 2, 8, 10};
  m.IOPT = {1, 1, 0, 1};  // a DIM term never shows a correction
  m.S1 = {10.0, 2.0, 1.0};
  m.S2 = {0.0, 0.0, 1.5};
  EXPECT_EQ(Describe(m), (std::vector<std::string>{
                             " Equation type used for fitting of data:",
                             "  y [ x(A) + (1-x)(B) ] + (1-y) (C) + D + ...",
                             " Where, x and y are coefficients and",
                             " A. Curie term S=***",
                             " Weiss correction (theta) applied",
                             " B. Zero field term of S=2.0",
                             " Neighbor correction applied",
                             " C. Intradimer term S1=1.0 S2=1.5",
                             " D. DIM term",
                             " Neighbor correction applied",
                             " g-value varied",
                         }));
}

TEST(ModelDescribe, TenTermsLabelledAToJ) {
  model::FitModel m;
  m.GVAL = 2.0;
  m.ITYPE = 1;
  m.NTERM = 10;
  m.IFN = {3, 4, 5, 6, 7, 9, 9, 9, 9, 10};
  m.IOTHER = {0, 0, 0, 0, 0, 1, 2, 3, 4, 0};
  m.S1[8] = 0.5;
  m.S2[8] = 2.5;
  m.IOPT[2] = 1;
  EXPECT_EQ(Describe(m), (std::vector<std::string>{
                             " Equation type used for fitting of data:",
                             "  A + B + ...",
                             " Where,",
                             " A. Ising term",
                             " B. Bleaney-Bower term",
                             " C. Magnetization term",
                             " Neighbor correction applied",
                             " D. Bonner Fisher term",
                             " E. Modified Bonner Fisher term",
                             " F. User defined term",
                             " G. S=1/2 trimer term",
                             " H. Hatfield's S=1/2 tetramer term",
                             " I. Kahn's dimer chain term S1= .5 S2=2.5",
                             " J. DIM term",
                             " g-value fixed",
                         }));
}

}  // namespace
