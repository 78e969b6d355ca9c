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

}  // namespace

void EstimateSigma(const ObjectiveFn& objective, SimplexStore& store, double* BEST, double* SIGMA,
                   int N, int NDATA, int& SIGFLAG) {
  for (int i = 0; i < N; ++i) SIGMA[i] = 0.0;
  SIGFLAG = 1;
  if (NDATA <= N || N < 1 || N > kMaxMat) return;
  SIGFLAG = 0;
  double RELTOL = kRelTolStart;

  auto& P = store.SIMPLEX;  // P[k][j]: coordinate j of vertex k
  const int NN = N + 1;
  double H[kMaxMat + 1];
  double SAVED[kMaxMat + 1][kMaxMat];
  double HSAVED[kMaxMat + 1];
  double Q[kMaxMat][kMaxMat];  // Q[j][i]: coordinate j of edge i
  double YMID[kMaxMat];
  double BVEC[kMaxMat];
  double BMAT[kMaxMat][kMaxMat];
  double BINV[kMaxMat][kMaxMat];
  double V[kMaxMat];
  double WV[kMaxMat];
  double C[kMaxMat][kMaxMat];
  double X[kMaxMat];  // argument of the midpoint evaluations
  int expansions = 0;

  for (int k = 0; k < NN; ++k) H[k] = objective(P[k]);

  for (;;) {  // one attempt per RELTOL
    RELTOL = RELTOL * kRelTolFactor;
    if (RELTOL > kRelTolLimit) {
      SIGFLAG = 1;
      return;
    }
    int NFAR = 0;
    bool CHECKSEP = true;

    bool next_attempt = false;
    while (!next_attempt) {  // one surface per pass
      int ILO = 0;
      double HMIN = H[0];
      for (;;) {
        ILO = 0;
        HMIN = H[0];
        for (int k = 1; k < NN; ++k) {
          if (H[k] < HMIN) {
            HMIN = H[k];
            ILO = k;
          }
        }
        if (!CHECKSEP) break;
        for (int k = 0; k < NN; ++k) {
          if (!std::isfinite(H[k])) {
            SIGFLAG = 1;
            return;
          }
        }
        bool separated = true;
        for (int k = 0; k < NN; ++k) {
          // A relative difference that is not a number counts as too small.
          if (k != ILO && !((H[k] - HMIN) / HMIN >= RELTOL)) {
            separated = false;
            break;
          }
        }
        if (separated) {
          for (int k = 0; k < NN; ++k) {
            for (int j = 0; j < N; ++j) SAVED[k][j] = P[k][j];
            HSAVED[k] = H[k];
          }
          CHECKSEP = false;
          continue;
        }
        // Double the simplex about its centroid.
        if (expansions == kMaxExpansions) {
          SIGFLAG = 1;
          return;
        }
        ++expansions;
        double CEN[kMaxMat];
        for (int j = 0; j < N; ++j) {
          double z = 0.0;
          for (int k = 0; k < NN; ++k) z = z + P[k][j];
          CEN[j] = z / NN;
        }
        for (int k = 0; k < NN; ++k) {
          for (int j = 0; j < N; ++j) P[k][j] = CEN[j] + kExpand * (P[k][j] - CEN[j]);
          H[k] = objective(P[k]);
        }
      }

      // The lowest vertex becomes the origin of the surface, in place N+1.
      double origin[kMaxDim];
      for (int j = 0; j < N; ++j) origin[j] = P[ILO][j];
      const double Y0 = H[ILO];
      for (int k = ILO; k < N; ++k) {
        for (int j = 0; j < N; ++j) P[k][j] = P[k + 1][j];
        H[k] = H[k + 1];
      }
      for (int j = 0; j < N; ++j) P[N][j] = origin[j];
      H[N] = Y0;

      // Surface coefficients: midpoints towards the origin, then the pairs
      // row by row.
      for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) Q[j][i] = P[i][j] - P[N][j];
        for (int j = 0; j < N; ++j) X[j] = (P[i][j] + P[N][j]) * kHalf;
        YMID[i] = objective(X);
        BVEC[i] = 4.0 * YMID[i] - H[i] - 3.0 * Y0;
        BMAT[i][i] = ((H[i] + Y0) - 2.0 * YMID[i]) * 2.0;
      }
      for (int i = 0; i < N - 1; ++i) {
        for (int j = i + 1; j < N; ++j) {
          for (int m = 0; m < N; ++m) X[m] = (P[i][m] + P[j][m]) * kHalf;
          const double YIJ = objective(X);
          BMAT[i][j] = ((YIJ + Y0) - YMID[i] - YMID[j]) * 2.0;
          BMAT[j][i] = BMAT[i][j];
        }
      }

      double T = 0.0;
      InvertMatrix(BMAT, BINV, N, T);
      if (T < 0.0) break;

      for (int i = 0; i < N; ++i) {
        double z = 0.0;
        for (int j = 0; j < N; ++j) z = z + BINV[i][j] * BVEC[j];
        V[i] = z;
      }
      for (int i = 0; i < N; ++i) {
        double z = 0.0;
        for (int j = 0; j < N; ++j) z = z + BINV[i][j] * V[j];
        WV[i] = z;
      }
      double S = 0.0;
      for (int i = 0; i < N; ++i) S = S + BVEC[i] * WV[i];

      if (S > kFar) {
        ++NFAR;
        if (NFAR > kMaxFar) {
          for (int k = 0; k < NN; ++k) {
            for (int j = 0; j < N; ++j) P[k][j] = SAVED[k][j];
            H[k] = HSAVED[k];
          }
          break;
        }
      }

      // Move the origin vertex to the minimum of the surface.
      for (int j = 0; j < N; ++j) {
        double z = 0.0;
        for (int i = 0; i < N; ++i) z = z + Q[j][i] * V[i];
        P[N][j] = P[N][j] - kHalf * z;
      }
      H[N] = objective(P[N]);

      if (S > kFar) {
        CHECKSEP = false;
        continue;  // a new surface about the lowest vertex
      }

      const double RESVAR = H[N] / (NDATA - N);
      for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
          double z = 0.0;
          for (int k = 0; k < N; ++k) z = z + BINV[i][k] * Q[j][k];
          C[i][j] = z;
        }
      }
      for (int i = 0; i < N; ++i) {
        double z = 0.0;
        for (int k = 0; k < N; ++k) z = z + Q[i][k] * C[k][i];
        SIGMA[i] = z;
        // A sum that is not a number fails like a negative one.
        if (!(SIGMA[i] >= 0.0)) {
          next_attempt = true;
          break;
        }
        SIGMA[i] = std::sqrt(SIGMA[i] * RESVAR);
        // An objective without a finite value at the moved vertex gives no
        // usable deviation either; the next attempt's test then fails the call.
        if (!std::isfinite(SIGMA[i])) {
          next_attempt = true;
          break;
        }
      }
      if (next_attempt) break;

      for (int j = 0; j < N; ++j) BEST[j] = P[N][j];
      return;
    }
  }
}

}  // namespace fit
