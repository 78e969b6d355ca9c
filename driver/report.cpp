// The results report: a summary on the console, the whole of it in
// SUSCEP.OUT.
#include <cmath>

#include "driver/session.h"

namespace driver {
namespace {

constexpr char kHeading[] =
    "(/,' CHIFIT output. Ref: ',/,"
    "'     Magnetic susceptibility against temperature',/,"
    "'     Simplex fit of the L.S. error, errors from a quadratic surface',/,"
    "'     Observed values after the corrections listed below',/,"
    "'     T in K, X in cm3/mol, J, D and Z*JP in cm-1, THETA in K',/)";
constexpr char kStarting[] = "(/,/,' Starting:',/,' Parameter      Value          Step')";
constexpr char kStartingLine[] = "(1X,A,1P,E12.5,5X,1P,E12.5)";
constexpr char kSolution[] =
    "(/,' Solution:',/,' Parameter      Value       Std. devn.',/,(1X,A,' =',1P,E12.5,' +/-',1P,E12.4))";
constexpr char kSigmaFailed[] = "(' Sigma values could not be estimated correctly.')";
constexpr char kGivenG[] = "(' g-value given =',F8.4)";
constexpr char kLsError[] = "(' L.S. Error =',D12.4,/)";
constexpr char kDiffHeading[] = "(4X,'Temp.(K)',8X,'X-Expt',9X,'X-Cald.',9X,'Difference')";
constexpr char kDiffLine[] = "(F15.2,3F15.5)";
constexpr char kCurveLine[] = "(1X,F7.2,1X,1P,E13.6)";
constexpr char kPlotDataHeading[] =
    "(/,/,4X,'Data for plotting (using ORIGIN, for eg.)',/,4X,'columns, from left to right : T, CHI, MU, CHI*T, 1/CHI, 1/T')";
constexpr char kExperimental[] = "(/,4X,'Experimental points',/)";
constexpr char kPlotDataLine[] = "(1X,F7.2,5(1X,E11.4))";
constexpr char kCalculated[] = "(/,4X,'Calculated points',/)";

constexpr int kCurvePoints = 301;

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

// Every step after the file is opened; `file` is closed at the end.
void WriteAll(Session& s, format::RecordFile& file) {
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
  const double dt = (d.T[d.NDATA - 1] - d.T[0]) / 300.0;
  for (int k = 1; k <= kCurvePoints; ++k) {
    const double tk = (k - 1) * dt + d.T[0];
    format::Write(file, kCurveLine, {tk, calc(tk)});
  }

  format::Write(file, kPlotDataHeading);
  format::Write(file, kExperimental);
  for (int i = 0; i < d.NDATA; ++i) PlotDataLine(file, d.T[i], d.XOBS[i]);
  format::Write(file, kCalculated);
  for (int k = 1; k <= kCurvePoints; ++k) {
    const double tk = (k - 1) * dt + d.T[0];
    PlotDataLine(file, tk, calc(tk));
  }
  file.Close();
}

}  // namespace

void WriteReport(Session& s) {
  // Cut short (the console input ended at the pause, a write failed), the
  // report is not put in place: the file keeps the last whole report.
  format::RecordFile file(s.report_path);
  WriteAll(s, file);
}

}  // namespace driver
