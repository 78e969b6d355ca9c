// The results report: a summary on the console, the whole of it in
// SUSCEP.OUT.
#include <array>
#include <cmath>
#include <vector>

#include "engine/engine.h"
#include "engine/layouts.h"
#include "plot/plot.h"

namespace engine {
namespace {

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

}  // namespace

void WriteReportHead(const Work& s, format::RecordSink& file, format::RecordSink* console) {
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

void WriteReportRest(const Work& s, format::RecordSink* file, expressions::Evaluation& e) {
  const DataSet& d = s.data;
  const double* pfit = s.fc.PFIT.data();
  auto calc = [&e, pfit](double t) { return expressions::Evaluate(e, pfit, t); };
  if (file == nullptr) {
    // The evaluations of the file's rest, in its order, in one call: the
    // term values left behind are those of one call a point.
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

void WriteReport(const Work& w, expressions::Evaluation& ev, format::RecordSink& file,
                 format::RecordSink* console, const std::function<void()>& pause) {
  WriteReportHead(w, file, console);
  expressions::Evaluation quiet = ev;
  quiet.console = nullptr;
  WriteReportRest(w, &file, quiet);
  if (console != nullptr) format::WriteFree(*console, {"Press RETURN key"});
  if (pause) pause();
  if (console != nullptr) ShowReportRest(w, *console, ev);
}

}  // namespace engine
