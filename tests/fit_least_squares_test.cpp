// Levenberg-Marquardt and the multi-start search on small problems: recovery,
// bounds, held parameters, stopping, limits, and distinct minima.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "fit/fit.h"

namespace {

// a exp(-b t) + c on 20 points, noise-free.
fit::LeastSquares Decay(double a, double b, double c) {
  fit::LeastSquares p;
  p.points = 20;
  p.residuals = [a, b, c](const double* x, double* r) {
    for (int i = 0; i < 20; ++i) {
      const double t = 0.25 * i;
      r[i] = a * std::exp(-b * t) + c - (x[0] * std::exp(-x[1] * t) + x[2]);
    }
  };
  return p;
}

// Rosenbrock's valley as two residuals.
fit::LeastSquares Valley() {
  fit::LeastSquares p;
  p.points = 2;
  p.residuals = [](const double* x, double* r) {
    r[0] = 10.0 * (x[1] - x[0] * x[0]);
    r[1] = 1.0 - x[0];
  };
  return p;
}

// One parameter with a local minimum near x = -1.1 (sum of squares about
// 0.1) and the global one at x = 2 (0): r = ((x - 2)(x + 1), 0.3 (x - 2)).
fit::LeastSquares TwoMinima() {
  fit::LeastSquares p;
  p.points = 2;
  p.residuals = [](const double* x, double* r) {
    r[0] = (x[0] - 2.0) * (x[0] + 1.0);
    r[1] = 0.3 * (x[0] - 2.0);
  };
  return p;
}

TEST(FitLevenbergMarquardt, RecoversFromFarStarts) {
  struct Case {
    fit::LeastSquares problem;
    std::vector<double> start, truth;
  };
  const Case cases[] = {
      {Decay(3.0, 0.7, 0.5), {1.0, 0.1, 0.0}, {3.0, 0.7, 0.5}},
      {Decay(3.0, 0.7, 0.5), {10.0, 3.0, -2.0}, {3.0, 0.7, 0.5}},
      {Valley(), {-1.2, 1.0}, {1.0, 1.0}},
  };
  for (const Case& c : cases) {
    const fit::LmResult r = fit::LevenbergMarquardt(c.problem, c.start);
    EXPECT_TRUE(r.converged) << r.message;
    EXPECT_FALSE(r.stopped);
    EXPECT_LT(r.cost, 1e-20);
    for (std::size_t j = 0; j < c.truth.size(); ++j) EXPECT_NEAR(r.x[j], c.truth[j], 1e-8);
    EXPECT_GT(r.evaluations, r.iterations);
  }
}

TEST(FitLevenbergMarquardt, BoundsHoldAndAreReported) {
  fit::LeastSquares p = Decay(3.0, 0.7, 0.5);
  p.lower = {0.0, 0.0, 0.6};
  p.upper = {10.0, 0.5, 10.0};
  // The start outside the bounds is moved inside them.
  const fit::LmResult r = fit::LevenbergMarquardt(p, {1.0, 2.0, 0.0});
  EXPECT_TRUE(r.converged) << r.message;
  EXPECT_EQ(r.x[1], 0.5);
  EXPECT_EQ(r.x[2], 0.6);
  EXPECT_EQ(r.at_bound, (std::vector<bool>{false, true, true}));
  for (int j = 0; j < 3; ++j) {
    EXPECT_GE(r.x[j], p.lower[j]);
    EXPECT_LE(r.x[j], p.upper[j]);
  }
}

TEST(FitLevenbergMarquardt, HeldParameterKeepsItsBits) {
  fit::LeastSquares p = Decay(3.0, 0.7, 0.5);
  p.held = {false, false, true};
  const double held = 0.1 * 3.0 * 1.7;  // not a round number
  int moved = 0;
  auto inner = p.residuals;
  p.residuals = [&](const double* x, double* r) {
    if (x[2] != held) ++moved;
    inner(x, r);
  };
  const fit::LmResult r = fit::LevenbergMarquardt(p, {1.0, 0.3, held});
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(r.x[2], held);
  EXPECT_TRUE(r.converged) << r.message;
  EXPECT_GT(r.cost, 0.0);
}

TEST(FitLevenbergMarquardt, EndsAndSaysWhy) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  {
    fit::LeastSquares p = Valley();
    const fit::LmResult r = fit::LevenbergMarquardt(p, {-1.2, 1.0}, {2, 0, 0, 0, {}});
    EXPECT_FALSE(r.converged);
    EXPECT_EQ(r.iterations, 2);
    EXPECT_EQ(r.message, "the iteration limit was reached");
  }
  {
    fit::LeastSquares p = Valley();
    int calls = 0;
    p.stop = [&] { return ++calls > 7; };
    const fit::LmResult r = fit::LevenbergMarquardt(p, {-1.2, 1.0});
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.converged);
    EXPECT_EQ(r.message, "stopped");
    EXPECT_EQ(r.evaluations, 7);
    EXPECT_TRUE(std::isfinite(r.cost));
  }
  {
    fit::LeastSquares p = Valley();
    std::vector<int> seen;
    p.progress = [&](int iteration, double) {
      seen.push_back(iteration);
      return iteration < 3;
    };
    const fit::LmResult r = fit::LevenbergMarquardt(p, {-1.2, 1.0});
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  }
  {
    fit::LeastSquares p = Valley();
    p.residuals = [nan](const double*, double* r) { r[0] = r[1] = nan; };
    const fit::LmResult r = fit::LevenbergMarquardt(p, {1.0, 1.0});
    EXPECT_FALSE(r.converged);
    EXPECT_EQ(r.message, "the residuals are not finite at the start");
  }
  {
    fit::LeastSquares p = Valley();
    p.held = {true, true};
    const fit::LmResult r = fit::LevenbergMarquardt(p, {0.5, 0.5});
    EXPECT_TRUE(r.converged);
    EXPECT_EQ(r.message, "no free parameters");
    EXPECT_EQ(r.evaluations, 1);
  }
}

TEST(FitMultiStart, FindsTheLowerMinimumFromTheWrongBasin) {
  const fit::LeastSquares p = TwoMinima();
  const std::vector<fit::StartRange> ranges{{-5.0, 5.0}};
  // Alone, lm from -3 ends in the local minimum.
  EXPECT_LT(fit::LevenbergMarquardt(p, {-3.0}).x[0], 0.0);
  fit::MultiStartSettings s;
  s.screen = 16;
  s.refine = 4;
  const fit::MultiStartResult r = fit::MultiStart(p, {-3.0}, ranges, s);
  EXPECT_NEAR(r.best.x[0], 2.0, 1e-9);
  EXPECT_TRUE(r.best.converged);
  EXPECT_EQ(r.screened, 16);
  EXPECT_EQ(r.starts, 5);
  ASSERT_EQ(r.minima.size(), 2u);
  EXPECT_LT(r.minima[0].cost, r.minima[1].cost);
  EXPECT_EQ(r.minima[0].starts + r.minima[1].starts, 5);
  EXPECT_EQ(r.reached_best, r.minima[0].starts);
  EXPECT_LT(r.reached_best, 5);
  // The same result every time: no random numbers.
  const fit::MultiStartResult again = fit::MultiStart(p, {-3.0}, ranges, s);
  EXPECT_EQ(again.best.x, r.best.x);
  EXPECT_EQ(again.evaluations, r.evaluations);
}

TEST(FitMultiStart, HeldParametersAndStops) {
  fit::LeastSquares p = Decay(3.0, 0.7, 0.5);
  p.held = {false, false, true};
  const std::vector<fit::StartRange> ranges{
      {0.1, 10.0, fit::Spacing::kLog}, {0.01, 5.0, fit::Spacing::kLog}, {-100.0, 100.0}};
  const fit::MultiStartResult r = fit::MultiStart(p, {1.0, 1.0, 0.5}, ranges);
  EXPECT_EQ(r.best.x[2], 0.5);
  EXPECT_NEAR(r.best.x[0], 3.0, 1e-8);
  EXPECT_EQ(r.reached_best, r.starts);
  EXPECT_EQ(r.minima.size(), 1u);

  int calls = 0;
  p.stop = [&] { return ++calls > 3; };
  const fit::MultiStartResult stopped = fit::MultiStart(p, {1.0, 1.0, 0.5}, ranges);
  EXPECT_TRUE(stopped.best.stopped);
  EXPECT_EQ(stopped.best.x, (std::vector<double>{1.0, 1.0, 0.5}));
}

// Runs that come down into a minimum found before end there and count as
// reaching it; the best is a run that converged by itself. With a cheaper
// problem the screened points are brought down on it first.
TEST(FitMultiStart, LaterRunsJoinAKnownMinimum) {
  fit::LeastSquares p = Decay(3.0, 0.7, 0.5);
  p.residuals = [exact = p.residuals](const double* x, double* r) {
    exact(x, r);
    for (int i = 0; i < 20; ++i) r[i] += 0.01 * std::sin(3.0 * i);  // no exact fit
  };
  fit::LeastSquares cheap = p;
  int cheap_calls = 0;
  cheap.residuals = [&](const double* x, double* r) {
    ++cheap_calls;
    p.residuals(x, r);
  };
  const std::vector<fit::StartRange> ranges{
      {0.1, 10.0, fit::Spacing::kLog}, {0.01, 5.0, fit::Spacing::kLog}, {-10.0, 10.0}};
  fit::MultiStartSettings alone;
  alone.join_cost = 0.0;
  alone.join_place = 0.0;
  for (const fit::LeastSquares* screen : std::vector<const fit::LeastSquares*>{nullptr, &cheap}) {
    const fit::MultiStartResult joined = fit::MultiStart(p, {2.5, 0.6, 0.4}, ranges, {}, screen);
    const fit::MultiStartResult full = fit::MultiStart(p, {2.5, 0.6, 0.4}, ranges, alone, screen);
    EXPECT_EQ(joined.reached_best, joined.starts);
    ASSERT_EQ(joined.minima.size(), 1u);
    EXPECT_EQ(joined.minima[0].starts, joined.starts);
    EXPECT_FALSE(joined.best.joined);
    EXPECT_NEAR(joined.best.cost, full.best.cost, 1e-12 * full.best.cost);
    // The cheap problem here is the same one: its runs end at the minimum.
    if (screen == nullptr) {
      EXPECT_LT(joined.evaluations, full.evaluations);
    }
    EXPECT_GT(joined.iterations, 0);
  }
  EXPECT_GT(cheap_calls, 64);  // the screening, then the runs on it
}

// The screened points are ranked on the cheaper problem's residuals alone:
// a point of the whole problem that fails at the start (not a number below
// x = 0 here) must not spoil the screened points' sums.
TEST(FitMultiStart, ScreenedPointsAreRankedOnTheCheapResidualsAlone) {
  fit::LeastSquares p = Decay(3.0, 0.7, 0.5);
  p.residuals = [exact = p.residuals](const double* x, double* r) {
    exact(x, r);
    if (x[0] < 0.0) r[19] = std::nan("");
  };
  fit::LeastSquares cheap = p;
  cheap.points = 5;
  cheap.residuals = [&p](const double* x, double* r) {
    double all[20];
    p.residuals(x, all);
    std::copy(all, all + 5, r);
  };
  const std::vector<fit::StartRange> ranges{
      {0.1, 10.0, fit::Spacing::kLog}, {0.01, 5.0, fit::Spacing::kLog}, {-10.0, 10.0}};
  const fit::MultiStartResult r = fit::MultiStart(p, {-1.0, 0.6, 0.4}, ranges, {}, &cheap);
  EXPECT_EQ(r.starts, 5);  // the given start and the 4 best screened
  EXPECT_NEAR(r.best.x[0], 3.0, 1e-6);
  EXPECT_NEAR(r.best.x[1], 0.7, 1e-6);
}

TEST(FitMultiStart, SpacingOfTheStarts) {
  struct Case {
    fit::StartRange range;
    double u, expected;
  };
  const Case cases[] = {
      {{1.0, 3.0}, 0.5, 2.0},
      {{0.01, 100.0, fit::Spacing::kLog}, 0.5, 1.0},
      {{0.01, 100.0, fit::Spacing::kLog}, 0.75, 10.0},
      {{-1000.0, 1000.0, fit::Spacing::kAsinh, 1.0}, 0.5, 0.0},
      {{-1000.0, 1000.0, fit::Spacing::kAsinh, 1.0}, 1.0, 1000.0},
      {{-1000.0, 1000.0, fit::Spacing::kAsinh, 1.0}, 0.0, -1000.0},
      // Log spacing of a range through 0 falls back to linear.
      {{-1.0, 1.0, fit::Spacing::kLog}, 0.25, -0.5},
  };
  for (const Case& c : cases) EXPECT_NEAR(fit::FromUnit(c.range, c.u), c.expected, 1e-9);
  // A quarter of the asinh range is already decades from 0.
  const double quarter = fit::FromUnit({-1000.0, 1000.0, fit::Spacing::kAsinh, 1.0}, 0.75);
  EXPECT_GT(quarter, 20.0);
  EXPECT_LT(quarter, 50.0);

  // The set fills the unit cube without repeating itself.
  std::vector<double> u(3), first(3);
  fit::LowDiscrepancyPoint(0, 3, first.data());
  int low = 0;
  for (int k = 0; k < 64; ++k) {
    fit::LowDiscrepancyPoint(k, 3, u.data());
    for (double v : u) {
      EXPECT_GE(v, 0.0);
      EXPECT_LT(v, 1.0);
    }
    if (u[0] < 0.5 && u[1] < 0.5 && u[2] < 0.5) ++low;
    if (k > 0) {
      EXPECT_NE(u, first);
    }
  }
  EXPECT_NEAR(low, 8, 3);  // an octant holds about an eighth
  // Steps of the generalised golden ratio: 1.618... in one dimension, the
  // root of x^4 = x + 1 in three.
  double one = 0.0;
  fit::LowDiscrepancyPoint(0, 1, &one);
  EXPECT_NEAR(one, 0.5 + 0.6180339887498949 - 1.0, 1e-14);
  EXPECT_NEAR(first[0], 0.5 + 1.0 / 1.2207440846057596 - 1.0, 1e-14);
}

}  // namespace
