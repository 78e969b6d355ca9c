// The simplex minimiser: entry faults, the evaluation count, probing and
// restart, ties and objective values that are not numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "fit/fit.h"

namespace {

// Records every point the minimiser evaluates.
struct Recorder {
  int n;
  double (*f)(const double*, int);
  std::vector<std::vector<double>> calls;
  fit::ObjectiveFn Fn() {
    return [this](const double* p) {
      calls.emplace_back(p, p + n);
      return f(p, n);
    };
  }
};

// Small values, like an L.S. error: the rounding that the running sums
// carry from the first, largest values must stay far below REQMIN.
double Bowl(const double* p, int n) {
  double s = 0.0;
  for (int j = 0; j < n; ++j) s += (j + 1) * (p[j] - 0.5 * j) * (p[j] - 0.5 * j);
  return 1e-3 * (0.01 + s);
}

double Rosenbrock(const double* p, int n) {
  double s = 0.0;
  for (int j = 0; j + 1 < n; ++j) {
    s += 100.0 * (p[j + 1] - p[j] * p[j]) * (p[j + 1] - p[j] * p[j]) + (1 - p[j]) * (1 - p[j]);
  }
  return s;
}

double Constant(const double*, int) { return 1.0; }

TEST(FitMinimise, EntryFaultsChangeNothing) {
  struct Case {
    double reqmin;
    int n;
    int ncheck;
    int count;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {{0.0, 2, 1, -1},      {nan, 2, 1, -1},   {1e-16, 21, 1, -10},
                        {1e-16, 25, 0, -110}, {0.0, 2, 0, -101}, {-1.0, 21, -3, -111}};
  for (const Case& c : cases) {
    Recorder rec{2, Bowl, {}};
    fit::SimplexStore store;
    store.SIMPLEX[0][0] = 7.0;
    double start[25] = {1.0, 2.0}, best[25] = {3.0, 4.0}, step[25] = {1.0, 1.0};
    double fbest = 5.0;
    int count = 200;
    fit::Minimise(rec.Fn(), store, c.n, start, best, fbest, c.reqmin, step, c.ncheck, count);
    EXPECT_EQ(count, c.count) << c.n;
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(start[0], 1.0);
    EXPECT_EQ(best[1], 4.0);
    EXPECT_EQ(fbest, 5.0);
    EXPECT_EQ(store.SIMPLEX[0][0], 7.0);
  }
}

// Without convergence the run ends after the first iteration that takes
// COUNT above the budget, and does not probe: only the build is uncounted.
// The budget holds however seldom NCHECK tests the convergence.
TEST(FitMinimise, BudgetEndsRunWithoutProbing) {
  for (int ncheck : {1, 7, 1000000000})
    for (int n : {4, 7, 12}) {
      for (int budget : {200, 0, -5}) {
        Recorder rec{n, Rosenbrock, {}};
        fit::SimplexStore store;
        double start[fit::kMaxDim], best[fit::kMaxDim], step[fit::kMaxDim], fbest = 0.0;
        for (int j = 0; j < n; ++j) {
          start[j] = j % 2 ? 1.0 : -1.2;
          step[j] = 0.5;
        }
        int count = budget;
        fit::Minimise(rec.Fn(), store, n, start, best, fbest, 1e-300, step, ncheck, count);
        const int floor = budget < 0 ? 0 : budget;
        EXPECT_GT(count, floor) << n;
        EXPECT_LE(count, floor + n + 3) << n;
        EXPECT_EQ(static_cast<int>(rec.calls.size()), count + n + 1) << n << " " << budget;
      }
    }
}

// One iteration that ends in a shrink counts the reflection, the
// contraction and the N+1 re-evaluated vertices.
TEST(FitMinimise, ShrinkCountsNPlusOneEvaluations) {
  Recorder rec{1,
               [](const double* p, int) {
                 const double x = p[0];
                 if (x == 0.0) return 1.0;   // vertex 2, the lowest
                 if (x == 1.0) return 2.0;   // vertex 1, the highest
                 if (x == -1.0) return 1.5;  // reflection: second highest
                 return 1.8;                 // contraction (-0.5): worse, so shrink
               },
               {}};
  fit::SimplexStore store;
  double start[1] = {0.0}, best[1], step[1] = {1.0}, fbest = 0.0;
  int count = 0;
  fit::Minimise(rec.Fn(), store, 1, start, best, fbest, 1e-16, step, 1, count);
  EXPECT_EQ(count, 1 + 1 + 2);
  ASSERT_EQ(rec.calls.size(), 2u + 4u);
  EXPECT_EQ(rec.calls[3][0], -0.5);
  EXPECT_EQ(rec.calls[4][0], -0.5);  // vertex 1, halfway from -1 towards 0
  EXPECT_EQ(rec.calls[5][0], 0.0);
}

// The build and the probes are not counted; a probe pass stops at the first
// better point, and the restarted search (one iteration) is not probed.
TEST(FitMinimise, ConvergedBowlBuildAndProbesUncounted) {
  const int n = 3;
  Recorder rec{n, Bowl, {}};
  fit::SimplexStore store;
  double start[n] = {2.0, -1.0, 3.0}, best[n], step[n] = {0.5, 0.5, 0.5}, fbest = 0.0;
  int count = 5000;
  fit::Minimise(rec.Fn(), store, n, start, best, fbest, 1e-16, step, 1, count);
  const int restarts = count / 10000;
  ASSERT_LE(restarts, 1);
  const int probes =
      static_cast<int>(rec.calls.size()) - (n + 1) * (1 + restarts) - (count - 10000 * restarts);
  if (restarts == 0) {
    EXPECT_EQ(probes, 2 * n);
  } else {
    EXPECT_GE(probes, 1);
    EXPECT_LE(probes, 2 * n);
  }
  for (int j = 0; j < n; ++j) EXPECT_NEAR(best[j], 0.5 * j, 1e-2);
  // BEST is the lowest vertex of the final simplex and FBEST its value.
  EXPECT_EQ(fbest, Bowl(best, n));
  for (int k = 0; k <= n; ++k) EXPECT_LE(fbest, Bowl(store.SIMPLEX[k], n));
}

double Parabola(const double* p, int) { return (p[0] - 10.0) * (p[0] - 10.0); }

// A huge REQMIN stops after one iteration; the probe is better and the
// search restarts with steps of 0.001 STEP around the probe point.
TEST(FitMinimise, BetterProbeRestarts) {
  Recorder rec{1, Parabola, {}};
  fit::SimplexStore store;
  double start[1] = {0.0}, best[1], step[1] = {1.0}, fbest = 0.0;
  int count = 200;
  fit::Minimise(rec.Fn(), store, 1, start, best, fbest, 1e10, step, 1, count);
  const std::vector<double> xs = {0.0,   1.0,            // build
                                  2.0,   3.0,            // reflection, expansion
                                  3.001,                 // better probe
                                  3.001, 3.001 + 0.001,  // second build
                                  3.003, 3.004};         // reflection, expansion
  ASSERT_EQ(rec.calls.size(), xs.size());
  for (size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(rec.calls[i][0], xs[i], 1e-12) << i;
  EXPECT_EQ(count, 10004);
  EXPECT_NEAR(best[0], 3.004, 1e-12);
  EXPECT_EQ(fbest, Parabola(best, 1));
}

// The outcome splits COUNT; the stop a restart's 10000 brings about is not
// a budget that ran out.
TEST(FitMinimise, OutcomeSplitsTheCount) {
  struct Case {
    const char* name;
    double (*f)(const double*, int);
    double reqmin;
    int budget;
    fit::MinimiseOutcome expected;
  };
  const Case cases[] = {{"budget", Rosenbrock, 1e-300, 20, {0, 0, true}},
                        {"restart", Parabola, 1e10, 200, {4, 1, false}},
                        {"converged", Bowl, 1e-16, 100000, {0, 0, false}},
                        {"fault", Bowl, 0.0, 200, {0, 0, false}}};
  for (const Case& c : cases) {
    Recorder rec{2, c.f, {}};
    fit::SimplexStore store;
    double start[2] = {-1.2, 1.0}, best[2], step[2] = {0.5, 0.5}, fbest = 0.0;
    int count = c.budget;
    fit::MinimiseOutcome outcome{7, 7, true};
    fit::Minimise(rec.Fn(), store, c.f == Parabola ? 1 : 2, start, best, fbest, c.reqmin, step, 1,
                  count, &outcome);
    EXPECT_EQ(outcome.budget_exhausted, c.expected.budget_exhausted) << c.name;
    if (count < 0) {
      EXPECT_EQ(outcome.evaluations, 0) << c.name;
      EXPECT_EQ(outcome.restarts, 0) << c.name;
      continue;
    }
    EXPECT_EQ(outcome.evaluations + 10000 * outcome.restarts, count) << c.name;
    if (c.expected.evaluations > 0) {
      EXPECT_EQ(outcome.evaluations, c.expected.evaluations);
    }
    if (c.expected.budget_exhausted) {
      EXPECT_GT(outcome.evaluations, c.budget);
      EXPECT_EQ(outcome.restarts, 0);
    }
    if (c.f == Parabola) {
      EXPECT_EQ(outcome.restarts, 1);
    }
  }
}

// Minimise of `f` in two dimensions from (0, 0) with steps of 1, reqmin
// 1E-16 and a budget of `budget` evaluations, recorded.
struct FromOrigin {
  Recorder rec;
  double best[2] = {0.0, 0.0}, fbest = 0.0;
  int count;
  FromOrigin(double (*f)(const double*, int), int budget) : rec{2, f, {}}, count(budget) {
    fit::SimplexStore store;
    double start[2] = {0.0, 0.0}, step[2] = {1.0, 1.0};
    fit::Minimise(rec.Fn(), store, 2, start, best, fbest, 1e-16, step, 1, count);
  }
};

// With equal values the first vertex is both lowest and highest: it is
// reflected, contracted, and returned.
TEST(FitMinimise, TiesTakeFirstVertex) {
  const FromOrigin m(Constant, 200);
  EXPECT_EQ(m.count, 2);
  ASSERT_EQ(m.rec.calls.size(), 3u + 2u + 4u);
  EXPECT_EQ(m.rec.calls[3], (std::vector<double>{-1.0, 1.0}));  // reflection of vertex 1
  EXPECT_EQ(m.rec.calls[4], (std::vector<double>{0.5, 0.25}));  // its contraction
  EXPECT_EQ(m.best[0], 0.5);
  EXPECT_EQ(m.best[1], 0.25);
  EXPECT_EQ(m.fbest, 1.0);
}

double NanLeft(const double* p, int n) {
  return p[0] < 0.5 ? std::numeric_limits<double>::quiet_NaN() : Bowl(p, n) + 1e-3 * p[0];
}

// The start point has no value: it is replaced first and never returned.
TEST(FitMinimise, NotANumberCountsAsInfinity) {
  const FromOrigin m(NanLeft, 1000);
  ASSERT_TRUE(std::isfinite(m.fbest));
  EXPECT_GE(m.best[0], 0.5);
  EXPECT_NEAR(m.best[0], 0.5, 1e-3);
  EXPECT_NEAR(m.best[1], 0.5, 1e-3);
  EXPECT_LT(m.count, 20000);
}

// A stop asked at every evaluation: answering true ends the search within
// one iteration, with the lowest vertex of the simplex as the result and
// no probe; a stop that never answers true changes nothing.
TEST(FitMinimise, StopEndsSearchAsBudgetWould) {
  const int n = 4;
  auto run = [](const fit::StopFn& stop, Recorder& rec, double* best, double& fbest, int& count,
                fit::MinimiseOutcome* outcome = nullptr) {
    fit::SimplexStore store;
    double start[n], step[n];
    for (int j = 0; j < n; ++j) {
      start[j] = j % 2 ? 1.0 : -1.2;
      step[j] = 0.5;
    }
    count = 1000000;
    fit::Minimise(rec.Fn(), store, n, start, best, fbest, 1e-300, step, 1, count, outcome, stop);
    for (int k = 0; k <= n; ++k) EXPECT_LE(fbest, Rosenbrock(store.SIMPLEX[k], n));
  };
  Recorder plain{n, Rosenbrock, {}};
  double plain_best[n], plain_f = 0.0;
  int plain_count = 0;
  int asked = 0;
  run([&asked] { return ++asked < 0; }, plain, plain_best, plain_f, plain_count);
  EXPECT_EQ(asked, static_cast<int>(plain.calls.size()));

  for (int after : {1, 3, 57, 400}) {
    Recorder rec{n, Rosenbrock, {}};
    double best[n], fbest = 0.0;
    int count = 0;
    int calls = 0;
    fit::MinimiseOutcome outcome;
    run([&calls, after] { return ++calls > after; }, rec, best, fbest, count, &outcome);
    EXPECT_TRUE(outcome.stopped) << after;
    EXPECT_FALSE(outcome.budget_exhausted) << after;
    EXPECT_GT(static_cast<int>(rec.calls.size()), after) << after;
    EXPECT_LE(static_cast<int>(rec.calls.size()), std::max(after, n + 1) + n + 2) << after;
    EXPECT_LT(count, 10000) << after;
    EXPECT_EQ(fbest, Rosenbrock(best, n)) << after;
    // The same path as the unstopped search up to the stop.
    for (size_t i = 0; i < rec.calls.size(); ++i) ASSERT_EQ(rec.calls[i], plain.calls[i]) << i;
  }
}

}  // namespace
