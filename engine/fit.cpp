// A whole fit for front ends: the dialogue's set-up, the fit, the
// refinement when asked, the report, the result document and the picture.
#include <cmath>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "engine/dialogue.h"
#include "engine/engine.h"
#include "engine/internal.h"

namespace engine {
namespace {

constexpr char kSimplex[] = "simplex";
constexpr char kNoFit[] = "none: the starting values (no iterations)";

// The working state of `model` on `data`, the corrections applied. It is
// large: on the heap, not on a thread's stack.
std::unique_ptr<Work> WorkOf(const Model& model, const Data& data) {
  CheckData(data);
  auto work = std::make_unique<Work>();
  Work& w = *work;
  const Model::Built& built = model.built();
  w.settings = built.settings;
  w.fm = built.fm;
  w.fc = built.fc;
  w.data_name = data.file;
  w.data.NDATA = static_cast<int>(data.temperature.size());
  if (w.data.NDATA > kMaxData) {
    w.data.T.resize(w.data.NDATA);
    w.data.XRAW.resize(w.data.NDATA);
    w.data.XOBS.resize(w.data.NDATA);
  }
  for (int i = 0; i < w.data.NDATA; ++i) {
    w.data.T[i] = data.temperature[i];
    w.data.XRAW[i] = data.chi[i];
  }
  w.data.SIGMA = data.sigma;
  ApplyCorrections(w.data, w.settings.DIAM, w.settings.TIP, w.settings.FACTOR);
  return work;
}

// What the fit of `w` minimises under the model's fit settings, the points
// outside the window marked.
void SetProblem(Work& w, const Model& model, const Data& data, const std::string& style) {
  const ModelDescription& description = model.description();
  auto problem = std::make_shared<FitProblem>(MakeFitProblem(w, description, data));
  problem->settings = description.fit;
  problem->style = style;
  if (description.fit.tmin || description.fit.tmax) {
    w.data.EXCLUDED.assign(w.data.NDATA, true);
    for (int i : problem->fitted) w.data.EXCLUDED[i] = false;
  }
  w.problem = std::move(problem);
}

// The progress lines on a stream, through a console that reads nothing.
class Progress {
 public:
  explicit Progress(std::ostream* out) {
    if (out != nullptr) console_ = std::make_unique<format::Console>(no_input_, *out);
  }
  format::RecordSink* sink() { return console_.get(); }

 private:
  std::istringstream no_input_;
  std::unique_ptr<format::Console> console_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

FitResult ResultOf(const Work& w, const FitAnalysis& f) {
  FitResult r;
  const int n = w.fm.NPAR;
  const FitControl& fc = w.fc;
  r.names = TrimmedNames(w.fm);
  const bool sigma = w.last_fit.fitted && fc.SIGFLAG == 0;
  for (int j = 0; j < n; ++j) {
    r.start.push_back(fc.PSTART[j]);
    r.step.push_back(fc.PSTEP0[j]);
    r.values.push_back(fc.PFIT[j]);
    r.sigma.push_back(sigma ? fc.SIGMA[j] : std::nan(""));
  }
  r.std_error = f.statistics.std_error;
  r.sigma_estimated = sigma;
  r.ls_error = fc.LSERR;
  r.points = w.data.NDATA;
  r.evaluations = w.last_fit.outcome.evaluations;
  r.restarts = w.last_fit.outcome.restarts;
  r.budget_exhausted = w.last_fit.outcome.budget_exhausted;
  r.interrupted = w.last_fit.outcome.stopped;
  r.stopped_short = f.stopped_short;
  r.refined = w.last_fit.refined;
  r.method = w.last_fit.refined               ? kRefinedMethod
             : !w.last_fit.fitted             ? kNoFit
             : w.last_fit.method == "simplex" ? kSimplex
                                              : w.last_fit.method;
  const analysis::Statistics& st = f.statistics;
  // Field by field, by name: the two types may not drift apart in order.
  Statistics& out = r.statistics;
  out.points = st.points;
  out.parameters = st.parameters;
  out.free = st.free;
  out.rank = st.rank;
  out.dof = st.dof;
  out.rss = st.rss;
  out.residual_variance = st.residual_variance;
  out.aic = st.aic;
  out.bic = st.bic;
  out.condition_number = st.condition_number;
  out.t95 = st.t95;
  out.std_error = st.std_error;
  out.covariance = st.covariance;
  out.correlation = st.correlation;
  out.held = st.held;
  out.undetermined = st.undetermined;
  out.interrupted = st.interrupted;
  // lm and global: the standard errors are the deviations, null where there
  // are none (held, on a bound).
  if (w.last_fit.fitted && w.last_fit.method != "simplex") r.sigma = r.std_error;
  r.at_bound = w.last_fit.at_bound;
  r.starts = w.last_fit.starts;
  r.reached_best = w.last_fit.reached_best;
  r.minima = w.last_fit.minima;
  if (!w.data.EXCLUDED.empty()) r.excluded = w.data.EXCLUDED;
  const Outcome outcome = OutcomeOf(w, f);
  r.success = outcome.success;
  r.message = outcome.message;
  return r;
}

}  // namespace

// The working state of a fit and its findings, kept for a result document
// built later.
struct FitState {
  std::unique_ptr<const Work> work;
  // As the report left it; none when there was no report: its evaluations
  // are then made when the document is built.
  std::optional<expressions::Evaluation> evaluation;
  FitAnalysis found;
};

std::string FitResult::Document() const {
  if (state == nullptr) return document;
  expressions::Evaluation e =
      state->evaluation ? *state->evaluation : ReportFile(*state->work, nullptr, nullptr);
  return ResultDocument(*state->work, e, state->found);
}

FitResult Fit(const ModelDescription& description, const Data& data, const FitOptions& options) {
  return Fit(Model(description), data, options);
}

bool FitChecksData(const FitSettings& s) { return s.tmin || s.tmax || s.weights != "none"; }

void CheckFit(const Model& model, const Data& data) {
  std::unique_ptr<Work> work = WorkOf(model, data);
  MakeFitProblem(*work, model.description(), data);
}

FitResult Fit(const Model& model, const Data& data, const FitOptions& options) {
  std::unique_ptr<Work> work = WorkOf(model, data);
  Work& w = *work;
  SetProblem(w, model, data, options.settings_style);
  w.on_progress = options.on_progress;
  Progress progress(options.progress);
  w.ev = BoundEvaluation(w, progress.sink());

  // The dialogue's steps; the stop flag ends the search alone.
  const std::atomic<bool>* flag = options.stop;
  const fit::StopFn stop = [flag] { return flag != nullptr && flag->load(); };
  FitSteps steps(w, progress.sink(), options.refine);
  while (!steps.done()) steps.Take(steps.next() == FitSteps::Step::kSearch ? stop : fit::StopFn{});
  const FitAnalysis& found = steps.found();

  // The report's file, and the document evaluated after it, as the dialogue
  // does; without a report only its evaluations.
  TextSink file("\r\n");
  std::optional<expressions::Evaluation> after;
  if (options.report || options.document) {
    after = ReportFile(w, options.report ? &file : nullptr, nullptr);
  }
  FitResult result = ResultOf(w, found);
  result.report = file.text();
  result.notes = Lines(Notes(w, found, options.document_name));
  int free = 0;
  for (int j = 0; j < w.fm.NPAR; ++j) free += w.fc.PSTEP0[j] != 0.0;
  if (w.last_fit.fitted && w.data.NDATA < free) {
    result.notes.push_back("suscep: note: " + std::to_string(w.data.NDATA) + " points for " +
                           std::to_string(free) +
                           " fitted parameters: the data cannot determine them all");
  }
  DrawnData(w, result, options.curves || options.plot != 0);
  if (options.plot != 0) {
    FigureOptions figure;
    figure.quantity = options.plot;
    result.svg = Figure(result, figure);
  }
  if (options.document) {
    result.document = ResultDocument(w, *after, found);
  } else {
    result.state = std::make_shared<const FitState>(FitState{std::move(work), after, found});
  }
  return result;
}

void DrawCurves(FitResult& result) {
  if (result.state == nullptr || result.calculated.size() == result.temperature.size()) return;
  DrawnCurves(*result.state->work, result);
}

}  // namespace engine
