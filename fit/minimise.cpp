// `Minimise`: Nelder-Mead simplex search with a convergence test on the
// variance of the vertex values, then probing along every axis and a restart
// from a better probe point.
#include <cmath>
#include <limits>

#include "fit/fit.h"

namespace fit {
namespace {

constexpr double kRcoeff = 1.0;  // reflection
constexpr double kEcoeff = 2.0;  // expansion
constexpr double kCcoeff = 0.5;  // contraction
constexpr double kShrink = 0.5;
constexpr double kProbe = 0.001;       // probe step as a fraction of STEP
constexpr double kRestartDel = 0.001;  // DEL of a restarted simplex
constexpr int kRestartCount = 10000;

// A value that is not a number takes part in every comparison as +infinity,
// so such a vertex is the first to be replaced and is never returned.
double Clean(double y) { return std::isnan(y) ? std::numeric_limits<double>::infinity() : y; }

}  // namespace

void Minimise(const ObjectiveFn& function, SimplexStore& store, int N, double* START, double* BEST,
              double& FBEST, double REQMIN, const double* STEP, int NCHECK, int& COUNT,
              MinimiseOutcome* OUTCOME, const StopFn& stop) {
  if (OUTCOME != nullptr) *OUTCOME = MinimiseOutcome{};
  int restarts = 0;
  auto tell = [&](bool exhausted, bool by_stop) {
    if (OUTCOME != nullptr) {
      *OUTCOME = {COUNT - kRestartCount * restarts, restarts, exhausted, by_stop};
    }
  };
  // Entry checks: the faults add up and nothing else is changed.
  const int LIMIT = COUNT;
  COUNT = 0;
  if (!(REQMIN > 0.0)) COUNT -= 1;
  if (N > kMaxDim || N < 0) COUNT -= 10;  // a negative N would index outside the store
  if (NCHECK < 1) COUNT -= 100;
  if (COUNT < 0) return;

  // Once `stop` has answered true the search ends after this iteration.
  bool stopped = false;
  auto objective = [&](const double* p) {
    if (!stopped && stop && stop()) stopped = true;
    return function(p);
  };

  auto& P = store.SIMPLEX;  // P[k][j]: coordinate j of vertex k
  double FVAL[kMaxDim + 1];
  double PBAR[kMaxDim];
  double PSTAR[kMaxDim];
  double P2[kMaxDim];

  int CHECK = NCHECK;
  const double DN = N;
  const double DNN = N + 1;
  double DEL = 1.0;
  const int NN = N + 1;

  for (;;) {
    // Build the simplex around START: vertex N+1 is START itself; these
    // evaluations are not counted.
    for (int j = 0; j < N; ++j) P[N][j] = START[j];
    FVAL[N] = Clean(objective(START));
    double SUM = FVAL[N];
    double SUMSQ = FVAL[N] * FVAL[N];
    for (int j = 0; j < N; ++j) {
      START[j] = START[j] + STEP[j] * DEL;
      for (int i = 0; i < N; ++i) P[j][i] = START[i];
      FVAL[j] = Clean(objective(START));
      SUM = SUM + FVAL[j];
      SUMSQ = SUMSQ + FVAL[j] * FVAL[j];
      START[j] = START[j] - STEP[j] * DEL;
    }

    // Iterations until the budget is used up or the vertex values agree.
    for (;;) {
      int ILO = 0;
      int IHI = 0;
      double YLO = FVAL[0];
      FBEST = FVAL[0];
      for (int k = 1; k < NN; ++k) {
        if (FVAL[k] < YLO) {
          YLO = FVAL[k];
          ILO = k;
        }
        if (FVAL[k] > FBEST) {
          FBEST = FVAL[k];
          IHI = k;
        }
      }
      SUM = SUM - FBEST;
      SUMSQ = SUMSQ - FBEST * FBEST;

      for (int j = 0; j < N; ++j) {
        double z = 0.0;
        for (int k = 0; k < NN; ++k) z = z + P[k][j];
        z = z - P[IHI][j];
        PBAR[j] = z / DN;
      }

      for (int j = 0; j < N; ++j) PSTAR[j] = (1.0 + kRcoeff) * PBAR[j] - kRcoeff * P[IHI][j];
      const double YSTAR = Clean(objective(PSTAR));
      COUNT = COUNT + 1;

      bool shrunk = false;
      if (YSTAR < YLO) {
        // Expansion; its value is compared with the lowest value before this
        // iteration, not with YSTAR.
        for (int j = 0; j < N; ++j) P2[j] = kEcoeff * PSTAR[j] + (1.0 - kEcoeff) * PBAR[j];
        const double Y2 = Clean(objective(P2));
        COUNT = COUNT + 1;
        if (Y2 < YLO) {
          for (int j = 0; j < N; ++j) P[IHI][j] = P2[j];
          FVAL[IHI] = Y2;
        } else {
          for (int j = 0; j < N; ++j) P[IHI][j] = PSTAR[j];
          FVAL[IHI] = YSTAR;
        }
      } else {
        int L = 0;
        for (int k = 0; k < NN; ++k) {
          if (FVAL[k] > YSTAR) ++L;
        }
        if (L >= 1) {
          for (int j = 0; j < N; ++j) P[IHI][j] = PSTAR[j];
          FVAL[IHI] = YSTAR;
        }
        if (L <= 1) {
          // Contraction towards the centroid from the (possibly new) vertex IHI.
          for (int j = 0; j < N; ++j) P2[j] = kCcoeff * P[IHI][j] + (1.0 - kCcoeff) * PBAR[j];
          const double Y2 = Clean(objective(P2));
          COUNT = COUNT + 1;
          if (Y2 <= FVAL[IHI]) {
            for (int j = 0; j < N; ++j) P[IHI][j] = P2[j];
            FVAL[IHI] = Y2;
          } else {
            // Shrink every vertex towards the lowest one; BEST serves as the
            // argument vector.
            SUM = 0.0;
            SUMSQ = 0.0;
            for (int k = 0; k < NN; ++k) {
              for (int j = 0; j < N; ++j) {
                P[k][j] = (P[k][j] + P[ILO][j]) * kShrink;
                BEST[j] = P[k][j];
              }
              FVAL[k] = Clean(objective(BEST));
              SUM = SUM + FVAL[k];
              SUMSQ = SUMSQ + FVAL[k] * FVAL[k];
            }
            COUNT = COUNT + NN;
            shrunk = true;
          }
        }
      }
      if (!shrunk) {
        SUM = SUM + FVAL[IHI];
        SUMSQ = SUMSQ + FVAL[IHI] * FVAL[IHI];
      }

      if (stopped) break;
      CHECK = CHECK - 1;
      if (CHECK != 0) continue;
      if (COUNT > LIMIT) break;
      CHECK = NCHECK;
      if (!std::isfinite(SUM) || !std::isfinite(SUMSQ)) {
        // An infinite vertex value has left the running sums without a
        // number; start them afresh from the present values.
        SUM = 0.0;
        SUMSQ = 0.0;
        for (int k = 0; k < NN; ++k) {
          SUM = SUM + FVAL[k];
          SUMSQ = SUMSQ + FVAL[k] * FVAL[k];
        }
      }
      const double VAR = (SUMSQ - SUM * SUM / DNN) / DN;
      if (VAR < REQMIN) break;
    }

    // The lowest vertex of the final simplex is the result (first lowest
    // wins on ties).
    int ILO = 0;
    for (int k = 1; k < NN; ++k) {
      if (FVAL[k] < FVAL[ILO]) ILO = k;
    }
    for (int j = 0; j < N; ++j) BEST[j] = P[ILO][j];
    FBEST = FVAL[ILO];
    if (COUNT > LIMIT || stopped) {
      // The budget ran out only if the evaluations themselves passed it, not
      // the 10000 a restart adds to stop soon after it.
      tell(!stopped && COUNT - kRestartCount * restarts > LIMIT, stopped);
      return;
    }

    // Probe a small step either way along every axis; a better point
    // restarts the search there with a much smaller simplex.
    bool better = false;
    for (int j = 0; j < N; ++j) {
      const double D = STEP[j] * kProbe;
      BEST[j] = BEST[j] + D;
      if (objective(BEST) < FBEST) {
        better = true;
        break;
      }
      BEST[j] = BEST[j] - D - D;
      if (objective(BEST) < FBEST) {
        better = true;
        break;
      }
      BEST[j] = BEST[j] + D;
    }
    if (!better) {
      tell(false, false);
      return;
    }

    for (int j = 0; j < N; ++j) START[j] = BEST[j];
    DEL = kRestartDel;
    COUNT = COUNT + kRestartCount;
    ++restarts;
  }
}

}  // namespace fit
