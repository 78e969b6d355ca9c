// What the engine's sources share among themselves. Internal to engine/.
#ifndef SUSCEP_ENGINE_INTERNAL_H_
#define SUSCEP_ENGINE_INTERNAL_H_

#include <string>
#include <vector>

#include "engine/engine.h"

namespace engine {

// The corrections-menu settings, the fit model with its starts in PVAL and
// its steps in PSTEP, and the fit settings of `d`; ModelError when the
// dialogue would refuse it.
void BuildModel(const ModelDescription& d, Settings& settings, model::FitModel& m, FitControl& fc);

// The parameter names of `m`, trailing blanks dropped.
std::vector<std::string> TrimmedNames(const model::FitModel& m);
std::string Trimmed(const std::string& name);

// A kind of parameter, told by the start of its name: the range the global
// search spreads its starts over, and a typical size for difference steps.
struct ParameterKind {
  const char* prefix;
  const char* kind;
  fit::StartRange range;
  double typical;
};
const ParameterKind& KindOf(const std::string& name);

// Whether the values are a minimum the method vouches for, and why not.
struct Outcome {
  bool success = false;
  std::string message;
};
Outcome OutcomeOf(const Work& w, const FitAnalysis& found);

// The fit of a non-dialogue method, or of the simplex with a window,
// weights or chiT, on `w` with its problem set: PFIT, LSERR and last_fit.
void RunMethod(Work& w, const FitOptions& options);
// The problem of `w`'s points under the description's fit settings and
// bounds; DataError (naming `data.file` and the key) when it cannot be fitted.
FitProblem MakeFitProblem(const Work& w, const ModelDescription& d, const Data& data);
// The weighted residuals of the problem at p (observed minus calculated),
// evaluated on `e`.
void ProblemResiduals(const FitProblem& fp, expressions::Evaluation& e, const double* p, double* r);

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
