// The fit in steps: the evaluation state, the simplex, the standard
// deviations and the L.S. error at the result, the statistics and the check
// of the minimum, and the refinement.
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/dialogue.h"
#include "engine/internal.h"
#include "engine/layouts.h"

namespace engine {
namespace {

constexpr double kStoppedShort = 0.01;  // relative gain that means the fit stopped short
// A gain of L.S. error below this share of the data's own sum of squares is
// rounding (residuals good to about 1.0E-12 of the values).
constexpr double kRoundingShare = 1.0E-24;

fit::ObjectiveFn ObjectiveOf(Work& w) {
  return [&w](const double* p) {
    const double value = expressions::Objective(w.ev, p);
    if (w.on_value) w.on_value(value);
    return value;
  };
}

// The heading of the progress lines: the parameter names and "L.S.Error".
void ProgressHeader(const Work& w, format::RecordSink* sink) {
  if (sink == nullptr) return;
  format::Items names;
  for (int j = 0; j < w.fm.NPAR; ++j) names.emplace_back(w.fm.PNAME[j]);
  names.emplace_back("L.S.Error");
  format::Write(*sink, kProgressHeader, names);
}

// The simplex from PVAL into PFIT and LSERR, then the line that ends its
// progress lines.
void Search(Work& w, format::RecordSink* sink, const fit::StopFn& stop) {
  model::FitModel& m = w.fm;
  FitControl& f = w.fc;
  for (int j = 0; j < m.NPAR; ++j) f.PSTEP0[j] = m.PSTEP[j];
  ProgressHeader(w, sink);
  w.last_fit.fitted = true;
  w.last_fit.budget = f.NITER;
  // Progress about once an iteration (N+1 evaluations), with the lowest
  // L.S. error so far; false from it stops the search like `stop`.
  int calls = 0;
  bool quit = false;
  double best = std::numeric_limits<double>::infinity();
  if (w.on_progress) {
    w.on_value = [&w, &calls, &quit, &best, every = m.NPAR + 1](double value) {
      best = std::fmin(best, value);
      if (++calls % every == 0 && !quit) quit = !w.on_progress(calls / every, best);
    };
  }
  const fit::StopFn stopped = [&quit, &stop] { return quit || (stop && stop()); };
  fit::Minimise(ObjectiveOf(w), w.store, m.NPAR, m.PVAL.data(), f.PFIT.data(), f.LSERR, f.REQMIN,
                m.PSTEP.data(), f.NCHECK, f.NITER, &w.last_fit.outcome, stopped);
  w.on_value = nullptr;
  // Without parameters there is nothing to iterate, and no budget to run out.
  if (m.NPAR == 0) w.last_fit.outcome.budget_exhausted = false;
  if (sink != nullptr) format::WriteFree(*sink, {"Iteration is completed.  Calculation ESDs"});
}

// The Std. devn. estimate, then the L.S. error at PFIT after the progress
// heading.
void Deviations(Work& w, format::RecordSink* sink, const fit::StopFn& stop) {
  EstimateDeviations(w, stop);
  // A held parameter keeps its value exactly: the simplex's centroids and
  // the quadratic surface may move it by a rounding.
  for (int j = 0; j < w.fm.NPAR; ++j) {
    if (w.fc.PSTEP0[j] == 0.0) w.fc.PFIT[j] = w.fc.PSTART[j];
  }
  ProgressHeader(w, sink);
  w.fc.LSERR = expressions::Objective(w.ev, w.fc.PFIT.data());
}

// The refinement's point, standard errors and L.S. error as the fit's.
void TakeRefinement(Work& w, const FitAnalysis& f) {
  FitControl& fc = w.fc;
  const int n = w.fm.NPAR;
  for (int j = 0; j < n; ++j) fc.PFIT[j] = f.check.values[j];
  fc.SIGFLAG = 0;
  for (int j = 0; j < n; ++j) {
    fc.SIGMA[j] = f.check.statistics.std_error[j];
    if (!std::isfinite(fc.SIGMA[j])) fc.SIGFLAG = 1;
  }
  expressions::Evaluation e = w.ev;
  e.console = nullptr;
  fc.LSERR = expressions::Objective(e, fc.PFIT.data());
  w.last_fit.refined = true;
}

// After lm or global: the standard errors of the statistics as the report's
// deviations (0 where there are none: held, or on a bound).
void TakeStandardErrors(Work& w, const FitAnalysis& f) {
  FitControl& fc = w.fc;
  fc.SIGFLAG = 0;
  for (int j = 0; j < w.fm.NPAR; ++j) {
    fc.SIGMA[j] = f.statistics.std_error[j];
    if (!std::isfinite(fc.SIGMA[j])) {
      const bool bound = j < static_cast<int>(w.last_fit.at_bound.size()) && w.last_fit.at_bound[j];
      if (fc.PSTEP0[j] != 0.0 && !bound) fc.SIGFLAG = 1;
      fc.SIGMA[j] = 0.0;
    }
  }
}

std::vector<double> Fitted(const Work& w) {
  return std::vector<double>(w.fc.PFIT.begin(), w.fc.PFIT.begin() + w.fm.NPAR);
}

// The residuals of the fit model, evaluated on a copy of the evaluation state
// with no console: no progress lines or warnings, NCALL and the state used
// by later fits and plots untouched.
analysis::Problem ProblemOf(const Work& s) {
  expressions::Evaluation e = s.ev;
  e.console = nullptr;
  analysis::Problem problem;
  if (s.problem != nullptr) {
    // The points in the window, weighted, of the quantity fitted.
    const FitProblem* fp = s.problem.get();
    problem.points = static_cast<int>(fp->fitted.size());
    problem.residuals = [fp, e, cache = expressions::TermCache()](const double* p,
                                                                  double* r) mutable {
      ProblemResiduals(*fp, e, p, r, &cache);
    };
    double size = 0.0;
    for (std::size_t i = 0; i < fp->observed.size(); ++i) {
      size += fp->observed[i] * fp->weight[i] * fp->observed[i] * fp->weight[i];
    }
    problem.model_size = std::sqrt(size);
    // lm's last Jacobian, of the same residuals, saves the statistics half
    // their differences.
    const std::vector<double>& J = s.last_fit.jacobian;
    const std::size_t m = fp->fitted.size();
    if (s.last_fit.method != "simplex" && J.size() == m * s.fm.NPAR) {
      for (int j = 0; j < s.fm.NPAR; ++j) {
        problem.nearby_jacobian.emplace_back(J.begin() + j * m, J.begin() + (j + 1) * m);
      }
    }
  } else {
    problem.points = s.data.NDATA;
    problem.residuals = [e](const double* p, double* r) mutable {
      expressions::EvaluateAll(e, p, e.T, e.NDATA, r);
      for (int i = 0; i < e.NDATA; ++i) r[i] = e.XOBS[i] - r[i];
    };
    problem.model_size = std::sqrt(s.data.SXOBS2);
  }
  const std::vector<std::string> names = TrimmedNames(s.fm);
  for (int j = 0; j < s.fm.NPAR; ++j) {
    problem.scale.push_back(TypicalSize(names[j], s.fc.PSTART[j], s.fc.PSTEP0[j]));
    // Every vertex of the simplex has the start value of a parameter with
    // step 0. A parameter that ended on a bound is held there: the check
    // must not carry it across, and its curvature says nothing of its error.
    const bool bound = j < static_cast<int>(s.last_fit.at_bound.size()) && s.last_fit.at_bound[j];
    problem.held.push_back(s.fc.PSTEP0[j] == 0.0 || bound);
  }
  return problem;
}

// The sum of squares of the weighted observed values, in the units of the
// L.S. error: what its rounding is relative to.
double LsScale(const Work& s) {
  if (s.problem == nullptr) return 1.0;
  double size = 0.0;
  const FitProblem& fp = *s.problem;
  for (std::size_t i = 0; i < fp.observed.size(); ++i) {
    size += fp.observed[i] * fp.weight[i] * fp.observed[i] * fp.weight[i];
  }
  return size / fp.denominator;
}

// Nothing known: what an analysis that could not be made, or was stopped,
// reports.
void Unknown(FitAnalysis& f, const analysis::Problem& problem, const std::vector<double>& pfit) {
  f.statistics = analysis::Unknown(problem.points, problem.held);
  f.statistics.interrupted = f.interrupted;
  f.check = analysis::MinimumCheck{};
  f.check.values = pfit;
  f.check.rss = std::nan("");
  f.check.statistics = f.statistics;
}

// The check's L.S. error, its gain on the fit's, and whether the fit
// stopped short.
void CompareCheck(FitAnalysis& f, const Work& s) {
  const double nan = std::nan("");
  const double lserr = s.fc.LSERR;
  const double denominator = s.problem != nullptr ? s.problem->denominator : s.data.SXOBS2;
  f.check_ls_error = f.check.ran ? f.check.rss / denominator : nan;
  f.improvement = f.check.ran && lserr > 0.0 ? (lserr - f.check_ls_error) / lserr : nan;
  if (f.check.ran && lserr == 0.0) f.improvement = 0.0;
  // Short of the minimum: more than 1 % above what the check reached,
  // judged against the L.S. error itself. With no degree of freedom left
  // (n = p) the least is 0 and any gain is the residuals' rounding; so is a
  // gain below the rounding of the residuals relative to the data.
  const double gain = lserr - f.check_ls_error;
  f.stopped_short = f.check.ran && f.statistics.dof >= 1 &&
                    gain > kStoppedShort * f.check_ls_error && gain > kRoundingShare * LsScale(s);
}

}  // namespace

expressions::Evaluation BoundEvaluation(const Work& w, format::RecordSink* progress) {
  expressions::Evaluation e;
  e.model = &w.fm;
  e.console = progress;
  e.NDATA = w.data.NDATA;
  e.T = w.data.T.data();
  e.XOBS = w.data.XOBS.data();
  e.SXOBS2 = w.data.SXOBS2;
  e.TIPADD = w.data.TIPADD;
  e.EXPLIM = std::log(1.0E307);
  e.TV = w.ev.TV;
  expressions::SetConstants(e);
  return e;
}

void EstimateDeviations(Work& w, const fit::StopFn& stop) {
  FitControl& f = w.fc;
  const int npar = w.fm.NPAR;
  const fit::ObjectiveFn objective = ObjectiveOf(w);
  // Once stopped, every value is not a number, which ends the estimate at
  // its next test; the best point is only taken from a whole estimate.
  bool stopped = false;
  const fit::ObjectiveFn stoppable = [&](const double* p) {
    if (!stopped && stop && stop()) stopped = true;
    return stopped ? std::nan("") : objective(p);
  };
  std::array<double, model::MAXPAR> best = f.PFIT;
  fit::EstimateSigma(stoppable, w.store, best.data(), f.SIGMA.data(), npar, w.data.NDATA,
                     f.SIGFLAG);
  w.last_fit.sigma_stopped = stopped;
  if (stopped) {
    f.SIGFLAG = 1;
    for (int j = 0; j < npar; ++j) f.SIGMA[j] = 0.0;
  } else {
    f.PFIT = best;
  }
}

FitAnalysis Analyse(const Work& s, const fit::StopFn& stop) {
  FitAnalysis f;
  const std::vector<double> pfit = Fitted(s);
  analysis::Problem problem = ProblemOf(s);
  problem.stop = stop;
  f.check_ls_error = std::nan("");
  f.improvement = std::nan("");
  // Every observed value 0 (a factor of 0) leaves residuals but no L.S.
  // error: nothing to analyse either way.
  const double rss = analysis::Rss(problem, pfit);
  f.not_finite = !std::isfinite(s.fc.LSERR) || !std::isfinite(rss);
  // A converged lm or global is its own check: another Levenberg-Marquardt
  // run from its minimum would only repeat it.
  const bool vouched = s.last_fit.fitted && s.last_fit.method != "simplex" &&
                       s.last_fit.converged && !s.last_fit.refined;
  if (!f.not_finite) {
    f.statistics = analysis::Analyse(problem, pfit, rss);
    if (vouched) {
      f.check.values = pfit;
      f.check.statistics = f.statistics;
    } else {
      f.check = analysis::CheckMinimum(problem, pfit, f.statistics);
    }
    f.interrupted = f.statistics.interrupted || f.check.interrupted;
  }
  if (f.not_finite || f.interrupted) {
    Unknown(f, problem, pfit);
  } else {
    CompareCheck(f, s);
  }
  return f;
}

FitSteps::FitSteps(Work& w, format::RecordSink* progress, bool refine)
    : w_(w), progress_(progress), refine_(refine) {
  model::FitModel& m = w.fm;
  FitControl& f = w.fc;
  w.ev.NCALL = 0;
  w.last_fit = FitRecord{};
  // Outside the dialogue: its method, and whether the dialogue's own path
  // can take it (the simplex on every point, unweighted, chi, unbounded).
  if (w.problem != nullptr) {
    const FitProblem& p = *w.problem;
    w.last_fit.method = p.settings.method;
    bool bounded = false;
    for (int j = 0; j < m.NPAR; ++j) {
      bounded = bounded || std::isfinite(p.lower[j]) || std::isfinite(p.upper[j]);
    }
    general_ = p.settings.method != "simplex" || !p.dialogue || bounded;
  }
  for (int j = 0; j < m.NPAR; ++j) {
    f.PSTEP0[j] = m.PSTEP[j];
    f.PSTART[j] = m.PVAL[j];
    // A zero-iteration report shows the values at set-up, edits included.
    f.PFIT[j] = m.PVAL[j];
  }
  ProgressHeader(w, progress);
  f.LSERR = expressions::Objective(w.ev, m.PVAL.data());
}

void FitSteps::Take(const fit::StopFn& stop) {
  switch (next_) {
    case Step::kSearch:
      if (w_.fc.NITER != 0 && general_) {
        RunMethod(w_, stop);
      } else if (w_.fc.NITER != 0) {
        Search(w_, progress_, stop);
      }
      next_ = Step::kDeviations;
      break;
    case Step::kDeviations:
      // The other methods make their own estimate, or none.
      if (w_.fc.NITER != 0 && !general_) Deviations(w_, progress_, stop);
      if (w_.last_fit.fitted) {
        w_.last_fit.converged =
            w_.last_fit.method != "simplex"
                ? w_.last_fit.converged
                : !w_.last_fit.outcome.budget_exhausted && !w_.last_fit.outcome.stopped;
      }
      next_ = Step::kAnalysis;
      break;
    case Step::kAnalysis:
      found_ = Analyse(w_, stop);
      if (w_.last_fit.fitted && w_.last_fit.method != "simplex") TakeStandardErrors(w_, found_);
      next_ = refine_ ? Step::kRefinement : Step::kDone;
      break;
    case Step::kRefinement:
      if (w_.last_fit.fitted && w_.last_fit.method == "simplex" && found_.check.ran) {
        TakeRefinement(w_, found_);
        found_ = Analyse(w_, stop);
      }
      next_ = Step::kDone;
      break;
    case Step::kDone:
      break;
  }
}

}  // namespace engine
