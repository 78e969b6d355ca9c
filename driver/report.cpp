// The results report: a summary on the console, the whole of it in
// SUSCEP.OUT.
#include <cmath>
#include <optional>
#include <string>

#include "driver/layouts.h"
#include "driver/session.h"

namespace driver {
namespace {

// The same records to the console, then to the file.
void Both(Session& s, format::RecordSink& file, const char* layout, const format::Items& items) {
  s.con.Out(layout, items);
  format::Write(file, layout, items);
}

void PlotDataLine(format::RecordSink& file, double t, double x) {
  const double mu = std::sqrt((x * t) * plot::MUCONST);
  const double chit = x * t;
  const double rchi = 1.0 / x;
  const double rt = 1.0 / t;
  format::Write(file, kPlotDataLine, {t, x, mu, chit, rchi, rt});
}

// SUSCEP.OUT, whose failures wait for the console part of the report: a
// file that cannot be created or written never hides a finished fit.
class ReportFile : public format::RecordSink {
 public:
  explicit ReportFile(const std::string& path) {
    try {
      file_.emplace(path);
    } catch (const format::RunTimeError& e) {
      failure_ = e.what();
    }
  }
  void Record(std::string_view record) override {
    if (!file_) return;
    try {
      file_->Record(record);
    } catch (const format::RunTimeError& e) {
      failure_ = e.what();
      file_.reset();
    }
  }
  // Puts the file in place, or throws the first failure.
  void Close() {
    if (!file_) throw format::RunTimeError(failure_);
    file_->Close();
  }

 private:
  std::optional<format::RecordFile> file_;
  std::string failure_;
};

// Every step after the file is opened; `file` is closed at the end.
void WriteAll(Session& s, ReportFile& file) {
  const model::FitModel& m = s.fm;
  const FitControl& f = s.fc;
  const DataSet& d = s.data;
  const double* pfit = f.PFIT.data();
  auto calc = [&s, pfit](double t) { return expressions::Evaluate(s.ev, pfit, t); };

  format::Write(file, kHeading);
  model::Describe(m, file);

  Both(s, file, kStarting, {});
  format::Items start;
  for (int j = 0; j < m.NPAR; ++j) {
    start.emplace_back(m.PNAME[j]);
    start.emplace_back(f.PSTART[j]);
    start.emplace_back(f.PSTEP0[j]);
  }
  Both(s, file, kStartingLine, start);

  format::Items solution;
  for (int j = 0; j < m.NPAR; ++j) {
    solution.emplace_back(m.PNAME[j]);
    solution.emplace_back(f.PFIT[j]);
    solution.emplace_back(f.SIGMA[j]);
  }
  Both(s, file, kSolution, solution);
  if (f.SIGFLAG == 1) Both(s, file, kSigmaFailed, {});
  if (!model::GFitted(s.settings.GVAL)) Both(s, file, kGivenG, {s.settings.GVAL});
  Both(s, file, kLsError, {f.LSERR});

  s.con.Free({"Press RETURN key"});
  s.con.ReadLine();

  Both(s, file, kDiffHeading, {});
  for (int i = 0; i < d.NDATA; ++i) {
    const double xc = calc(d.T[i]);
    const double diff = d.XOBS[i] - xc;
    Both(s, file, kDiffLine, {d.T[i], d.XOBS[i], xc, diff});
  }

  format::WriteFree(file, {"Diamagnetic correction made on X-obsd =", s.settings.DIAM});
  format::WriteFree(file, {"TIP added to X-cald. =", d.TIPADD});
  format::WriteFree(file, {"  TEMP.     X-CALD."});
  for (int k = 1; k <= kCurvePoints; ++k) {
    const double tk = CurveTemperature(d, k);
    format::Write(file, kCurveLine, {tk, calc(tk)});
  }

  format::Write(file, kPlotDataHeading);
  format::Write(file, kExperimental);
  for (int i = 0; i < d.NDATA; ++i) PlotDataLine(file, d.T[i], d.XOBS[i]);
  format::Write(file, kCalculated);
  for (int k = 1; k <= kCurvePoints; ++k) {
    const double tk = CurveTemperature(d, k);
    PlotDataLine(file, tk, calc(tk));
  }
  file.Close();
}

}  // namespace

void WriteReport(Session& s) {
  // Cut short (the console input ended at the pause, a write failed), the
  // report is not put in place: the file keeps the last whole report.
  ReportFile file(s.report_path);
  WriteAll(s, file);
}

}  // namespace driver
