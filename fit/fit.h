// Simplex minimiser, standard deviations from a quadratic surface, and the
// symmetric matrix inversion they need.
#ifndef SUSCEP_FIT_FIT_H_
#define SUSCEP_FIT_FIT_H_

#include <functional>

namespace fit {

constexpr int kMaxDim = 20;  // parameters the minimiser accepts
constexpr int kMaxMat = 12;  // matrix size of the inversion (MAXPAR)

// The function minimised: the L.S. error of a parameter vector. It must not
// change the vector.
using ObjectiveFn = std::function<double(const double*)>;

// Asked at each evaluation of a search; true ends it as if its budget had
// run out.
using StopFn = std::function<bool()>;

// The shared simplex store: SIMPLEX[k][j] is coordinate j of vertex k
// (0-based: vertex k+1 of the description). Written by Minimise, read and
// changed by EstimateSigma.
struct SimplexStore {
  double SIMPLEX[kMaxDim + 1][kMaxDim] = {};
};

// What a Minimise call did, told apart where COUNT lumps it together.
struct MinimiseOutcome {
  int evaluations = 0;            // counted evaluations (those against the budget)
  int restarts = 0;               // restarts after a better probe point
  bool budget_exhausted = false;  // stopped because the evaluations passed the budget
  bool stopped = false;           // ended early by `stop`
};

// Nelder-Mead simplex search with probing and restart. COUNT: in, the
// evaluation budget; out, evaluations counted plus 10000 per restart, or a
// negative fault code (-1 REQMIN, -10 N, -100 NCHECK, summed). OUTCOME, when
// given, receives the same split up (all zero after a fault). A `stop` that
// answers true ends the search with the lowest vertex so far.
void Minimise(const ObjectiveFn& objective, SimplexStore& store, int N, double* START, double* BEST,
              double& FBEST, double REQMIN, const double* STEP, int NCHECK, int& COUNT,
              MinimiseOutcome* OUTCOME = nullptr, const StopFn& stop = {});

// Standard deviations from a quadratic surface fitted about the lowest
// vertex of the final simplex. SIGFLAG 0 success (BEST replaced by the
// surface minimum), 1 failure (BEST untouched).
void EstimateSigma(const ObjectiveFn& objective, SimplexStore& store, double* BEST, double* SIGMA,
                   int N, int NDATA, int& SIGFLAG);

// Inverse of the leading N x N block of A (Gauss-Jordan with complete
// pivoting). TOL: 1.0E-6 times the largest |A(i,j)| on success, -1.0 when a
// pivot was too small (AINV is then meaningless).
void InvertMatrix(const double A[kMaxMat][kMaxMat], double AINV[kMaxMat][kMaxMat], int N,
                  double& TOL);

// In-place inversion of the N x N matrix W stored column by column
// (W[(j-1)*N + (i-1)] is element (i,j)). TOL in: pivot tolerance; out:
// unchanged on success, -1.0 on failure (a pivot too small, or N above 50,
// the room of the interchange records; W is then meaningless).
void InvertInPlace(double* W, int N, double& TOL);

}  // namespace fit

#endif  // SUSCEP_FIT_FIT_H_
