// The state of one run, owned by the driver and handed to its activities.
#ifndef SUSCEP_DRIVER_SESSION_H_
#define SUSCEP_DRIVER_SESSION_H_

#include <iosfwd>
#include <string>

#include "engine/engine.h"
#include "format/console.h"
#include "plot/plot.h"

namespace driver {

using engine::DataSet;
using engine::FitControl;
using engine::FitRecord;
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
