// The evaluation state of a fit and the fit itself: the simplex, the
// standard deviations and the L.S. error at the result.
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

void ProgressHeader(const Work& w, format::RecordSink& sink) {
  format::Items names;
  for (int j = 0; j < w.fm.NPAR; ++j) names.emplace_back(w.fm.PNAME[j]);
  names.emplace_back("L.S.Error");
  format::Write(sink, kProgressHeader, names);
}

void RunFit(Work& w, format::RecordSink* sink, const fit::StopFn& stop) {
  model::FitModel& m = w.fm;
  FitControl& f = w.fc;
  const fit::ObjectiveFn objective = [&w](const double* p) {
    return expressions::Objective(w.ev, p);
  };
  for (int j = 0; j < m.NPAR; ++j) f.PSTEP0[j] = m.PSTEP[j];
  if (sink != nullptr) ProgressHeader(w, *sink);
  w.last_fit.fitted = true;
  w.last_fit.budget = f.NITER;
  fit::Minimise(objective, w.store, m.NPAR, m.PVAL.data(), f.PFIT.data(), f.LSERR, f.REQMIN,
                m.PSTEP.data(), f.NCHECK, f.NITER, &w.last_fit.outcome, stop);
  if (sink != nullptr) format::WriteFree(*sink, {"Iteration is completed.  Calculation ESDs"});
  fit::EstimateSigma(objective, w.store, f.PFIT.data(), f.SIGMA.data(), m.NPAR, w.data.NDATA,
                     f.SIGFLAG);
  if (sink != nullptr) ProgressHeader(w, *sink);
  f.LSERR = expressions::Objective(w.ev, f.PFIT.data());
}

}  // namespace engine
