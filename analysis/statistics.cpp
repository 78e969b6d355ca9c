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
// A difference of the residuals no larger than this many ulps of the model's
// size is rounding: the noise of two evaluations is a few ulps of each value.
constexpr double kRoundingUlps = 256.0;
// The second difference quotient of a column is taken with a step this many
// times as large; the two must agree to this fraction; where they do not,
// the step widens as often as this.
constexpr double kWider = 10.0;
constexpr double kAgreement = 0.05;
constexpr int kMaxWidenings = 2;

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

// The two-sided 95 % quantile of Student's t with `dof` >= 1.
double Quantile95(int dof) {
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

bool Held(const Problem& problem, int j) {
  return j < static_cast<int>(problem.held.size()) && problem.held[j];
}

// The larger of |p_j| and the parameter's typical size; 1 when both are 0.
double TypicalSize(const Problem& problem, const std::vector<double>& p, int j) {
  double size = std::fabs(p[j]);
  if (j < static_cast<int>(problem.scale.size())) {
    const double scale = std::fabs(problem.scale[j]);
    if (std::isfinite(scale)) size = std::fmax(size, scale);
  }
  return size > 0.0 && std::isfinite(size) ? size : 1.0;
}

// After rss and the rank: the degrees of freedom and what follows from them.
void Complete(Statistics& st) {
  const int n = st.points;
  st.dof = n - st.rank;
  st.t95 = StudentT95(st.dof);
  st.residual_variance = st.dof > 0 ? st.rss / st.dof : kNaN;
  st.aic = kNaN;
  st.bic = kNaN;
  if (n > 0 && st.rss > 0.0 && std::isfinite(st.rss)) {
    const double base = n * std::log(st.rss / n);
    st.aic = base + 2.0 * st.rank;
    st.bic = base + st.rank * std::log(static_cast<double>(n));
  }
}

std::vector<bool> HeldFlags(const Problem& problem, int npar) {
  std::vector<bool> held(npar);
  for (int j = 0; j < npar; ++j) held[j] = Held(problem, j);
  return held;
}

enum class Outcome { kDone, kNotFinite, kStopped };

// The central-difference columns of the free parameters.
struct Columns {
  std::vector<std::vector<double>> J;  // J[j][i]; 0 for a held parameter
  std::vector<double> step;            // the step h of each column, 0 when held
  std::vector<bool> rounding;          // the difference is at rounding level
};

// Residuals at `x` through the stop request.
Outcome Evaluate(const Problem& problem, const double* x, double* r) {
  if (problem.stop && problem.stop()) return Outcome::kStopped;
  problem.residuals(x, r);
  return Outcome::kDone;
}

// Column j with step h: `col` the difference quotient, `size` the norm of the
// difference of the residuals.
Outcome Column(const Problem& problem, std::vector<double>& x, int j, double h,
               std::vector<double>& col, double& size) {
  const int n = problem.points;
  std::vector<double> rp(n), rm(n);
  const double p = x[j];
  x[j] = p + h;
  const double up = x[j];
  Outcome outcome = Evaluate(problem, x.data(), rp.data());
  x[j] = p - h;
  const double down = x[j];
  if (outcome == Outcome::kDone) outcome = Evaluate(problem, x.data(), rm.data());
  x[j] = p;
  if (outcome != Outcome::kDone) return outcome;
  col.resize(n);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double d = rp[i] - rm[i];
    sum += d * d;
    col[i] = d / (up - down);
  }
  size = std::sqrt(sum);
  return AllFinite(col) ? Outcome::kDone : Outcome::kNotFinite;
}

// Whether the columns `a` and `b` agree within kAgreement of b's norm.
bool Agree(const std::vector<double>& a, const std::vector<double>& b) {
  double apart = 0.0, norm = 0.0;
  for (std::size_t i = 0; i < b.size(); ++i) {
    apart += (b[i] - a[i]) * (b[i] - a[i]);
    norm += b[i] * b[i];
  }
  return apart <= kAgreement * kAgreement * norm;
}

// Column j with the wider step kWider h, into `col`, when it agrees with
// the problem's nearby column j: what the narrow quotient would have
// confirmed. False (nothing decided) without a nearby column, or when the
// wider one is not finite or does not agree.
bool NearbyAgrees(const Problem& problem, std::vector<double>& x, int j, double h,
                  std::vector<double>& col, double& size) {
  if (j >= static_cast<int>(problem.nearby_jacobian.size())) return false;
  const std::vector<double>& nearby = problem.nearby_jacobian[j];
  if (static_cast<int>(nearby.size()) != problem.points || !AllFinite(nearby)) return false;
  std::vector<double> wider;
  double wider_size = 0.0;
  if (Column(problem, x, j, kWider * h, wider, wider_size) != Outcome::kDone) return false;
  if (!Agree(nearby, wider)) return false;
  col.swap(wider);
  size = wider_size;
  return true;
}

// The columns at `p`, and the rounding flags.
//
// The step of parameter j starts at cbrt(eps) times the larger of |p_j| and
// its typical size, which balances truncation and rounding error of a
// central difference even where p_j is near 0 but its effect is not. The
// quotient is taken again with a step kWider times as large: where the two
// agree (within kAgreement of the wider one's norm) the wider one stands, as
// the less noisy; where they do not, the model's own rounding (a
// cancellation, say) drowns the effect, and the step widens, at most
// kMaxWidenings times. A column that never agrees, or whose difference of
// the residuals is within kRoundingUlps ulps of the model's size, is
// rounding: flagged. The step actually taken, (p+h) - (p-h), is the divisor.
Outcome Differences(const Problem& problem, const std::vector<double>& p, Columns& c) {
  const int n = problem.points;
  const int npar = static_cast<int>(p.size());
  const double rel = std::cbrt(std::numeric_limits<double>::epsilon());
  const double level = kRoundingUlps * std::numeric_limits<double>::epsilon() * problem.model_size;
  c.J.assign(npar, std::vector<double>(n, 0.0));
  c.step.assign(npar, 0.0);
  c.rounding.assign(npar, false);
  std::vector<double> x = p, wider;
  for (int j = 0; j < npar; ++j) {
    if (Held(problem, j)) continue;
    double h = rel * TypicalSize(problem, p, j);
    double size = 0.0;
    if (NearbyAgrees(problem, x, j, h, c.J[j], size)) {
      c.rounding[j] = problem.model_size > 0.0 && size <= level;
      c.step[j] = kWider * h;
      continue;
    }
    Outcome outcome = Column(problem, x, j, h, c.J[j], size);
    if (outcome != Outcome::kDone) return outcome;
    bool agreed = false;
    for (int k = 0; k <= kMaxWidenings && !agreed; ++k) {
      double wider_size = 0.0;
      outcome = Column(problem, x, j, kWider * h, wider, wider_size);
      if (outcome == Outcome::kStopped) return outcome;
      if (outcome == Outcome::kNotFinite) {
        agreed = true;  // wider reaches where the model fails: the narrower stands
        break;
      }
      agreed = Agree(c.J[j], wider);
      h *= kWider;
      c.J[j].swap(wider);
      size = wider_size;
    }
    c.rounding[j] = !agreed || (problem.model_size > 0.0 && size <= level);
    c.step[j] = h;
  }
  return Outcome::kDone;
}

// The covariance and correlation of the determined parameters from the
// singular values `s` and right singular vectors `V` of the scaled Jacobian
// of the columns `used`, their norms `D` and its rank.
void Covariance(Statistics& st, const std::vector<int>& used, const Eigen::VectorXd& s,
                const Eigen::MatrixXd& V, const Eigen::VectorXd& D, int rank) {
  const int k_used = static_cast<int>(used.size());
  // Pseudo-inverse of Js^T Js over the determined directions, then back to
  // the units of the parameters.
  Eigen::MatrixXd inv = Eigen::MatrixXd::Zero(k_used, k_used);
  for (int k = 0; k < rank; ++k) inv += V.col(k) * V.col(k).transpose() / (s(k) * s(k));
  for (int a = 0; a < k_used; ++a) {
    const int i = used[a];
    if (st.undetermined[i]) continue;
    for (int b = 0; b < k_used; ++b) {
      const int j = used[b];
      if (st.undetermined[j]) continue;
      st.covariance[i][j] = st.residual_variance * inv(a, b) / (D(a) * D(b));
    }
    st.std_error[i] = std::sqrt(st.covariance[i][i]);
  }
  const int npar = st.parameters;
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
  // A batch asks for the same dof over and over: the last answer is kept,
  // one per thread.
  thread_local int last_dof = 0;
  thread_local double last_t = 0.0;
  if (dof == last_dof) return last_t;
  last_t = Quantile95(dof);
  last_dof = dof;
  return last_t;
}

bool Jacobian(const Problem& problem, const std::vector<double>& p,
              std::vector<std::vector<double>>& J) {
  Columns c;
  const bool done = Differences(problem, p, c) == Outcome::kDone;
  J.swap(c.J);
  return done;
}

Statistics Unknown(int points, const std::vector<bool>& held) {
  Statistics st;
  const int npar = static_cast<int>(held.size());
  st.points = points;
  st.parameters = npar;
  st.held = held;
  st.free = static_cast<int>(std::count(held.begin(), held.end(), false));
  st.rank = st.free;
  st.dof = points - st.free;
  st.rss = st.residual_variance = st.aic = st.bic = st.condition_number = st.t95 = kNaN;
  st.std_error.assign(npar, kNaN);
  st.covariance.assign(npar, std::vector<double>(npar, kNaN));
  st.correlation.assign(npar, std::vector<double>(npar, kNaN));
  st.undetermined.assign(npar, false);
  st.step.assign(npar, 0.0);
  return st;
}

Statistics Analyse(const Problem& problem, const std::vector<double>& p, double rss) {
  const int n = problem.points;
  const int npar = static_cast<int>(p.size());
  Statistics st = Unknown(n, HeldFlags(problem, npar));
  st.rss = std::isnan(rss) ? Rss(problem, p) : rss;
  // Until the Jacobian says otherwise, every free parameter counts.
  Complete(st);
  if (st.free == 0 || !std::isfinite(st.rss)) return st;

  Columns c;
  const Outcome outcome = Differences(problem, p, c);
  if (outcome == Outcome::kStopped) {
    st = Unknown(n, st.held);
    st.interrupted = true;
    return st;
  }
  if (outcome == Outcome::kNotFinite) return st;
  st.step = c.step;

  // The free columns above rounding level, J = Js D with the columns of Js
  // of unit length, so that the condition number and the rank do not depend
  // on the units of the parameters.
  std::vector<int> used;
  for (int j = 0; j < npar; ++j) {
    if (st.held[j]) continue;
    const double norm = Eigen::Map<const Eigen::VectorXd>(c.J[j].data(), n).norm();
    if (c.rounding[j] || norm == 0.0) {
      st.undetermined[j] = true;
    } else {
      used.push_back(j);
    }
  }
  const int k_used = static_cast<int>(used.size());
  st.rank = 0;
  if (k_used > 0) {
    Eigen::MatrixXd Js(n, k_used);
    Eigen::VectorXd D(k_used);
    for (int a = 0; a < k_used; ++a) {
      const Eigen::Map<const Eigen::VectorXd> col(c.J[used[a]].data(), n);
      D(a) = col.norm();
      Js.col(a) = col / D(a);
    }
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(Js, Eigen::ComputeThinV);
    const Eigen::VectorXd& s = svd.singularValues();
    const Eigen::MatrixXd& V = svd.matrixV();
    const int k_count = static_cast<int>(s.size());  // min(n, k_used)
    while (st.rank < k_count && s(st.rank) > kRankTolerance * s(0)) ++st.rank;
    // Parameters with a share in the null space (columns of V beyond the
    // rank, and every direction the points cannot reach when n < k_used).
    for (int a = 0; a < k_used; ++a) {
      double inside = 0.0;
      for (int k = 0; k < st.rank; ++k) inside += V(a, k) * V(a, k);
      st.undetermined[used[a]] = 1.0 - inside > kNullShare;
    }
    Complete(st);
    const bool all_determined =
        std::none_of(st.undetermined.begin(), st.undetermined.end(), [](bool u) { return u; });
    if (all_determined && k_count == k_used && s(k_used - 1) > 0.0) {
      st.condition_number = s(0) / s(k_used - 1);
    }
    if (st.residual_variance >= 0.0 && std::isfinite(st.residual_variance)) {
      Covariance(st, used, s, V, D, st.rank);
    }
  } else {
    Complete(st);
  }
  return st;
}

}  // namespace analysis
