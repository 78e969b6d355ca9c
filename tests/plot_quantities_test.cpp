// Plot quantities, ranges, the tick rule and the axis-range dialogue.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "plot/axis_range.h"
#include "plot/plot.h"

namespace {

std::vector<float> TickList(const plot::AxisRange& r) {
  std::vector<float> ticks;
  plot::ForEachTick(r, [&](float t) { ticks.push_back(t); });
  return ticks;
}

TEST(PlotAbscissae, PrinterPlotPutsTheCurveAtTheDataTemperatures) {
  const double T[] = {30.0, 10.0, 20.0};
  plot::PlotState s;
  s.IPLOT = 1;
  s.IPTYPE = 2;
  plot::PrepareAbscissae(s, T, 3);
  EXPECT_EQ(s.NCAL, 3);
  EXPECT_EQ(s.TCAL[0], 30.0);
  EXPECT_EQ(s.TCAL[2], 20.0);
  EXPECT_EQ(s.PXMIN, 10.0f);
  EXPECT_EQ(s.PXMAX, 30.0f);
}

TEST(PlotAbscissae, CurveHas300PointsWithASinglePrecisionStep) {
  const double T[] = {2.0, 300.0, 150.5};
  plot::PlotState s;
  s.IPLOT = 1;
  s.IPTYPE = 3;
  plot::PrepareAbscissae(s, T, 3);
  ASSERT_EQ(s.NCAL, 300);
  const float step = (300.0f - 2.0f) / 299.0f;
  EXPECT_EQ(s.TCAL[0], 2.0);
  EXPECT_EQ(s.TCAL[1], 2.0 + static_cast<double>(step));
  EXPECT_EQ(s.TCAL[299], 2.0 + 299 * static_cast<double>(step));
  EXPECT_NE(s.TCAL[299], 300.0);  // the float step does not land on 300 exactly
  EXPECT_EQ(s.PXCAL[299], static_cast<float>(s.TCAL[299]));
}

TEST(PlotAbscissae, Option5PlotsInverseTemperature) {
  const double T[] = {4.0, 2.0, 10.0};
  plot::PlotState s;
  s.IPLOT = 5;
  s.IPTYPE = 3;
  plot::PrepareAbscissae(s, T, 3);
  EXPECT_EQ(s.PXOBS[0], 0.25f);
  EXPECT_EQ(s.PXOBS[1], 0.5f);
  EXPECT_EQ(s.PXOBS[2], static_cast<float>(1.0 / 10.0));
  EXPECT_EQ(s.PXMIN, 1.0f / 10.0f);
  EXPECT_EQ(s.PXMAX, 0.5f);
  // The curve still runs over the temperatures, from 2 K to about 10 K.
  EXPECT_EQ(s.TCAL[0], 2.0);
  EXPECT_EQ(s.PXCAL[0], 0.5f);
  EXPECT_NEAR(s.TCAL[299], 10.0, 1e-5);
}

TEST(PlotOrdinates, QuantitiesByOption) {
  const double T[] = {50.0};
  const double X[] = {0.02};
  struct Case {
    int IPLOT;
    float y;
  } cases[] = {
      {1, static_cast<float>(0.02)},        {2, static_cast<float>(std::sqrt(0.02 * 50.0 * 7.997))},
      {3, static_cast<float>(0.02 * 50.0)}, {4, static_cast<float>(1.0 / 0.02)},
      {5, static_cast<float>(0.02)},        {6, static_cast<float>(0.02)},
      {0, static_cast<float>(0.02)},
  };
  for (const Case& c : cases) {
    plot::PlotState s;
    s.IPLOT = c.IPLOT;
    s.IPTYPE = 2;
    plot::PrepareAbscissae(s, T, 1);
    s.CHICAL[0] = 0.02;
    plot::PrepareOrdinates(s, T, X, 1);
    EXPECT_EQ(s.PYOBS[0], c.y) << "IPLOT " << c.IPLOT;
    EXPECT_EQ(s.PYCAL[0], c.y) << "IPLOT " << c.IPLOT;
  }
}

TEST(PlotOrdinates, OrdinateRangeCoversDataAndCurveAbscissaRangeDataOnly) {
  const double T[] = {10.0, 20.0};
  const double X[] = {0.5, 0.3};
  plot::PlotState s;
  s.IPLOT = 1;
  s.IPTYPE = 3;
  plot::PrepareAbscissae(s, T, 2);
  for (int i = 0; i < s.NCAL; ++i) s.CHICAL[i] = 0.4;
  s.CHICAL[7] = 0.9;
  s.CHICAL[8] = 0.1;
  plot::PrepareOrdinates(s, T, X, 2);
  EXPECT_EQ(s.PYMIN, 0.1f);
  EXPECT_EQ(s.PYMAX, 0.9f);
  EXPECT_EQ(s.PXMIN, 10.0f);
  EXPECT_EQ(s.PXMAX, 20.0f);
}

TEST(PlotOrdinates, NonFiniteQuantitiesAreLeftOut) {
  const double T[] = {10.0, 20.0, 30.0};
  // 1/X of X = 0 under option 4; Mu of a negative X*T under option 2.
  for (int IPLOT : {2, 4}) {
    const double X[] = {0.5, IPLOT == 4 ? 0.0 : -0.5, 0.25};
    plot::PlotState s;
    s.IPLOT = IPLOT;
    s.IPTYPE = 2;
    plot::PrepareAbscissae(s, T, 3);
    for (int i = 0; i < 3; ++i) s.CHICAL[i] = X[i];
    plot::PrepareOrdinates(s, T, X, 3);
    EXPECT_TRUE(s.OKOBS[0]);
    EXPECT_FALSE(s.OKOBS[1]) << IPLOT;
    EXPECT_FALSE(s.OKCAL[1]) << IPLOT;
    EXPECT_TRUE(std::isfinite(s.PYMIN) && std::isfinite(s.PYMAX)) << IPLOT;
    EXPECT_EQ(s.PYMIN, std::min(s.PYOBS[0], s.PYOBS[2])) << IPLOT;
    EXPECT_EQ(s.PYMAX, std::max(s.PYOBS[0], s.PYOBS[2])) << IPLOT;
  }
}

TEST(PlotAbscissae, TemperatureBeyondSinglePrecisionIsLeftOut) {
  const double T[] = {1.0e300, 10.0, 0.0};
  const double X[] = {0.1, 0.2, 0.3};
  plot::PlotState s;
  s.IPLOT = 5;  // 1/T of 0 is not finite either
  s.IPTYPE = 3;
  plot::PrepareAbscissae(s, T, 3);
  EXPECT_EQ(s.PXMIN, 0.1f);
  EXPECT_EQ(s.PXMAX, 0.1f);
  plot::PrepareOrdinates(s, T, X, 3);
  EXPECT_FALSE(s.OKOBS[0]);
  EXPECT_TRUE(s.OKOBS[1]);
  EXPECT_FALSE(s.OKOBS[2]);

  s.IPLOT = 1;
  plot::PrepareAbscissae(s, T, 3);
  EXPECT_EQ(s.PXMIN, 0.0f);
  EXPECT_EQ(s.PXMAX, 10.0f);
  plot::PrepareOrdinates(s, T, X, 3);
  EXPECT_FALSE(s.OKOBS[0]);
  EXPECT_TRUE(s.OKOBS[2]);
}

TEST(PlotTicks, TickRule) {
  struct Case {
    plot::AxisRange r;
    std::vector<float> ticks;
  } cases[] = {
      {{0.0f, 300.0f, 50.0f}, {0, 50, 100, 150, 200, 250, 300}},
      {{12.0f, 300.0f, 50.0f}, {50, 100, 150, 200, 250, 300}},
      {{-0.5f, 2.0f, 1.0f}, {0, 1, 2}},
      {{-120.0f, -10.0f, 50.0f}, {-100, -50}},
      {{0.1f, 0.2f, 1.0f}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TickList(c.r), c.ticks) << c.r.min << " " << c.r.max << " " << c.r.divn;
  }
  // Eleven ticks from 0 to 0.5 by 0.05, each the previous plus divn.
  const std::vector<float> fine = TickList({0.0f, 0.5f, 0.05f});
  ASSERT_EQ(fine.size(), 11u);
  float t = 0.0f;
  for (float v : fine) {
    EXPECT_EQ(v, t);
    t = t + 0.05f;
  }
}

TEST(PlotTicks, DrawableAxes) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    plot::AxisRange r;
    bool drawable;
  } cases[] = {
      {{0.0f, 300.0f, 50.0f}, true},   {{0.0f, 300.0f, 0.0f}, false},
      {{0.0f, 300.0f, -50.0f}, false}, {{300.0f, 300.0f, 50.0f}, false},
      {{300.0f, 0.0f, 50.0f}, false},  {{0.0f, inf, 50.0f}, false},
      {{0.0f, 300.0f, 1e-40f}, false},  // far too many ticks
      {{-3e38f, 3e38f, 1e37f}, false},  // max - min overflows
      {{0.0f, 1e-42f, 1e-43f}, false},  // scale factor overflows
      {{1e30f, 2e30f, 1e-10f}, false},  // min/divn overflows
      {{0.0f, 3e9f, 1.0f}, false},      // 3e9 ticks
      {{0.0f, 2e9f, 1.0f}, false},      // 2e9 ticks: a count, but hours of file
      {{0.0f, 1e5f, 1.0f}, false},      // 100001 ticks
      {{0.0f, 99999.0f, 1.0f}, true},   // 100000 ticks
      {{-0.5f, 0.5f, 1e-4f}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plot::Drawable(c.r, 8679.18f), c.drawable)
        << c.r.min << " " << c.r.max << " " << c.r.divn;
  }
}

// The range dialogue of a plot of data from (xmin, ymin) to (xmax, ymax),
// with the answers `typed`: the ranges taken and what it wrote.
struct Ranges {
  plot::AxisRange x, y;
  std::string written;
};

Ranges AskRanges(float xmin, float xmax, float ymin, float ymax, const std::string& typed) {
  plot::PlotState s;
  s.PXMIN = xmin;
  s.PXMAX = xmax;
  s.PYMIN = ymin;
  s.PYMAX = ymax;
  std::istringstream in(typed);
  std::ostringstream out;
  format::Console con(in, out);
  Ranges r;
  plot::AskAxisRanges(s, con, 8679.18f, 6126.48f, r.x, r.y);
  r.written = out.str();
  return r;
}

TEST(PlotRangeDialogue, AsksEachAxisUntilItCanBeDrawn) {
  const Ranges r = AskRanges(2.0f, 300.0f, 0.0144f, 0.8773f,
                             "0 300 0\n"  // divn 0: X asked again
                             "10 5 1\n"   // max below min: again
                             "0 300 50\n"
                             "0 1 1e-40\n"  // too many ticks: Y asked again
                             "0,1,0.2\n");
  EXPECT_EQ(r.x.min, 0.0f);
  EXPECT_EQ(r.x.max, 300.0f);
  EXPECT_EQ(r.x.divn, 50.0f);
  EXPECT_EQ(r.y.max, 1.0f);
  EXPECT_EQ(r.y.divn, 0.2f);
  const std::string xline = "X-min =    2.0000 X-max =  300.0000 X-divn =   29.8000\n";
  const std::string yline = "Y-min =     .0144 Y-max =     .8773 Y-divn =     .0863\n";
  const std::string ask = "Enter the values for plot\n";
  EXPECT_EQ(r.written, "The values from data are:\n" + xline + ask + xline + ask + xline + ask +
                           yline + ask + yline + ask);
}

TEST(PlotRangeDialogue, SlashKeepsTheDataValues) {
  const Ranges r = AskRanges(10.0f, 40.0f, 1.0f, 2.0f, "0 /\n/\n");
  EXPECT_EQ(r.x.min, 0.0f);
  EXPECT_EQ(r.x.max, 40.0f);
  EXPECT_EQ(r.x.divn, 3.0f);
  EXPECT_EQ(r.y.min, 1.0f);
  EXPECT_EQ(r.y.divn, 0.1f);
}

}  // namespace
