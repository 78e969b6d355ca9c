// Whole fits of the default model, x Bleaney-Bower + (1-x) Curie S=1/2 with g
// fitted, written out directly so that only the minimiser and the estimator
// are under test.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

#include "fit/fit.h"

namespace {

// Constants are short literals held in single precision.
const double kHCK = static_cast<double>(1.4387676f);
const double kNB2K = static_cast<double>(0.37514585f);

// P = (g, J-BB, COEFF1); the L.S. error relative to the observed values.
struct DefaultModel {
  std::vector<double> T, XOBS;
  double SXOBS2 = 0.0;
  int NCALL = 0;
  std::vector<std::vector<double>> lines;  // NCALL, P, L.S. error per call

  double Chi(const double* P, double t) const {
    const double CG2 = P[0] * P[0] * kNB2K;
    const double x = kHCK * P[1] * 2 / t;
    const double bb = (2 * CG2 / t) / (std::exp(-x) + 3) / 2;
    const double curie = (CG2 / t) * (0.5 + 1) * 0.5 / 3;
    double s = 0.0;
    s = s + P[2] * bb;
    s = s + (1 - P[2]) * curie;
    return 0.0 + s;
  }
  double Objective(const double* P) {
    ++NCALL;
    double s = 0.0;
    for (size_t i = 0; i < T.size(); ++i) {
      const double r = XOBS[i] - Chi(P, T[i]);
      s = s + r * r;
    }
    const double lse = s / SXOBS2;
    lines.push_back({static_cast<double>(NCALL), P[0], P[1], P[2], lse});
    return lse;
  }
  void Add(double t, double x) {
    T.push_back(t);
    XOBS.push_back(x);
    SXOBS2 = SXOBS2 + x * x;
  }
  fit::ObjectiveFn Fn() {
    return [this](const double* P) { return Objective(P); };
  }
};

// A copper acetate-like data set of 40 points, fitted as a user would: start
// (2.1, -140, 0.98), steps one hundredth of the values, REQMIN 1.0E-16,
// 200 iterations. The run converges, probes, restarts once, and the estimate
// doubles the tiny restarted simplex before fitting its surfaces.
TEST(FitBleaneyBower, CopperAcetateRun) {
  const double data[] = {
      5.00,   8.782251e-04, 12.56,  3.500542e-04, 20.13,  2.155263e-04, 27.69,  1.553724e-04,
      35.26,  1.219705e-04, 42.82,  1.036264e-04, 50.38,  9.369849e-05, 57.95,  9.548459e-05,
      65.51,  1.110838e-04, 73.08,  1.365923e-04, 80.64,  1.732158e-04, 88.21,  2.144733e-04,
      95.77,  2.665827e-04, 103.33, 3.200218e-04, 110.90, 3.695960e-04, 118.46, 4.320985e-04,
      126.03, 4.839583e-04, 133.59, 5.447869e-04, 141.15, 5.792540e-04, 148.72, 6.191243e-04,
      156.28, 6.658294e-04, 163.85, 6.925506e-04, 171.41, 7.270575e-04, 178.97, 7.431921e-04,
      186.54, 7.693396e-04, 194.10, 7.940803e-04, 201.67, 8.068843e-04, 209.23, 8.148303e-04,
      216.79, 8.148336e-04, 224.36, 8.351661e-04, 231.92, 8.378211e-04, 239.49, 8.471773e-04,
      247.05, 8.453147e-04, 254.62, 8.536758e-04, 262.18, 8.438378e-04, 269.74, 8.447056e-04,
      277.31, 8.464181e-04, 284.87, 8.287139e-04, 292.44, 8.307848e-04, 300.00, 8.257031e-04};
  DefaultModel m;
  for (size_t i = 0; i < std::size(data); i += 2) m.Add(data[i], data[i + 1]);

  double PVAL[3] = {2.1, -140.0, 0.98}, PSTEP[3], PFIT[3], SIGMA[3], LSERR = 0.0;
  for (int j = 0; j < 3; ++j) PSTEP[j] = 0.01 * PVAL[j];
  m.Objective(PVAL);
  fit::SimplexStore store;
  int NITER = 200, SIGFLAG = 1;
  fit::Minimise(m.Fn(), store, 3, PVAL, PFIT, LSERR, 1.0E-16, PSTEP, 1, NITER);
  EXPECT_EQ(NITER, 10109);
  EXPECT_EQ(m.NCALL, 119);
  fit::EstimateSigma(m.Fn(), store, PFIT, SIGMA, 3, 40, SIGFLAG);
  EXPECT_EQ(SIGFLAG, 0);
  EXPECT_EQ(m.NCALL, 137);

  // Values as the progress lines show them (F10.4).
  const std::vector<std::vector<double>> shown = {
      {2, 2.1000, -140.0000, .9800, .0526},  {8, 2.0767, -140.2593, .9981, .0454},
      {50, 2.1018, -140.4507, .9895, .0004}, {112, 2.1495, -144.7746, .9899, .0000},
      {119, 2.1495, -144.7749, .9899, .0},   {124, 2.1495, -144.7753, .9899, .0},
      {130, 2.1494, -144.7531, .9899, .0},   {137, 2.1494, -144.7532, .9899, .0}};
  for (const auto& want : shown) {
    const auto& got = m.lines[static_cast<size_t>(want[0]) - 1];
    for (size_t j = 1; j < want.size(); ++j) {
      EXPECT_NEAR(got[j], want[j], 0.5e-4 + 1e-9) << "call " << want[0] << " item " << j;
    }
  }
  // The solution and deviations as the report shows them (1P, 6 and 5 digits).
  EXPECT_NEAR(PFIT[0], 2.14938, 0.5e-5);
  EXPECT_NEAR(PFIT[1], -144.753, 0.5e-3);
  EXPECT_NEAR(PFIT[2], 0.989888, 0.5e-6);
  EXPECT_NEAR(SIGMA[0], 3.0531e-3, 0.5e-7);
  EXPECT_NEAR(SIGMA[1], 2.5973e-1, 0.5e-5);
  EXPECT_NEAR(SIGMA[2], 5.1978e-5, 0.5e-9);
}

// Noise-free synthetic data: repeated fits from a distant start recover the
// parameters the data were made with.
TEST(FitBleaneyBower, RecoversSyntheticParameters) {
  const double truth[3] = {2.05, -80.0, 0.95};
  DefaultModel m;
  for (int i = 0; i < 60; ++i) {
    const double t = 4.0 + 5.0 * i;
    m.Add(t, m.Chi(truth, t));
  }
  double PVAL[3] = {2.0, -100.0, 0.9}, PFIT[3], SIGMA[3], LSERR = 0.0;
  fit::SimplexStore store;
  for (int round = 0; round < 8; ++round) {
    double PSTEP[3];
    for (int j = 0; j < 3; ++j) PSTEP[j] = 0.01 * PVAL[j];
    int NITER = 200;
    fit::Minimise(m.Fn(), store, 3, PVAL, PFIT, LSERR, 1.0E-16, PSTEP, 1, NITER);
    for (int j = 0; j < 3; ++j) PVAL[j] = PFIT[j];
  }
  int SIGFLAG = 1;
  fit::EstimateSigma(m.Fn(), store, PFIT, SIGMA, 3, 60, SIGFLAG);
  EXPECT_EQ(SIGFLAG, 0);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(PFIT[j], truth[j], 1e-4 * std::fabs(truth[j])) << j;
  EXPECT_LT(LSERR, 1e-8);
}

}  // namespace
