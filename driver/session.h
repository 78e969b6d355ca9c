// The state of one run, owned by the driver and handed to its activities.
#ifndef SUSCEP_DRIVER_SESSION_H_
#define SUSCEP_DRIVER_SESSION_H_

#include <iosfwd>
#include <string>

#include "engine/dialogue.h"
#include "format/console.h"
#include "plot/plot.h"

namespace driver {

// The engine's names the dialogue has always used.
using engine::ApplyCorrections;
using engine::CurveTemperature;
using engine::DataSet;
using engine::FitAnalysis;
using engine::FitControl;
using engine::FitRecord;
using engine::kCurvePoints;
using engine::kMaxData;
using engine::Load;
using engine::Settings;

// The working state of the fit, with the console, the plot and the files
// of the dialogue.
struct Session : engine::Work {
  explicit Session(format::Console& console) : con(console) {}

  format::Console& con;
  plot::PlotState ps;
  int option = 0;  // the last Options menu answer
  std::string report_path = "SUSCEP.OUT";
  std::string plot_path = "SUSCEP.HGL";
  std::string result_path = "SUSCEP.JSON";
  std::ostream* notes = nullptr;  // standard error: notes after a fit
};

// The evaluation state bound to the fit model, the console and the
// corrected data, with the constants set. The term values carry over from
// the previous binding in `s.ev`: a zero-field term with an unlisted spin
// keeps its last value.
inline expressions::Evaluation BoundEvaluation(const Session& s) {
  return engine::BoundEvaluation(s, &s.con);
}

// How the parameter editing loop hands control back.
enum class EditResult { kPlot, kReported, kOptions };

// The parameter listing and editing loop, the iteration dialogue, the fit
// and the report.
EditResult EditParameters(Session& s);

// The Std. devn. estimate after a fit (engine::EstimateDeviations).
inline void EstimateDeviations(Session& s, const fit::StopFn& stop = {}) {
  engine::EstimateDeviations(s, stop);
}

// The statistics and the check of the minimum at the fitted values
// (engine::Analyse).
inline FitAnalysis AnalyseFit(const Session& s, const fit::StopFn& stop = {}) {
  return engine::Analyse(s, stop);
}

// SUSCEP.JSON for `found`, its data and curve evaluated on `e`.
inline std::string ResultText(const Session& s, expressions::Evaluation& e,
                              const FitAnalysis& found) {
  return engine::ResultDocument(s, e, found);
}

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
