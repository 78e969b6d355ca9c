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

// The data, the fit at their temperatures and the curve of the working
// state at PFIT into `r`, for Figure().
void DrawnData(const Work& w, FitResult& r);

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
