// The simplex record: its operations keep the order of arithmetic of the
// published algorithm, running sums included.
#include "fit/simplex.h"

#include <cmath>
#include <limits>

namespace fit {
namespace {

constexpr double kShrink = 0.5;

}  // namespace

double Simplex::Value(const double* x) const {
  const double y = objective(x);
  return std::isnan(y) ? std::numeric_limits<double>::infinity() : y;
}

void Simplex::Build(double* START, const double* STEP, double DEL) {
  for (int j = 0; j < N; ++j) P[N][j] = START[j];
  FVAL[N] = Value(START);
  SUM = FVAL[N];
  SUMSQ = FVAL[N] * FVAL[N];
  for (int j = 0; j < N; ++j) {
    START[j] = START[j] + STEP[j] * DEL;
    for (int i = 0; i < N; ++i) P[j][i] = START[i];
    FVAL[j] = Value(START);
    SUM = SUM + FVAL[j];
    SUMSQ = SUMSQ + FVAL[j] * FVAL[j];
    START[j] = START[j] - STEP[j] * DEL;
  }
}

void Simplex::Order() {
  ILO = 0;
  IHI = 0;
  YLO = FVAL[0];
  double YHI = FVAL[0];
  for (int k = 1; k <= N; ++k) {
    if (FVAL[k] < YLO) {
      YLO = FVAL[k];
      ILO = k;
    }
    if (FVAL[k] > YHI) {
      YHI = FVAL[k];
      IHI = k;
    }
  }
  SUM = SUM - YHI;
  SUMSQ = SUMSQ - YHI * YHI;
}

void Simplex::Centroid(double* PBAR) const {
  const double DN = N;
  for (int j = 0; j < N; ++j) {
    double z = 0.0;
    for (int k = 0; k <= N; ++k) z = z + P[k][j];
    z = z - P[IHI][j];
    PBAR[j] = z / DN;
  }
}

void Simplex::Replace(const double* point, double y) {
  for (int j = 0; j < N; ++j) P[IHI][j] = point[j];
  FVAL[IHI] = y;
}

void Simplex::Rejoin() {
  SUM = SUM + FVAL[IHI];
  SUMSQ = SUMSQ + FVAL[IHI] * FVAL[IHI];
}

int Simplex::Shrink() {
  SUM = 0.0;
  SUMSQ = 0.0;
  for (int k = 0; k <= N; ++k) {
    for (int j = 0; j < N; ++j) P[k][j] = (P[k][j] + P[ILO][j]) * kShrink;
    FVAL[k] = Value(P[k]);
    SUM = SUM + FVAL[k];
    SUMSQ = SUMSQ + FVAL[k] * FVAL[k];
  }
  return N + 1;
}

double Simplex::Variance() {
  if (!std::isfinite(SUM) || !std::isfinite(SUMSQ)) {
    // An infinite vertex value has left the running sums without a number;
    // start them afresh from the present values.
    SUM = 0.0;
    SUMSQ = 0.0;
    for (int k = 0; k <= N; ++k) {
      SUM = SUM + FVAL[k];
      SUMSQ = SUMSQ + FVAL[k] * FVAL[k];
    }
  }
  const double DN = N;
  const double DNN = N + 1;
  return (SUMSQ - SUM * SUM / DNN) / DN;
}

double Simplex::Lowest(double* BEST) const {
  int lowest = 0;
  for (int k = 1; k <= N; ++k) {
    if (FVAL[k] < FVAL[lowest]) lowest = k;
  }
  for (int j = 0; j < N; ++j) BEST[j] = P[lowest][j];
  return FVAL[lowest];
}

}  // namespace fit
