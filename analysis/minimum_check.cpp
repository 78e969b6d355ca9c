// A Levenberg-Marquardt refinement from the fitted values, with Eigen's
// MINPACK-derived implementation (see README.md).
#include <cmath>
#include <limits>
#include <unsupported/Eigen/NonLinearOptimization>

#include "analysis/analysis.h"

namespace analysis {
namespace {

// Stands in for a residual that is not a number, so that a trial step into
// such a region is rejected like any step that makes things worse.
constexpr double kHuge = 1.0E100;

// The problem over the parameters `active` only; the others stay at `base`.
struct Functor {
  const Problem& problem;
  const std::vector<int>& active;
  const std::vector<double>& steps;  // per parameter, from the statistics at the start
  mutable std::vector<double> full;
  mutable bool stopped = false;

  int values() const { return problem.points; }

  void Expand(const Eigen::VectorXd& x) const {
    for (int a = 0; a < x.size(); ++a) full[active[a]] = x(a);
  }

  // One evaluation at `full`; false when the problem was stopped.
  bool Residuals(double* r) const {
    if (problem.stop && problem.stop()) {
      stopped = true;
      return false;
    }
    problem.residuals(full.data(), r);
    return true;
  }

  int operator()(const Eigen::VectorXd& x, Eigen::VectorXd& fvec) const {
    Expand(x);
    if (!Residuals(fvec.data())) return -1;
    for (int i = 0; i < fvec.size(); ++i) {
      if (!std::isfinite(fvec(i))) fvec(i) = kHuge;
    }
    return 0;
  }

  // Central differences with the steps the statistics chose; a Jacobian that
  // is not finite ends the refinement.
  int df(const Eigen::VectorXd& x, Eigen::MatrixXd& fjac) const {
    Expand(x);
    const int n = problem.points;
    Eigen::VectorXd rp(n), rm(n);
    for (int a = 0; a < x.size(); ++a) {
      const int j = active[a];
      const double h = steps[j];
      full[j] = x(a) + h;
      const double up = full[j];
      const bool done = Residuals(rp.data());
      full[j] = x(a) - h;
      const double down = full[j];
      const bool also = done && Residuals(rm.data());
      full[j] = x(a);
      if (!also) return -1;
      fjac.col(a) = (rp - rm) / (up - down);
      if (!fjac.col(a).allFinite()) return -1;
    }
    return 0;
  }
};

}  // namespace

MinimumCheck CheckMinimum(const Problem& problem, const std::vector<double>& start,
                          const Statistics& at_start, int max_iterations) {
  MinimumCheck check;
  check.values = start;
  check.rss = at_start.rss;
  check.statistics = at_start;
  if (at_start.interrupted) {
    check.interrupted = true;
    return check;
  }
  // Only what the data determine is refined: a held or undetermined
  // parameter keeps its value.
  std::vector<int> active;
  for (int j = 0; j < static_cast<int>(start.size()); ++j) {
    if (!at_start.held[j] && !at_start.undetermined[j] && at_start.step[j] > 0.0) {
      active.push_back(j);
    }
  }
  const int k = static_cast<int>(active.size());
  // No refinement without such parameters, with fewer points than them or
  // from a start that is not finite; none is needed after an exact fit.
  const bool possible = k > 0 && problem.points >= k && std::isfinite(check.rss);
  if (!possible) return check;
  check.ran = true;
  if (check.rss == 0.0) return check;

  Functor functor{problem, active, at_start.step, start};
  Eigen::LevenbergMarquardt<Functor> lm(functor);
  // Evaluations within one iteration are bounded by the step-size
  // shrinking; this only stops a runaway.
  lm.parameters.maxfev = 10 * (max_iterations + 1);
  Eigen::VectorXd x(k);
  for (int a = 0; a < k; ++a) x(a) = start[active[a]];
  auto status = lm.minimizeInit(x);
  if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters) {
    check.ran = false;
    return check;
  }
  while (!functor.stopped && status != Eigen::LevenbergMarquardtSpace::UserAsked &&
         check.iterations < max_iterations) {
    status = lm.minimizeOneStep(x);
    ++check.iterations;
    if (status != Eigen::LevenbergMarquardtSpace::Running) break;
  }
  if (functor.stopped) {
    check.interrupted = true;
    check.statistics = Unknown(problem.points, at_start.held);
    check.statistics.interrupted = true;
    return check;
  }
  std::vector<double> refined = start;
  for (int a = 0; a < k; ++a) refined[active[a]] = x(a);
  const double rss = Rss(problem, refined);
  if (rss < check.rss) {
    check.values = refined;
    check.rss = rss;
    check.statistics = Analyse(problem, refined);
    check.interrupted = check.statistics.interrupted;
  }
  return check;
}

MinimumCheck CheckMinimum(const Problem& problem, const std::vector<double>& start,
                          int max_iterations) {
  return CheckMinimum(problem, start, Analyse(problem, start), max_iterations);
}

}  // namespace analysis
