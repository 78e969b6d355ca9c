// The multi-start search: a fixed low-discrepancy set screened by one
// evaluation per point, the best points and the given start refined by
// Levenberg-Marquardt, the refined points grouped into distinct minima.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "fit/fit.h"

namespace fit {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Relative to the sum of squares at the start: differences below this are
// rounding.
constexpr double kRounding = 1.0E-14;

// The generalised golden ratio of dimension d: the root above 1 of
// x^(d+1) = x + 1.
double SolveGoldenRatio(int d) {
  double x = 2.0;
  for (int k = 0; k < 60; ++k) x = std::pow(1.0 + x, 1.0 / (d + 1));
  return x;
}

// The same, worked out once for the dimensions a model can have: each point
// of a search needs it, and its 60 powers cost more than an evaluation.
double GoldenRatio(int d) {
  constexpr int kTabled = 64;
  static const std::vector<double> table = [] {
    std::vector<double> t(kTabled);
    for (int k = 0; k < kTabled; ++k) t[k] = SolveGoldenRatio(k);
    return t;
  }();
  return d >= 0 && d < kTabled ? table[d] : SolveGoldenRatio(d);
}

// The sum of squares of the first n residuals in r.
double SumOfSquares(const std::vector<double>& r, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += r[i] * r[i];
  return std::isfinite(s) ? s : kInf;
}

// Sums of squares within `floor` of each other are equal: rounding of the
// residuals near an exact fit.
bool SameCost(double a, double b, double floor, const MultiStartSettings& s) {
  return std::fabs(a - b) <= s.same_cost * std::fmax(std::fabs(a), std::fabs(b)) + floor;
}

bool SameMinimum(const std::vector<double>& x, double cost, const Minimum& b,
                 const std::vector<StartRange>& ranges, const LeastSquares& problem,
                 const MultiStartSettings& s, double floor) {
  if (!SameCost(cost, b.cost, floor, s)) return false;
  for (std::size_t j = 0; j < x.size(); ++j) {
    if (j < problem.held.size() && problem.held[j]) continue;
    double size = std::fmax(std::fabs(x[j]), std::fabs(b.x[j]));
    if (j < ranges.size()) size = std::fmax(size, std::fabs(ranges[j].high - ranges[j].low));
    if (std::fabs(x[j] - b.x[j]) > s.same_place * size) return false;
  }
  return true;
}

}  // namespace

void LowDiscrepancyPoint(int k, int dims, double* u) {
  const double phi = GoldenRatio(dims);
  double alpha = 1.0;
  for (int j = 0; j < dims; ++j) {
    alpha /= phi;
    const double v = 0.5 + (k + 1) * alpha;
    u[j] = v - std::floor(v);
  }
}

double FromUnit(const StartRange& range, double u) {
  switch (range.spacing) {
    case Spacing::kLog:
      if (range.low > 0.0 && range.high > 0.0) {
        return std::exp(std::log(range.low) + u * (std::log(range.high) - std::log(range.low)));
      }
      break;
    case Spacing::kAsinh:
      if (range.knee > 0.0) {
        const double a = std::asinh(range.low / range.knee);
        const double b = std::asinh(range.high / range.knee);
        return range.knee * std::sinh(a + u * (b - a));
      }
      break;
    case Spacing::kLinear:
      break;
  }
  return range.low + u * (range.high - range.low);
}

MultiStartResult MultiStart(const LeastSquares& problem, const std::vector<double>& start,
                            const std::vector<StartRange>& ranges,
                            const MultiStartSettings& settings, const LeastSquares* screen) {
  const LeastSquares& screening = screen != nullptr ? *screen : problem;
  MultiStartResult out;
  const int n = static_cast<int>(start.size());
  std::vector<int> free;
  for (int j = 0; j < n; ++j) {
    const bool held = j < static_cast<int>(problem.held.size()) && problem.held[j];
    if (!held && j < static_cast<int>(ranges.size())) free.push_back(j);
  }
  auto inside = [&](int j, double v) {
    const double lo = j < static_cast<int>(problem.lower.size()) ? problem.lower[j] : -kInf;
    const double hi = j < static_cast<int>(problem.upper.size()) ? problem.upper[j] : kInf;
    return std::clamp(v, lo, std::fmax(lo, hi));
  };

  // The sum of squares at the start sets the floor below which sums of
  // squares count as equal.
  std::vector<double> r(std::max(problem.points, screening.points)), u(free.size());
  double floor = 0.0;
  if (!(problem.stop && problem.stop())) {
    problem.residuals(start.data(), r.data());
    ++out.evaluations;
    const double at_start = SumOfSquares(r, problem.points);
    if (std::isfinite(at_start)) floor = kRounding * at_start;
  }

  // Screening: one evaluation per point of the set.
  struct Screened {
    double cost;
    int k;
    std::vector<double> x;
  };
  std::vector<Screened> screened;
  bool stopped = false;
  for (int k = 0; !free.empty() && k < settings.screen; ++k) {
    if (problem.stop && problem.stop()) {
      stopped = true;
      break;
    }
    LowDiscrepancyPoint(k, static_cast<int>(free.size()), u.data());
    std::vector<double> x = start;
    for (std::size_t a = 0; a < free.size(); ++a) {
      x[free[a]] = inside(free[a], FromUnit(ranges[free[a]], u[a]));
    }
    screening.residuals(x.data(), r.data());
    ++out.evaluations;
    ++out.screened;
    // Only the screening problem's residuals: the rest of r is the start's.
    const double cost = SumOfSquares(r, screening.points);
    if (std::isfinite(cost)) screened.push_back({cost, k, std::move(x)});
  }
  std::sort(screened.begin(), screened.end(), [](const Screened& a, const Screened& b) {
    return a.cost < b.cost || (a.cost == b.cost && a.k < b.k);
  });

  // Refinement: the given start first, then the best screened points. The
  // progress callback sees the iterations of all runs in one count.
  std::vector<std::vector<double>> starts{start};
  for (std::size_t i = 0; i < screened.size() && static_cast<int>(i) < settings.refine; ++i) {
    starts.push_back(screened[i].x);
  }
  int iterations = 0;
  double best_cost = kInf;
  LeastSquares each = problem;
  each.progress = [&](int iteration, double cost) {
    return !problem.progress ||
           problem.progress(iterations + iteration, std::fmin(best_cost, cost));
  };
  // A run that comes down close to a minimum an earlier run reached (its sum
  // of squares within `join_cost`, each parameter within `join_place`) ends
  // there and counts as ending at it: its last iterations would only find
  // that minimum again.
  std::vector<Minimum> reached;
  MultiStartSettings near = settings;
  near.same_cost = settings.join_cost;
  near.same_place = settings.join_place;
  int joined_to = -1;
  LmSettings lm = settings.lm;
  lm.joined = [&](const std::vector<double>& x, double cost) {
    for (std::size_t m = 0; m < reached.size(); ++m) {
      if (SameMinimum(x, cost, reached[m], ranges, problem, near, floor)) {
        joined_to = static_cast<int>(m);
        return true;
      }
    }
    return false;
  };
  std::vector<LmResult> runs;
  std::vector<Minimum> ends;  // where each run ended, or the minimum it joined
  for (std::size_t s = 0; s < starts.size(); ++s) {
    if (stopped && s > 0) break;  // the given start is always tried, if only to stop
    joined_to = -1;
    // A screened point is first brought down on the cheaper problem; the
    // run on the whole problem then starts near its minimum.
    std::vector<double> from = starts[s];
    if (screen != nullptr && s > 0) {
      LeastSquares cheap = *screen;
      cheap.progress = nullptr;
      const LmResult pre = LevenbergMarquardt(cheap, from, settings.lm);
      iterations += pre.iterations;
      out.evaluations += pre.evaluations;
      if (pre.stopped) {
        stopped = true;
        break;
      }
      if (std::isfinite(pre.cost)) from = pre.x;
    }
    LmResult run = LevenbergMarquardt(each, from, lm);
    iterations += run.iterations;
    out.evaluations += run.evaluations;
    stopped = run.stopped;
    if (run.stopped && !runs.empty()) break;  // keep the whole runs
    if (std::isfinite(run.cost)) best_cost = std::fmin(best_cost, run.cost);
    if (run.converged && !run.joined) reached.push_back({run.x, run.cost, 0});
    ends.push_back(run.joined ? reached[joined_to] : Minimum{run.x, run.cost, 0});
    runs.push_back(std::move(run));
  }
  out.starts = static_cast<int>(runs.size());
  out.iterations = iterations;

  // The runs grouped into minima, lowest first; ties keep the order of the
  // starts, so the given start wins a tie. The best is a run that ended by
  // itself.
  std::vector<int> order(runs.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return ends[a].cost < ends[b].cost; });
  for (int i : order) {
    const Minimum& end = ends[i];
    if (!std::isfinite(end.cost)) continue;
    auto same = std::find_if(out.minima.begin(), out.minima.end(), [&](const Minimum& m) {
      return SameMinimum(end.x, end.cost, m, ranges, problem, settings, floor);
    });
    if (same != out.minima.end()) {
      ++same->starts;
    } else {
      out.minima.push_back({end.x, end.cost, 1});
    }
  }
  for (int i : order) {
    if (!runs[i].joined) {
      out.best = runs[i];
      break;
    }
  }
  if (!out.minima.empty()) {
    // Counted by cost alone: a flat valley's points all reach the best.
    const double best = out.minima.front().cost;
    for (const Minimum& end : ends) {
      if (SameCost(end.cost, best, floor, settings)) ++out.reached_best;
    }
  }
  if (stopped) {
    out.best.stopped = true;
    out.best.converged = false;
    out.best.message = "stopped";
  }
  return out;
}

}  // namespace fit
