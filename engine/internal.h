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

// The data, the fit at their temperatures and the curve of the working
// state at PFIT into `r`, for Figure().
void DrawnData(const Work& w, FitResult& r);

// The name of function `code` (1-10), and for function 9 of its choice
// `other` (1-4); "Unknown" for a code out of range.
const char* FunctionName(int code);
const char* OtherFunctionName(int other);

// The data checks: what is refused in a data set of `count` points, or in
// its point `i` (from 0), in the words of the messages; empty when nothing.
std::string CountRefused(long long count);
std::string PointRefused(std::size_t i, double T, double chi);

// The method named when the values are those of the refinement.
inline constexpr char kRefinedMethod[] = "Levenberg-Marquardt refinement of the simplex minimum";

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
