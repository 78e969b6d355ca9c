// The fit engine: a model built from its description, the corrections, the
// fit, the report and the result document, with no console and no global
// state. The dialogue, `suscep fit` and the Python module call it.
//
// The first part is the API for front ends, in standard types only. The
// second part is the working state of one fit and the steps the dialogue
// takes one at a time on it.
#ifndef SUSCEP_ENGINE_ENGINE_H_
#define SUSCEP_ENGINE_ENGINE_H_

#include <array>
#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis.h"
#include "expressions/expressions.h"
#include "fit/fit.h"
#include "format/console.h"
#include "model/model.h"

namespace engine {

// ---------------------------------------------------------------------------
// Errors. what() is one line, fit for "suscep fit: <what>".

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A model description or model file that cannot be used.
class ModelError : public Error {
 public:
  using Error::Error;
};
// A data set the program refuses (the count, a temperature, a value).
class DataError : public Error {
 public:
  using Error::Error;
};
// A file that cannot be opened, read or written.
class FileError : public Error {
 public:
  using Error::Error;
};

// ---------------------------------------------------------------------------
// The model description: the keys of a model file (docs/model-format.md).

struct Corrections {
  double diamagnetic = 0.0;  // subtracted from every read value
  double tip = 0.0;          // temperature-independent paramagnetism
  double factor = 1.0;       // multiplies the read values and the TIP
};

// One term: a function (1-10) and its constants.
struct TermDescription {
  int function = 0;
  double S = 0.0;   // Curie (1) and zero-field (2): the spin
  double S1 = 0.0;  // dimer (8) and Kahn's chain (9, other 4)
  double S2 = 0.0;
  double B = 0.0;           // magnetization (5): the field in gauss
  int other_function = 0;   // function 9: 1 S1=S2=1 dimer with D, 2 trimer,
                            // 3 Hatfield's tetramer, 4 Kahn's chain of dimers
  bool correction = false;  // THETA for a Curie term, Z*JP for the others
};

struct ParameterDescription {
  std::string name;  // as the program names it, trailing blanks dropped
  double start = 0.0;
  // The simplex step; none: 1 % of the start, as the dialogue sets it. A
  // step of 0 holds the parameter at its start.
  std::optional<double> step;
  // Bounds of the fitted value (none: unbounded on that side); `fixed`
  // holds the parameter at its start in every method.
  std::optional<double> min{}, max{};
  bool fixed = false;
};

// The methods of a fit (docs/model-format.md): "simplex", the dialogue's;
// "lm", Levenberg-Marquardt from the starts; "global", many starts screened
// and the best refined by lm.
extern const char* const kMethods[3];
// What is minimised: `weights` "none" (the L.S. error), "sigma" (chi-square
// with the data's errors) or "relative" (each residual over its observed
// value); `quantity` "chi" or "chiT".
extern const char* const kWeights[3];
extern const char* const kQuantities[2];

struct FitSettings {
  // simplex: the evaluation budget; lm and global: the iteration limit of
  // each Levenberg-Marquardt run; 0: no fit, a report at the starts.
  int iterations = 200;
  double reqmin = 1.0E-16;
  int ncheck = 1;
  std::string method = "simplex";
  // The temperature window (K) of the points fitted; the others are kept and
  // shown, marked excluded.
  std::optional<double> tmin, tmax;
  std::string weights = "none";
  std::string quantity = "chi";
};

struct ModelDescription {
  Corrections corrections;
  // The expression number MN: 1-79 with a units digit that is not 0 is a
  // standard expression (its terms' functions are fixed; `terms` then gives
  // their constants and corrections, or is empty for the defaults). 90-99,
  // or 0 with `terms`: the terms and the equation type as given.
  int expression = 24;
  int equation_type = 1;  // 1-3, for the expressions 90-99
  std::vector<TermDescription> terms;
  std::optional<double> g;  // none: g is fitted ("g-value", parameter 1)
  // One per parameter of the model, in the model's order; empty: the
  // default starts of Template().
  std::vector<ParameterDescription> parameters;
  FitSettings fit;
};

// Where the starts of a model file come from: its `start`, or the fitted
// `value` of a result document.
enum class Starts { kStart, kValue };

// A model file (JSON); any SUSCEP.JSON is one. `origin` names the file in
// messages. Throws ModelError: a text that does not parse (line and column),
// an unknown key (named, with the keys allowed there), a wrong type, or a
// model the dialogue would refuse (Build's checks).
ModelDescription ParseModel(std::string_view text, Starts starts = Starts::kStart,
                            const std::string& origin = "model file");
// The same from a file; FileError when it cannot be read.
ModelDescription ReadModelFile(const std::string& path, Starts starts = Starts::kStart);
// The description as a model file, with every parameter's start and step.
std::string ModelText(const ModelDescription& description);

// A standard expression number with the default constants (Curie S 1/2,
// zero-field S 1, dimers 1/2 and 1/2, field 10000 G, other function 1, no
// corrections, g fitted) and each parameter's default start, its step 1 %
// of it. ModelError for a number the dialogue refuses or 90-99.
ModelDescription Template(int expression);

// The catalogue.
struct FunctionInfo {
  int function = 0;        // 1-10
  int other_function = 0;  // for function 9: 1-4
  std::string name;
  std::vector<std::string> constants;   // keys of a term in a model file
  std::vector<std::string> parameters;  // the zero-field D is named by S: D-1 for S = 1
  std::string correction;               // "THETA", "Z*JP", or "" (none)
};
std::vector<FunctionInfo> Functions();

struct ExpressionInfo {
  int expression = 0;
  int equation_type = 1;
  std::vector<int> functions;           // one per term
  std::vector<std::string> parameters;  // with the defaults of Template()
};
// Every standard expression number (1-79, units digit not 0), in order.
std::vector<ExpressionInfo> Expressions();

// ---------------------------------------------------------------------------
// Data.

// Temperatures (K) and molar susceptibilities as read, before corrections.
struct Data {
  std::string file;  // the name shown in the result document
  std::vector<double> temperature;
  std::vector<double> chi;
  std::vector<double> sigma{};  // each point's error (as chi); empty: no errors
};

// The most points a fit outside the dialogue takes (the dialogue: 300).
constexpr int kMaxPoints = 100000;

// A data file: the count, then the pairs, then optionally a line "sigma"
// and one error per point (docs/data-format.md). FileError when it cannot
// be opened, DataError when it is refused.
Data ReadData(const std::string& path);
// The checks on a data set: 1 to kMaxPoints points, temperatures above 0,
// finite values, as many errors as points or none. DataError when refused.
void CheckData(const Data& data);

struct Settings;
struct FitControl;

// ---------------------------------------------------------------------------
// A built model. Copies share the built state; every call is const and
// works on its own evaluation state, so one model serves many threads.

class Model {
 public:
  // Throws ModelError with the dialogue's rule and wording where it has one.
  explicit Model(const ModelDescription& description);

  const ModelDescription& description() const;
  // The parameter names in the model's order, trailing blanks dropped.
  std::vector<std::string> parameter_names() const;
  int parameter_count() const;
  int term_count() const;
  // The starts and steps in the model's order (the description's, or the
  // defaults).
  std::vector<double> starts() const;
  std::vector<double> steps() const;

  // The calculated susceptibility (the TIP of the corrections included) at
  // T[0..n-1] for `values` (parameter_count() of them) into chi[0..n-1].
  void Evaluate(const double* T, int n, const double* values, double* chi) const;
  std::vector<double> Evaluate(const std::vector<double>& T,
                               const std::vector<double>& values) const;
  // Each term's contribution (its coefficients applied, no TIP): term k of
  // temperature i at [k][i]. They add up, with the TIP, to Evaluate().
  std::vector<std::vector<double>> Terms(const std::vector<double>& T,
                                         const std::vector<double>& values) const;

  // The built state: the fit model with the starts in PVAL and the steps in
  // PSTEP, the corrections-menu settings, the fit settings.
  const model::FitModel& fit_model() const;
  const Settings& settings() const;
  const FitControl& fit_control() const;

 private:
  struct Built;
  std::shared_ptr<const Built> built_;
};

// ---------------------------------------------------------------------------
// A fit.

struct FitOptions {
  // Continue with the Levenberg-Marquardt refinement of the minimum check
  // and give its point, standard errors and statistics as the result.
  bool refine = false;
  // Set by another thread to end the simplex search with its best point.
  const std::atomic<bool>* stop = nullptr;
  // The progress lines of the simplex, as the dialogue shows them.
  std::ostream* progress = nullptr;
  // Also build the report text (SUSCEP.OUT).
  bool report = true;
  // Also draw the plot of this option (1 X vs. T, 2 Mu vs. T, 3 XT vs. T,
  // 4 1/X vs. T, 5 X vs 1/T) as the dialogue's HP-GL plot with the data
  // ranges would, into FitResult::svg; 0: none.
  int plot = 0;
  // The name the notes give the result document.
  std::string document_name = "SUSCEP.JSON";
  // Build the result document now; false: FitResult::Document() builds it
  // when it is first asked for, from the state the result keeps.
  bool document = true;
  // Called about once per iteration by every method; false stops the fit
  // like `stop` (the result is kept, `interrupted` set).
  std::function<bool(int iteration, double ls_error)> on_progress;
  // How the notes name the fit's settings: "suscep fit" options
  // ("--iterations") or Python keywords ("iterations="); the dialogue's
  // answers when empty.
  std::string settings_style;
};

// One distinct minimum that a global search found.
struct FoundMinimum {
  std::vector<double> values;
  double ls_error = 0.0;
  int starts = 0;  // refined starts that ended there
};

struct FitState;

struct FitResult {
  std::vector<std::string> names;
  std::vector<double> start, step;
  std::vector<double> values;
  // The dialogue's "Std. devn." (quadratic surface); after a refinement the
  // standard errors of the refined point. Not a number where none could be
  // estimated.
  std::vector<double> sigma;
  std::vector<double> std_error;  // from the Jacobian at `values`
  bool sigma_estimated = false;
  double ls_error = 0.0;
  int points = 0;
  int evaluations = 0;
  int restarts = 0;
  bool budget_exhausted = false;     // the simplex ran out of its budget
  bool interrupted = false;          // ended early by the stop flag
  bool stopped_short = false;        // the check found a clearly lower minimum
  bool refined = false;              // the values are the refinement's
  std::string method;                // what produced the values
  bool success = false;              // the values are a minimum the method vouches for
  std::string message;               // why not, or how it converged
  std::vector<bool> excluded;        // per point: outside the temperature window
  std::vector<bool> at_bound;        // per parameter: ended on a bound
  int starts = 0;                    // global: refined starts, the given one included
  int reached_best = 0;              // global: starts that ended at the best minimum
  std::vector<FoundMinimum> minima;  // global: distinct minima, lowest first
  analysis::Statistics statistics;
  std::string report;              // SUSCEP.OUT (CR LF line ends); empty unless asked
  std::string document;            // the result document, SUSCEP.JSON's layout
  std::string svg;                 // the picture of the plot, when asked for
  std::vector<std::string> notes;  // what the dialogue notes on standard error

  // `document`, or when the fit was told not to build it, the result
  // document built now (the same text).
  std::string Document() const;
  std::shared_ptr<const FitState> state;  // what Document() builds from
};

// Fits `model` to `data` (corrected by the description's corrections) from
// the description's starts and steps with its fit settings. Without
// `refine` the numbers are the dialogue's for the same choices. DataError
// for a data set the dialogue refuses.
FitResult Fit(const Model& model, const Data& data, const FitOptions& options = {});
FitResult Fit(const ModelDescription& description, const Data& data,
              const FitOptions& options = {});
// The checks Fit makes on `data` under the model's fit settings before it
// fits (the data's own, the window, the errors the weights need): DataError
// naming the data file and the key. Nothing is fitted.
void CheckFit(const Model& model, const Data& data);

// ---------------------------------------------------------------------------
// The working state of one fit, and the steps on it that the dialogue takes.

constexpr int kMaxData = 300;

// Room for the dialogue's 300 points; a fit of other front ends makes room
// for its own.
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
  const double dt = (d.T[d.NDATA - 1] - d.T[0]) / 300.0;
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
  bool converged = false;  // lm and global: the runs' convergence test passed
  std::string message;     // lm and global: why the best run ended
  int iterations = 0;      // lm and global: Jacobians, all runs
  int screened = 0;        // global: points of the set evaluated
  int starts = 0;          // global: refined starts
  int reached_best = 0;
  std::vector<FoundMinimum> minima;
  std::vector<bool> at_bound;
};

// What a fit outside the dialogue minimises: the points in the window,
// their observed quantity and weight, and the factor that turns the sum of
// squares of the weighted residuals into the L.S. error. `dialogue`: all
// points, no weights, chi: the dialogue's L.S. error exactly.
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
};

// The data file `name` opened and loaded as Load does. A name with a control
// character, a directory or a file that cannot be opened throws OpenError.
class OpenError : public format::RunTimeError {
 public:
  using format::RunTimeError::RunTimeError;
};
void LoadFile(DataSet& data, const std::string& name, format::RecordSink* listing);

// Reads the count and the pairs from `file`, then lists them on `listing`
// when given. A count outside 1..300, a temperature not above 0, or a short
// or unreadable file throws format::RunTimeError.
void Load(DataSet& data, format::LineSource& file, format::RecordSink* listing);

// XOBS, TIPADD and SXOBS2 from XRAW and the three corrections.
void ApplyCorrections(DataSet& data, double DIAM, double TIP, double FACTOR);

// The evaluation state bound to the fit model and the corrected data, with
// the constants set; progress and warning lines go to `progress` (none when
// null). The term values carry over from the previous binding in `w.ev`.
expressions::Evaluation BoundEvaluation(const Work& w, format::RecordSink* progress);

// The heading of the progress lines: the parameter names and "L.S.Error".
void ProgressHeader(const Work& w, format::RecordSink& sink);

// The fit from the working values PVAL with the steps PSTEP and the
// settings in w.fc: the simplex, the standard deviations and the L.S. error
// at the result, with the progress lines on w.ev's console and `sink`.
// `stop` answering true ends the simplex, and then the estimate. The steps
// one by one: RunSimplex, SimplexDone, EstimateDeviations, FinishFit.
void RunFit(Work& w, format::RecordSink* sink, const fit::StopFn& stop);
// The simplex from PVAL into PFIT and LSERR.
void RunSimplex(Work& w, format::RecordSink* sink, const fit::StopFn& stop);
// The line that ends the simplex's progress lines, "Iteration is completed".
void SimplexDone(format::RecordSink* sink);
// The Std. devn. estimate after the simplex, into SIGMA and SIGFLAG (PFIT
// takes the surface minimum). `stop` answering true ends it: SIGFLAG 1,
// SIGMA 0, PFIT as it was, and last_fit.sigma_stopped set.
void EstimateDeviations(Work& w, const fit::StopFn& stop = {});
// The L.S. error at PFIT, after the progress heading.
void FinishFit(Work& w, format::RecordSink* sink);

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
using Findings = FitAnalysis;
FitAnalysis Analyse(const Work& w, const fit::StopFn& stop = {});

// The report in three parts. The head: the model and the values, every
// record to `file`, the summary also to `console` when given.
void WriteReportHead(const Work& w, format::RecordSink& file, format::RecordSink* console);
// The rest of the file (the differences, the curve, the tables for
// plotting) evaluated on `e`; with no file, only the evaluations, so that
// `e` is left as the file would leave it.
void WriteReportRest(const Work& w, format::RecordSink* file, expressions::Evaluation& e);
// What the console shows after the pause: the differences, evaluated on
// `ev` with the curve's evaluations after them, as the file has them.
void ShowReportRest(const Work& w, format::RecordSink& console, expressions::Evaluation& ev);
// The three in turn, with `pause` between the file and the console's rest;
// the file's rest is evaluated on a copy of `ev` with no console.
void WriteReport(const Work& w, expressions::Evaluation& ev, format::RecordSink& file,
                 format::RecordSink* console, const std::function<void()>& pause);

// The result document (SUSCEP.JSON) of the working state, its data and
// curve evaluated on `e` (after the report's rest, in the dialogue).
std::string ResultDocument(const Work& w, expressions::Evaluation& e, const FitAnalysis& found);
// The same evaluated on a copy of w.ev with no console.
std::string ResultDocument(const Work& w, const FitAnalysis& found);

// The notes after a fit, each line ended; `result_path` is named in them.
std::string Notes(const Work& w, const FitAnalysis& found, const std::string& result_path);

}  // namespace engine

#endif  // SUSCEP_ENGINE_ENGINE_H_
