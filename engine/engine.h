// The fit engine for front ends: a model built from its description, the
// corrections, the fit, the report and the result document, with no console
// and no global state. `suscep fit`, the Python module and the dialogue call
// it. The dialogue also takes the fit's steps one at a time (dialogue.h).
#ifndef SUSCEP_ENGINE_ENGINE_H_
#define SUSCEP_ENGINE_ENGINE_H_

#include <atomic>
#include <functional>
#include <iosfwd>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
  // Read from a model file or dict: whether it named fit.method (a front
  // end may then choose its own default).
  bool method_named = false;
  // The temperature window (K) of the points fitted; the others are kept and
  // shown, marked excluded.
  std::optional<double> tmin{}, tmax{};
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
// The same from the text of a data file; `name` names it in the data and in
// messages. DataError when refused.
Data ParseData(const std::string& text, const std::string& name);
// The checks on a data set: 1 to kMaxPoints points, temperatures above 0,
// finite values, as many errors as points or none. DataError when refused.
void CheckData(const Data& data);

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
  // ModelError, with the message of a description that does not match,
  // unless `count` values are one per parameter, or unless `names` are the
  // parameter names in the model's order.
  void CheckValues(std::size_t count) const;
  void CheckNames(const std::vector<std::string>& names) const;

  // The calculated susceptibility (the TIP of the corrections included) at
  // T[0..n-1] for `values` (parameter_count() of them) into chi[0..n-1].
  void Evaluate(const double* T, int n, const double* values, double* chi) const;
  std::vector<double> Evaluate(const std::vector<double>& T,
                               const std::vector<double>& values) const;
  // Each term's contribution (its coefficients applied, no TIP): term k of
  // temperature i at [k][i]. They add up, with the TIP, to Evaluate().
  std::vector<std::vector<double>> Terms(const std::vector<double>& T,
                                         const std::vector<double>& values) const;

  // The built state, for the engine's own sources (internal.h).
  struct Built;
  const Built& built() const { return *built_; }

 private:
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
  // Also draw the figure of this plot (1 X vs. T, 2 Mu vs. T, 3 XT vs. T,
  // 4 1/X vs. T, 5 X vs 1/T) into FitResult::svg, as Figure() does with
  // the other options at their defaults; 0: none.
  int plot = 0;
  // The name the notes give the result document.
  std::string document_name = "SUSCEP.JSON";
  // Build the result document now; false: FitResult::Document() builds it
  // when it is first asked for, from the state the result keeps.
  bool document = true;
  // Fill FitResult::calculated and the curve now; false leaves them empty
  // until DrawCurves() (a fit that builds no figure saves evaluating them).
  bool curves = true;
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

// Least-squares statistics at the values, from the Jacobian of the
// residuals (docs/result-format.md); nothing past rss is known when
// `interrupted`.
struct Statistics {
  int points = 0;
  int parameters = 0;  // all, held ones included
  int free = 0;        // not held
  int rank = 0;        // directions of the free parameters the data determine
  int dof = 0;         // points - rank
  double rss = 0.0;
  double residual_variance = 0.0;
  double aic = 0.0;
  double bic = 0.0;
  double condition_number = 0.0;  // not a number when a parameter is undetermined
  double t95 = 0.0;               // two-sided 95 % quantile of Student's t with dof
  std::vector<double> std_error;
  std::vector<std::vector<double>> covariance, correlation;
  std::vector<bool> held, undetermined;
  bool interrupted = false;
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
  std::vector<bool> at_bound;        // per parameter: ended on a bound
  int starts = 0;                    // global: refined starts, the given one included
  int reached_best = 0;              // global: starts that ended at the best minimum
  std::vector<FoundMinimum> minima;  // global: distinct minima, lowest first
  Statistics statistics;
  std::string report;              // SUSCEP.OUT (CR LF line ends); empty unless asked
  std::string document;            // the result document, SUSCEP.JSON's layout
  std::string svg;                 // the figure of `plot`, when asked for
  std::vector<std::string> notes;  // what the dialogue notes on standard error

  // What Figure() draws: the data (corrected) with the fit at their
  // temperatures, and the fitted curve, dense in T over the data's range.
  std::string data_file;
  std::vector<double> temperature, observed, calculated;
  std::vector<double> observed_sigma;  // empty: the errors are not known
  std::vector<bool> excluded;          // empty: every point was fitted
  std::vector<double> curve_temperature, curve_chi;

  // `document`, or when the fit was told not to build it, the result
  // document built now (the same text).
  std::string Document() const;
  std::shared_ptr<const FitState> state;  // what Document() builds from
};

// Fills `calculated` and the curve of a result fitted with
// FitOptions::curves and document false; a result that has them, or keeps
// no state, is left as it is.
void DrawCurves(FitResult& result);

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
// Whether CheckFit can refuse data that ReadData accepts: only a window or
// weights can.
bool FitChecksData(const FitSettings& settings);

// ---------------------------------------------------------------------------
// Figures for a paper (SVG). They never throw for want of data: data that
// cannot be drawn give a figure that says why.

// An axis range; a bound that is not a number comes from the data. A round
// step (1, 2, 2.5 or 5 times a power of ten) is kept, any other is chosen.
struct AxisLimits {
  double min = std::numeric_limits<double>::quiet_NaN();
  double max = std::numeric_limits<double>::quiet_NaN();
  double step = std::numeric_limits<double>::quiet_NaN();
};

struct FigureOptions {
  int quantity = 3;        // 1 X vs. T, 2 Mu vs. T, 3 XT vs. T, 4 1/X vs. T, 5 X vs 1/T
  bool residuals = false;  // a panel of observed - calculated under the plot
  bool values = true;      // the box of fitted values with their errors
  bool legend = true;
  double width_mm = 85.0;  // a journal column; 170: a page
  AxisLimits x, y;         // in the plotted quantities
  std::string label;       // the data in the legend; empty: the data file's name
};

// The data, the fitted curve and the values of a fit.
std::string Figure(const FitResult& result, const FigureOptions& options = {});
// Data alone, as read (before corrections), e.g. before a fit.
std::string DataFigure(const Data& data, const FigureOptions& options = {});
// Several fits: up to kOverlaid in one plot, more in a grid of panels.
constexpr std::size_t kOverlaid = 7;
std::string Overview(const std::vector<const FitResult*>& results,
                     const FigureOptions& options = {});

// The plotted quantities of points (T, chi) under `quantity` (1-5; any
// other: 1), for drawing elsewhere: x is T or 1/T, y chi, mu_eff, chi*T or
// 1/chi; not a number where the quantity has no value.
void PlotQuantities(int quantity, const std::vector<double>& T, const std::vector<double>& chi,
                    std::vector<double>& x, std::vector<double>& y);

// The temperatures of a fitted curve from lo to hi: evenly spaced in log T
// and in T together, so that the curve is smooth where chi changes fast at
// low T and along the whole range.
std::vector<double> CurveTemperatures(double lo, double hi);

}  // namespace engine

#endif  // SUSCEP_ENGINE_ENGINE_H_
