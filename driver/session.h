// The state of one run, owned by the driver and handed to its activities.
#ifndef SUSCEP_DRIVER_SESSION_H_
#define SUSCEP_DRIVER_SESSION_H_

#include <array>
#include <iosfwd>
#include <string>

#include "engine/data.h"
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

// The results report on the console and in SUSCEP.OUT.
void WriteReport(Session& s);

// SUSCEP.JSON, with the statistics and the check of the minimum, beside
// every report; then, after a fit, the notes on `notes`. A failure to write
// throws format::RunTimeError.
void WriteResults(Session& s);

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
