// The evaluation state of a fit and the fit itself: the simplex, the
// standard deviations and the L.S. error at the result.
#include <array>
#include <cmath>

#include "engine/engine.h"
#include "engine/layouts.h"

namespace engine {

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

namespace {

fit::ObjectiveFn ObjectiveOf(Work& w) {
  return [&w](const double* p) {
    const double value = expressions::Objective(w.ev, p);
    if (w.on_value) w.on_value(value);
    return value;
  };
}

}  // namespace

void ProgressHeader(const Work& w, format::RecordSink& sink) {
  format::Items names;
  for (int j = 0; j < w.fm.NPAR; ++j) names.emplace_back(w.fm.PNAME[j]);
  names.emplace_back("L.S.Error");
  format::Write(sink, kProgressHeader, names);
}

void RunSimplex(Work& w, format::RecordSink* sink, const fit::StopFn& stop) {
  model::FitModel& m = w.fm;
  FitControl& f = w.fc;
  const fit::ObjectiveFn objective = ObjectiveOf(w);
  for (int j = 0; j < m.NPAR; ++j) f.PSTEP0[j] = m.PSTEP[j];
  if (sink != nullptr) ProgressHeader(w, *sink);
  w.last_fit.fitted = true;
  w.last_fit.budget = f.NITER;
  fit::Minimise(objective, w.store, m.NPAR, m.PVAL.data(), f.PFIT.data(), f.LSERR, f.REQMIN,
                m.PSTEP.data(), f.NCHECK, f.NITER, &w.last_fit.outcome, stop);
  // Without parameters there is nothing to iterate, and no budget to run out.
  if (m.NPAR == 0) w.last_fit.outcome.budget_exhausted = false;
}

void SimplexDone(format::RecordSink* sink) {
  if (sink != nullptr) format::WriteFree(*sink, {"Iteration is completed.  Calculation ESDs"});
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

void FinishFit(Work& w, format::RecordSink* sink) {
  if (sink != nullptr) ProgressHeader(w, *sink);
  w.fc.LSERR = expressions::Objective(w.ev, w.fc.PFIT.data());
}

void RunFit(Work& w, format::RecordSink* sink, const fit::StopFn& stop) {
  RunSimplex(w, sink, stop);
  SimplexDone(sink);
  EstimateDeviations(w, stop);
  FinishFit(w, sink);
}

}  // namespace engine
