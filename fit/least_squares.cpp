// Levenberg-Marquardt with bounds: forward-difference Jacobians, Marquardt's
// scaling of the damping by the columns' norms, Nielsen's update of the
// damping, and a projected step that leaves out parameters pinned on a bound.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "fit/fit.h"

namespace fit {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Forward differences: the square root of the rounding unit.
constexpr double kDifference = 1.4901161193847656E-8;
constexpr double kInitialDamping = 1.0E-3;
// Damping beyond this, relative to the scaled diagonal, makes no step that
// rounding would not hide: the point is as low as it gets.
constexpr double kMaxDamping = 1.0E16;

double Lower(const LeastSquares& p, int j) {
  return j < static_cast<int>(p.lower.size()) ? p.lower[j] : -kInf;
}
double Upper(const LeastSquares& p, int j) {
  return j < static_cast<int>(p.upper.size()) ? p.upper[j] : kInf;
}
bool Held(const LeastSquares& p, int j) { return j < static_cast<int>(p.held.size()) && p.held[j]; }
double Size(const LeastSquares& p, const std::vector<double>& x, int j) {
  double size = std::fabs(x[j]);
  if (j < static_cast<int>(p.scale.size()) && p.scale[j] > 0.0) size = std::fmax(size, p.scale[j]);
  return size > 0.0 ? size : 1.0;
}

// Solves A x = b for the symmetric positive definite n x n matrix A (row by
// row in `a`) by Cholesky; false when A is not positive definite.
bool SolveCholesky(std::vector<double> a, int n, std::vector<double>& b) {
  for (int j = 0; j < n; ++j) {
    double d = a[j * n + j];
    for (int k = 0; k < j; ++k) d -= a[j * n + k] * a[j * n + k];
    if (!(d > 0.0) || !std::isfinite(d)) return false;
    const double l = std::sqrt(d);
    a[j * n + j] = l;
    for (int i = j + 1; i < n; ++i) {
      double s = a[i * n + j];
      for (int k = 0; k < j; ++k) s -= a[i * n + k] * a[j * n + k];
      a[i * n + j] = s / l;
    }
  }
  for (int i = 0; i < n; ++i) {
    double s = b[i];
    for (int k = 0; k < i; ++k) s -= a[i * n + k] * b[k];
    b[i] = s / a[i * n + i];
  }
  for (int i = n - 1; i >= 0; --i) {
    double s = b[i];
    for (int k = i + 1; k < n; ++k) s -= a[k * n + i] * b[k];
    b[i] = s / a[i * n + i];
  }
  return true;
}

// The dot product of u and v (m entries) into *out.
struct Product {
  const double* u;
  const double* v;
  double* out;
};

// The products, four at a time: each sum is still taken in the order of
// its entries, so it has the bits of one taken alone, but four chains of
// additions are in flight instead of one.
void Dots(const std::vector<Product>& products, int m) {
  std::size_t k = 0;
  for (; k + 4 <= products.size(); k += 4) {
    const Product* p = &products[k];
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (int i = 0; i < m; ++i) {
      s0 += p[0].u[i] * p[0].v[i];
      s1 += p[1].u[i] * p[1].v[i];
      s2 += p[2].u[i] * p[2].v[i];
      s3 += p[3].u[i] * p[3].v[i];
    }
    *p[0].out = s0;
    *p[1].out = s1;
    *p[2].out = s2;
    *p[3].out = s3;
  }
  for (; k < products.size(); ++k) {
    double s = 0.0;
    for (int i = 0; i < m; ++i) s += products[k].u[i] * products[k].v[i];
    *products[k].out = s;
  }
}

class Solver {
 public:
  Solver(const LeastSquares& problem, const LmSettings& settings)
      : p_(problem), s_(settings), m_(problem.points) {}

  LmResult Run(const std::vector<double>& start);

 private:
  // The residuals at x into r; false when stopped. The sum of squares is
  // infinite where a residual is not finite.
  bool Evaluate(const std::vector<double>& x, std::vector<double>& r, double& cost) {
    if (p_.stop && p_.stop()) {
      out_.stopped = true;
      return false;
    }
    p_.residuals(x.data(), r.data());
    ++out_.evaluations;
    cost = 0.0;
    for (double v : r) cost += v * v;
    if (!std::isfinite(cost)) cost = kInf;
    return true;
  }
  bool Jacobian(const std::vector<double>& x, const std::vector<double>& r);
  void End(bool converged, const char* message) {
    out_.converged = converged;
    out_.message = message;
  }

  const LeastSquares& p_;
  const LmSettings& s_;
  const int m_;
  int n_ = 0;
  std::vector<double> J_;  // J_[j * m_ + i]: d r_i / d x_j
  LmResult out_;
};

bool Solver::Jacobian(const std::vector<double>& x, const std::vector<double>& r) {
  std::vector<double> xh = x, rh(m_);
  double cost = 0.0;
  for (int j = 0; j < n_; ++j) {
    double* col = &J_[static_cast<std::size_t>(j) * m_];
    if (Held(p_, j)) {
      std::fill(col, col + m_, 0.0);
      continue;
    }
    double h = kDifference * Size(p_, x, j);
    if (x[j] + h > Upper(p_, j)) h = -h;  // backwards from an upper bound
    xh[j] = x[j] + h;
    const double step = xh[j] - x[j];
    if (!Evaluate(xh, rh, cost)) return false;
    xh[j] = x[j];
    for (int i = 0; i < m_; ++i) col[i] = (rh[i] - r[i]) / step;
  }
  return true;
}

LmResult Solver::Run(const std::vector<double>& start) {
  n_ = static_cast<int>(start.size());
  out_.x = start;
  std::vector<double>& x = out_.x;
  for (int j = 0; j < n_; ++j) {
    if (!Held(p_, j)) x[j] = std::clamp(x[j], Lower(p_, j), std::fmax(Lower(p_, j), Upper(p_, j)));
  }
  out_.at_bound.assign(n_, false);
  std::vector<double> r(m_), rt(m_);
  out_.cost = std::numeric_limits<double>::quiet_NaN();
  if (!Evaluate(x, r, out_.cost)) {
    End(false, "stopped");
    return out_;
  }
  if (!std::isfinite(out_.cost)) {
    End(false, "the residuals are not finite at the start");
    return out_;
  }
  std::vector<int> free;
  for (int j = 0; j < n_; ++j) {
    if (!Held(p_, j)) free.push_back(j);
  }
  if (free.empty() || out_.cost == 0.0) {
    End(true, free.empty() ? "no free parameters" : "the residuals are 0");
    return out_;
  }
  J_.assign(static_cast<std::size_t>(n_) * m_, 0.0);
  std::vector<double> g(n_), A(static_cast<std::size_t>(n_) * n_), D(n_, 0.0), xt(n_);
  double mu = 0.0;
  double nu = 2.0;
  bool first = true;
  std::vector<Product> products;
  while (true) {
    if (out_.iterations >= s_.max_iterations) {
      End(false, "the iteration limit was reached");
      break;
    }
    if (!Jacobian(x, r)) break;
    ++out_.iterations;
    // The normal equations: g = J'r, A = J'J.
    products.clear();
    for (int a = 0; a < n_; ++a) {
      const double* ca = &J_[static_cast<std::size_t>(a) * m_];
      products.push_back({ca, r.data(), &g[a]});
      for (int b = 0; b <= a; ++b) {
        products.push_back({ca, &J_[static_cast<std::size_t>(b) * m_], &A[a * n_ + b]});
      }
    }
    Dots(products, m_);
    for (int a = 0; a < n_; ++a) {
      for (int b = 0; b < a; ++b) A[b * n_ + a] = A[a * n_ + b];
    }
    bool finite = true;
    for (int a = 0; a < n_; ++a)
      finite = finite && std::isfinite(g[a]) && std::isfinite(A[a * n_ + a]);
    if (!finite) {
      End(false, "the Jacobian is not finite");
      break;
    }
    // The free parameters not pinned on a bound by the gradient; the scaled
    // gradient of those decides convergence.
    std::vector<int> active;
    double gmax = 0.0;
    for (int j : free) {
      const bool low = x[j] <= Lower(p_, j) && g[j] > 0.0;
      const bool high = x[j] >= Upper(p_, j) && g[j] < 0.0;
      if (low || high) continue;
      active.push_back(j);
      D[j] = std::fmax(D[j], A[j * n_ + j]);
      if (A[j * n_ + j] > 0.0) {
        gmax = std::fmax(gmax, std::fabs(g[j]) / std::sqrt(A[j * n_ + j] * out_.cost));
      }
    }
    const int k = static_cast<int>(active.size());
    if (k == 0 || gmax <= s_.gtol) {
      End(true, k == 0 ? "every free parameter is held on a bound by the gradient"
                       : "the gradient is 0 within gtol");
      break;
    }
    if (first) {
      double dmax = 0.0;
      for (int j : active) dmax = std::fmax(dmax, A[j * n_ + j]);
      mu = kInitialDamping * dmax;
      first = false;
    }
    if (p_.progress && !p_.progress(out_.iterations, out_.cost)) {
      out_.stopped = true;
      break;
    }
    // Damped steps until one lowers the sum of squares.
    bool accepted = false;
    bool done = false;
    while (!accepted) {
      std::vector<double> a(static_cast<std::size_t>(k) * k), b(k);
      for (int u = 0; u < k; ++u) {
        for (int v = 0; v < k; ++v) a[u * k + v] = A[active[u] * n_ + active[v]];
        const double d = D[active[u]] > 0.0 ? D[active[u]] : 1.0;
        a[u * k + u] += mu * d;
        b[u] = -g[active[u]];
      }
      if (!SolveCholesky(a, k, b)) {
        mu = mu > 0.0 ? mu * nu : 1.0;
        nu *= 2.0;
        if (!std::isfinite(mu)) break;
        continue;
      }
      xt = x;
      for (int u = 0; u < k; ++u) {
        const int j = active[u];
        xt[j] = std::clamp(x[j] + b[u], Lower(p_, j), std::fmax(Lower(p_, j), Upper(p_, j)));
      }
      // The step actually taken, after the bounds, and the reduction the
      // linear model predicts for it.
      double predicted = 0.0, largest = 0.0;
      for (int u = 0; u < k; ++u) {
        const int ju = active[u];
        const double du = xt[ju] - x[ju];
        predicted -= 2.0 * du * g[ju];
        for (int v = 0; v < k; ++v) {
          predicted -= du * A[ju * n_ + active[v]] * (xt[active[v]] - x[active[v]]);
        }
        largest = std::fmax(largest, std::fabs(du) / Size(p_, x, ju));
      }
      double cost = 0.0;
      if (!Evaluate(xt, rt, cost)) {
        done = true;
        break;
      }
      const double actual = out_.cost - cost;
      if (actual > 0.0 && predicted > 0.0) {
        const double rho = actual / predicted;
        const double t = 2.0 * rho - 1.0;
        mu *= std::fmax(1.0 / 3.0, 1.0 - t * t * t);
        nu = 2.0;
        x = xt;
        r.swap(rt);
        const double before = out_.cost;
        out_.cost = cost;
        accepted = true;
        if (s_.joined && s_.joined(x, cost)) {
          out_.joined = true;
          End(true, "it joined a minimum found before");
          done = true;
        } else if (actual <= s_.ftol * before && predicted <= s_.ftol * before) {
          End(true, "the sum of squares changes by less than ftol");
          done = true;
        } else if (largest <= s_.xtol) {
          End(true, "the parameters change by less than xtol");
          done = true;
        } else if (cost == 0.0) {
          End(true, "the residuals are 0");
          done = true;
        }
      } else {
        mu *= nu;
        nu *= 2.0;
        double dmax = 0.0;
        for (int j : active) dmax = std::fmax(dmax, D[j]);
        if (largest <= s_.xtol || mu > kMaxDamping * dmax || !std::isfinite(mu)) {
          // No step, however short, lowers it: a minimum to rounding.
          End(true, "no smaller step lowers the sum of squares");
          done = true;
          break;
        }
      }
    }
    if (done || out_.stopped) break;
  }
  if (out_.stopped) End(false, "stopped");
  if (out_.iterations > 0 && !out_.stopped) out_.jacobian = J_;
  for (int j : free) {
    out_.at_bound[j] = x[j] <= Lower(p_, j) || x[j] >= Upper(p_, j);
  }
  return out_;
}

}  // namespace

LmResult LevenbergMarquardt(const LeastSquares& problem, const std::vector<double>& start,
                            const LmSettings& settings) {
  Solver solver(problem, settings);
  return solver.Run(start);
}

}  // namespace fit
