// What the engine's sources share among themselves. Internal to engine/.
#ifndef SUSCEP_ENGINE_INTERNAL_H_
#define SUSCEP_ENGINE_INTERNAL_H_

#include <cstddef>
#include <string>
#include <vector>

#include "engine/dialogue.h"
#include "engine/engine.h"

namespace engine {

// A model's built state: the corrections-menu settings, the fit model with
// its starts in PVAL and its steps in PSTEP, the fit settings, and an
// evaluation state bound to the model with no data.
struct Model::Built {
  ModelDescription description;
  Settings settings;
  model::FitModel fm;
  FitControl fc;
  expressions::Evaluation prototype;
};

// The settings, the fit model and the fit settings of `d`; ModelError when
// the dialogue would refuse it.
void BuildModel(const ModelDescription& d, Settings& settings, model::FitModel& m, FitControl& fc);

// The parameter names of `m`, trailing blanks dropped.
std::vector<std::string> TrimmedNames(const model::FitModel& m);
std::string Trimmed(const std::string& name);

// The data, and with `curves` the fit at their temperatures and the curve,
// of the working state at PFIT into `r`, for Figure().
void DrawnData(const Work& w, FitResult& r, bool curves = true);
// The fit at the temperatures of `r` and the curve over their range.
void DrawnCurves(const Work& w, FitResult& r);

// The name of function `code` (1-10), and for function 9 of its choice
// `other` (1-4); "Unknown" for a code out of range.
const char* FunctionName(int code);
const char* OtherFunctionName(int other);

// The data checks: what is refused in a data set of `count` points, or in
// its point `i` (from 0), in the words of the messages; empty when nothing.
std::string CountRefused(long long count, int most = kMaxData);
std::string PointRefused(std::size_t i, double T, double chi);

// The method named when the values are those of the refinement.
inline constexpr char kRefinedMethod[] = "Levenberg-Marquardt refinement of the simplex minimum";

// A kind of parameter, told by the start of its name: the range the global
// search spreads its starts over, and a typical size for difference steps.
struct ParameterKind {
  const char* prefix;
  const char* kind;
  fit::StartRange range;
  double typical;
};
const ParameterKind& KindOf(const std::string& name);
// The typical size of a parameter named `name` started at `start` with the
// simplex step `step`: the difference steps of the Jacobian follow it. A
// start near 0 does not make it vanish: a hundredth of its kind's size at
// least.
double TypicalSize(const std::string& name, double start, double step);
// How the notes name the evaluation budget: the dialogue's answer, an option
// of `suscep fit` or a keyword of Python.
std::string IterationsName(const Work& w);

// Whether the values are a minimum the method vouches for, and why not.
struct Outcome {
  bool success = false;
  std::string message;
};
Outcome OutcomeOf(const Work& w, const FitAnalysis& found);

// The fit of a non-dialogue method, or of the simplex with a window,
// weights, chiT or bounds, on `w` with its problem set: PFIT, LSERR, SIGMA
// and last_fit; progress through w.on_progress.
void RunMethod(Work& w, const fit::StopFn& stop);
// The problem of `w`'s points under the description's fit settings and
// bounds; DataError (naming `data.file` and the key) when it cannot be fitted.
FitProblem MakeFitProblem(const Work& w, const ModelDescription& d, const Data& data);
// The weighted residuals of the problem at p (observed minus calculated),
// evaluated on `e`, through `cache` when given (the same values).
void ProblemResiduals(const FitProblem& fp, expressions::Evaluation& e, const double* p, double* r,
                      expressions::TermCache* cache = nullptr);
// The points global's screening evaluates: an even spread of at most 32 of
// the problem's, or all of them when it has no more than twice that.
int ScreenPoints(const FitProblem& fp);

// Records gathered into one text, each followed by `end`.
class TextSink : public format::RecordSink {
 public:
  explicit TextSink(std::string end) : end_(std::move(end)) {}
  void Record(std::string_view record) override { text_.append(record).append(end_); }
  const std::string& text() const { return text_; }

 private:
  std::string end_;
  std::string text_;
};

}  // namespace engine

#endif  // SUSCEP_ENGINE_INTERNAL_H_
