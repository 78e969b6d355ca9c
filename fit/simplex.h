// The simplex record of the minimiser: the N+1 vertices in the shared store,
// their values, and the running sums of the values for the convergence test.
#ifndef SUSCEP_FIT_SIMPLEX_H_
#define SUSCEP_FIT_SIMPLEX_H_

#include "fit/fit.h"

namespace fit {

struct Simplex {
  Simplex(const ObjectiveFn& objective, SimplexStore& store, int N)
      : objective(objective), P(store.SIMPLEX), N(N) {}

  // The objective at `x`; a value that is not a number takes part in every
  // comparison as +infinity, so such a vertex is the first to be replaced
  // and is never returned.
  double Value(const double* x) const;

  // Vertex N+1 at START, vertex j at START moved by STEP(j)*DEL along axis j.
  // START is used as the argument vector and restored.
  void Build(double* START, const double* STEP, double DEL);
  // ILO, YLO and IHI (the first vertex wins ties); the highest value leaves
  // the running sums until Rejoin.
  void Order();
  // PBAR: the centroid of all vertices but the highest.
  void Centroid(double* PBAR) const;
  // The highest vertex becomes `point` with value `y`.
  void Replace(const double* point, double y);
  // The value of the (replaced) highest vertex rejoins the running sums.
  void Rejoin();
  // Every vertex halfway towards the lowest one, re-evaluated; the sums are
  // formed afresh. Returns the evaluations made (N+1).
  int Shrink();
  // Variance of the vertex values, from the running sums.
  double Variance();
  // The lowest vertex (the first on ties) into BEST; returns its value.
  double Lowest(double* BEST) const;

  const ObjectiveFn& objective;
  double (&P)[kMaxDim + 1][kMaxDim];  // P[k][j]: coordinate j of vertex k
  const int N;
  double FVAL[kMaxDim + 1] = {};
  double SUM = 0.0;
  double SUMSQ = 0.0;
  int ILO = 0;
  int IHI = 0;
  double YLO = 0.0;
};

}  // namespace fit

#endif  // SUSCEP_FIT_SIMPLEX_H_
