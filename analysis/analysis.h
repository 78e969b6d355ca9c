// Least-squares statistics from the Jacobian of the residuals, and a check of
// the minimum by a Levenberg-Marquardt refinement. The model is seen only
// through a residual function.
#ifndef SUSCEP_ANALYSIS_ANALYSIS_H_
#define SUSCEP_ANALYSIS_ANALYSIS_H_

#include <functional>
#include <limits>
#include <vector>

namespace analysis {

// The residuals (observed minus calculated) of the parameter vector `p`:
// writes Problem::points values to `residuals`. It must not change `p`.
using ResidualFn = std::function<void(const double* p, double* residuals)>;

struct Problem {
  ResidualFn residuals;
  int points = 0;
  // Typical size of each parameter (from its start and step): the difference
  // step follows the larger of it and |p|. Missing or non-positive entries:
  // |p| alone, 1 where p is 0.
  std::vector<double> scale;
  // Parameters held at their value: constants of the problem, neither
  // differenced nor moved. Missing entries count as free.
  std::vector<bool> held;
  // Size of the model's values (root of the sum of squares of the observed
  // values): a column that changes the residuals by no more than rounding
  // relative to it is undetermined. 0: no such test.
  double model_size = 0.0;
  // Asked before every evaluation; true ends the work, which then reports
  // itself interrupted. Optional.
  std::function<bool()> stop;
  // Optional: the Jacobian of the same residuals at a point close by (a
  // fit's last), column j at [j] (empty: none for j). A column given stands
  // in for the narrow difference quotient that the wider one is checked
  // against; where the two disagree the column is differenced in full.
  std::vector<std::vector<double>> nearby_jacobian;
};

// At most this many Levenberg-Marquardt iterations check a minimum.
constexpr int kCheckIterations = 10;

// Not-a-number stands for every value that cannot be given.
struct Statistics {
  int points = 0;
  int parameters = 0;  // all, held ones included
  int free = 0;        // not held
  int rank = 0;        // directions of the free parameters the data determine
  int dof = 0;         // points - rank
  double rss = 0.0;
  double residual_variance = 0.0;  // rss / dof
  double aic = 0.0;                // n ln(rss/n) + 2 rank
  double bic = 0.0;                // n ln(rss/n) + rank ln n
  double condition_number = 0.0;   // of the Jacobian of the free parameters, columns
                                   // scaled to unit length; not a number when any
                                   // is undetermined
  double t95 = 0.0;                // two-sided 95 % quantile of Student's t with dof
  std::vector<double> std_error;
  std::vector<std::vector<double>> covariance;
  std::vector<std::vector<double>> correlation;
  std::vector<bool> held;          // as the problem says
  std::vector<bool> undetermined;  // a free parameter the data cannot determine (false
                                   // where the Jacobian could not be found)
  std::vector<double> step;        // the difference step of each free parameter (0 when held)
  bool interrupted = false;        // Problem::stop ended the work: nothing past rss is known
};

// The residual sum of squares at `p`; not a number if a residual is not
// finite.
double Rss(const Problem& problem, const std::vector<double>& p);

// Statistics with nothing known, for the parameters `held` or free on `points`
// points: what a result shows when no analysis could be made.
Statistics Unknown(int points, const std::vector<bool>& held);

// Statistics of the residuals at `p`; `rss`, when a number, is Rss(problem,
// p) already known, and saves evaluating it again.
Statistics Analyse(const Problem& problem, const std::vector<double>& p,
                   double rss = std::numeric_limits<double>::quiet_NaN());

struct MinimumCheck {
  bool ran = false;          // false: no refinement was possible (values are then the start)
  bool interrupted = false;  // Problem::stop ended it (values are then the start)
  int iterations = 0;
  std::vector<double> values;  // the refined parameters; held and undetermined ones stay
  double rss = 0.0;            // at `values`
  Statistics statistics;       // at `values`
};

// Levenberg-Marquardt refinement of `start` over the parameters that are
// free and determined by `at_start` (the statistics at `start`), at most
// `max_iterations` Jacobian evaluations. Never ends worse than `start`.
MinimumCheck CheckMinimum(const Problem& problem, const std::vector<double>& start,
                          const Statistics& at_start, int max_iterations = kCheckIterations);
// The same, with the statistics at `start` worked out first.
MinimumCheck CheckMinimum(const Problem& problem, const std::vector<double>& start,
                          int max_iterations = kCheckIterations);

// The two-sided 95 % quantile of Student's t with `dof` degrees of freedom;
// not-a-number for dof < 1.
double StudentT95(int dof);

// The Jacobian of the residuals at `p` by central differences, column by
// column (J[j][i] = d residual i / d p_j; a held parameter's column is 0);
// false if a residual is not finite or the problem was stopped.
bool Jacobian(const Problem& problem, const std::vector<double>& p,
              std::vector<std::vector<double>>& J);

}  // namespace analysis

#endif  // SUSCEP_ANALYSIS_ANALYSIS_H_
