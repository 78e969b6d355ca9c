// Standard deviations from the quadratic surface about the final simplex.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "fit/fit.h"

namespace {

struct Counter {
  explicit Counter(std::function<double(const double*)> fn, int d = 1) : f(std::move(fn)), dim(d) {}
  std::function<double(const double*)> f;
  int dim;
  std::vector<std::vector<double>> calls;
  fit::ObjectiveFn Fn() {
    return [this](const double* p) {
      calls.emplace_back(p, p + dim);
      return f(p);
    };
  }
};

void SetVertices(fit::SimplexStore& s, const std::vector<std::vector<double>>& v) {
  for (size_t k = 0; k < v.size(); ++k) {
    for (size_t j = 0; j < v[k].size(); ++j) s.SIMPLEX[k][j] = v[k][j];
  }
}

TEST(FitEstimateSigma, TooFewDataPointsFailsWithoutEvaluation) {
  Counter c([](const double*) { return 1.0; });
  fit::SimplexStore store;
  double best[2] = {3.0, 4.0}, sigma[2] = {9.0, 9.0};
  int flag = 0;
  fit::EstimateSigma(c.Fn(), store, best, sigma, 2, 2, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_TRUE(c.calls.empty());
  EXPECT_EQ(sigma[0], 0.0);
  EXPECT_EQ(sigma[1], 0.0);
  EXPECT_EQ(best[0], 3.0);
}

// No parameters: the one vertex is evaluated, then again as the moved
// origin of an empty surface, and the estimate succeeds; with no data points
// it fails at once.
TEST(FitEstimateSigma, NoParametersEvaluatesTheVertexTwice) {
  Counter c([](const double*) { return 0.5; }, 0);
  fit::SimplexStore store;
  double best[1] = {3.0}, sigma[1] = {9.0};
  int flag = 1;
  fit::EstimateSigma(c.Fn(), store, best, sigma, 0, 3, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(c.calls.size(), 2u);
  EXPECT_EQ(best[0], 3.0);
  EXPECT_EQ(sigma[0], 9.0);
  fit::EstimateSigma(c.Fn(), store, best, sigma, 0, 0, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(c.calls.size(), 2u);
}

// EstimateSigma of one parameter from the simplex {v0, v1} over `ndata`
// points, the best point and the flag starting at `start` and `flag0`.
struct OneParameter {
  Counter c;
  fit::SimplexStore store;
  double best[1], sigma[1] = {0.0};
  int flag;
  OneParameter(std::function<double(const double*)> f, double v0, double v1, double start,
               int ndata, int flag0)
      : c(std::move(f)), best{start}, flag(flag0) {
    SetVertices(store, {{v0}, {v1}});
    fit::EstimateSigma(c.Fn(), store, best, sigma, 1, ndata, flag);
  }
};

// One parameter: f = A (x - M)^2 + C. The surface is exact, its minimum is M
// and SIGMA = sqrt(Q^2 / BMAT * RESVAR) = sqrt(C / (A (NDATA - 1))).
TEST(FitEstimateSigma, OneParameterSurface) {
  const double A = 3.0, M = 1.0, C = 0.02;
  const OneParameter e([&](const double* p) { return A * (p[0] - M) * (p[0] - M) + C; }, 1.01, 1.5,
                       0.0, 11, 1);
  EXPECT_EQ(e.flag, 0);
  EXPECT_NEAR(e.best[0], M, 1e-12);
  EXPECT_NEAR(e.sigma[0], std::sqrt(C / (A * 10)), 1e-12);
  // The two vertices, the midpoint towards the origin (the lower vertex,
  // now in place 2), then the moved origin.
  ASSERT_EQ(e.c.calls.size(), 4u);
  EXPECT_EQ(e.c.calls[0][0], 1.01);
  EXPECT_EQ(e.c.calls[1][0], 1.5);
  EXPECT_EQ(e.c.calls[2][0], (1.5 + 1.01) * 0.5);
  EXPECT_EQ(e.store.SIMPLEX[0][0], 1.5);
  EXPECT_NEAR(e.store.SIMPLEX[1][0], M, 1e-12);
}

// Vertices far from the minimum: the first surface moves the origin there
// and a second surface is fitted about it without the separation test.
TEST(FitEstimateSigma, FarMinimumFitsAgain) {
  auto f = [](const double* p) {
    return 1.0 + 2.0 * (p[0] - 3.0) * (p[0] - 3.0) + (p[1] + 1.0) * (p[1] + 1.0) +
           0.5 * (p[0] - 3.0) * (p[1] + 1.0);
  };
  Counter c(f, 2);
  fit::SimplexStore store;
  SetVertices(store, {{0.0, 0.0}, {0.5, 0.1}, {0.1, 0.6}});
  double best[2], sigma[2];
  int flag = 1;
  fit::EstimateSigma(c.Fn(), store, best, sigma, 2, 20, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_NEAR(best[0], 3.0, 1e-9);
  EXPECT_NEAR(best[1], -1.0, 1e-9);
  EXPECT_EQ(c.calls.size(), 3u + 2u * (3u + 1u));
  // Hessian (4 0.5; 0.5 2): SIGMA_i = sqrt(2 (H^-1)_ii RESVAR), RESVAR = 1/18.
  const double det = 4.0 * 2.0 - 0.25;
  EXPECT_NEAR(sigma[0], std::sqrt(2.0 * (2.0 / det) / 18.0), 1e-9);
  EXPECT_NEAR(sigma[1], std::sqrt(2.0 * (4.0 / det) / 18.0), 1e-9);
}

// A surface minimum counts as far when it lies more than a quarter of the
// edge from the origin (S = 4 t^2 > 0.25): then one more surface is fitted.
TEST(FitEstimateSigma, FarMeansMoreThanAQuarterEdge) {
  for (const double M : {0.24, 0.26}) {
    const OneParameter e([M](const double* p) { return (p[0] - M) * (p[0] - M) + 0.01; }, 1.0, 0.0,
                         0.0, 11, 1);
    EXPECT_EQ(e.flag, 0) << M;
    EXPECT_NEAR(e.best[0], M, 1e-12) << M;
    // Two vertices, then a midpoint and the moved origin per surface.
    EXPECT_EQ(e.c.calls.size(), M < 0.25 ? 4u : 6u) << M;
  }
}

TEST(FitEstimateSigma, UnusableSurfacesFail) {
  struct Case {
    const char* what;
    std::function<double(const double*)> f;
    size_t calls;  // with N = 2
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      // Values never separate: 60 doublings of 3 vertices, then the call ends.
      {"constant", [](const double*) { return 1.0; }, 3 + 60 * 3},
      {"zero", [](const double*) { return 0.0; }, 3 + 60 * 3},
      {"vertex without a finite value",
       [inf](const double* p) { return p[0] > 0.5 ? inf : 1.0 + p[0] + 2.0 * p[1]; }, 3},
      // A plane: every attempt finds a zero coefficient matrix.
      {"plane", [](const double* p) { return 1.0 + p[0] + 2.0 * p[1]; }, 3 + 7 * 3},
  };
  for (const Case& k : cases) {
    Counter c(k.f, 2);
    fit::SimplexStore store;
    SetVertices(store, {{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}});
    double best[2] = {7.0, 8.0}, sigma[2] = {9.0, 9.0};
    int flag = 0;
    fit::EstimateSigma(c.Fn(), store, best, sigma, 2, 10, flag);
    EXPECT_EQ(flag, 1) << k.what;
    EXPECT_EQ(c.calls.size(), k.calls) << k.what;
    EXPECT_EQ(best[0], 7.0) << k.what;
    EXPECT_EQ(sigma[0], 0.0) << k.what;
  }
}

// A monotone objective puts every surface minimum far away; the fifth far
// surface of an attempt restores the separated simplex.
TEST(FitEstimateSigma, FifthFarSurfaceRestoresSimplex) {
  const OneParameter e([](const double* p) { return 2.0 + std::tanh(p[0]); }, 0.0, 1.0, 5.0, 10, 0);
  EXPECT_EQ(e.flag, 1);
  EXPECT_EQ(e.best[0], 5.0);
  EXPECT_EQ(e.store.SIMPLEX[0][0], 0.0);
  EXPECT_EQ(e.store.SIMPLEX[1][0], 1.0);
  // Seven attempts of four moved surfaces (2 evaluations each) and a fifth
  // that is abandoned after its midpoint.
  EXPECT_EQ(e.c.calls.size(), 2u + 7u * (4u * 2u + 1u));
}

// A small deterministic generator (the standard distributions are not
// portable between libraries).
double Noise(std::uint64_t& s) {
  s = s * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(s >> 11) / 9007199254740992.0 - 0.5;
}

// Noisy decay y = a exp(-b t) + c: the deviations from the surface agree
// with those from a finite-difference Hessian of the same L.S. error.
TEST(FitEstimateSigma, AgreesWithFiniteDifferenceHessian) {
  const int n = 3, ndata = 60;
  std::vector<double> t(ndata), y(ndata);
  std::uint64_t seed = 12345;
  double sy2 = 0.0;
  for (int i = 0; i < ndata; ++i) {
    t[i] = 0.1 * i;
    y[i] = 2.0 * std::exp(-0.7 * t[i]) + 0.3 + 0.02 * Noise(seed);
    sy2 += y[i] * y[i];
  }
  auto lse = [&](const double* p) {
    double s = 0.0;
    for (int i = 0; i < ndata; ++i) {
      const double r = y[i] - (p[0] * std::exp(-p[1] * t[i]) + p[2]);
      s += r * r;
    }
    return s / sy2;
  };
  fit::SimplexStore store;
  double start[n] = {1.5, 1.0, 0.1}, best[n], fbest = 0.0;
  for (int round = 0; round < 6; ++round) {  // as a user iterates again
    double step[n];
    for (int j = 0; j < n; ++j) step[j] = 0.01 * start[j];
    int count = 200;
    fit::Minimise(lse, store, n, start, best, fbest, 1e-16, step, 1, count);
    for (int j = 0; j < n; ++j) start[j] = best[j];
  }
  double sigma[n];
  int flag = 1;
  fit::EstimateSigma(lse, store, best, sigma, n, ndata, flag);
  ASSERT_EQ(flag, 0);

  // Central differences with steps of 1e-3 relative.
  double h[fit::kMaxMat][fit::kMaxMat] = {}, hinv[fit::kMaxMat][fit::kMaxMat] = {};
  double d[n];
  for (int j = 0; j < n; ++j) d[j] = 1e-3 * std::fabs(best[j]);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double p[n];
      double v[4];
      const int si[4] = {1, 1, -1, -1}, sj[4] = {1, -1, 1, -1};
      for (int m = 0; m < 4; ++m) {
        for (int k = 0; k < n; ++k) p[k] = best[k];
        p[i] += si[m] * d[i];
        p[j] += sj[m] * d[j];
        v[m] = lse(p);
      }
      h[i][j] = (v[0] - v[1] - v[2] + v[3]) / (4.0 * d[i] * d[j]);
    }
  }
  double tol = 0.0;
  fit::InvertMatrix(h, hinv, n, tol);
  ASSERT_GT(tol, 0.0);
  const double resvar = lse(best) / (ndata - n);
  for (int i = 0; i < n; ++i) {
    const double expected = std::sqrt(2.0 * hinv[i][i] * resvar);
    EXPECT_GT(sigma[i], expected / 1.5) << i;
    EXPECT_LT(sigma[i], expected * 1.5) << i;
  }
}

}  // namespace
