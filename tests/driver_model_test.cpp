// Item F end to end: the expression-number check, the new-expression
// dialogue and the Options menu.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver_e2e_util.h"

namespace {

constexpr char kData[] = "3\n10 0.03\n100 0.003\n300 0.001\n";
constexpr char kAsk[] = "To change any value, ENTER OPTION (A-G):\n";
constexpr char kPlotMenu[] =
    "\nPlot options:\n1. X vs. T\n2. Mu vs. T\n3. XT vs. T\n4. 1/X vs. T\n5. X vs 1/T\n"
    "6. QUIT\nEnter Option (1-6) \n";

// The console after the first letter prompt.
std::string AfterMenu(const std::string& out) {
  const size_t pos = out.find(kAsk);
  return pos == std::string::npos ? "" : out.substr(pos + sizeof(kAsk) - 1);
}

TEST(DriverModel, RefusedExpressionNumbersGoBackToTheLetterPrompt) {
  for (const char* mn : {"0", "10", "40", "70", "80", "85", "100", "-5", "-24"}) {
    const std::string input = std::string("t.dat\n\nE\n") + mn +
                              "\nF\n2.1\n"  // g asked, then the number refused
                              "1\n"         // the new number, read at the refusal
                              "F\n2.0\n0.5\nn\n3\n1\n-2\n3\n";
    const e2e::Result r = e2e::Run(std::string("refused") + mn, input, {{"t.dat", kData}});
    EXPECT_EQ(r.status, 0) << mn << r.err;
    const std::string expected =
        std::string("Enter S.No. (1-99) for equation\n") + kAsk +
        "Enter Initial value for g-value \n"
        "Enter S.No. (1-99) for equation\n" +
        kAsk +
        "Enter Initial value for g-value \n"
        "Enter Spin (S) for Curie term\n"
        "Include Weiss constant (theta) (Y/N)?\n" +
        kPlotMenu +
        "Plot type:  1. Splot/ 2.Pplot/ 3.HPPlot\n"
        "Splot NOT AVAILABLE! Enter Option (2 or 3)\n"
        "No. Parameter  Value\n"
        " 1. g-value     2.000000\n"
        "Change Parameter No. (0-Plot, -1 Iteration, -2 End):\n"
        "Options:\n1. Select Function\n2. Plot option\n3. End\nEnter option (1-3)\n"
        "Stop - Program terminated.\n";
    EXPECT_EQ(AfterMenu(r.out), expected) << mn;
  }
}

TEST(DriverModel, NewExpressionDialogue) {
  const std::string input =
      "t.dat\n\nE\n90\nG\n2\nF\n"
      "2\n4\n1\n"      // two terms, codes read over two lines
      "0\n4\n2\n"      // ITYPE 0 and 4 are asked again
      "-100\ny\n-1\n"  // Bleaney-Bower with Z*JP
      "0.5\nN\n"       // Curie without THETA
      "0.95\n"         // COEFF1
      "1\n1\n-2\n0\n";
  const e2e::Result r = e2e::Run("newexpr", input, {{"t.dat", kData}});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string types =
      "ITYPE   Type of Equation\n"
      "1. A + B + C + ...\n"
      "2. x(A) + (1-x)(B) + C + ...\n"
      "3. y [ x(A) + (1-x)(B) ] + (1-y) (C) + D + ...\n"
      "Enter ITYPE (1-3)\n";
  const std::string expected =
      std::string("Enter S.No. (1-99) for equation\n") + kAsk +
      "Enter g-value (g=0 to make it fit parameter)\n" + kAsk +
      "List of Functions:\n1. Curie Law\n2. Zero-Field\n3. Ising\n4. Bleaney-Bower\n"
      "5. Magnetization\n6. Bonner-Fisher\n7. Modified BF\n8. Dimers\n9. Other functions\n"
      "10. Constant (DIM)\n"
      "Enter No. of Terms (Fns.) in Eqn (Max.          10)\n"
      "Enter S. Nos. of Fns. from above list\n" +
      types + types + types +
      "Bleaney-Bower Eqn. parameters\n"
      "Enter Initial value for J-BB    \n"
      "Include Neighboring interaction Z*JP  (Y/N)?\n"
      "Enter Initial value for Z*JP    \n"
      "Enter Spin (S) for Curie term\n"
      "Include Weiss constant (theta) (Y/N)?\n"
      "Enter Initial value for COEFF1  \n" +
      kPlotMenu +
      "Plot type:  1. Splot/ 2.Pplot/ 3.HPPlot\n"
      "Splot NOT AVAILABLE! Enter Option (2 or 3)\n"
      "No. Parameter  Value\n"
      " 1. J-BB     -100.000000\n"
      " 2. Z*JP       -1.000000\n"
      " 3. COEFF1       .950000\n"
      "Change Parameter No. (0-Plot, -1 Iteration, -2 End):\n"
      "Options:\n1. Select Function\n2. Plot option\n3. End\nEnter option (1-3)\n"
      "Stop - Program terminated.\n";
  EXPECT_EQ(AfterMenu(r.out), expected);
}

TEST(DriverModel, TooManyTermsStopsTheProgram) {
  const e2e::Result r = e2e::Run("eleven", "t.dat\n\nE\n99\nG\n2\nF\n11\n", {{"t.dat", kData}});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string end =
      "Enter No. of Terms (Fns.) in Eqn (Max.          10)\n"
      "No. of terms cannot be more than          10\nStop - Program terminated.\n";
  ASSERT_GE(r.out.size(), end.size());
  EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end);
}

TEST(DriverModel, OptionsMenu) {
  // 2 goes back to the plot menu; 1 to the corrections menu with the values
  // last entered; 0 and 4 end the program like 3.
  for (const char* last : {"0", "3", "4"}) {
    const std::string input = std::string("t.dat\n\nG\n2\nC\n2\nE\n1\nF\n0.5\nn\n1\n1\n-2\n2\n") +
                              "3\n1\n-2\n1\nd\nf\n0.5\nn\n1\n1\n-2\n" + last + "\n";
    const e2e::Result r = e2e::Run(std::string("options") + last, input, {{"t.dat", kData}});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string out = r.out;
    const std::string menu =
        "C. Multipy the Observed data by factor= 2.00\nD. Show the present values\n"
        "E. Expression No. = 1\n";
    size_t menus = 0;
    for (size_t p = out.find(menu); p != std::string::npos; p = out.find(menu, p + 1)) ++menus;
    EXPECT_EQ(menus, 2u) << last;
    EXPECT_EQ(out.substr(out.size() - 46), "Enter option (1-3)\nStop - Program terminated.\n");
  }
}

}  // namespace
