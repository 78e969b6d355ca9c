// Jacobian statistics and the check of the minimum against cases with
// known answers, rank-deficient and degenerate problems.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "analysis/analysis.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Points (x, y) and a model y = f(p, x); residuals y - f.
analysis::Problem Fit(const std::vector<double>& x, const std::vector<double>& y,
                      double (*f)(const double*, double)) {
  analysis::Problem problem;
  problem.points = static_cast<int>(x.size());
  problem.residuals = [x, y, f](const double* p, double* r) {
    for (size_t i = 0; i < x.size(); ++i) r[i] = y[i] - f(p, x[i]);
  };
  return problem;
}

double Line(const double* p, double x) { return p[0] + p[1] * x; }
double Constant(const double* p, double) { return p[0]; }
double Product(const double* p, double x) { return p[0] * p[1] * x; }
double SumAndSlope(const double* p, double x) { return (p[0] + p[1]) + p[2] * x; }
double Decay(const double* p, double x) { return p[0] * std::exp(-p[1] * x); }
double NoParameters(const double*, double x) { return 2.0 * x; }
double NanBelowZero(const double* p, double) { return p[0] < 0.0 ? kNaN : p[0]; }

const std::vector<double> kX = {1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<double> kY = {2.9, 5.2, 6.8, 9.1, 11.2, 12.8, 15.1, 17.0};

TEST(AnalysisStatistics, StudentQuantiles) {
  const struct {
    int dof;
    double t;
  } table[] = {{1, 12.706205}, {2, 4.302653},  {3, 3.182446},
               {10, 2.228139}, {30, 2.042272}, {300, 1.967903}};
  for (const auto& c : table) EXPECT_NEAR(analysis::StudentT95(c.dof), c.t, 5e-6) << c.dof;
  EXPECT_TRUE(std::isnan(analysis::StudentT95(0)));
  // Asked again and again, in turn with others, and from another thread:
  // the same bits each time.
  const double t10 = analysis::StudentT95(10);
  EXPECT_EQ(analysis::StudentT95(10), t10);
  EXPECT_NEAR(analysis::StudentT95(11), 2.200985, 5e-6);
  EXPECT_TRUE(std::isnan(analysis::StudentT95(-1)));
  EXPECT_EQ(analysis::StudentT95(10), t10);
  double there = 0.0;
  std::thread([&there] { there = analysis::StudentT95(10); }).join();
  EXPECT_EQ(there, t10);
}

// A constant: the standard error is s / sqrt(n) with s the sample deviation.
TEST(AnalysisStatistics, ConstantHasClosedForm) {
  double mean = 0.0;
  for (double y : kY) mean += y / kY.size();
  double ss = 0.0;
  for (double y : kY) ss += (y - mean) * (y - mean);
  const int n = static_cast<int>(kY.size());
  const analysis::Statistics st = analysis::Analyse(Fit(kX, kY, Constant), {mean});
  EXPECT_EQ(st.dof, n - 1);
  EXPECT_NEAR(st.rss, ss, 1e-12);
  EXPECT_NEAR(st.std_error[0], std::sqrt(ss / (n - 1) / n), 1e-9);
  EXPECT_NEAR(st.aic, n * std::log(ss / n) + 2.0, 1e-9);
  EXPECT_NEAR(st.bic, n * std::log(ss / n) + std::log(8.0), 1e-9);
  EXPECT_EQ(st.undetermined, std::vector<bool>{false});
}

// A straight line: covariance s^2 (X^T X)^-1, from the least-squares solution
// that the refinement also finds from a distant start.
TEST(AnalysisStatistics, StraightLineCovarianceAndRefinement) {
  const double n = kX.size();
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < kX.size(); ++i) {
    sx += kX[i];
    sy += kY[i];
    sxx += kX[i] * kX[i];
    sxy += kX[i] * kY[i];
  }
  const double det = n * sxx - sx * sx;
  const double b = (n * sxy - sx * sy) / det, a = (sy - b * sx) / n;
  const analysis::Problem problem = Fit(kX, kY, Line);

  const analysis::MinimumCheck check = analysis::CheckMinimum(problem, {10.0, -3.0});
  ASSERT_TRUE(check.ran);
  EXPECT_NEAR(check.values[0], a, 1e-7);
  EXPECT_NEAR(check.values[1], b, 1e-8);

  const analysis::Statistics st = analysis::Analyse(problem, {a, b});
  const double s2 = st.rss / (n - 2);
  EXPECT_NEAR(st.covariance[0][0], s2 * sxx / det, 1e-9);
  EXPECT_NEAR(st.covariance[1][1], s2 * n / det, 1e-10);
  EXPECT_NEAR(st.covariance[0][1], -s2 * sx / det, 1e-10);
  EXPECT_NEAR(st.correlation[0][1], -sx / std::sqrt(n * sxx), 1e-6);
  EXPECT_EQ(st.correlation[1][1], 1.0);
  EXPECT_NEAR(check.statistics.std_error[1], st.std_error[1], 1e-8);
  EXPECT_GT(st.condition_number, 1.0);

  // From the minimum itself there is nothing to gain.
  const analysis::MinimumCheck again = analysis::CheckMinimum(problem, {a, b});
  EXPECT_NEAR(again.rss, st.rss, 1e-12 * st.rss);
}

// Data from a decay with known noise: the truth lies within the intervals and
// the residual variance estimates the noise.
TEST(AnalysisStatistics, NoisyDecayRecoversTruthAndNoise) {
  std::mt19937 gen(12345);
  const double sigma = 0.01, kPi = 3.14159265358979323846;
  std::vector<double> x, y;
  for (int i = 0; i < 200; ++i) {
    const double u1 = (gen() + 1.0) / 4294967297.0, u2 = (gen() + 1.0) / 4294967297.0;
    const double noise = sigma * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
    const double p[2] = {3.0, 0.7};
    x.push_back(0.05 * i);
    y.push_back(Decay(p, x.back()) + noise);
  }
  const analysis::MinimumCheck check = analysis::CheckMinimum(Fit(x, y, Decay), {2.0, 1.5});
  const analysis::Statistics& st = check.statistics;
  EXPECT_NEAR(std::sqrt(st.residual_variance), sigma, 0.2 * sigma);
  EXPECT_LT(std::fabs(check.values[0] - 3.0), 3.0 * st.std_error[0]);
  EXPECT_LT(std::fabs(check.values[1] - 0.7), 3.0 * st.std_error[1]);
  EXPECT_LT(st.std_error[0], 0.01);
}

// A nearby Jacobian that agrees saves the narrow quotients and changes no
// number; one that does not is ignored. A sum of squares the caller knows
// is not evaluated again.
TEST(AnalysisStatistics, WhatTheCallerKnowsSavesEvaluationsAndChangesNothing) {
  analysis::Problem problem = Fit(kX, kY, Decay);
  int calls = 0;
  problem.residuals = [exact = problem.residuals, &calls](const double* p, double* r) {
    ++calls;
    exact(p, r);
  };
  const std::vector<double> p = {20.0, -0.1};
  const analysis::Statistics plain = analysis::Analyse(problem, p);
  const int plain_calls = calls;
  std::vector<std::vector<double>> J;
  ASSERT_TRUE(analysis::Jacobian(problem, p, J));
  struct Case {
    double factor;  // the nearby columns, scaled
    bool saves;
  };
  for (const Case c : {Case{1.001, true}, Case{1.5, false}}) {
    problem.nearby_jacobian = J;
    for (auto& column : problem.nearby_jacobian) {
      for (double& v : column) v *= c.factor;
    }
    calls = 0;
    const analysis::Statistics near = analysis::Analyse(problem, p);
    EXPECT_EQ(near.std_error, plain.std_error) << c.factor;
    EXPECT_EQ(near.covariance, plain.covariance) << c.factor;
    EXPECT_EQ(near.step, plain.step) << c.factor;
    if (c.saves) {
      EXPECT_EQ(calls, plain_calls - 4) << c.factor;  // two narrow quotients, two calls each
    } else {
      EXPECT_GT(calls, plain_calls) << c.factor;
    }
  }
  problem.nearby_jacobian.clear();
  calls = 0;
  const analysis::Statistics known = analysis::Analyse(problem, p, analysis::Rss(problem, p));
  EXPECT_EQ(calls, plain_calls);  // the Rss here stands for Analyse's own
  EXPECT_EQ(known.rss, plain.rss);
  EXPECT_EQ(known.std_error, plain.std_error);
}

// Parameters that appear only as a product or a sum are reported as
// undetermined, with no numbers for them; the others keep theirs.
TEST(AnalysisStatistics, RankDeficientIsReportedNotInverted) {
  const analysis::Statistics product = analysis::Analyse(Fit(kX, kY, Product), {1.5, 1.4});
  EXPECT_EQ(product.undetermined, (std::vector<bool>{true, true}));
  for (int j = 0; j < 2; ++j) {
    EXPECT_TRUE(std::isnan(product.std_error[j]));
    EXPECT_TRUE(std::isnan(product.covariance[j][j]));
  }
  EXPECT_TRUE(std::isnan(product.condition_number));

  const analysis::Statistics sum = analysis::Analyse(Fit(kX, kY, SumAndSlope), {0.5, 0.4, 2.0});
  EXPECT_EQ(sum.undetermined, (std::vector<bool>{true, true, false}));
  const analysis::Statistics line = analysis::Analyse(Fit(kX, kY, Line), {0.9, 2.0});
  // rss, points and the rank (so dof) agree with the line, and so does the
  // slope's error.
  EXPECT_EQ(sum.rank, 2);
  EXPECT_EQ(sum.dof, line.dof);
  EXPECT_NEAR(sum.std_error[2], line.std_error[1], 1e-8);
  EXPECT_TRUE(std::isnan(sum.correlation[0][2]));
}

// No degrees of freedom, no parameters, not-a-number: no statistics where
// none can be given, and no crash.
TEST(AnalysisStatistics, DegenerateProblemsGiveNoNumbers) {
  const analysis::Statistics exact = analysis::Analyse(Fit({1, 2}, {3, 5}, Line), {1, 2});
  EXPECT_EQ(exact.dof, 0);
  EXPECT_TRUE(std::isnan(exact.residual_variance));
  EXPECT_TRUE(std::isnan(exact.std_error[0]));
  EXPECT_TRUE(std::isnan(exact.t95));
  EXPECT_TRUE(std::isnan(exact.aic));  // rss 0

  const analysis::Statistics one = analysis::Analyse(Fit({1}, {3}, Line), {1, 2});
  EXPECT_EQ(one.rank, 1);  // one point determines one combination
  EXPECT_EQ(one.dof, 0);
  EXPECT_EQ(one.undetermined, (std::vector<bool>{true, true}));
  const analysis::MinimumCheck one_check = analysis::CheckMinimum(Fit({1}, {3}, Line), {1, 1});
  EXPECT_FALSE(one_check.ran);
  EXPECT_EQ(one_check.values, (std::vector<double>{1, 1}));

  const analysis::Statistics none = analysis::Analyse(Fit(kX, kY, NoParameters), {});
  EXPECT_EQ(none.parameters, 0);
  EXPECT_EQ(none.dof, 8);
  EXPECT_TRUE(none.covariance.empty());
  EXPECT_TRUE(std::isfinite(none.aic));
  EXPECT_FALSE(analysis::CheckMinimum(Fit(kX, kY, NoParameters), {}).ran);

  const analysis::Problem nan = Fit(kX, kY, NanBelowZero);
  const analysis::Statistics at_nan = analysis::Analyse(nan, {-1.0});
  EXPECT_TRUE(std::isnan(at_nan.rss));
  EXPECT_TRUE(std::isnan(at_nan.std_error[0]));
  EXPECT_FALSE(analysis::CheckMinimum(nan, {-1.0}).ran);
  // Next to the edge the difference step reaches into it: no error, and the
  // refinement keeps out of it.
  EXPECT_TRUE(std::isnan(analysis::Analyse(nan, {0.0}).std_error[0]));
  const analysis::MinimumCheck edge = analysis::CheckMinimum(nan, {1e-9});
  EXPECT_TRUE(std::isfinite(edge.rss));
  // A wider step that reaches where the model fails leaves the narrower one.
  analysis::Problem near_edge = nan;
  near_edge.scale = {1.0};
  const analysis::Statistics inside = analysis::Analyse(near_edge, {1e-5});
  EXPECT_FALSE(inside.undetermined[0]);
  EXPECT_NEAR(inside.std_error[0], std::sqrt(inside.rss / 7.0 / 8.0), 1e-9);
}

double Quadratic(const double* p, double x) { return p[0] + p[1] * x + p[2] * x * x; }
double NearZeroSlope(const double* p, double x) { return 1000.0 + p[0] * x; }
// x p0 in exact arithmetic; p1 only stirs the rounding.
double Mixture(const double* p, double x) { return p[0] * (p[1] * x + (1.0 - p[1]) * x); }

double Norm(const std::vector<double>& y) {
  double sum = 0.0;
  for (double v : y) sum += v * v;
  return std::sqrt(sum);
}

// A held parameter is a constant of the problem: the others' errors are those
// of the model without it, it gets none of its own, and the check leaves it.
TEST(AnalysisStatistics, HeldParameterIsAConstant) {
  analysis::Problem held = Fit(kX, kY, Quadratic);
  held.held = {false, false, true};
  const analysis::Statistics line = analysis::Analyse(Fit(kX, kY, Line), {0.9, 2.0});
  const analysis::Statistics st = analysis::Analyse(held, {0.9, 2.0, 0.0});
  EXPECT_EQ(st.held, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(st.free, 2);
  EXPECT_EQ(st.rank, 2);
  EXPECT_EQ(st.dof, line.dof);
  EXPECT_EQ(st.undetermined, (std::vector<bool>{false, false, false}));
  for (int j = 0; j < 2; ++j) EXPECT_NEAR(st.std_error[j], line.std_error[j], 1e-10) << j;
  EXPECT_TRUE(std::isnan(st.std_error[2]));
  EXPECT_TRUE(std::isnan(st.covariance[0][2]));
  EXPECT_NEAR(st.condition_number, line.condition_number, 1e-9 * line.condition_number);
  EXPECT_NEAR(st.aic, line.aic, 1e-12);

  const analysis::MinimumCheck check = analysis::CheckMinimum(held, {0.9, 2.0, 0.0});
  ASSERT_TRUE(check.ran);
  EXPECT_EQ(check.values[2], 0.0);
  const analysis::MinimumCheck free_check =
      analysis::CheckMinimum(Fit(kX, kY, Quadratic), {0.9, 2.0, 0.0});
  EXPECT_NE(free_check.values[2], 0.0);  // what holding it prevents
}

// A parameter near 0 whose effect is not: the step follows its typical size,
// not its value, so the column is the slope and not rounding.
TEST(AnalysisStatistics, StepFollowsTypicalSizeNearZero) {
  std::vector<double> y;
  for (double x : kX) y.push_back(1000.0 + 1e-3 * std::sin(x));
  double sxx = 0.0, rss = 0.0;
  for (size_t i = 0; i < kX.size(); ++i) {
    sxx += kX[i] * kX[i];
    rss += (y[i] - 1000.0 - 1e-12 * kX[i]) * (y[i] - 1000.0 - 1e-12 * kX[i]);
  }
  const double se = std::sqrt(rss / (kX.size() - 1) / sxx);
  analysis::Problem problem = Fit(kX, y, NearZeroSlope);
  problem.model_size = Norm(y);
  problem.scale = {0.01};
  const analysis::Statistics st = analysis::Analyse(problem, {1e-12});
  EXPECT_FALSE(st.undetermined[0]);
  EXPECT_NEAR(st.std_error[0], se, 1e-6 * se);
  // The quotient at ten times the first step, which agrees with it.
  EXPECT_NEAR(st.step[0], 10.0 * std::cbrt(std::numeric_limits<double>::epsilon()) * 0.01, 1e-20);

  // Without a typical size the step of 1e-12 leaves only rounding, even
  // widened: undetermined, not a tiny error.
  problem.scale.clear();
  const analysis::Statistics blind = analysis::Analyse(problem, {1e-12});
  EXPECT_TRUE(blind.undetermined[0]);
  EXPECT_TRUE(std::isnan(blind.std_error[0]));
}

// Where the model's own rounding drowns a column at the first step (here a
// cancellation that loses digits as p nears 0), the step widens until two
// quotients agree; a column that never settles is undetermined.
TEST(AnalysisStatistics, NoisyColumnWidensItsStep) {
  // 1e6 (exp(1e-12 p x) - 1), near 1e-6 p x: a cancellation leaves about
  // four digits of it, and a step of 6e-5 in p moves it by about one
  // rounding unit.
  std::vector<double> y;
  const std::vector<double> x = {1, 2, 3, 4, 5, 6, 7, 8};
  for (double xi : x) y.push_back(xi * 1e-6 * (1.0 + 0.01 * std::sin(xi)));
  analysis::Problem problem;
  problem.points = 8;
  problem.residuals = [x, y](const double* p, double* r) {
    for (int i = 0; i < 8; ++i) r[i] = y[i] - 1e6 * (std::exp(p[0] * 1e-12 * x[i]) - 1.0);
  };
  problem.scale = {1e-3};
  const analysis::Statistics st = analysis::Analyse(problem, {1.0});
  ASSERT_FALSE(st.undetermined[0]);
  double sxx = 0.0;
  for (double xi : x) sxx += xi * xi * 1e-12;
  EXPECT_NEAR(st.std_error[0], std::sqrt(st.rss / 7.0 / sxx), 1e-3 * st.std_error[0]);
  // Widened twice, from 6e-6 to 6e-4, before the quotients at 6e-4 and
  // 6e-3 agree.
  const double first = std::cbrt(std::numeric_limits<double>::epsilon());
  EXPECT_NEAR(st.step[0], 1000.0 * first, 1e-9);
}

// A column of rounding noise is undetermined before any scaling makes it look
// like a direction, and takes no share of the other parameter's error.
TEST(AnalysisStatistics, RoundingNoiseColumnIsUndetermined) {
  analysis::Problem problem = Fit(kX, kY, Mixture);
  problem.model_size = Norm(kY);
  double sxy = 0.0, sxx = 0.0;
  for (size_t i = 0; i < kX.size(); ++i) {
    sxy += kX[i] * kY[i];
    sxx += kX[i] * kX[i];
  }
  const double slope = sxy / sxx;
  const analysis::Statistics st = analysis::Analyse(problem, {slope, 0.3});
  EXPECT_EQ(st.undetermined, (std::vector<bool>{false, true}));
  EXPECT_EQ(st.rank, 1);
  EXPECT_EQ(st.dof, 7);
  EXPECT_TRUE(std::isnan(st.condition_number));
  EXPECT_TRUE(std::isnan(st.std_error[1]));
  EXPECT_NEAR(st.std_error[0], std::sqrt(st.rss / 7.0 / sxx), 1e-9);
  // The check keeps it where it was.
  const analysis::MinimumCheck check = analysis::CheckMinimum(problem, {slope, 0.3}, st);
  EXPECT_EQ(check.values[1], 0.3);
}

// The rounding level is 256 ulps of the model's size: a clean column whose
// difference of the residuals is below it is undetermined, above it not.
TEST(AnalysisStatistics, RoundingLevelFollowsTheModelSize) {
  analysis::Problem line = Fit(kX, kY, Line);
  const double step = analysis::Analyse(line, {0.9, 2.0}).step[1];
  const double difference = 2.0 * step * Norm(kX);  // of the slope's column
  const double eps = std::numeric_limits<double>::epsilon();
  line.model_size = difference / (128.0 * eps);
  EXPECT_EQ(analysis::Analyse(line, {0.9, 2.0}).undetermined, (std::vector<bool>{true, true}));
  // The intercept's difference is a tenth of the slope's: still below.
  line.model_size = difference / (512.0 * eps);
  EXPECT_EQ(analysis::Analyse(line, {0.9, 2.0}).undetermined, (std::vector<bool>{true, false}));
}

// A stop request ends the statistics and the check: nothing past rss known.
TEST(AnalysisStatistics, StopEndsTheWork) {
  for (int allowed : {0, 3}) {
    analysis::Problem problem = Fit(kX, kY, Decay);
    int asked = 0;
    problem.stop = [&asked, allowed] { return ++asked > allowed; };
    const analysis::Statistics st = analysis::Analyse(problem, {2.0, 0.1});
    EXPECT_TRUE(st.interrupted) << allowed;
    EXPECT_TRUE(std::isnan(st.std_error[0])) << allowed;
    EXPECT_TRUE(std::isnan(st.t95)) << allowed;
  }
  // During the refinement: the start stays.
  analysis::Problem problem = Fit(kX, kY, Decay);
  const analysis::Statistics st = analysis::Analyse(problem, {2.0, 0.1});
  int asked = 0;
  problem.stop = [&asked] { return ++asked > 20; };
  const analysis::MinimumCheck check = analysis::CheckMinimum(problem, {2.0, 0.1}, st);
  EXPECT_TRUE(check.interrupted);
  EXPECT_EQ(check.values, (std::vector<double>{2.0, 0.1}));
  EXPECT_TRUE(std::isnan(check.statistics.std_error[0]));
  problem.stop = nullptr;
  EXPECT_FALSE(analysis::CheckMinimum(problem, {2.0, 0.1}, st).interrupted);
}

// The check is bounded: ten iterations, even where the minimum is far.
TEST(AnalysisStatistics, CheckIsBounded) {
  analysis::Problem problem;
  problem.points = 2;
  problem.residuals = [](const double* p, double* r) {
    r[0] = 10.0 * (p[1] - p[0] * p[0]);
    r[1] = 1.0 - p[0];
  };
  const analysis::MinimumCheck check = analysis::CheckMinimum(problem, {-1.2, 1.0});
  EXPECT_EQ(check.iterations, 10);
  EXPECT_LT(check.rss, analysis::Rss(problem, {-1.2, 1.0}));
  EXPECT_EQ(analysis::CheckMinimum(problem, {-1.2, 1.0}, 60).rss, 0.0);
}

// Nearly the same columns (x far from 0, close together) are still two
// parameters: the rank counts only what the differences cannot tell apart.
TEST(AnalysisStatistics, NearlyCollinearColumnsAreStillDetermined) {
  std::vector<double> x, y;
  for (int i = 0; i < 8; ++i) {
    x.push_back(1000.0 + 0.05 * i);
    y.push_back(1.0 + 2.0 * x.back() + 0.01 * ((i * 7) % 5 - 2));
  }
  const analysis::Statistics st = analysis::Analyse(Fit(x, y, Line), {-1.0, 2.0});
  EXPECT_EQ(st.undetermined, (std::vector<bool>{false, false}));
  double mean = 0.0;
  for (double v : x) mean += v / 8.0;
  double sxx = 0.0;
  for (double v : x) sxx += (v - mean) * (v - mean);
  // The slope's standard error in closed form.
  EXPECT_NEAR(st.std_error[1], std::sqrt(st.residual_variance / sxx),
              1e-3 * std::sqrt(st.residual_variance / sxx));
  EXPECT_GT(st.condition_number, 1e4);
}

}  // namespace
