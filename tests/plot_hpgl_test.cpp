// The HP-GL plot file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plot/plot.h"
#include "tests/test_util.h"

namespace {

using test_util::ReadFile;

struct HpglRun {
  std::string console;
  std::vector<std::string> records;  // the file split at CR LF
  std::string bytes;
};

HpglRun RunHpgl(const plot::PlotState& s, const std::string& answers) {
  const std::string path =
      testing::TempDir() + "plot_hpgl_test_" + std::to_string(::getpid()) + ".hgl";
  std::istringstream in(answers);
  std::ostringstream out;
  format::Console con(in, out);
  plot::HpglPlot(s, con, path);
  HpglRun run{out.str(), {}, ReadFile(path)};
  for (size_t at = 0; at < run.bytes.size();) {
    const size_t end = run.bytes.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << "record without CR LF";
    if (end == std::string::npos) break;
    run.records.push_back(run.bytes.substr(at, end - at));
    at = end + 2;
  }
  return run;
}

bool Has(const HpglRun& run, const std::string& record) {
  return std::find(run.records.begin(), run.records.end(), record) != run.records.end();
}

// Data at T with XOBS; the curve is the straight line between the first and
// the last data point, in X.
plot::PlotState MakeState(int IPLOT, const std::vector<double>& T,
                          const std::vector<double>& XOBS) {
  plot::PlotState s;
  s.IPLOT = IPLOT;
  s.IPTYPE = 3;
  const int n = static_cast<int>(T.size());
  plot::PrepareAbscissae(s, T.data(), n);
  for (int i = 0; i < s.NCAL; ++i) {
    const double f = (s.TCAL[i] - T.front()) / (T.back() - T.front());
    s.CHICAL[i] = XOBS.front() + f * (XOBS.back() - XOBS.front());
  }
  plot::PrepareOrdinates(s, T.data(), XOBS.data(), n);
  return s;
}

// A Curie-Weiss law (g 2.0, S 5/2, THETA -3) against the measured data,
// plotted as X vs 1/T, exactly as the program writes it.
TEST(HpglPlot, MatchesTheReferenceFile) {
  std::ifstream data(SUSCEP_SOURCE_DIR "/tests/data/plot/mncw.dat");
  int n = 0;
  data >> n;
  std::vector<double> T(n), X(n);
  for (int i = 0; i < n; ++i) data >> T[i] >> X[i];
  ASSERT_TRUE(data) << "mncw.dat";

  plot::PlotState s;
  s.IPLOT = 5;
  s.IPTYPE = 3;
  plot::PrepareAbscissae(s, T.data(), n);
  const double NB2K = 0.37514585f, g = 2.0, S = 2.5, THETA = -3.0;
  for (int i = 0; i < s.NCAL; ++i) {
    const double t = s.TCAL[i];
    const double CG2 = g * g * NB2K;
    const double curie = (CG2 / t) * (S + 1) * S / 3;
    s.CHICAL[i] = 0.0 + (0.0 + curie * t / (t - THETA));
  }
  plot::PrepareOrdinates(s, T.data(), X.data(), n);

  // An older, longer file of the same name is replaced.
  const std::string path =
      testing::TempDir() + "plot_hpgl_test_" + std::to_string(::getpid()) + ".hgl";
  std::ofstream(path) << std::string(20000, 'x');

  const HpglRun run = RunHpgl(s, "0 0.5 0.05\n0 1 0.2\n");
  EXPECT_EQ(run.console,
            "The values from data are:\n"
            "X-min =     .0033 X-max =     .5000 X-divn =     .0497\n"
            "Enter the values for plot\n"
            "Y-min =     .0144 Y-max =     .8773 Y-divn =     .0863\n"
            "Enter the values for plot\n"
            " HPPLOT file name is SUSCEP.HGL\n");
  EXPECT_EQ(run.bytes, ReadFile(SUSCEP_SOURCE_DIR "/tests/data/plot/mncw_inverse_t.hgl"));
}

TEST(HpglPlot, FrameCornersAndCurveStart) {
  const HpglRun run = RunHpgl(MakeState(1, {10, 40}, {0.1, 0.4}), "10 40 10\n0.1 0.4 0.1\n");
  ASSERT_GE(run.records.size(), 310u);
  EXPECT_EQ(run.records[0], " IN;SP1;PU;");
  EXPECT_EQ(run.records[1], " PA 2042, 1531PD");  // the curve starts at (X-min, Y-min)
  EXPECT_EQ(run.records[300], " PA10721, 7657PD");
  EXPECT_EQ(run.records[301], " PU;");
  EXPECT_EQ(run.records[302], " PA 2042, 1531CI60,10WG60,0,360,10;");
  EXPECT_EQ(run.records[303], " PA10721, 7657CI60,10WG60,0,360,10;");
  const std::vector<std::string> frame(run.records.begin() + 304, run.records.begin() + 310);
  EXPECT_EQ(frame,
            (std::vector<std::string>{" PA 2042, 1531PD", " PA10721, 1531PD", " PA10721, 7657PD",
                                      " PA 2042, 7657PD", " PA 2042, 1531PD", " PU;"}));
  EXPECT_EQ(run.records.back(), " PU;SP0;");
}

TEST(HpglPlot, XLabelsByWidth) {
  const HpglRun run = RunHpgl(MakeState(1, {2, 300}, {0.1, 0.01}), "0 300 5\n0 .1 .05\n");
  EXPECT_TRUE(Has(run, " CP-.5,-1.5;LB0\x03"));
  EXPECT_TRUE(Has(run, " CP-.5,-1.5;LB5\x03"));
  EXPECT_TRUE(Has(run, " CP-1.,-1.5;LB50\x03"));
  EXPECT_TRUE(Has(run, " CP-1.,-1.5;LB95\x03"));
  EXPECT_TRUE(Has(run, " CP-1.5,-1.5;LB100\x03"));
  EXPECT_TRUE(Has(run, " CP-1.5,-1.5;LB300\x03"));
  EXPECT_TRUE(Has(run, " PA10721, 1531XT;"));
  EXPECT_TRUE(Has(run, " CP-3,-3;LBT (K) \x03"));
}

// 10 is the first label of two digits.
TEST(HpglPlot, XLabelOfTenHasTwoDigits) {
  const HpglRun run = RunHpgl(MakeState(1, {2, 300}, {0.1, 0.01}), "0 300 10\n0 .1 .05\n");
  EXPECT_TRUE(Has(run, " CP-.5,-1.5;LB0\x03"));
  EXPECT_TRUE(Has(run, " CP-1.,-1.5;LB10\x03"));
  EXPECT_TRUE(Has(run, " CP-1.,-1.5;LB20\x03"));
}

TEST(HpglPlot, YLabelsBySusceptibilityInThousandths) {
  for (int IPLOT : {1, 5}) {
    const HpglRun low =
        RunHpgl(MakeState(IPLOT, {2, 300}, {0.03, 0.04}), "0 .5 .1\n.025 .05 .025\n");
    EXPECT_TRUE(Has(low, " CP-3.5,-.5,LB 25\x03")) << IPLOT;
    EXPECT_TRUE(Has(low, " CP-3.5,-.5,LB 50\x03")) << IPLOT;
    const HpglRun high = RunHpgl(MakeState(IPLOT, {2, 300}, {0.3, 0.9}), "0 .5 .1\n0 1 .5\n");
    EXPECT_TRUE(Has(high, " CP-3.5,-.5,LB  0\x03")) << IPLOT;
    EXPECT_TRUE(Has(high, " CP-3.5,-.5,LB500\x03")) << IPLOT;
    EXPECT_TRUE(Has(high, " CP-3.5,-.5,LB***\x03")) << IPLOT;
  }
}

TEST(HpglPlot, InverseSusceptibilityScaledByPowerOfTen) {
  struct Case {
    std::string y_answer;
    std::string label;  // a tick label that must be written
    std::string exponent;
  } cases[] = {
      {"0 250 50", " CP-3.5,-.5,LB1.5\x03", "SI.18,.25;LB2\x03"},
      {"0 5 1", " CP-3.5,-.5,LB3.0\x03", "SI.18,.25;LB0\x03"},
      {"-5 -1 1", " CP-3.5,-.5,LB***\x03", "SI.18,.25;LB0\x03"},
      {"0 .05 .01", " CP-3.5,-.5,LB .3\x03", "SI.18,.25;LB*\x03"},
  };
  for (const Case& c : cases) {
    const HpglRun run =
        RunHpgl(MakeState(4, {2, 300}, {0.01, 0.005}), "0 300 50\n" + c.y_answer + "\n");
    EXPECT_TRUE(Has(run, c.label)) << c.y_answer;
    ASSERT_GE(run.records.size(), 12u);
    const std::vector<std::string> title(run.records.end() - 12, run.records.end());
    EXPECT_EQ(title[0], " PA 2042, 4594SI.2,.3;DI0,1;");
    EXPECT_EQ(title[1], " CP-8,-3;");
    EXPECT_EQ(title[2], " PR-1206,0;");
    EXPECT_EQ(title[8],
              " PR-3,-8PR0,-8PR3,-4PR4,0PU; PR103,4PD;PR-9,-12PR-108,144PR9,12PR108,-144PU;");
    EXPECT_EQ(title[9],
              " CP-3,0LB1/   (x10\x03"
              "CP0,.5;" +
                  c.exponent +
                  "SI.2,.3;CP0,-.5;LB cm\x03"
                  "CP0,.5;")
        << c.y_answer;
    EXPECT_EQ(title[10], " SI.18,.25;LB-3\x03 SI.2,.3;CP0,-.5;LBmol)\x03");
  }
}

TEST(HpglPlot, Option6HasOption1QuantitiesValueLabelsAndNoXTitle) {
  const HpglRun run = RunHpgl(MakeState(6, {10, 40}, {0.5, 0.25}), "10 40 10\n0 1 .5\n");
  EXPECT_EQ(run.records[1], " PA 2042, 4594PD");  // X 0.5 at 10 K
  EXPECT_TRUE(Has(run, " CP-3.5,-.5,LB .0\x03"));
  EXPECT_TRUE(Has(run, " CP-3.5,-.5,LB .5\x03"));
  EXPECT_TRUE(Has(run, " CP-3.5,-.5,LB1.0\x03"));
  const auto at = std::find(run.records.begin(), run.records.end(), " PA 6381, 1531;");
  ASSERT_NE(at, run.records.end());
  EXPECT_EQ(at[1], " PR100,50PD;PR90,0PR-15,-24PR45,36;");
  EXPECT_EQ(at[2], " PR-45,36PR15,-24PR-90,0PR0,-24PU;");
  EXPECT_EQ(at[4], " CP-6,-3;");
  EXPECT_EQ(at[12],
            " LB (x10\x03"
            "CP0,.5;SI.18,.25;LB3\x03SI.2,.3;CP0,-.5;LBcm\x03"
            "CP0,.5;SI.18,.25;LB3\x03");
}

TEST(HpglPlot, YTitlesOfMomentAndXT) {
  const HpglRun mu = RunHpgl(MakeState(2, {10, 40}, {0.05, 0.04}), "10 40 10\n1 2 .5\n");
  const std::vector<std::string> mu_title(mu.records.end() - 10, mu.records.end());
  EXPECT_EQ(mu_title[0], " PA 2042, 4594SI.2,.3;DI0,1;");
  EXPECT_EQ(mu_title[1], " CP-4,-3;");
  EXPECT_EQ(mu_title[3], " PR0,0PD;PR-120,40,0,20,42,-8,12,4,4,4,1,12;");
  EXPECT_EQ(mu_title[8], " LB   (B.M.) \x03");
  EXPECT_TRUE(Has(mu, " CP-3.5,-.5,LB1.5\x03"));

  const HpglRun xt = RunHpgl(MakeState(3, {10, 40}, {0.05, 0.04}), "10 40 10\n.5 2 .5\n");
  const std::vector<std::string> xt_title(xt.records.end() - 13, xt.records.end());
  EXPECT_EQ(xt_title[1], " CP-10,-3;");
  EXPECT_EQ(xt_title[9],
            " LB  T (x10\x03"
            "CP0,.5;SI.18,.25;LB3\x03SI.2,.3;CP0,-.5;LBcm\x03"
            "CP0,.5;");
  EXPECT_EQ(xt_title[10], " SI.18,.25;LB3\x03 SI.2,.3;CP0,-.5;");
  EXPECT_EQ(xt_title[11],
            " LBmol\x03"
            "CP0,.5;SI.18,.25;LB-1\x03SI.2,.3;CP0,-.5LBK) \x03");
}

TEST(HpglPlot, CoordinatesFarOutsideTheRangesAreClamped) {
  const HpglRun run = RunHpgl(MakeState(1, {10, 1000}, {-50.0, 50.0}), "10 11 1\n0 1 .5\n");
  EXPECT_TRUE(Has(run, " PA 2042,-9999CI60,10WG60,0,360,10;"));
  EXPECT_TRUE(Has(run, " PA99999,99999CI60,10WG60,0,360,10;"));
}

}  // namespace
