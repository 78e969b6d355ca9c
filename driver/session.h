// The state of one run, owned by the driver and handed to its activities.
#ifndef SUSCEP_DRIVER_SESSION_H_
#define SUSCEP_DRIVER_SESSION_H_

#include <array>
#include <iosfwd>
#include <string>

#include "analysis/analysis.h"
#include "driver/data.h"
#include "expressions/expressions.h"
#include "fit/fit.h"
#include "format/console.h"
#include "model/model.h"
#include "plot/plot.h"

namespace driver {

// The corrections-menu settings.
struct Settings {
  double DIAM = 0.0;
  double TIP = 0.0;
  double FACTOR = 1.0;
  int MN = 24;
  double GVAL = 0.0;
};

// The working values of a fit and its settings.
struct FitControl {
  std::array<double, model::MAXPAR> PFIT{};
  std::array<double, model::MAXPAR> PSTART{};
  std::array<double, model::MAXPAR> PSTEP0{};
  std::array<double, model::MAXPAR> SIGMA{};
  int SIGFLAG = 0;
  double REQMIN = 1.0E-16;
  int NITER = 200;
  int NCHECK = 1;
  double LSERR = 0.0;
};

// What the last iteration dialogue did, for the result file and the notes.
struct FitRecord {
  bool fitted = false;  // false after a zero-iteration report
  int budget = 0;       // NITER as asked
  fit::MinimiseOutcome outcome;
  bool sigma_stopped = false;  // Ctrl-C ended the Std. devn. estimate
};

// What the statistics and the check of the minimum found at the fitted
// values, for SUSCEP.JSON and the notes.
struct FitAnalysis {
  analysis::Statistics statistics;
  analysis::MinimumCheck check;
  double check_ls_error = 0.0;  // not a number when the check did not run
  double improvement = 0.0;     // relative, of the L.S. error
  bool stopped_short = false;
  bool interrupted = false;  // Ctrl-C ended the analysis: nothing in it is known
  bool not_finite = false;   // the L.S. error or a residual is not finite: no analysis
};

struct Session {
  explicit Session(format::Console& console) : con(console) {}

  format::Console& con;
  Settings settings;
  DataSet data;
  model::FitModel fm;
  expressions::Evaluation ev;
  plot::PlotState ps;
  int option = 0;  // the last Options menu answer
  FitControl fc;
  fit::SimplexStore store;
  FitRecord last_fit;
  std::string data_name;  // as typed
  std::string report_path = "SUSCEP.OUT";
  std::string plot_path = "SUSCEP.HGL";
  std::string result_path = "SUSCEP.JSON";
  std::ostream* notes = nullptr;  // standard error: notes after a fit
};

// The evaluation state bound to the fit model, the console and the
// corrected data, with the constants set. The term values carry over from
// the previous binding in `s.ev`: a zero-field term with an unlisted spin
// keeps its last value.
expressions::Evaluation BoundEvaluation(const Session& s);

// How the parameter editing loop hands control back.
enum class EditResult { kPlot, kReported, kOptions };

// The parameter listing and editing loop, the iteration dialogue, the fit
// and the report.
EditResult EditParameters(Session& s);

// The Std. devn. estimate after a fit, into SIGMA and SIGFLAG (PFIT takes
// the surface minimum). `stop` answering true ends it: SIGFLAG 1, SIGMA 0,
// PFIT as it was, and last_fit.sigma_stopped set.
void EstimateDeviations(Session& s, const fit::StopFn& stop = {});

// The statistics and the check of the minimum at the fitted values, made on
// copies (the session is unchanged, the console gets nothing). `stop`
// answering true ends them, with nothing known.
FitAnalysis AnalyseFit(const Session& s, const fit::StopFn& stop = {});

// SUSCEP.JSON for `found`, its data and curve evaluated on `e`.
std::string ResultText(const Session& s, expressions::Evaluation& e, const FitAnalysis& found);

// The notes on standard error for `found`, on `notes`: after a fit, and
// after any report whose analysis was stopped.
void WriteNotes(const Session& s, const FitAnalysis& found);

// The results report on the console and in SUSCEP.OUT, with SUSCEP.JSON
// for `found` beside it: both are written whole and put in place together
// before the pause ("Press RETURN key"), and the notes follow them. A
// failure to write throws format::RunTimeError and leaves both files as
// they were.
void WriteReport(Session& s, const FitAnalysis& found);

// One whole run on the given console, from the banner to the end. Throws
// format::ProgramStop at an orderly end, format::RunTimeError on a failure.
void Run(Session& s);

// Runs the program and returns its exit status: 0 at an orderly end (after
// "Stop - Program terminated."), 2 after a run-time error report on `err`,
// 3 after any other failure (out of memory) reported in one line on `err`.
// No output file is left cut short either way. `ask_again`: answers come
// from a terminal, where an unreadable number is asked again
// (format::Console::SetAskAgain).
int Main(std::istream& in, std::ostream& out, std::ostream& err, bool ask_again = false);

}  // namespace driver

#endif  // SUSCEP_DRIVER_SESSION_H_
