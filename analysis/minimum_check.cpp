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

struct Functor {
  const Problem& problem;

  int values() const { return problem.points; }

  int operator()(const Eigen::VectorXd& x, Eigen::VectorXd& fvec) const {
    problem.residuals(x.data(), fvec.data());
    for (int i = 0; i < fvec.size(); ++i) {
      if (!std::isfinite(fvec(i))) fvec(i) = kHuge;
    }
    return 0;
  }

  // The same central differences as the statistics; a Jacobian that is not
  // finite ends the refinement.
  int df(const Eigen::VectorXd& x, Eigen::MatrixXd& fjac) const {
    std::vector<std::vector<double>> J;
    if (!Jacobian(problem, std::vector<double>(x.data(), x.data() + x.size()), J)) return -1;
    for (int j = 0; j < fjac.cols(); ++j) {
      for (int i = 0; i < fjac.rows(); ++i) fjac(i, j) = J[j][i];
    }
    return 0;
  }
};

}  // namespace

MinimumCheck CheckMinimum(const Problem& problem, const std::vector<double>& start,
                          int max_iterations) {
  MinimumCheck check;
  check.values = start;
  check.rss = Rss(problem, start);
  const int npar = static_cast<int>(start.size());
  // No refinement without parameters, with fewer points than parameters or
  // from a start that is not finite; none is needed after an exact fit.
  const bool possible = npar > 0 && problem.points >= npar && std::isfinite(check.rss);
  if (possible && check.rss == 0.0) {
    check.ran = true;
  } else if (possible) {
    Functor functor{problem};
    Eigen::LevenbergMarquardt<Functor> lm(functor);
    // Evaluations within one iteration are bounded by the step-size
    // shrinking; this only stops a runaway.
    lm.parameters.maxfev = 100 * (max_iterations + 1);
    Eigen::VectorXd x = Eigen::Map<const Eigen::VectorXd>(start.data(), npar);
    auto status = lm.minimizeInit(x);
    if (status != Eigen::LevenbergMarquardtSpace::ImproperInputParameters &&
        status != Eigen::LevenbergMarquardtSpace::UserAsked) {
      check.ran = true;
      while (check.iterations < max_iterations) {
        status = lm.minimizeOneStep(x);
        ++check.iterations;
        if (status != Eigen::LevenbergMarquardtSpace::Running) break;
      }
      const std::vector<double> refined(x.data(), x.data() + npar);
      const double rss = Rss(problem, refined);
      if (rss < check.rss) {
        check.values = refined;
        check.rss = rss;
      }
    }
  }
  check.statistics = Analyse(problem, check.values);
  return check;
}

}  // namespace analysis
