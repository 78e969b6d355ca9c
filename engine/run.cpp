// The fit in steps: the evaluation state, the simplex, the standard
// deviations and the L.S. error at the result, the statistics and the check
// of the minimum, and the refinement.
#include <array>
#include <cmath>
#include <vector>

#include "engine/dialogue.h"
#include "engine/internal.h"
#include "engine/layouts.h"

namespace engine {
namespace {

constexpr double kStoppedShort = 0.01;  // relative improvement that means the fit stopped short
// A gain of L.S. error below this many times sqrt(REQMIN) is within the
// simplex's convergence.
constexpr double kConvergedSpread = 10.0;

fit::ObjectiveFn ObjectiveOf(Work& w) {
  return [&w](const double* p) { return expressions::Objective(w.ev, p); };
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
  // The lowest L.S. error so far, for a watcher of the search.
  double& lowest = w.last_fit.lowest;
  lowest = f.LSERR;
  const fit::ObjectiveFn objective = [&w, &lowest](const double* p) {
    const double e = expressions::Objective(w.ev, p);
    if (!(e >= lowest)) lowest = e;
    return e;
  };
  fit::Minimise(objective, w.store, m.NPAR, m.PVAL.data(), f.PFIT.data(), f.LSERR, f.REQMIN,
                m.PSTEP.data(), f.NCHECK, f.NITER, &w.last_fit.outcome, stop);
  // Without parameters there is nothing to iterate, and no budget to run out.
  if (m.NPAR == 0) w.last_fit.outcome.budget_exhausted = false;
  if (sink != nullptr) format::WriteFree(*sink, {"Iteration is completed.  Calculation ESDs"});
}

// The Std. devn. estimate, then the L.S. error at PFIT after the progress
// heading.
void Deviations(Work& w, format::RecordSink* sink, const fit::StopFn& stop) {
  EstimateDeviations(w, stop);
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
  problem.points = s.data.NDATA;
  problem.residuals = [e](const double* p, double* r) mutable {
    expressions::EvaluateAll(e, p, e.T, e.NDATA, r);
    for (int i = 0; i < e.NDATA; ++i) r[i] = e.XOBS[i] - r[i];
  };
  for (int j = 0; j < s.fm.NPAR; ++j) {
    problem.scale.push_back(
        std::fmax(std::fabs(s.fc.PSTART[j]), 100.0 * std::fabs(s.fc.PSTEP0[j])));
    // Every vertex of the simplex has the start value of a parameter with
    // step 0.
    problem.held.push_back(s.fc.PSTEP0[j] == 0.0);
  }
  problem.model_size = std::sqrt(s.data.SXOBS2);
  return problem;
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
void CompareCheck(FitAnalysis& f, double lserr, double sxobs2, double reqmin) {
  const double nan = std::nan("");
  f.check_ls_error = f.check.ran ? f.check.rss / sxobs2 : nan;
  f.improvement = f.check.ran && lserr > 0.0 ? (lserr - f.check_ls_error) / lserr : nan;
  if (f.check.ran && lserr == 0.0) f.improvement = 0.0;
  // The simplex stops once its L.S. errors spread less than sqrt(REQMIN): a
  // gain within a few times that is what it was asked for, however large
  // relative to an L.S. error near 0 (an exact fit, whose least is 0).
  f.stopped_short = f.improvement > kStoppedShort &&
                    lserr - f.check_ls_error > kConvergedSpread * std::sqrt(reqmin);
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
  f.not_finite = !std::isfinite(s.fc.LSERR) || !std::isfinite(analysis::Rss(problem, pfit));
  if (!f.not_finite) {
    f.statistics = analysis::Analyse(problem, pfit);
    f.check = analysis::CheckMinimum(problem, pfit, f.statistics);
    f.interrupted = f.statistics.interrupted || f.check.interrupted;
  }
  if (f.not_finite || f.interrupted) {
    Unknown(f, problem, pfit);
  } else {
    CompareCheck(f, s.fc.LSERR, s.data.SXOBS2, s.fc.REQMIN);
  }
  return f;
}

FitSteps::FitSteps(Work& w, format::RecordSink* progress, bool refine)
    : w_(w), progress_(progress), refine_(refine) {
  model::FitModel& m = w.fm;
  FitControl& f = w.fc;
  w.ev.NCALL = 0;
  w.last_fit = FitRecord{};
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
      if (w_.fc.NITER != 0) Search(w_, progress_, stop);
      next_ = Step::kDeviations;
      break;
    case Step::kDeviations:
      if (w_.fc.NITER != 0) Deviations(w_, progress_, stop);
      next_ = Step::kAnalysis;
      break;
    case Step::kAnalysis:
      found_ = Analyse(w_, stop);
      next_ = refine_ ? Step::kRefinement : Step::kDone;
      break;
    case Step::kRefinement:
      if (w_.last_fit.fitted && found_.check.ran) {
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
