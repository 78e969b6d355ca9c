// The results report: a summary on the console, the whole of it in
// SUSCEP.OUT; and the notes on standard error after a fit.
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "engine/dialogue.h"
#include "engine/internal.h"
#include "engine/layouts.h"
#include "plot/plot.h"

namespace engine {
namespace {

constexpr char kNote[] = "suscep: note: ";

// The same records to the console, when there is one, then to the file.
void Both(format::RecordSink* console, format::RecordSink& file, const char* layout,
          const format::Items& items) {
  if (console != nullptr) format::Write(*console, layout, items);
  format::Write(file, layout, items);
}

void PlotDataLine(format::RecordSink& file, double t, double x) {
  const double mu = std::sqrt((x * t) * plot::MUCONST);
  const double chit = x * t;
  const double rchi = 1.0 / x;
  const double rt = 1.0 / t;
  format::Write(file, kPlotDataLine, {t, x, mu, chit, rchi, rt});
}

// Each parameter's name with its two values, for one record of a table.
format::Items NamedPairs(const model::FitModel& m, const std::array<double, model::MAXPAR>& a,
                         const std::array<double, model::MAXPAR>& b) {
  format::Items items;
  for (int j = 0; j < m.NPAR; ++j) {
    items.emplace_back(m.PNAME[j]);
    items.emplace_back(a[j]);
    items.emplace_back(b[j]);
  }
  return items;
}

// The head: the model and the values, every record to `file`, the summary
// also to `console` when given.
void WriteHead(const Work& s, format::RecordSink& file, format::RecordSink* console) {
  const model::FitModel& m = s.fm;
  const FitControl& f = s.fc;

  format::Write(file, kHeading);
  model::Describe(m, file);

  Both(console, file, kStarting, {});
  Both(console, file, kStartingLine, NamedPairs(m, f.PSTART, f.PSTEP0));
  Both(console, file, kSolution, NamedPairs(m, f.PFIT, f.SIGMA));
  if (f.SIGFLAG == 1) Both(console, file, kSigmaFailed, {});
  if (!model::GFitted(s.settings.GVAL)) Both(console, file, kGivenG, {s.settings.GVAL});
  Both(console, file, kLsError, {f.LSERR});
}

// The rest of the file (the differences, the curve, the tables for
// plotting) evaluated on `e`; with no file, only the evaluations, so that
// `e` is left as the file would leave it.
void WriteRest(const Work& s, format::RecordSink* file, expressions::Evaluation& e) {
  const DataSet& d = s.data;
  const double* pfit = s.fc.PFIT.data();
  auto calc = [&e, pfit](double t) { return expressions::Evaluate(e, pfit, t); };
  if (file == nullptr) {
    // The evaluations of the file's rest, in its order, in one call: the
    // term values left behind are those of one call a point. They matter
    // only to a model whose values depend on them.
    if (!expressions::CarriesState(e, pfit)) return;
    std::vector<double> t(d.T.begin(), d.T.begin() + d.NDATA);
    for (int twice = 0; twice < 2; ++twice) {
      for (int k = 1; k <= kCurvePoints; ++k) t.push_back(CurveTemperature(d, k));
    }
    std::vector<double> values(t.size());
    expressions::EvaluateAll(e, pfit, t.data(), static_cast<int>(t.size()), values.data());
    return;
  }

  format::Write(*file, kDiffHeading);
  for (int i = 0; i < d.NDATA; ++i) {
    const double xc = calc(d.T[i]);
    const bool excluded = !d.EXCLUDED.empty() && d.EXCLUDED[i];
    format::Write(*file, excluded ? kDiffLineExcluded : kDiffLine,
                  {d.T[i], d.XOBS[i], xc, d.XOBS[i] - xc});
  }

  format::WriteFree(*file, {"Diamagnetic correction made on X-obsd =", s.settings.DIAM});
  format::WriteFree(*file, {"TIP added to X-cald. =", d.TIPADD});
  format::WriteFree(*file, {"  TEMP.     X-CALD."});
  for (int k = 1; k <= kCurvePoints; ++k) {
    const double tk = CurveTemperature(d, k);
    format::Write(*file, kCurveLine, {tk, calc(tk)});
  }

  format::Write(*file, kPlotDataHeading);
  format::Write(*file, kExperimental);
  for (int i = 0; i < d.NDATA; ++i) PlotDataLine(*file, d.T[i], d.XOBS[i]);
  format::Write(*file, kCalculated);
  for (int k = 1; k <= kCurvePoints; ++k) {
    const double tk = CurveTemperature(d, k);
    PlotDataLine(*file, tk, calc(tk));
  }
}

std::string Scientific(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4E", x);
  return text;
}

}  // namespace

expressions::Evaluation ReportFile(const Work& w, format::RecordSink* file,
                                   format::RecordSink* console) {
  if (file != nullptr) WriteHead(w, *file, console);
  expressions::Evaluation quiet = w.ev;
  quiet.console = nullptr;
  WriteRest(w, file, quiet);
  return quiet;
}

void ShowReportRest(const Work& s, format::RecordSink& console, expressions::Evaluation& ev) {
  const DataSet& d = s.data;
  const double* pfit = s.fc.PFIT.data();
  format::Write(console, kDiffHeading, {});
  for (int i = 0; i < d.NDATA; ++i) {
    const double xc = expressions::Evaluate(ev, pfit, d.T[i]);
    format::Write(console, kDiffLine, {d.T[i], d.XOBS[i], xc, d.XOBS[i] - xc});
  }
  // The curve's evaluations, as the file had them: their warnings on the
  // console, and the term values later evaluations start from.
  for (int twice = 0; twice < 2; ++twice) {
    for (int k = 1; k <= kCurvePoints; ++k) {
      expressions::Evaluate(ev, pfit, CurveTemperature(d, k));
    }
  }
}

std::string Notes(const Work& s, const FitAnalysis& f, const std::string& result_path) {
  std::ostringstream err;
  const FitRecord& fit = s.last_fit;
  const bool dialogue = s.problem == nullptr || s.problem->style.empty();
  // A refinement that reached the minimum, or a converged lm, needs no more
  // iterations.
  const bool converged =
      (fit.refined && !f.stopped_short) || (fit.method != "simplex" && fit.converged);
  if (fit.fitted && f.not_finite) {
    err << kNote << "the L.S. error is not a finite number ("
        << (s.data.SXOBS2 == 0.0 ? "every observed value is 0"
                                 : "the model is not a number at the fitted values")
        << "): no statistics or check of the minimum in " << result_path << std::endl;
  } else if (fit.fitted && fit.outcome.budget_exhausted && !converged) {
    const std::string name = IterationsName(s);
    if (fit.method != "simplex") {
      err << kNote << "Levenberg-Marquardt reached its iteration limit (" << name << " "
          << fit.budget << "): the values may not be the minimum; fit again with a larger " << name
          << std::endl;
    } else if (dialogue) {
      err << kNote << "the fit stopped when its budget ran out (No. of iterations " << fit.budget
          << ", " << fit.outcome.evaluations
          << " evaluations): the values may not be the minimum; iterate again, with more "
             "iterations (-1)"
          << std::endl;
    } else {
      err << kNote << "the fit stopped when its budget ran out (" << name << " " << fit.budget
          << ", " << fit.outcome.evaluations
          << " evaluations): the values may not be the minimum; fit again with a larger " << name
          << (name == "--iterations" ? ", or --method lm" : ", or method=\"lm\"") << std::endl;
    }
  }
  if (fit.fitted && fit.outcome.stopped) {
    err << kNote << "the fit was stopped by Ctrl-C after " << fit.outcome.evaluations
        << " evaluations: the values are the best point found so far"
        << (dialogue ? "; iterate again (-1) to go on" : "") << std::endl;
  }
  for (std::size_t j = 0; j < fit.at_bound.size(); ++j) {
    if (!fit.at_bound[j]) continue;
    err << kNote << "parameter " << Trimmed(s.fm.PNAME[j]) << " ended on its bound ("
        << Scientific(s.fc.PFIT[j]) << "): its standard error is null in " << result_path
        << std::endl;
  }
  if (fit.fitted && fit.sigma_stopped) {
    err << kNote
        << "the Std. devn. estimate was stopped by Ctrl-C: the values are the fit's, without "
           "deviations"
        << std::endl;
  }
  // Asked for by the user, so noted after a report with 0 iterations too.
  if (f.interrupted) {
    err << kNote
        << "the statistics and the check of the minimum were stopped by Ctrl-C: they are null in "
        << result_path << std::endl;
  }
  if (fit.fitted && f.stopped_short) {
    err << kNote << "the fit stopped short of the minimum: L.S. error " << Scientific(s.fc.LSERR)
        << ", " << Scientific(f.check_ls_error) << " after a Levenberg-Marquardt check; see "
        << result_path << std::endl;
  }
  return err.str();
}

}  // namespace engine
