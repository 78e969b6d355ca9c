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

// SUSCEP.OUT and SUSCEP.JSON, whose failures wait for the console part of the
// report: files that cannot be made or written never hide a finished fit.
// After the first failure nothing more is written to either file.
class ReportFiles : public format::RecordSink {
 public:
  ReportFiles(const std::string& report_path, const std::string& result_path) {
    Try([&] {
      report_.emplace(report_path);
      result_.emplace(result_path);
    });
  }
  // A record of SUSCEP.OUT.
  void Record(std::string_view record) override {
    if (ok()) Try([&] { report_->Record(record); });
  }
  // Writes SUSCEP.JSON and puts both files in place together.
  void Commit(const std::string& result_text) {
    if (ok()) {
      Try([&] {
        result_->Write(result_text);
        format::CommitTogether({&report_->file(), &*result_});
      });
    }
  }
  bool ok() const { return failure_.empty(); }
  // The first failure, thrown once the console has the report.
  void ThrowFailure() const {
    if (!ok()) throw format::RunTimeError(failure_);
  }

 private:
  template <typename F>
  void Try(F f) {
    try {
      f();
    } catch (const format::RunTimeError& e) {
      failure_ = e.what();
      report_.reset();
      result_.reset();
    }
  }

  std::optional<format::RecordFile> report_;
  std::optional<format::WholeFile> result_;
  std::string failure_;
};

// The report from the difference table on, into the file alone, evaluated
// on `e` in the order of the console's evaluations after the pause.
void WriteRest(Session& s, format::RecordSink& file, expressions::Evaluation& e) {
  const DataSet& d = s.data;
  const double* pfit = s.fc.PFIT.data();
  auto calc = [&e, pfit](double t) { return expressions::Evaluate(e, pfit, t); };

  format::Write(file, kDiffHeading);
  for (int i = 0; i < d.NDATA; ++i) {
    const double xc = calc(d.T[i]);
    format::Write(file, kDiffLine, {d.T[i], d.XOBS[i], xc, d.XOBS[i] - xc});
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
}

// Every step after the files are opened: both are complete, and put in place
// together, before the pause; a failure to make them is thrown at the end.
void WriteAll(Session& s, ReportFiles& file, const FitAnalysis& found) {
  const model::FitModel& m = s.fm;
  const FitControl& f = s.fc;
  const DataSet& d = s.data;
  const double* pfit = f.PFIT.data();

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

  // The file's rest and the result file from a copy of the evaluation state
  // without a console: the same values as the console's evaluations below,
  // and the result file starts from the term values they leave behind.
  expressions::Evaluation quiet = s.ev;
  quiet.console = nullptr;
  if (file.ok()) {
    WriteRest(s, file, quiet);
    file.Commit(ResultText(s, quiet, found));
  }
  WriteNotes(s, found);

  s.con.Free({"Press RETURN key"});
  s.con.ReadLine();

  s.con.Out(kDiffHeading, {});
  for (int i = 0; i < d.NDATA; ++i) {
    const double xc = expressions::Evaluate(s.ev, pfit, d.T[i]);
    s.con.Out(kDiffLine, {d.T[i], d.XOBS[i], xc, d.XOBS[i] - xc});
  }
  // The curve's evaluations, as the file had them: their warnings on the
  // console, and the term values later evaluations start from.
  for (int twice = 0; twice < 2; ++twice) {
    for (int k = 1; k <= kCurvePoints; ++k) {
      expressions::Evaluate(s.ev, pfit, CurveTemperature(d, k));
    }
  }
  file.ThrowFailure();
}

}  // namespace

void WriteReport(Session& s, const FitAnalysis& found) {
  // Cut short (a write failed), neither file is put in place: both keep the
  // last whole pair.
  ReportFiles files(s.report_path, s.result_path);
  WriteAll(s, files, found);
}

}  // namespace driver
