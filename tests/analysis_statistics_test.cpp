// Jacobian statistics and the check of the minimum against cases with
// known answers, rank-deficient and degenerate problems.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
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

// Parameters that appear only as a product or a sum are reported as
// undetermined, with no numbers for them; the others keep theirs.
TEST(AnalysisStatistics, RankDeficientIsReportedNotInverted) {
  const analysis::Statistics product = analysis::Analyse(Fit(kX, kY, Product), {1.5, 1.4});
  EXPECT_EQ(product.undetermined, (std::vector<bool>{true, true}));
  for (int j = 0; j < 2; ++j) {
    EXPECT_TRUE(std::isnan(product.std_error[j]));
    EXPECT_TRUE(std::isnan(product.covariance[j][j]));
  }
  EXPECT_TRUE(std::isnan(product.condition_number) || product.condition_number > 1e8);

  const analysis::Statistics sum = analysis::Analyse(Fit(kX, kY, SumAndSlope), {0.5, 0.4, 2.0});
  EXPECT_EQ(sum.undetermined, (std::vector<bool>{true, true, false}));
  const analysis::Statistics line = analysis::Analyse(Fit(kX, kY, Line), {0.9, 2.0});
  // rss and points agree with the line; the slope's error differs only by dof.
  EXPECT_NEAR(sum.std_error[2], line.std_error[1] * std::sqrt(6.0 / 5.0), 1e-8);
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
  EXPECT_EQ(one.dof, -1);
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
