// The fit outside the dialogue: the points in the temperature window, the
// weights and the quantity fitted, bounds and fixed parameters, and the
// methods of fit/ on them.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/dialogue.h"
#include "engine/engine.h"
#include "engine/internal.h"

namespace engine {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  return text;
}

std::vector<double> Scales(const Work& w) {
  std::vector<double> scale;
  const std::vector<std::string> names = TrimmedNames(w.fm);
  for (int j = 0; j < w.fm.NPAR; ++j) {
    scale.push_back(TypicalSize(names[j], w.fc.PSTART[j], w.fc.PSTEP0[j]));
  }
  return scale;
}

fit::LeastSquares LeastSquaresOf(const Work& w, const fit::StopFn& stop) {
  const FitProblem& fp = *w.problem;
  fit::LeastSquares ls;
  ls.points = static_cast<int>(fp.fitted.size());
  expressions::Evaluation e = w.ev;
  e.console = nullptr;
  const FitProblem* problem = w.problem.get();
  ls.residuals = [problem, e, cache = expressions::TermCache()](const double* p,
                                                                double* r) mutable {
    ProblemResiduals(*problem, e, p, r, &cache);
  };
  ls.lower = fp.lower;
  ls.upper = fp.upper;
  ls.scale = Scales(w);
  for (int j = 0; j < w.fm.NPAR; ++j) ls.held.push_back(w.fc.PSTEP0[j] == 0.0);
  ls.stop = stop;
  if (w.on_progress) {
    const double denominator = fp.denominator;
    auto progress = w.on_progress;
    ls.progress = [progress, denominator](int iteration, double cost) {
      return progress(iteration, cost / denominator);
    };
  }
  return ls;
}

// The search ranges of global: each kind's default range, within the bounds.
std::vector<fit::StartRange> Ranges(const Work& w) {
  const FitProblem& fp = *w.problem;
  std::vector<fit::StartRange> ranges;
  const std::vector<std::string> names = TrimmedNames(w.fm);
  for (int j = 0; j < w.fm.NPAR; ++j) {
    fit::StartRange r = KindOf(names[j]).range;
    const double lo = fp.lower[j], hi = fp.upper[j];
    if (lo > r.low || hi < r.high) {
      // Bounds that cut the range: linear inside them where both are given,
      // otherwise the default range cut at them.
      r.low = std::clamp(r.low, lo, hi);
      r.high = std::clamp(r.high, lo, hi);
      if (std::isfinite(lo) && std::isfinite(hi)) {
        r.low = lo;
        r.high = hi;
        r.spacing = fit::Spacing::kLinear;
      }
      if (r.spacing == fit::Spacing::kLog && !(r.low > 0.0)) r.spacing = fit::Spacing::kLinear;
    }
    ranges.push_back(r);
  }
  return ranges;
}

// Global's screening ranks its points on at most this many of the points
// fitted, evenly spread: a ranking needs no more.
constexpr int kScreenPoints = 32;

}  // namespace

int ScreenPoints(const FitProblem& fp) {
  const int n = static_cast<int>(fp.T.size());
  return n > 2 * kScreenPoints ? kScreenPoints : n;
}

namespace {

// The problem on every k-th point fitted, at most kScreenPoints of them.
FitProblem Thinned(const FitProblem& fp) {
  FitProblem thin = fp;
  const int n = static_cast<int>(fp.T.size());
  thin.T.clear();
  thin.observed.clear();
  thin.weight.clear();
  for (int k = 0; k < kScreenPoints; ++k) {
    const int i = static_cast<int>(static_cast<long long>(k) * n / kScreenPoints);
    thin.T.push_back(fp.T[i]);
    thin.observed.push_back(fp.observed[i]);
    thin.weight.push_back(fp.weight[i]);
  }
  return thin;
}

void TakeLm(Work& w, const fit::LmResult& r) {
  FitControl& fc = w.fc;
  for (int j = 0; j < w.fm.NPAR; ++j) fc.PFIT[j] = r.x[j];
  FitRecord& rec = w.last_fit;
  rec.converged = r.converged;
  rec.message = r.message;
  rec.outcome.stopped = r.stopped;
  rec.at_bound = r.at_bound;
  rec.jacobian = r.jacobian;
}

// The simplex on the general objective: the problem's L.S. error, infinite
// outside the bounds.
void RunGeneralSimplex(Work& w, const fit::LeastSquares& ls, const fit::StopFn& stop) {
  const FitProblem& fp = *w.problem;
  model::FitModel& m = w.fm;
  FitControl& f = w.fc;
  std::vector<double> r(ls.points);
  int evaluations = 0;
  double best = kInf;
  bool quit = false;
  const fit::ObjectiveFn objective = [&](const double* p) {
    for (int j = 0; j < m.NPAR; ++j) {
      if (p[j] < fp.lower[j] || p[j] > fp.upper[j]) return kInf;
    }
    ls.residuals(p, r.data());
    double s = 0.0;
    for (double v : r) s += v * v;
    const double value = s / fp.denominator;
    best = std::fmin(best, value);
    if (w.on_progress && ++evaluations % (m.NPAR + 1) == 0 && !quit) {
      quit = !w.on_progress(evaluations / (m.NPAR + 1), best);
    }
    return value;
  };
  const fit::StopFn stopped = [&] { return quit || (stop && stop()); };
  w.last_fit.fitted = true;
  w.last_fit.budget = f.NITER;
  std::array<double, model::MAXPAR> start = m.PVAL;
  fit::Minimise(objective, w.store, m.NPAR, start.data(), f.PFIT.data(), f.LSERR, f.REQMIN,
                m.PSTEP.data(), f.NCHECK, f.NITER, &w.last_fit.outcome, stopped);
  if (m.NPAR == 0) w.last_fit.outcome.budget_exhausted = false;
  if (!w.last_fit.outcome.stopped) {
    std::array<double, model::MAXPAR> surface = f.PFIT;
    fit::EstimateSigma(objective, w.store, surface.data(), f.SIGMA.data(), m.NPAR, ls.points,
                       f.SIGFLAG);
    if (f.SIGFLAG == 0) f.PFIT = surface;
  } else {
    f.SIGFLAG = 1;
  }
  for (int j = 0; j < m.NPAR; ++j) {
    if (m.PSTEP[j] == 0.0) f.PFIT[j] = m.PVAL[j];
  }
  f.LSERR = objective(f.PFIT.data());
  w.last_fit.converged = !w.last_fit.outcome.budget_exhausted && !w.last_fit.outcome.stopped;
  w.last_fit.message = w.last_fit.outcome.stopped ? "stopped"
                       : w.last_fit.outcome.budget_exhausted
                           ? "the evaluation budget ran out"
                           : "the simplex's values agree within reqmin";
}

}  // namespace

FitProblem MakeFitProblem(const Work& w, const ModelDescription& d, const Data& data) {
  const std::string name = "data '" + format::Printable(data.file, format::kNameShown) + "': ";
  const FitSettings& s = d.fit;
  const DataSet& set = w.data;
  FitProblem fp;
  fp.dialogue = !s.tmin && !s.tmax && s.weights == "none" && s.quantity == "chi";
  fp.chi_t = s.quantity == "chiT";
  for (int i = 0; i < set.NDATA; ++i) {
    if ((s.tmin && set.T[i] < *s.tmin) || (s.tmax && set.T[i] > *s.tmax)) continue;
    fp.fitted.push_back(i);
  }
  int free = 0;
  for (int j = 0; j < w.fm.NPAR; ++j) free += w.fm.PSTEP[j] != 0.0 ? 1 : 0;
  const int n = static_cast<int>(fp.fitted.size());
  if ((s.tmin || s.tmax) && (n == 0 || n < free)) {
    throw DataError(name + "the window fit.tmin to fit.tmax (" + (s.tmin ? Number(*s.tmin) : "-") +
                    " to " + (s.tmax ? Number(*s.tmax) : "-") + " K) holds " + std::to_string(n) +
                    " point" + (n == 1 ? "" : "s") + ", fewer than the " +
                    std::to_string(std::max(free, 1)) + " free parameter" + (free == 1 ? "" : "s"));
  }
  const bool by_sigma = s.weights == "sigma", relative = s.weights == "relative";
  if (by_sigma) {
    if (data.sigma.empty()) {
      throw DataError(name +
                      "fit.weights 'sigma' needs each point's error, and the data carry "
                      "none (a 'sigma' section in the data file, or sigma=)");
    }
    for (std::size_t i = 0; i < data.sigma.size(); ++i) {
      if (!(data.sigma[i] > 0.0) || !std::isfinite(data.sigma[i])) {
        throw DataError(name + "point " + std::to_string(i + 1) + " has an error (sigma) of " +
                        Number(data.sigma[i]) + ": fit.weights 'sigma' needs each above 0");
      }
    }
  }
  const double factor = std::fabs(w.settings.FACTOR);
  double sum = 0.0;
  fp.T.reserve(fp.fitted.size());
  fp.observed.reserve(fp.fitted.size());
  fp.weight.reserve(fp.fitted.size());
  for (int i : fp.fitted) {
    const double t = set.T[i];
    const double y = fp.chi_t ? set.XOBS[i] * t : set.XOBS[i];
    double weight = 1.0;
    if (by_sigma) {
      weight = 1.0 / (data.sigma[i] * factor * (fp.chi_t ? t : 1.0));
    } else if (relative) {
      if (y == 0.0) {
        throw DataError(name + "point " + std::to_string(i + 1) +
                        " has an observed value of 0: fit.weights 'relative' divides by it");
      }
      weight = 1.0 / std::fabs(y);
    }
    fp.T.push_back(t);
    fp.observed.push_back(y);
    fp.weight.push_back(weight);
    sum += y * y;
  }
  fp.denominator = s.weights == "none" ? sum : 1.0;
  fp.lower.assign(w.fm.NPAR, -kInf);
  fp.upper.assign(w.fm.NPAR, kInf);
  fp.fixed.assign(w.fm.NPAR, false);
  for (std::size_t j = 0; j < d.parameters.size() && j < fp.lower.size(); ++j) {
    const ParameterDescription& p = d.parameters[j];
    if (p.min) fp.lower[j] = *p.min;
    if (p.max) fp.upper[j] = *p.max;
    fp.fixed[j] = p.fixed;
  }
  return fp;
}

void ProblemResiduals(const FitProblem& fp, expressions::Evaluation& e, const double* p, double* r,
                      expressions::TermCache* cache) {
  const int n = static_cast<int>(fp.T.size());
  if (cache != nullptr) {
    expressions::EvaluateAll(e, p, fp.T.data(), n, r, *cache);
  } else {
    expressions::EvaluateAll(e, p, fp.T.data(), n, r);
  }
  for (int i = 0; i < n; ++i) {
    const double calc = fp.chi_t ? r[i] * fp.T[i] : r[i];
    r[i] = (fp.observed[i] - calc) * fp.weight[i];
  }
}

void RunMethod(Work& w, const fit::StopFn& stop) {
  const FitProblem& fp = *w.problem;
  const fit::LeastSquares ls = LeastSquaresOf(w, stop);
  FitRecord& rec = w.last_fit;
  if (rec.method == "simplex") {
    RunGeneralSimplex(w, ls, stop);
    return;
  }
  rec.fitted = true;
  rec.budget = w.fc.NITER;
  fit::LmSettings lm;
  lm.max_iterations = w.fc.NITER;
  const std::vector<double> start(w.fm.PVAL.begin(), w.fm.PVAL.begin() + w.fm.NPAR);
  if (rec.method == "lm") {
    const fit::LmResult r = fit::LevenbergMarquardt(ls, start, lm);
    TakeLm(w, r);
    rec.iterations = r.iterations;
    rec.outcome.evaluations = r.evaluations;
    rec.starts = 1;
    rec.reached_best = 1;
  } else {
    fit::MultiStartSettings ms;
    ms.lm = lm;
    fit::LeastSquares screen = ls;
    const bool thin = ScreenPoints(fp) < static_cast<int>(fp.T.size());
    if (thin) {
      auto thinned = std::make_shared<const FitProblem>(Thinned(fp));
      expressions::Evaluation e = w.ev;
      e.console = nullptr;
      screen.points = static_cast<int>(thinned->T.size());
      screen.residuals = [thinned, e, cache = expressions::TermCache()](const double* p,
                                                                        double* r) mutable {
        ProblemResiduals(*thinned, e, p, r, &cache);
      };
    }
    const fit::MultiStartResult r =
        fit::MultiStart(ls, start, Ranges(w), ms, thin ? &screen : nullptr);
    TakeLm(w, r.best);
    rec.iterations = r.iterations;
    rec.outcome.evaluations = r.evaluations;
    rec.screened = r.screened;
    rec.starts = r.starts;
    rec.reached_best = r.reached_best;
    for (const fit::Minimum& m : r.minima) {
      rec.minima.push_back({m.x, m.cost / fp.denominator, m.starts});
    }
  }
  rec.outcome.budget_exhausted = !rec.converged && !rec.outcome.stopped;
  // The L.S. error at the values, as the statistics see it.
  std::vector<double> r(fp.fitted.size());
  ls.residuals(w.fc.PFIT.data(), r.data());
  double s = 0.0;
  for (double v : r) s += v * v;
  w.fc.LSERR = s / fp.denominator;
  w.fc.SIGFLAG = 1;  // the standard errors come from the statistics
}

}  // namespace engine
