// Gauss-Jordan inversion with complete pivoting and its pivot tolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "fit/fit.h"

namespace {

using Mat = double[fit::kMaxMat][fit::kMaxMat];

TEST(FitInvertMatrix, OneByOne) {
  Mat a = {}, ainv = {};
  a[0][0] = -4.0;
  double tol = 0.0;
  fit::InvertMatrix(a, ainv, 1, tol);
  EXPECT_EQ(ainv[0][0], -0.25);
  EXPECT_EQ(tol, 4.0 * 1.0E-6);

  a[0][0] = 0.0;
  fit::InvertMatrix(a, ainv, 1, tol);
  EXPECT_EQ(tol, -1.0);
}

TEST(FitInvertMatrix, SwapNeedsInterchangeAndReturnsItself) {
  Mat a = {}, ainv = {};
  a[0][1] = 1.0;
  a[1][0] = 1.0;
  double tol = 0.0;
  fit::InvertMatrix(a, ainv, 2, tol);
  EXPECT_EQ(tol, 1.0E-6);
  EXPECT_EQ(ainv[0][0], 0.0);
  EXPECT_EQ(ainv[0][1], 1.0);
  EXPECT_EQ(ainv[1][0], 1.0);
  EXPECT_EQ(ainv[1][1], 0.0);
}

TEST(FitInvertMatrix, InPlaceColumnByColumn) {
  // (1 2; 3 4) stored by columns; its inverse is (-2 1; 1.5 -0.5).
  double w[4] = {1.0, 3.0, 2.0, 4.0};
  double tol = 1.0E-6;
  fit::InvertInPlace(w, 2, tol);
  EXPECT_EQ(tol, 1.0E-6);
  EXPECT_NEAR(w[0], -2.0, 1e-15);
  EXPECT_NEAR(w[1], 1.5, 1e-15);
  EXPECT_NEAR(w[2], 1.0, 1e-15);
  EXPECT_NEAR(w[3], -0.5, 1e-15);
}

// Products with the inverse give the unit matrix for matrices that need
// row and column interchanges at several steps.
TEST(FitInvertMatrix, ProductIsUnit) {
  for (int n : {3, 5, 12}) {
    Mat a = {}, ainv = {};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        // Symmetric, indefinite, largest entries off the diagonal.
        a[i][j] = std::cos(1.0 + i + j + 0.3 * i * j) + (i == j ? 0.1 * (i % 3) : 0.0);
      }
    }
    double tol = 0.0;
    fit::InvertMatrix(a, ainv, n, tol);
    ASSERT_GT(tol, 0.0) << n;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        double z = 0.0;
        for (int k = 0; k < n; ++k) z += a[i][k] * ainv[k][j];
        EXPECT_NEAR(z, i == j ? 1.0 : 0.0, 1e-9) << n << " " << i << " " << j;
      }
    }
  }
}

TEST(FitInvertMatrix, FailsOnTooSmallPivots) {
  struct Case {
    const char* what;
    double m[3][3];
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"rows multiples of each other", {{1, 2, 3}, {2, 4, 6}, {3, 6, 9}}},
      {"zero matrix", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      {"huge entry swamps the rest", {{1e9, 0, 0}, {0, 1e-4, 0}, {0, 0, 2e-4}}},
      {"pivot not a number", {{nan, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
  };
  for (const Case& c : cases) {
    Mat a = {}, ainv = {};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) a[i][j] = c.m[i][j];
    }
    double tol = 0.0;
    fit::InvertMatrix(a, ainv, 3, tol);
    EXPECT_EQ(tol, -1.0) << c.what;
  }
}

// Beyond the room of the interchange records the inversion fails through
// TOL, leaving W as it was; fifty rows still invert.
TEST(FitInvertMatrix, MoreThanFiftyFailsThroughTol) {
  std::vector<double> w(51 * 51, 0.0);
  for (int i = 0; i < 51; ++i) w[i * 51 + i] = 2.0;
  double tol = 1.0E-6;
  fit::InvertInPlace(w.data(), 51, tol);
  EXPECT_EQ(tol, -1.0);
  EXPECT_EQ(w[0], 2.0);
  std::fill(w.begin(), w.end(), 0.0);
  for (int i = 0; i < 50; ++i) w[i * 50 + i] = 2.0;
  tol = 1.0E-6;
  fit::InvertInPlace(w.data(), 50, tol);
  EXPECT_EQ(tol, 1.0E-6);
  EXPECT_EQ(w[0], 0.5);
}

}  // namespace
