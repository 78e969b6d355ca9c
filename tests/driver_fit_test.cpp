// Parameter editing, the iteration dialogue, the report and the Options
// menu, run end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/driver_e2e_util.h"

namespace {

using e2e::Lines;

// Three points that a constant of 0.01 fits exactly.
constexpr char kFlat[] = "3\n10 0.01\n20 0.01\n30 0.01\n";

// Expression 99 with one DIM term, g fixed at 2: one parameter, "DIM     ".
constexpr char kDimModel[] = "E\n99\nG\n2\nF\n1\n10\n1\n";

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

// The console from the first parameter listing on.
std::string FromListing(const std::string& out) {
  const size_t pos = out.find("No. Parameter  Value\n");
  return pos == std::string::npos ? "" : out.substr(pos);
}

TEST(DriverFit, ZeroIterationReportOfAnExactFit) {
  const std::string input = std::string("t.dat\n\n") + kDimModel +
                            "0.02\n"       // initial DIM
                            "3\n1\n"       // plot options: XT vs. T, screen plot (nothing drawn)
                            "1\n0.01\n"    // edited value, no plot in between
                            "-1\n-1\n0\n"  // iteration dialogue with 0 iterations
                            "\n"           // Press RETURN key
                            "-2\n3\n";
  const e2e::Result r = e2e::Run("zero_iter", input, {{"t.dat", kFlat}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string expected =
      "No. Parameter  Value\n"
      " 1. DIM          .020000\n"
      "Change Parameter No. (0-Plot, -1 Iteration, -2 End):\n"
      "Enter New value of DIM     \n"
      "Change Parameter No. (0-Plot, -1 Iteration, -2 End):\n"
      "        DIM       L.S.Error\n"
      "   1     .0100     .0000\n"
      "No. of iterations        200\n"
      "Convergence limit for iteration:  1.00E-16\n"
      "    Parameter     Value       Step\n"
      " 1. DIM          .010000     .000100\n"
      "Change step No. (0 to proceed, -1 No. of Iters.  -2 Convergence):\n"
      "Enter No. of iterations\n"
      "No. of iterations          0\n"
      "Convergence limit for iteration:  1.00E-16\n"
      "    Parameter     Value       Step\n"
      " 1. DIM          .010000     .000100\n"
      "\n\n"
      "Starting:\n"
      "Parameter      Value          Step\n"
      "DIM      1.00000E-02      1.00000E-04\n"
      "\n"
      "Solution:\n"
      "Parameter      Value       Std. devn.\n"
      "DIM      = 1.00000E-02 +/-  0.0000E+00\n"
      "g-value given =  2.0000\n"
      "L.S. Error =   .0000D+00\n"
      "\n"
      "Press RETURN key\n"
      "   Temp.(K)        X-Expt         X-Cald.         Difference\n"
      "         10.00         .01000         .01000         .00000\n"
      "         20.00         .01000         .01000         .00000\n"
      "         30.00         .01000         .01000         .00000\n"
      "No. Parameter  Value\n"
      " 1. DIM          .010000\n"
      "Change Parameter No. (0-Plot, -1 Iteration, -2 End):\n"
      "Options:\n"
      "1. Select Function\n"
      "2. Plot option\n"
      "3. End\n"
      "Enter option (1-3)\n"
      "Stop - Program terminated.\n";
  EXPECT_EQ(Lines(FromListing(r.out)), Lines(expected));

  const std::string report = r.File("SUSCEP.OUT");
  const std::vector<std::string> lines = Lines(e2e::MaskReportCredits(report));
  ASSERT_GT(lines.size(), 40u);
  const std::vector<std::string> head(lines.begin(), lines.begin() + 35);
  const std::vector<std::string> expected_head = {
      "\r",
      " CHIFIT output. Ref: \r",
      "<credit>\r",
      "<credit>\r",
      "<credit>\r",
      "<credit>\r",
      "\r",
      " Equation type used for fitting of data:\r",
      "  A + B + ...\r",
      " Where,\r",
      " A. DIM term\r",
      " g-value fixed\r",
      "\r",
      "\r",
      " Starting:\r",
      " Parameter      Value          Step\r",
      " DIM      1.00000E-02      1.00000E-04\r",
      "\r",
      " Solution:\r",
      " Parameter      Value       Std. devn.\r",
      " DIM      = 1.00000E-02 +/-  0.0000E+00\r",
      " g-value given =  2.0000\r",
      " L.S. Error =   .0000D+00\r",
      "\r",
      "    Temp.(K)        X-Expt         X-Cald.         Difference\r",
      "          10.00         .01000         .01000         .00000\r",
      "          20.00         .01000         .01000         .00000\r",
      "          30.00         .01000         .01000         .00000\r",
      " Diamagnetic correction made on X-obsd =  0.000000000000000E+000\r",
      " TIP added to X-cald. =  0.000000000000000E+000\r",
      "   TEMP.     X-CALD.\r",
      "   10.00  1.000000E-02\r",
      "   10.07  1.000000E-02\r",
      "   10.13  1.000000E-02\r",
      "   10.20  1.000000E-02\r"};
  EXPECT_EQ(head, expected_head);
  // 301 curve points from the first to the last temperature.
  EXPECT_EQ(lines[31 + 300], "   30.00  1.000000E-02\r");
  const std::vector<std::string> tail(lines.begin() + 332, lines.begin() + 344);
  const std::vector<std::string> expected_tail = {
      "\r",
      "\r",
      "    Data for plotting (using ORIGIN, for eg.)\r",
      "    columns, from left to right : T, CHI, MU, CHI*T, 1/CHI, 1/T\r",
      "\r",
      "    Experimental points\r",
      "\r",
      "   10.00   .1000E-01   .8943E+00   .1000E+00   .1000E+03   .1000E+00\r",
      "   20.00   .1000E-01   .1265E+01   .2000E+00   .1000E+03   .5000E-01\r",
      "   30.00   .1000E-01   .1549E+01   .3000E+00   .1000E+03   .3333E-01\r",
      "\r",
      "    Calculated points\r"};
  EXPECT_EQ(tail, expected_tail);
  EXPECT_EQ(lines.size(), 344u + 1 + 301);
  EXPECT_EQ(lines.back(), "   30.00   .1000E-01   .1549E+01   .3000E+00   .1000E+03   .3333E-01\r");
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

TEST(DriverFit, SettingsAreResetAtEveryEntryAndReqminMustBePositive) {
  const std::string input = std::string("t.dat\n\n") + kDimModel +
                            "0.02\n3\n1\n"
                            "-1\n"
                            "-2\n0\n-1e-3\n1e-10\n"  // REQMIN asked again while not above 0
                            "-1\n50\n"               // iterations
                            "1\n0.005\n"             // step of DIM
                            "2\n-3\n"                // out of range: asked again
                            "-1\n0\n\n"              // zero iterations, report
                            "-1\n-1\n0\n\n"          // again: the settings are back
                            "-2\n3\n";
  const e2e::Result r = e2e::Run("settings", input, {{"t.dat", kFlat}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, "Enter REQMIN value for convergence:\n"), 3u);
  EXPECT_NE(r.out.find("Convergence limit for iteration:  1.00E-10\n"), std::string::npos);
  EXPECT_NE(r.out.find("No. of iterations         50\n"), std::string::npos);
  EXPECT_NE(r.out.find(" 1. DIM          .020000     .005000\n"), std::string::npos);
  EXPECT_EQ(Count(r.out, "Change step No. (0 to proceed, -1 No. of Iters.  -2 Convergence):\n"),
            7u);
  // The second entry: 200 iterations, 1.0E-16 and a step of 1/100 of the value.
  const size_t second = r.out.rfind("        DIM       L.S.Error\n");
  ASSERT_NE(second, std::string::npos);
  const std::string tail = r.out.substr(second);
  EXPECT_NE(tail.find("No. of iterations        200\n"
                      "Convergence limit for iteration:  1.00E-16\n"
                      "    Parameter     Value       Step\n"
                      " 1. DIM          .020000     .000200\n"),
            std::string::npos);
}

TEST(DriverFit, NineHeaderItemsTakeTwoRecords) {
  // g fitted, Hatfield's tetramer, modified BF, ITYPE 2: eight parameters.
  const std::string input =
      "t.dat\n\nE\n99\nF\n2\n2\n9 7\n2\n"
      "3\n-10\n-20\n-30\n-40\nn\n"  // other functions: tetramer
      "-50\n0.5\nn\n"               // modified BF
      "0.9\n1\n1\n-1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r = e2e::Run(
      "nine", input,
      {{"t.dat",
        "12\n" +
            std::string(
                "10 .01 20 .008 30 .006 40 .005 50 .004 60 .0035 70 .003 80 .0028 90 .0025 100 .0022 "
                "110 .002 120 .0019\n")}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("        g-value   J1-Tetra  J2-Tetra  J3-Tetra  J4-Tetra  J-MBF     "
                       "ALFA-MBF\nCOEFF1    L.S.Error\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(
      r.out.find("   1    2.0000  -10.0000  -20.0000  -30.0000  -40.0000  -50.0000     .5000\n"
                 "    .9000     .7268\n"),
      std::string::npos);
}

TEST(DriverFit, TooFewPointsForTheEstimate) {
  // Three points and three parameters: no standard deviations.
  const std::string input = "t.dat\n\nF\n2\n-100\nn\n0.5\nn\n0.9\n1\n1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r =
      e2e::Run("few_points", input, {{"t.dat", "3\n10 0.03\n100 0.005\n300 0.0014\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Iteration is completed.  Calculation ESDs\n        g-value   J-BB      "
                       "COEFF1    L.S.Error\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("\nSigma values could not be estimated correctly.\nL.S. Error ="),
            std::string::npos);
  const std::string report = r.File("SUSCEP.OUT");
  EXPECT_NE(report.find("+/-  0.0000E+00\r\n Sigma values could not be estimated correctly.\r\n"
                        " L.S. Error ="),
            std::string::npos);
  EXPECT_EQ(report.find("g-value given"), std::string::npos);
}

// A fit with no parameters (a Curie term with g given): the estimate
// evaluates the one vertex, then the moved vertex, and succeeds.
TEST(DriverFit, AFitWithNoParametersEstimatesWithoutFailure) {
  const std::string input = "t.dat\n\nE\n1\nG\n2\nF\n0.5\nn\n3\n1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r = e2e::Run("no_parameters", input, {{"t.dat", kFlat}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  size_t done = 0;
  while (done < lines.size() && lines[done] != "Iteration is completed.  Calculation ESDs") ++done;
  ASSERT_LT(done + 4, lines.size());
  // Progress counts: the last of the minimiser, two of the estimate, the
  // final one after a new header.
  const int last = std::stoi(lines[done - 1].substr(0, 5));
  EXPECT_EQ(std::stoi(lines[done + 1].substr(0, 5)), last + 1);
  EXPECT_EQ(std::stoi(lines[done + 2].substr(0, 5)), last + 2);
  EXPECT_EQ(lines[done + 3], "        L.S.Error");
  EXPECT_EQ(std::stoi(lines[done + 4].substr(0, 5)), last + 3);
  EXPECT_EQ(r.out.find("Sigma values"), std::string::npos);
  EXPECT_EQ(r.File("SUSCEP.OUT").find("Sigma values"), std::string::npos);
}

TEST(DriverFit, AZeroIterationReportAfterAFailedEstimateShowsNoFailure) {
  const std::string input =
      "t.dat\n\nF\n2\n-100\nn\n0.5\nn\n0.9\n1\n1\n-1\n0\n\n-1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r =
      e2e::Run("stale_sigflag", input, {{"t.dat", "3\n10 0.03\n100 0.005\n300 0.0014\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, "Sigma values could not be estimated correctly."), 1u);
  EXPECT_EQ(r.File("SUSCEP.OUT").find("Sigma values"), std::string::npos);
}

TEST(DriverFit, FallingTemperaturesGiveAFallingCurve) {
  const std::string input =
      std::string("t.dat\n\n") + kDimModel + "0.01\n1\n1\n-1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r =
      e2e::Run("falling", input, {{"t.dat", "3\n300 0.01\n200 0.01\n100 0.01\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.File("SUSCEP.OUT"));
  const size_t curve = 31;
  ASSERT_EQ(lines[curve - 1], "   TEMP.     X-CALD.\r");
  EXPECT_EQ(lines[curve], "  300.00  1.000000E-02\r");
  EXPECT_EQ(lines[curve + 1], "  299.33  1.000000E-02\r");
  EXPECT_EQ(lines[curve + 300], "  100.00  1.000000E-02\r");
}

TEST(DriverFit, OnlyTheLastReportStays) {
  const std::string input = std::string("t.dat\n\n") + kDimModel +
                            "0.01\n1\n1\n-1\n-1\n0\n\n"
                            "1\n0.03\n-1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r = e2e::Run("two_reports", input, {{"t.dat", kFlat}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, "Solution:"), 2u);
  const std::string report = r.File("SUSCEP.OUT");
  EXPECT_EQ(Count(report, "CHIFIT output"), 1u);
  EXPECT_NE(report.find(" DIM      = 3.00000E-02 +/-  0.0000E+00\r\n"), std::string::npos);
}

TEST(DriverFit, UnwritableReportIsARunTimeError) {
  const std::string input = std::string("t.dat\n\n") + kDimModel + "0.01\n1\n1\n-1\n-1\n0\n\n";
  e2e::Result r = e2e::Run("unwritable", "", {});
  std::filesystem::create_directory(r.dir / "SUSCEP.OUT");
  e2e::WriteFile(r.dir / "t.dat", kFlat);
  e2e::WriteFile(r.dir / "input.txt", input);
  const int raw = std::system(
      ("cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' < input.txt > stdout.txt 2> stderr.txt")
          .c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  const std::string err = e2e::ReadFile(r.dir / "stderr.txt");
  EXPECT_NE(err.find("SUSCEP.OUT"), std::string::npos) << err;
}

TEST(DriverFit, AFitOfTheDiradicalLandsNearThePublishedValues) {
  // Per spin (factor 0.5), expression 24 with g fitted.
  const std::string input =
      "dnit2.dat\n\nC\n0.5\nF\n2.0\n-150\nn\n0.5\nn\n0.99\n1\n1\n-1\n0\n\n-2\n3\n";
  const e2e::Result r = e2e::Run(
      "diradical", input,
      {{"dnit2.dat", e2e::ReadFile(std::string(SUSCEP_SOURCE_DIR) + "/examples/dnit2.dat")}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string report = r.File("SUSCEP.OUT");
  auto value = [&report](const std::string& name) {
    const size_t pos = report.find("\n " + name + " =");
    return pos == std::string::npos ? 0.0 : std::stod(report.substr(pos + name.size() + 4, 12));
  };
  EXPECT_NEAR(value("g-value "), 2.007, 0.02);
  EXPECT_NEAR(value("J-BB    "), -159.9, 5.0);
}

}  // namespace
