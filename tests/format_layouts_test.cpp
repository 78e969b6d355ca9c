// Every layout the program uses renders, and a few render exactly as the
// program's transcripts show them, through the program's own constants.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/layout.h"
#include "tests/program_layouts.h"

namespace {

using format::Items;
using format::Render;

// A value of the kind a layout's field takes: I an integer, F, E and D a
// real, anything else a text.
format::Item Sample(char kind) {
  if (kind == 'I') return 7;
  if (kind == 'F') return 0.5;
  if (kind == 'E') return 1234.5;
  if (kind == 'D') return 0.001234;
  return "ab";
}

TEST(ProgramLayouts, AllRender) {
  for (const test_util::ProgramLayout& c : test_util::kProgramLayouts) {
    Items items;
    for (const char* k = c.kinds; *k != '\0'; ++k) items.push_back(Sample(*k));
    std::vector<std::string> records;
    ASSERT_NO_THROW(records = Render(c.layout, items)) << c.name;
    EXPECT_EQ(records.size(), c.records) << c.name;
    for (const std::string& record : records) {
      EXPECT_EQ(record.find("**"), std::string::npos) << c.name;
    }
  }
}

// Records as the console shows them: without the control character.
std::vector<std::string> Shown(std::string_view layout, const Items& items) {
  std::vector<std::string> shown;
  for (const std::string& record : Render(layout, items)) {
    shown.push_back(record.empty() ? record : record.substr(1));
  }
  return shown;
}

TEST(ProgramLayouts, CorrectionsMenu) {
  EXPECT_EQ(Shown(driver::kMenuCorrections, {-3.2e-4, 1.2e-4}),
            (std::vector<std::string>{
                "A. Diamagnetic value to be subtracted from observed data=-3.200E-04",
                "B. TIP value to be added to the calculated Susceptibility= 1.200E-04"}));
  EXPECT_EQ(Shown(driver::kMenuCorrections, {0.0, 0.0})[0],
            "A. Diamagnetic value to be subtracted from observed data= 0.000E+00");
  std::vector<std::string> c_to_e = Shown(driver::kMenuFactor, {0.5, 24});
  EXPECT_EQ(c_to_e,
            (std::vector<std::string>{
                "C. Multipy the Observed data by factor=  .50", "D. Show the present values",
                "E. Expression No. =24",
                "   (A two digit no. MN (01-99). First digit M selects the type of expression.",
                "    Second digit N selects the function F(N). MN=99 for a new expression)"}));
  std::vector<std::string> table = Shown(driver::kMenuTable2, {0.0});
  ASSERT_EQ(table.size(), 8u);
  EXPECT_EQ(table[0], "5  x F(N) + (1-x) Z-F + DIM      | 6. Bonner-Fisher         J-BF");
  EXPECT_EQ(table[2], "   x is COEFF1 (<1.0)            | 8. Dimers         S1, S2 J-Dimer");
  EXPECT_EQ(table[4], "     Curie impurity              |10. Constant (DIM)        DIM");
  EXPECT_EQ(table[5], std::string(75, '-'));
  EXPECT_EQ(table[7], "G. g-value (g=0 to make it fitting parameter)=  .0000");
}

TEST(ProgramLayouts, DataListing) {
  const double points[] = {5.00,          1.553874e-03, 12.56,        4.972095e-04,  20.13,
                           2.309199e-04,  27.69,        1.122740e-04, 35.26,         4.612528e-05,
                           42.82,         7.190034e-06, 50.38,        -1.055881e-05, 57.95,
                           -6.157164e-06, 65.51,        2.176890e-05, 300.0,         1.452e-03};
  Items items(std::begin(points), std::end(points));
  EXPECT_EQ(Shown(engine::kListing, items),
            (std::vector<std::string>{"  5.00  .001554       12.56  .000497       20.13  .000231",
                                      " 27.69  .000112       35.26  .000046       42.82  .000007",
                                      " 50.38 -.000011       57.95 -.000006       65.51  .000022",
                                      "300.00  .001452"}));
}

TEST(ProgramLayouts, ProgressHeader) {
  EXPECT_EQ(Shown(engine::kProgressHeader, {"g-value ", "J-BB    ", "COEFF1  ", "L.S.Error"}),
            std::vector<std::string>{"        g-value   J-BB      COEFF1    L.S.Error"});
}

TEST(ProgramLayouts, Report) {
  EXPECT_EQ(Shown(engine::kStarting, {}),
            (std::vector<std::string>{"", "", "Starting:", "Parameter      Value          Step"}));
  EXPECT_EQ(Shown(engine::kStartingLine, {"J-BB    ", -140.0, -1.4}),
            std::vector<std::string>{"J-BB    -1.40000E+02     -1.40000E+00"});
  EXPECT_EQ(Shown(engine::kSolution, {"g-value ", 2.149381, 3.05308e-03, "J-BB    ", -144.753151,
                                      0.259732, "COEFF1  ", 0.989888, 5.19776e-05}),
            (std::vector<std::string>{"", "Solution:", "Parameter      Value       Std. devn.",
                                      "g-value  = 2.14938E+00 +/-  3.0531E-03",
                                      "J-BB     =-1.44753E+02 +/-  2.5973E-01",
                                      "COEFF1   = 9.89888E-01 +/-  5.1978E-05"}));
  EXPECT_EQ(Shown(engine::kLsError, {4.691e-05}),
            (std::vector<std::string>{"L.S. Error =   .4691D-04", ""}));
  EXPECT_EQ(Shown(driver::kConvergence, {1e-16}),
            std::vector<std::string>{"Convergence limit for iteration:  1.00E-16"});
  EXPECT_EQ(Shown(driver::kStepLine, {2, "J-BB    ", -140.0, -1.4}),
            std::vector<std::string>{" 2. J-BB     -140.000000   -1.400000"});
  EXPECT_EQ(
      Shown(engine::kDiffHeading, {}),
      std::vector<std::string>{"   Temp.(K)        X-Expt         X-Cald.         Difference"});
  EXPECT_EQ(
      Shown(engine::kDiffLine, {110.9, 0.00037, 0.00038, -0.0000051}),
      std::vector<std::string>{"        110.90         .00037         .00038        -.00001"});
}

TEST(ProgramLayouts, PlotFile) {
  // Plot file records are written whole, first character included.
  EXPECT_EQ(Render(plot::kCurvePoint, {10721, 6893}), std::vector<std::string>{" PA10721, 6893PD"});
  EXPECT_EQ(Render(plot::kCurvePoint, {7834, 6002}), std::vector<std::string>{" PA 7834, 6002PD"});
}

}  // namespace
