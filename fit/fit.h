// Simplex minimiser, standard deviations from a quadratic surface, and the
// symmetric matrix inversion they need; Levenberg-Marquardt and a
// multi-start search over a least-squares problem.
#ifndef SUSCEP_FIT_FIT_H_
#define SUSCEP_FIT_FIT_H_

#include <functional>
#include <string>
#include <vector>

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

// ---------------------------------------------------------------------------
// Least squares: the sum of squares of residuals, with bounds.

// Called about once per iteration with its number (from 1) and the sum of
// squares so far; false ends the search like the stop flag.
using ProgressFn = std::function<bool(int iteration, double cost)>;

struct LeastSquares {
  int points = 0;  // residuals
  // Writes `points` residuals for the parameter vector p; it must not change
  // p. A residual that is not finite makes the point unusable.
  std::function<void(const double* p, double* residuals)> residuals;
  // Per parameter; empty or infinite entries: unbounded on that side.
  std::vector<double> lower, upper;
  // Typical size of each parameter: the difference step follows the larger
  // of it and |p|. Missing or non-positive: |p|, 1 where p is 0.
  std::vector<double> scale;
  // Parameters held at their start. Missing entries are free.
  std::vector<bool> held;
  StopFn stop;          // asked before each evaluation; true ends the search
  ProgressFn progress;  // optional
};

struct LmSettings {
  int max_iterations = 200;  // Jacobians
  // Converged when an accepted step lowers the sum of squares by at most this
  // fraction and the linear model predicts no more; or when every parameter
  // moves by at most `xtol` of its size; or when the gradient, scaled to the
  // cosine between each column and the residuals, is below `gtol`.
  double ftol = 1.0E-12;
  double xtol = 1.0E-10;
  double gtol = 1.0E-10;
  // Told each accepted point and its sum of squares; true ends the run
  // there, converged, as one that has joined a minimum already known.
  std::function<bool(const std::vector<double>& x, double cost)> joined;
};

struct LmResult {
  std::vector<double> x;  // the best point (within the bounds)
  double cost = 0.0;      // sum of squares at x
  int iterations = 0;     // Jacobians evaluated
  int evaluations = 0;    // residual vectors evaluated, the Jacobians' included
  bool converged = false;
  bool joined = false;         // ended by LmSettings::joined
  bool stopped = false;        // by the stop flag or the progress callback
  std::string message;         // why it ended
  std::vector<bool> at_bound;  // a free parameter that ends on a bound
  // The last Jacobian, column j at [j * points + i] (0 for a held
  // parameter), taken at x or at the point before the last step; empty when
  // none was taken.
  std::vector<double> jacobian;
};

// Levenberg-Marquardt from `start` (moved inside the bounds) with forward-
// difference Jacobians, damping scaled by the Jacobian's column norms, and
// bounds kept by projection: a parameter on a bound whose gradient points
// out is left out of the step.
LmResult LevenbergMarquardt(const LeastSquares& problem, const std::vector<double>& start,
                            const LmSettings& settings = {});

// How the multi-start search spreads a parameter's starts over its range.
enum class Spacing {
  kLinear,
  kLog,    // low and high both above 0: evenly in the logarithm
  kAsinh,  // across 0: evenly in asinh(x / knee), dense near 0, wide in decades
};

struct StartRange {
  double low = 0.0;
  double high = 0.0;
  Spacing spacing = Spacing::kLinear;
  double knee = 1.0;  // kAsinh: below this size the spacing is nearly linear
};

struct MultiStartSettings {
  int screen = 64;  // points of the low-discrepancy set, one evaluation each
  int refine = 4;   // the best screened points refined by lm, with the start
  LmSettings lm;
  // Two refined points reach the same minimum when their sums of squares
  // differ by at most this fraction and each parameter by at most
  // `same_place` of its range (or of its size, where that is larger).
  double same_cost = 1.0E-6;
  double same_place = 1.0E-3;
  // A run whose point comes within these of a minimum an earlier run
  // reached ends there, counted as reaching it.
  double join_cost = 1.0E-4;
  double join_place = 1.0E-2;
};

struct Minimum {
  std::vector<double> x;
  double cost = 0.0;
  int starts = 0;  // refined starts that ended here
};

struct MultiStartResult {
  LmResult best;                // the lowest minimum, as lm ended there
  int screened = 0;             // points of the set evaluated
  int starts = 0;               // refined starts (the given start among them)
  int reached_best = 0;         // of those, ending at the best minimum
  std::vector<Minimum> minima;  // distinct, lowest first
  int evaluations = 0;          // all, screening included
  int iterations = 0;           // Jacobians, all runs
};

// The point k (from 0) of the fixed low-discrepancy set in [0,1)^dims: the
// additive recurrence of the generalised golden ratio.
void LowDiscrepancyPoint(int k, int dims, double* u);
// u in [0,1] mapped onto the range.
double FromUnit(const StartRange& range, double u);

// Screens `settings.screen` points spread over `ranges` (one per parameter;
// held ones stay at `start`), refines the best `settings.refine` of them and
// `start` with LevenbergMarquardt, and keeps the lowest. Deterministic: no
// random numbers, the same result in every thread. `screen`, when given,
// is a cheaper problem in the same parameters (fewer points) that ranks the
// screened points in place of `problem`.
MultiStartResult MultiStart(const LeastSquares& problem, const std::vector<double>& start,
                            const std::vector<StartRange>& ranges,
                            const MultiStartSettings& settings = {},
                            const LeastSquares* screen = nullptr);

}  // namespace fit

#endif  // SUSCEP_FIT_FIT_H_
