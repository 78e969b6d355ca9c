// `InvertMatrix` and `InvertInPlace`: Gauss-Jordan inversion with complete
// pivoting and a pivot tolerance relative to the largest entry.
#include <cmath>

#include "fit/fit.h"

namespace fit {
namespace {

constexpr int kMaxInPlace = 50;  // room of the interchange records
constexpr double kRelTol = 1.0E-6;

// W(i,j), 0-based, stored column by column.
struct Work {
  double* W;
  int N;
  double& operator()(int i, int j) const { return W[j * N + i]; }
};

// The pivot of step k: the first largest magnitude of the remaining block
// in column-by-column order, with its row and column.
double FindPivot(const Work& w, int k, int& row, int& col) {
  double BIGA = w(k, k);
  row = k;
  col = k;
  for (int j = k; j < w.N; ++j) {
    for (int i = k; i < w.N; ++i) {
      if (std::fabs(w(i, j)) > std::fabs(BIGA)) {
        BIGA = w(i, j);
        row = i;
        col = j;
      }
    }
  }
  return BIGA;
}

// Row b moves to row a, and row a, negated, to row b.
void SwapRows(const Work& w, int a, int b) {
  for (int c = 0; c < w.N; ++c) {
    const double HOLD = -w(a, c);
    w(a, c) = w(b, c);
    w(b, c) = HOLD;
  }
}

// Column b moves to column a, and column a, negated, to column b.
void SwapColumns(const Work& w, int a, int b) {
  for (int r = 0; r < w.N; ++r) {
    const double HOLD = -w(r, a);
    w(r, a) = w(r, b);
    w(r, b) = HOLD;
  }
}

// Elimination step k with the pivot BIGA in place (k,k).
void Eliminate(const Work& w, int k, double BIGA) {
  const int N = w.N;
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

}  // namespace

void InvertInPlace(double* W, int N, double& TOL) {
  if (N > kMaxInPlace) {  // the interchange records have no room for more
    TOL = -1.0;
    return;
  }
  const Work w{W, N};
  int ROW[kMaxInPlace];
  int COL[kMaxInPlace];
  for (int k = 0; k < N; ++k) {
    const double BIGA = FindPivot(w, k, ROW[k], COL[k]);
    if (ROW[k] > k) SwapRows(w, k, ROW[k]);
    if (COL[k] > k) SwapColumns(w, k, COL[k]);
    // Written negated so that a pivot that is not a number fails as well.
    if (!(std::fabs(BIGA) - TOL > 0.0)) {
      TOL = -1.0;
      return;
    }
    Eliminate(w, k, BIGA);
  }
  // Undo the interchanges in reverse order: a row interchange of the
  // elimination becomes a column interchange of the inverse, and vice versa.
  for (int k = N - 2; k >= 0; --k) {
    if (ROW[k] > k) SwapColumns(w, ROW[k], k);
    if (COL[k] > k) SwapRows(w, COL[k], k);
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
