// Jacobian by central differences, covariance through a singular value
// decomposition, and the Student t quantile for the intervals.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/analysis.h"

namespace analysis {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

// A singular value below this fraction of the largest (columns scaled to
// unit length) counts as zero: the central differences are good to about
// 1.0E-10 relative, so anything smaller is noise.
constexpr double kRankTolerance = 1.0E-8;
// A parameter whose unit vector has more than this squared share in the
// null space is undetermined.
constexpr double kNullShare = 1.0E-4;

bool AllFinite(const std::vector<double>& v) {
  return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

// Probability that |T| < t for Student's t with an integer dof, from the
// closed series in theta = atan(t / sqrt(dof)).
double CentralProbability(double theta, int dof) {
  const double s = std::sin(theta), c = std::cos(theta), c2 = c * c;
  if (dof % 2 == 0) {
    double term = 1.0, sum = 1.0;
    for (int k = 2; k <= dof - 2; k += 2) {
      term *= c2 * (k - 1) / k;
      sum += term;
    }
    return s * sum;
  }
  if (dof == 1) return 2.0 * theta / kPi;
  double term = c, sum = c;
  for (int k = 3; k <= dof - 2; k += 2) {
    term *= c2 * (k - 1) / k;
    sum += term;
  }
  return 2.0 / kPi * (theta + s * sum);
}

// Everything the residuals at `p` give without the Jacobian; the rest not a
// number for now.
Statistics Measures(const Problem& problem, const std::vector<double>& p) {
  Statistics st;
  const int n = problem.points;
  const int npar = static_cast<int>(p.size());
  st.points = n;
  st.parameters = npar;
  st.dof = n - npar;
  st.std_error.assign(npar, kNaN);
  st.covariance.assign(npar, std::vector<double>(npar, kNaN));
  st.correlation.assign(npar, std::vector<double>(npar, kNaN));
  st.undetermined.assign(npar, false);  // known only once the Jacobian is
  st.condition_number = kNaN;
  st.t95 = StudentT95(st.dof);

  st.rss = Rss(problem, p);
  st.residual_variance = st.dof > 0 ? st.rss / st.dof : kNaN;
  st.aic = kNaN;
  st.bic = kNaN;
  if (n > 0 && st.rss > 0.0 && std::isfinite(st.rss)) {
    const double base = n * std::log(st.rss / n);
    st.aic = base + 2.0 * npar;
    st.bic = base + npar * std::log(static_cast<double>(n));
  }
  return st;
}

// The covariance and correlation of the determined parameters from the
// singular values `s` and right singular vectors `V` of the scaled Jacobian,
// its column norms `D` and its rank.
void Covariance(Statistics& st, const Eigen::VectorXd& s, const Eigen::MatrixXd& V,
                const Eigen::VectorXd& D, int rank) {
  const int npar = st.parameters;
  // Pseudo-inverse of Js^T Js over the determined directions, then back to
  // the units of the parameters.
  Eigen::MatrixXd inv = Eigen::MatrixXd::Zero(npar, npar);
  for (int k = 0; k < rank; ++k) inv += V.col(k) * V.col(k).transpose() / (s(k) * s(k));
  for (int i = 0; i < npar; ++i) {
    if (st.undetermined[i]) continue;
    for (int j = 0; j < npar; ++j) {
      if (st.undetermined[j]) continue;
      st.covariance[i][j] = st.residual_variance * inv(i, j) / (D(i) * D(j));
    }
    st.std_error[i] = std::sqrt(st.covariance[i][i]);
  }
  for (int i = 0; i < npar; ++i) {
    for (int j = 0; j < npar; ++j) {
      const double denom = st.std_error[i] * st.std_error[j];
      if (denom > 0.0) st.correlation[i][j] = i == j ? 1.0 : st.covariance[i][j] / denom;
    }
  }
}

}  // namespace

double Rss(const Problem& problem, const std::vector<double>& p) {
  std::vector<double> r(problem.points);
  problem.residuals(p.data(), r.data());
  if (!AllFinite(r)) return kNaN;
  double sum = 0.0;
  for (double x : r) sum += x * x;
  return sum;
}

double StudentT95(int dof) {
  if (dof < 1) return kNaN;
  // Bisection on theta in (0, pi/2), where the probability rises from 0 to 1.
  double lo = 0.0, hi = kPi / 2.0;
  for (int k = 0; k < 200 && hi - lo > 1.0E-16; ++k) {
    const double mid = 0.5 * (lo + hi);
    if (CentralProbability(mid, dof) < 0.95) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return std::sqrt(static_cast<double>(dof)) * std::tan(0.5 * (lo + hi));
}

// The step for parameter j is cbrt(eps) times its size (or its typical size
// where it is 0), which balances truncation and rounding error of a central
// difference; the step actually taken, (p+h) - (p-h), is the divisor.
bool Jacobian(const Problem& problem, const std::vector<double>& p,
              std::vector<std::vector<double>>& J) {
  const int n = problem.points;
  const int npar = static_cast<int>(p.size());
  const double rel = std::cbrt(std::numeric_limits<double>::epsilon());
  J.assign(npar, std::vector<double>(n, 0.0));
  std::vector<double> x = p, rp(n), rm(n);
  for (int j = 0; j < npar; ++j) {
    double size = std::fabs(p[j]);
    if (size == 0.0) {
      size = j < static_cast<int>(problem.scale.size()) ? std::fabs(problem.scale[j]) : 1.0;
      if (!(size > 0.0) || !std::isfinite(size)) size = 1.0;
    }
    const double h = rel * size;
    x[j] = p[j] + h;
    const double up = x[j];
    problem.residuals(x.data(), rp.data());
    x[j] = p[j] - h;
    const double down = x[j];
    problem.residuals(x.data(), rm.data());
    x[j] = p[j];
    for (int i = 0; i < n; ++i) J[j][i] = (rp[i] - rm[i]) / (up - down);
    if (!AllFinite(J[j])) return false;
  }
  return true;
}

Statistics Analyse(const Problem& problem, const std::vector<double>& p) {
  Statistics st = Measures(problem, p);
  const int n = problem.points;
  const int npar = static_cast<int>(p.size());
  if (npar == 0 || !std::isfinite(st.rss)) return st;

  std::vector<std::vector<double>> J;
  if (!Jacobian(problem, p, J)) return st;

  // J = Js D with the columns of Js of unit length, so that the condition
  // number and the rank do not depend on the units of the parameters.
  Eigen::MatrixXd Js(n, npar);
  Eigen::VectorXd D(npar);
  for (int j = 0; j < npar; ++j) {
    const Eigen::Map<const Eigen::VectorXd> col(J[j].data(), n);
    D(j) = col.norm();
    if (D(j) > 0.0) {
      Js.col(j) = col / D(j);
    } else {
      Js.col(j).setZero();
    }
  }
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(Js, Eigen::ComputeThinV);
  const Eigen::VectorXd& s = svd.singularValues();
  const Eigen::MatrixXd& V = svd.matrixV();
  const int k_count = static_cast<int>(s.size());  // min(n, npar)
  int rank = 0;
  while (rank < k_count && s(rank) > kRankTolerance * s(0)) ++rank;
  if (k_count == npar && s(npar - 1) > 0.0) st.condition_number = s(0) / s(npar - 1);

  // Parameters with a share in the null space (columns of V beyond the rank,
  // and every direction the points cannot reach when n < npar).
  for (int j = 0; j < npar; ++j) {
    double inside = 0.0;
    for (int k = 0; k < rank; ++k) inside += V(j, k) * V(j, k);
    st.undetermined[j] = D(j) == 0.0 || 1.0 - inside > kNullShare;
  }
  if (!(st.residual_variance >= 0.0) || !std::isfinite(st.residual_variance)) return st;
  Covariance(st, s, V, D, rank);
  return st;
}

}  // namespace analysis
