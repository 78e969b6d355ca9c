// Least-squares statistics from the Jacobian of the residuals, and a check of
// the minimum by a Levenberg-Marquardt refinement. The model is seen only
// through a residual function.
#ifndef SUSCEP_ANALYSIS_ANALYSIS_H_
#define SUSCEP_ANALYSIS_ANALYSIS_H_

#include <functional>
#include <vector>

namespace analysis {

// The residuals (observed minus calculated) of the parameter vector `p`:
// writes Problem::points values to `residuals`. It must not change `p`.
using ResidualFn = std::function<void(const double* p, double* residuals)>;

struct Problem {
  ResidualFn residuals;
  int points = 0;
  // Typical size of each parameter: sets the difference step where the
  // parameter itself is 0. Optional; missing entries count as 1.
  std::vector<double> scale;
};

// Not-a-number stands for every value that cannot be given.
struct Statistics {
  int points = 0;
  int parameters = 0;
  int dof = 0;  // points - parameters
  double rss = 0.0;
  double residual_variance = 0.0;  // rss / dof
  double aic = 0.0;                // n ln(rss/n) + 2p
  double bic = 0.0;                // n ln(rss/n) + p ln n
  double condition_number = 0.0;   // of the Jacobian with columns scaled to unit length
  double t95 = 0.0;                // two-sided 95 % quantile of Student's t with dof
  std::vector<double> std_error;
  std::vector<std::vector<double>> covariance;
  std::vector<std::vector<double>> correlation;
  std::vector<bool> undetermined;  // the data cannot determine the parameter (false
                                   // where the Jacobian could not be found)
};

// The residual sum of squares at `p`; not a number if a residual is not
// finite.
double Rss(const Problem& problem, const std::vector<double>& p);

// Statistics of the residuals at `p`.
Statistics Analyse(const Problem& problem, const std::vector<double>& p);

struct MinimumCheck {
  bool ran = false;  // false: no refinement was possible (values are then the start)
  int iterations = 0;
  std::vector<double> values;  // the refined parameters
  double rss = 0.0;            // at `values`
  Statistics statistics;       // at `values`
};

// Levenberg-Marquardt refinement of `start`, at most `max_iterations`
// Jacobian evaluations. Never ends worse than `start`.
MinimumCheck CheckMinimum(const Problem& problem, const std::vector<double>& start,
                          int max_iterations = 200);

// The two-sided 95 % quantile of Student's t with `dof` degrees of freedom;
// not-a-number for dof < 1.
double StudentT95(int dof);

// The Jacobian of the residuals at `p` by central differences, column by
// column (J[j][i] = d residual i / d p_j); false if a residual is not finite.
bool Jacobian(const Problem& problem, const std::vector<double>& p,
              std::vector<std::vector<double>>& J);

}  // namespace analysis

#endif  // SUSCEP_ANALYSIS_ANALYSIS_H_
