// `Minimise`: Nelder-Mead simplex search with a convergence test on the
// variance of the vertex values, then probing along every axis and a restart
// from a better probe point.
#include "fit/fit.h"
#include "fit/simplex.h"

namespace fit {
namespace {

constexpr double kRcoeff = 1.0;        // reflection
constexpr double kEcoeff = 2.0;        // expansion
constexpr double kCcoeff = 0.5;        // contraction
constexpr double kProbe = 0.001;       // probe step as a fraction of STEP
constexpr double kRestartDel = 0.001;  // DEL of a restarted simplex
constexpr int kRestartCount = 10000;

// The entry faults, summed: -1 REQMIN, -10 N, -100 NCHECK; 0 if none.
int EntryFaults(int N, double REQMIN, int NCHECK) {
  int faults = 0;
  if (!(REQMIN > 0.0)) faults -= 1;
  if (N > kMaxDim || N < 0) faults -= 10;  // a negative N would index outside the store
  if (NCHECK < 1) faults -= 100;
  return faults;
}

// One iteration: reflection of the highest vertex through the centroid of
// the others, then expansion, contraction or a shrink. Returns the
// evaluations made.
int Iterate(Simplex& s) {
  const int N = s.N;
  double PBAR[kMaxDim];
  double PSTAR[kMaxDim];
  double P2[kMaxDim];
  s.Order();
  s.Centroid(PBAR);
  for (int j = 0; j < N; ++j) PSTAR[j] = (1.0 + kRcoeff) * PBAR[j] - kRcoeff * s.P[s.IHI][j];
  const double YSTAR = s.Value(PSTAR);

  if (YSTAR < s.YLO) {
    // Expansion; its value is compared with the lowest value before this
    // iteration, not with YSTAR.
    for (int j = 0; j < N; ++j) P2[j] = kEcoeff * PSTAR[j] + (1.0 - kEcoeff) * PBAR[j];
    const double Y2 = s.Value(P2);
    if (Y2 < s.YLO) {
      s.Replace(P2, Y2);
    } else {
      s.Replace(PSTAR, YSTAR);
    }
    s.Rejoin();
    return 2;
  }
  int L = 0;
  for (int k = 0; k <= N; ++k) {
    if (s.FVAL[k] > YSTAR) ++L;
  }
  if (L >= 1) s.Replace(PSTAR, YSTAR);
  if (L > 1) {
    s.Rejoin();
    return 1;
  }
  // Contraction towards the centroid from the (possibly new) highest vertex.
  for (int j = 0; j < N; ++j) P2[j] = kCcoeff * s.P[s.IHI][j] + (1.0 - kCcoeff) * PBAR[j];
  const double Y2 = s.Value(P2);
  if (Y2 <= s.FVAL[s.IHI]) {
    s.Replace(P2, Y2);
    s.Rejoin();
    return 2;
  }
  return 2 + s.Shrink();
}

// Probes a small step either way along every axis from BEST. Returns true,
// with BEST at the probe point, when a probe is lower than FBEST.
bool Probe(const ObjectiveFn& objective, int N, double* BEST, double FBEST, const double* STEP) {
  for (int j = 0; j < N; ++j) {
    const double D = STEP[j] * kProbe;
    BEST[j] = BEST[j] + D;
    if (objective(BEST) < FBEST) return true;
    BEST[j] = BEST[j] - D - D;
    if (objective(BEST) < FBEST) return true;
    BEST[j] = BEST[j] + D;
  }
  return false;
}

}  // namespace

void Minimise(const ObjectiveFn& function, SimplexStore& store, int N, double* START, double* BEST,
              double& FBEST, double REQMIN, const double* STEP, int NCHECK, int& COUNT,
              MinimiseOutcome* OUTCOME, const StopFn& stop) {
  if (OUTCOME != nullptr) *OUTCOME = MinimiseOutcome{};
  // The faults add up and nothing else is changed.
  const int LIMIT = COUNT;
  COUNT = EntryFaults(N, REQMIN, NCHECK);
  if (COUNT < 0) return;

  // Once `stop` has answered true the search ends after this iteration.
  bool stopped = false;
  const ObjectiveFn objective = [&](const double* p) {
    if (!stopped && stop && stop()) stopped = true;
    return function(p);
  };
  int restarts = 0;
  Simplex s(objective, store, N);
  int CHECK = NCHECK;
  double DEL = 1.0;
  for (;;) {
    // The evaluations that build the simplex are not counted.
    s.Build(START, STEP, DEL);
    // Iterations until the budget is used up or the vertex values agree.
    for (;;) {
      COUNT = COUNT + Iterate(s);
      if (stopped) break;
      // The budget at every iteration, the convergence every NCHECK.
      if (COUNT > LIMIT) break;
      CHECK = CHECK - 1;
      if (CHECK != 0) continue;
      CHECK = NCHECK;
      if (s.Variance() < REQMIN) break;
    }
    FBEST = s.Lowest(BEST);
    const int evaluations = COUNT - kRestartCount * restarts;
    // The budget ran out only if the evaluations themselves passed it, not
    // the 10000 a restart adds to stop soon after it.
    const bool exhausted = !stopped && evaluations > LIMIT;
    // A better probe point restarts the search there with a much smaller
    // simplex.
    if (COUNT > LIMIT || stopped || !Probe(objective, N, BEST, FBEST, STEP)) {
      if (OUTCOME != nullptr) *OUTCOME = {evaluations, restarts, exhausted, stopped};
      return;
    }
    for (int j = 0; j < N; ++j) START[j] = BEST[j];
    DEL = kRestartDel;
    COUNT = COUNT + kRestartCount;
    ++restarts;
  }
}

}  // namespace fit
