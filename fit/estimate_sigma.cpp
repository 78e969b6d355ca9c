// `EstimateSigma`: a quadratic surface fitted to the objective over the
// vertices of the final simplex and the midpoints of its edges; the inverse
// of its curvature, scaled by the residual error per degree of freedom, gives
// the standard deviations.
#include <cmath>

#include "fit/fit.h"

namespace fit {
namespace {

constexpr double kRelTolStart = 1.0E-12;
constexpr double kRelTolFactor = 10.0;
constexpr double kRelTolLimit = 1.0E-5;
constexpr double kExpand = 2.0;
constexpr double kFar = 0.25;  // S above this: the surface minimum is far away
constexpr int kMaxFar = 4;
constexpr double kHalf = 0.5;
// The separation test has no bound of its own; a simplex whose values do not
// separate after this many doublings will not give a usable surface.
constexpr int kMaxExpansions = 60;

// The vertices in the store, their values H, and the copy SAVED taken when
// the values were found well separated.
struct Vertices {
  Vertices(const ObjectiveFn& objective, SimplexStore& store, int N)
      : objective(objective), P(store.SIMPLEX), N(N) {}

  const ObjectiveFn& objective;
  double (&P)[kMaxDim + 1][kMaxDim];  // P[k][j]: coordinate j of vertex k
  const int N;
  double H[kMaxMat + 1] = {};
  double SAVED[kMaxMat + 1][kMaxMat] = {};
  double HSAVED[kMaxMat + 1] = {};
  int expansions = 0;  // over the whole call

  // ILO: the first lowest value.
  int Lowest() const {
    int ILO = 0;
    double HMIN = H[0];
    for (int k = 1; k <= N; ++k) {
      if (H[k] < HMIN) {
        HMIN = H[k];
        ILO = k;
      }
    }
    return ILO;
  }
  void Save() {
    for (int k = 0; k <= N; ++k) {
      for (int j = 0; j < N; ++j) SAVED[k][j] = P[k][j];
      HSAVED[k] = H[k];
    }
  }
  void Restore() {
    for (int k = 0; k <= N; ++k) {
      for (int j = 0; j < N; ++j) P[k][j] = SAVED[k][j];
      H[k] = HSAVED[k];
    }
  }
  // Doubles the simplex about its centroid and evaluates every vertex.
  void Expand() {
    const int NN = N + 1;
    double CEN[kMaxMat];
    for (int j = 0; j < N; ++j) {
      double z = 0.0;
      for (int k = 0; k <= N; ++k) z = z + P[k][j];
      CEN[j] = z / NN;
    }
    for (int k = 0; k <= N; ++k) {
      for (int j = 0; j < N; ++j) P[k][j] = CEN[j] + kExpand * (P[k][j] - CEN[j]);
      H[k] = objective(P[k]);
    }
  }
};

// The quadratic surface about the origin vertex (vertex N+1).
struct Surface {
  double Q[kMaxMat][kMaxMat];  // Q[j][i]: coordinate j of edge i
  double YMID[kMaxMat];
  double BVEC[kMaxMat];
  double BMAT[kMaxMat][kMaxMat];
  double BINV[kMaxMat][kMaxMat];
  double V[kMaxMat];
  double S;
};

// Separation: doubles the simplex until every vertex value differs from the
// lowest by RELTOL relative, then saves it. False when the values cannot
// separate (not finite, or too many doublings).
bool Separate(Vertices& v, double RELTOL) {
  for (;;) {
    const int ILO = v.Lowest();
    const double HMIN = v.H[ILO];
    for (int k = 0; k <= v.N; ++k) {
      if (!std::isfinite(v.H[k])) return false;
    }
    bool separated = true;
    for (int k = 0; k <= v.N; ++k) {
      // A relative difference that is not a number counts as too small.
      if (k != ILO && !((v.H[k] - HMIN) / HMIN >= RELTOL)) {
        separated = false;
        break;
      }
    }
    if (separated) {
      v.Save();
      return true;
    }
    if (v.expansions == kMaxExpansions) return false;
    ++v.expansions;
    v.Expand();
  }
}

// The lowest vertex becomes the origin of the surface, in place N+1; the
// others keep their order.
void MoveLowestToOrigin(Vertices& v) {
  const int N = v.N;
  const int ILO = v.Lowest();
  double origin[kMaxDim];
  for (int j = 0; j < N; ++j) origin[j] = v.P[ILO][j];
  const double Y0 = v.H[ILO];
  for (int k = ILO; k < N; ++k) {
    for (int j = 0; j < N; ++j) v.P[k][j] = v.P[k + 1][j];
    v.H[k] = v.H[k + 1];
  }
  for (int j = 0; j < N; ++j) v.P[N][j] = origin[j];
  v.H[N] = Y0;
}

// The surface fit: coefficients from the midpoints towards the origin, then
// the pairs row by row; the inverse of BMAT, V and S. False when BMAT is too
// close to singular.
bool FitSurface(Vertices& v, Surface& f) {
  const int N = v.N;
  const double Y0 = v.H[N];
  double X[kMaxMat];  // argument of the midpoint evaluations
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) f.Q[j][i] = v.P[i][j] - v.P[N][j];
    for (int j = 0; j < N; ++j) X[j] = (v.P[i][j] + v.P[N][j]) * kHalf;
    f.YMID[i] = v.objective(X);
    f.BVEC[i] = 4.0 * f.YMID[i] - v.H[i] - 3.0 * Y0;
    f.BMAT[i][i] = ((v.H[i] + Y0) - 2.0 * f.YMID[i]) * 2.0;
  }
  for (int i = 0; i < N - 1; ++i) {
    for (int j = i + 1; j < N; ++j) {
      for (int m = 0; m < N; ++m) X[m] = (v.P[i][m] + v.P[j][m]) * kHalf;
      const double YIJ = v.objective(X);
      f.BMAT[i][j] = ((YIJ + Y0) - f.YMID[i] - f.YMID[j]) * 2.0;
      f.BMAT[j][i] = f.BMAT[i][j];
    }
  }

  double T = 0.0;
  InvertMatrix(f.BMAT, f.BINV, N, T);
  if (T < 0.0) return false;

  double WV[kMaxMat];
  for (int i = 0; i < N; ++i) {
    double z = 0.0;
    for (int j = 0; j < N; ++j) z = z + f.BINV[i][j] * f.BVEC[j];
    f.V[i] = z;
  }
  for (int i = 0; i < N; ++i) {
    double z = 0.0;
    for (int j = 0; j < N; ++j) z = z + f.BINV[i][j] * f.V[j];
    WV[i] = z;
  }
  f.S = 0.0;
  for (int i = 0; i < N; ++i) f.S = f.S + f.BVEC[i] * WV[i];
  return true;
}

// The move of the origin vertex to the minimum of the surface.
void MoveToMinimum(Vertices& v, const Surface& f) {
  const int N = v.N;
  for (int j = 0; j < N; ++j) {
    double z = 0.0;
    for (int i = 0; i < N; ++i) z = z + f.Q[j][i] * f.V[i];
    v.P[N][j] = v.P[N][j] - kHalf * z;
  }
  v.H[N] = v.objective(v.P[N]);
}

// The deviations: the diagonal of Q BINV Qt scaled by the residual error
// per degree of freedom. False at the first element that is negative or
// gives no finite deviation; SIGMA(i) then holds it.
bool Deviations(const Vertices& v, const Surface& f, int NDATA, double* SIGMA) {
  const int N = v.N;
  const double RESVAR = v.H[N] / (NDATA - N);
  double C[kMaxMat][kMaxMat];
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) {
      double z = 0.0;
      for (int k = 0; k < N; ++k) z = z + f.BINV[i][k] * f.Q[j][k];
      C[i][j] = z;
    }
  }
  for (int i = 0; i < N; ++i) {
    double z = 0.0;
    for (int k = 0; k < N; ++k) z = z + f.Q[i][k] * C[k][i];
    SIGMA[i] = z;
    // A sum that is not a number fails like a negative one.
    if (!(SIGMA[i] >= 0.0)) return false;
    SIGMA[i] = std::sqrt(SIGMA[i] * RESVAR);
    // An objective without a finite value at the moved vertex gives no
    // usable deviation either; the next attempt's test then fails the call.
    if (!std::isfinite(SIGMA[i])) return false;
  }
  return true;
}

enum class Attempt { kSuccess, kNext, kFailure };

// One attempt at the given RELTOL: surfaces are fitted until one has its
// minimum near the origin, at most kMaxFar far ones.
Attempt TryAttempt(Vertices& v, double RELTOL, int NDATA, double* BEST, double* SIGMA) {
  if (!Separate(v, RELTOL)) return Attempt::kFailure;
  int NFAR = 0;
  for (;;) {
    MoveLowestToOrigin(v);
    Surface f;
    if (!FitSurface(v, f)) return Attempt::kNext;
    if (f.S > kFar) {
      ++NFAR;
      if (NFAR > kMaxFar) {
        v.Restore();
        return Attempt::kNext;
      }
    }
    MoveToMinimum(v, f);
    if (f.S > kFar) continue;  // a new surface about the lowest vertex
    if (!Deviations(v, f, NDATA, SIGMA)) return Attempt::kNext;
    for (int j = 0; j < v.N; ++j) BEST[j] = v.P[v.N][j];
    return Attempt::kSuccess;
  }
}

}  // namespace

void EstimateSigma(const ObjectiveFn& objective, SimplexStore& store, double* BEST, double* SIGMA,
                   int N, int NDATA, int& SIGFLAG) {
  for (int i = 0; i < N; ++i) SIGMA[i] = 0.0;
  SIGFLAG = 1;
  if (NDATA <= N || N < 0 || N > kMaxMat) return;
  SIGFLAG = 0;

  Vertices v(objective, store, N);
  for (int k = 0; k <= N; ++k) v.H[k] = objective(v.P[k]);
  double RELTOL = kRelTolStart;
  for (;;) {
    RELTOL = RELTOL * kRelTolFactor;
    if (RELTOL > kRelTolLimit) break;
    const Attempt outcome = TryAttempt(v, RELTOL, NDATA, BEST, SIGMA);
    if (outcome == Attempt::kSuccess) return;
    if (outcome == Attempt::kFailure) break;
  }
  SIGFLAG = 1;
}

}  // namespace fit
