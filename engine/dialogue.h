// The working state of one fit and the steps taken on it, one at a time:
// engine::Fit takes them all in turn, the dialogue (driver/) takes them
// with its questions and its Ctrl-C between them. Only the engine and the
// dialogue see this header.
#ifndef SUSCEP_ENGINE_DIALOGUE_H_
#define SUSCEP_ENGINE_DIALOGUE_H_

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "engine/engine.h"
#include "expressions/expressions.h"
#include "fit/fit.h"
#include "format/console.h"
#include "model/model.h"

namespace engine {

// The most data points a data set holds.
constexpr int kMaxData = 300;

// Room for the dialogue's kMaxData points; a fit of other front ends makes
// room for its own (up to kMaxPoints).
struct DataSet {
  int NDATA = 0;
  std::vector<double> T = std::vector<double>(kMaxData);
  std::vector<double> XRAW = std::vector<double>(kMaxData);
  std::vector<double> XOBS = std::vector<double>(kMaxData);
  double SXOBS2 = 0.0;
  double TIPADD = 0.0;
  // Outside the dialogue: each point's error as read (empty: none), and the
  // points left out of the fit by the temperature window (empty: none).
  std::vector<double> SIGMA;
  std::vector<bool> EXCLUDED;
};

// The report's calculated curve: kCurvePoints temperatures evenly spaced
// from the first data temperature to the last; k runs from 1.
constexpr int kCurvePoints = 301;
inline double CurveTemperature(const DataSet& d, int k) {
  const double dt = (d.T[d.NDATA - 1] - d.T[0]) / (kCurvePoints - 1);
  return (k - 1) * dt + d.T[0];
}

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

// What the last fit did, for the result document and the notes.
struct FitRecord {
  bool fitted = false;  // false after a zero-iteration report
  int budget = 0;       // NITER as asked
  fit::MinimiseOutcome outcome;
  bool sigma_stopped = false;  // the stop ended the Std. devn. estimate
  bool refined = false;        // the values are those of the refinement
  // Outside the dialogue: the method and what it found.
  std::string method = "simplex";
  bool converged = false;  // the method's convergence test passed
  std::string message;     // lm and global: why the best run ended
  int iterations = 0;      // lm and global: Jacobians, all runs
  int screened = 0;        // global: points of the set evaluated
  int starts = 0;          // global: refined starts
  int reached_best = 0;
  std::vector<FoundMinimum> minima;
  std::vector<bool> at_bound;
  // lm and global: the best run's last Jacobian (fit::LmResult::jacobian).
  std::vector<double> jacobian;
};

// What a fit outside the dialogue minimises: the points in the window,
// their observed quantity and weight, and what divides the sum of squares
// of the weighted residuals to give the L.S. error. `dialogue`: all points,
// no weights, chi: the dialogue's L.S. error exactly.
struct FitProblem {
  bool dialogue = true;
  std::vector<int> fitted;       // indices of the points fitted
  std::vector<double> T;         // their temperatures
  std::vector<double> observed;  // chi or chi*T, corrected
  std::vector<double> weight;    // 1, 1/sigma or 1/|observed|
  bool chi_t = false;
  double denominator = 1.0;          // L.S. error = sum of squares / denominator
  std::vector<double> lower, upper;  // per parameter, infinite where unbounded
  std::vector<bool> fixed;
  FitSettings settings;
  std::string style;  // FitOptions::settings_style
};

struct Work {
  Settings settings;
  DataSet data;
  model::FitModel fm;
  expressions::Evaluation ev;
  FitControl fc;
  fit::SimplexStore store;
  FitRecord last_fit;
  std::string data_name;                      // as typed
  std::shared_ptr<const FitProblem> problem;  // none: the dialogue's
  // Told every objective value of the simplex, when set.
  std::function<void(double)> on_value;
  // FitOptions::on_progress of a fit outside the dialogue.
  std::function<bool(int iteration, double ls_error)> on_progress;
};

// ---------------------------------------------------------------------------
// The data and the model.

// The data file `name` opened and loaded as Load does. A name with a control
// character, a directory or a file that cannot be opened throws OpenError.
class OpenError : public format::RunTimeError {
 public:
  using format::RunTimeError::RunTimeError;
};
void LoadFile(DataSet& data, const std::string& name, format::RecordSink* listing);

// Reads the count and the pairs from `file`, then lists them on `listing`
// when given. A count outside 1..kMaxData, a temperature not above 0, or a
// short or unreadable file throws format::RunTimeError.
void Load(DataSet& data, format::LineSource& file, format::RecordSink* listing);

// XOBS, TIPADD and SXOBS2 from XRAW and the three corrections.
void ApplyCorrections(DataSet& data, double DIAM, double TIP, double FACTOR);

// The evaluation state bound to the fit model and the corrected data, with
// the constants set; progress and warning lines go to `progress` (none when
// null). The term values carry over from the previous binding in `w.ev`.
expressions::Evaluation BoundEvaluation(const Work& w, format::RecordSink* progress);

// The simplex step a parameter starts with: 1 % of its start.
inline double DefaultStep(double start) { return 0.01 * start; }

// ---------------------------------------------------------------------------
// The fit, one step at a time.

// The statistics and the check of the minimum at w.fc.PFIT, made on copies
// (nothing in `w` changes, nothing is written). `stop` answering true ends
// them, with nothing known.
struct FitAnalysis {
  analysis::Statistics statistics;
  analysis::MinimumCheck check;
  double check_ls_error = 0.0;  // not a number when the check did not run
  double improvement = 0.0;     // relative, of the L.S. error
  bool stopped_short = false;
  bool interrupted = false;  // the stop ended the analysis: nothing in it is known
  bool not_finite = false;   // the L.S. error or a residual is not finite: no analysis
};
FitAnalysis Analyse(const Work& w, const fit::StopFn& stop = {});

// The Std. devn. estimate after the simplex, into SIGMA and SIGFLAG (PFIT
// takes the surface minimum). `stop` answering true ends it: SIGFLAG 1,
// SIGMA 0, PFIT as it was, and last_fit.sigma_stopped set.
void EstimateDeviations(Work& w, const fit::StopFn& stop = {});

// A fit of the working state, in steps. Made at the set-up of the
// iterations: the last fit forgotten, the starts and the steps recorded
// (PSTART, PSTEP0, and PFIT for a report with no iterations), the progress
// heading and the L.S. error at the starts. The fit settings in w.fc and the
// steps in w.fm.PSTEP may change until the first step is taken; then each
// Take() takes the next step, with `stop` for it alone:
//   kSearch      the simplex from PVAL into PFIT and LSERR, with its
//                progress lines (none with no iterations);
//   kDeviations  the Std. devn. estimate into SIGMA and SIGFLAG, PFIT the
//                surface minimum, and the L.S. error there (none with no
//                iterations); stopped: SIGFLAG 1, SIGMA 0, PFIT as it was;
//   kAnalysis    Analyse(), into found();
//   kRefinement  when asked for and the check ran: its point, standard errors
//                and L.S. error taken as the fit's, and analysed again.
class FitSteps {
 public:
  enum class Step { kSearch, kDeviations, kAnalysis, kRefinement, kDone };

  FitSteps(Work& w, format::RecordSink* progress, bool refine = false);

  Step next() const { return next_; }
  bool done() const { return next_ == Step::kDone; }
  void Take(const fit::StopFn& stop = {});
  const FitAnalysis& found() const { return found_; }

 private:
  Work& w_;
  format::RecordSink* progress_;
  bool refine_;
  bool general_ = false;  // a method of fit/ other than the dialogue's path
  Step next_ = Step::kSearch;
  FitAnalysis found_;
};

// ---------------------------------------------------------------------------
// The report, in this order: ReportFile (SUSCEP.OUT, the summary on the
// console), ResultDocument evaluated after it, Notes; then, on a console,
// ShowReportRest after its pause.

// The report's file: the model and the values to `file`, the summary also
// to `console` when given, then the differences, the curve and the tables
// for plotting. Evaluated on a copy of w.ev with no console, returned: the
// result document is evaluated on it next. With no file, only the
// evaluations, so that the copy is left as the file would leave it.
expressions::Evaluation ReportFile(const Work& w, format::RecordSink* file,
                                   format::RecordSink* console);

// What the console shows after the pause: the differences, evaluated on
// `ev` with the curve's evaluations after them, as the file has them.
void ShowReportRest(const Work& w, format::RecordSink& console, expressions::Evaluation& ev);

// The result document (SUSCEP.JSON) of the working state, its data and
// curve evaluated on `e`.
std::string ResultDocument(const Work& w, expressions::Evaluation& e, const FitAnalysis& found);

// The figure of the working state: the corrected data and the curve at the
// working values PFIT, evaluated on a copy of w.ev with no console.
std::string WorkFigure(const Work& w, const FigureOptions& options);

// The notes after a fit, each line ended; `result_path` is named in them.
std::string Notes(const Work& w, const FitAnalysis& found, const std::string& result_path);

}  // namespace engine

#endif  // SUSCEP_ENGINE_DIALOGUE_H_
