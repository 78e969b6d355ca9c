// `InvertMatrix` and `InvertInPlace`: Gauss-Jordan inversion with complete
// pivoting and a pivot tolerance relative to the largest entry.
#include <cmath>

#include "fit/fit.h"

namespace fit {
namespace {

constexpr int kMaxInPlace = 50;  // room of the interchange records
constexpr double kRelTol = 1.0E-6;

}  // namespace

void InvertInPlace(double* W, int N, double& TOL) {
  if (N > kMaxInPlace) {  // the interchange records have no room for more
    TOL = -1.0;
    return;
  }
  int ROW[kMaxInPlace];
  int COL[kMaxInPlace];
  // W(i,j), 0-based, column by column.
  auto w = [W, N](int i, int j) -> double& { return W[j * N + i]; };

  for (int k = 0; k < N; ++k) {
    // First largest magnitude in column-by-column order wins.
    double BIGA = w(k, k);
    ROW[k] = k;
    COL[k] = k;
    for (int j = k; j < N; ++j) {
      for (int i = k; i < N; ++i) {
        if (std::fabs(w(i, j)) > std::fabs(BIGA)) {
          BIGA = w(i, j);
          ROW[k] = i;
          COL[k] = j;
        }
      }
    }
    const int r = ROW[k];
    if (r > k) {
      for (int c = 0; c < N; ++c) {
        const double HOLD = -w(k, c);
        w(k, c) = w(r, c);
        w(r, c) = HOLD;
      }
    }
    const int c = COL[k];
    if (c > k) {
      for (int i = 0; i < N; ++i) {
        const double HOLD = -w(i, k);
        w(i, k) = w(i, c);
        w(i, c) = HOLD;
      }
    }
    // Written negated so that a pivot that is not a number fails as well.
    if (!(std::fabs(BIGA) - TOL > 0.0)) {
      TOL = -1.0;
      return;
    }
    for (int i = 0; i < N; ++i) {
      if (i != k) w(i, k) = w(i, k) / (-BIGA);
    }
    for (int i = 0; i < N; ++i) {
      if (i == k) continue;
      for (int j = 0; j < N; ++j) {
        if (j != k) w(i, j) = w(i, k) * w(k, j) + w(i, j);
      }
    }
    for (int j = 0; j < N; ++j) {
      if (j != k) w(k, j) = w(k, j) / BIGA;
    }
    w(k, k) = 1.0 / BIGA;
  }

  // Undo the interchanges in reverse order: a row interchange of the
  // elimination becomes a column interchange of the inverse, and vice versa.
  for (int k = N - 2; k >= 0; --k) {
    const int i = ROW[k];
    if (i > k) {
      for (int r = 0; r < N; ++r) {
        const double HOLD = w(r, k);
        w(r, k) = -w(r, i);
        w(r, i) = HOLD;
      }
    }
    const int j = COL[k];
    if (j > k) {
      for (int c = 0; c < N; ++c) {
        const double HOLD = w(k, c);
        w(k, c) = -w(j, c);
        w(j, c) = HOLD;
      }
    }
  }
}

void InvertMatrix(const double A[kMaxMat][kMaxMat], double AINV[kMaxMat][kMaxMat], int N,
                  double& TOL) {
  if (N > kMaxMat) {  // the matrices have no room for more
    TOL = -1.0;
    return;
  }
  double W[kMaxMat * kMaxMat];
  TOL = 0.0;
  int pos = 0;
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) {
      if (std::fabs(A[i][j]) > TOL) TOL = std::fabs(A[i][j]);
      W[pos++] = A[i][j];
    }
  }
  TOL = TOL * kRelTol;
  InvertInPlace(W, N, TOL);
  pos = 0;
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) AINV[i][j] = W[pos++];
  }
}

}  // namespace fit
