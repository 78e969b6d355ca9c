// The data file, and a whole fit for front ends: the dialogue's set-up,
// the fit, the refinement when asked, the report, the result document and
// the picture.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "engine/engine.h"
#include "engine/internal.h"
#include "plot/hpgl_svg.h"
#include "plot/plot.h"

namespace engine {
namespace {

constexpr char kSimplex[] = "simplex";
constexpr char kNoFit[] = "none: the starting values (no iterations)";
constexpr char kRefined[] = "Levenberg-Marquardt refinement of the simplex minimum";

// Drops the records: the place of a console that is not there.
class NoConsole : public format::RecordSink {
 public:
  void Record(std::string_view) override {}
};

void CopyData(const Data& data, DataSet& set) {
  CheckData(data);
  set.NDATA = static_cast<int>(data.temperature.size());
  if (set.NDATA > kMaxData) {
    set.T.resize(set.NDATA);
    set.XRAW.resize(set.NDATA);
    set.XOBS.resize(set.NDATA);
  }
  for (int i = 0; i < set.NDATA; ++i) {
    set.T[i] = data.temperature[i];
    set.XRAW[i] = data.chi[i];
  }
  set.SIGMA = data.sigma;
}

// The points outside the window, when there is one.
void MarkExcluded(DataSet& set, const FitProblem& fp) {
  if (!fp.settings.tmin && !fp.settings.tmax) return;
  set.EXCLUDED.assign(set.NDATA, true);
  for (int i : fp.fitted) set.EXCLUDED[i] = false;
}

// After lm or global: the standard errors of the statistics as the report's
// deviations.
void TakeStandardErrors(Work& w, const FitAnalysis& f) {
  FitControl& fc = w.fc;
  fc.SIGFLAG = 0;
  for (int j = 0; j < w.fm.NPAR; ++j) {
    fc.SIGMA[j] = f.statistics.std_error[j];
    if (!std::isfinite(fc.SIGMA[j])) {
      // Held and bound parameters have none; only a free one fails the table.
      const bool bound = j < static_cast<int>(w.last_fit.at_bound.size()) && w.last_fit.at_bound[j];
      if (fc.PSTEP0[j] != 0.0 && !bound) fc.SIGFLAG = 1;
      fc.SIGMA[j] = 0.0;
    }
  }
}

// The refinement's point, standard errors and L.S. error as the fit's.
void TakeRefinement(Work& w, const FitAnalysis& f) {
  FitControl& fc = w.fc;
  const int n = w.fm.NPAR;
  for (int j = 0; j < n; ++j) fc.PFIT[j] = f.check.values[j];
  fc.SIGFLAG = 0;
  for (int j = 0; j < n; ++j) {
    fc.SIGMA[j] = f.check.statistics.std_error[j];
    if (!std::isfinite(fc.SIGMA[j])) fc.SIGFLAG = 1;
  }
  expressions::Evaluation e = w.ev;
  e.console = nullptr;
  fc.LSERR = expressions::Objective(e, fc.PFIT.data());
  w.last_fit.refined = true;
}

std::string Picture(const Work& w, int option) {
  auto ps = std::make_unique<plot::PlotState>();
  ps->IPLOT = option;
  ps->IPTYPE = 3;
  plot::PrepareAbscissae(*ps, w.data.T.data(), w.data.NDATA);
  expressions::Evaluation e = w.ev;
  e.console = nullptr;
  for (int i = 0; i < ps->NCAL; ++i) {
    ps->CHICAL[i] = expressions::Evaluate(e, w.fc.PFIT.data(), ps->TCAL[i]);
  }
  plot::PrepareOrdinates(*ps, w.data.T.data(), w.data.XOBS.data(), w.data.NDATA);
  const std::string hpgl = plot::HpglText(*ps);
  if (hpgl.empty()) throw DataError("the plot cannot be drawn: the data span no range");
  TextSink svg("\n");
  plot::WriteSvg(plot::InterpretHpgl(hpgl), svg);
  return svg.text();
}

FitResult ResultOf(const Work& w, const FitAnalysis& f) {
  FitResult r;
  const int n = w.fm.NPAR;
  const FitControl& fc = w.fc;
  const double nan = std::nan("");
  r.names = TrimmedNames(w.fm);
  const bool sigma = w.last_fit.fitted && fc.SIGFLAG == 0;
  for (int j = 0; j < n; ++j) {
    r.start.push_back(fc.PSTART[j]);
    r.step.push_back(fc.PSTEP0[j]);
    r.values.push_back(fc.PFIT[j]);
    r.sigma.push_back(sigma ? fc.SIGMA[j] : nan);
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
  r.method = w.last_fit.refined               ? kRefined
             : !w.last_fit.fitted             ? kNoFit
             : w.last_fit.method == "simplex" ? kSimplex
                                              : w.last_fit.method;
  r.statistics = f.statistics;
  r.at_bound = w.last_fit.at_bound;
  r.starts = w.last_fit.starts;
  r.reached_best = w.last_fit.reached_best;
  r.minima = w.last_fit.minima;
  if (!w.data.EXCLUDED.empty()) r.excluded = w.data.EXCLUDED;
  return r;
}

}  // namespace

void LoadFile(DataSet& data, const std::string& name, format::RecordSink* listing) {
  const std::string shown = "'" + format::Printable(name, format::kNameShown) + "'";
  // The system would read such a name only up to a NUL, or take a stray
  // escape sequence for part of it.
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw OpenError("open: cannot open data file " + shown +
                      ": the name holds a control character");
    }
  }
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) {
    throw OpenError("open: data file " + shown + " is a directory");
  }
  errno = 0;
  std::ifstream file(name);
  if (!file) {
    const int error = errno;
    throw OpenError("open: cannot open data file " + shown +
                    (error != 0 ? std::string(": ") + std::strerror(error) : ""));
  }
  format::LineSource source(file, name);
  Load(data, source, listing);
}

Data ReadData(const std::string& path) {
  const std::string shown = "'" + format::Printable(path, format::kNameShown) + "'";
  std::ifstream file;
  try {
    for (char c : path) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        throw OpenError("open: cannot open data file " + shown +
                        ": the name holds a control character");
      }
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      throw OpenError("open: data file " + shown + " is a directory");
    }
    errno = 0;
    file.open(path);
    if (!file) {
      const int error = errno;
      throw OpenError("open: cannot open data file " + shown +
                      (error != 0 ? std::string(": ") + std::strerror(error) : ""));
    }
  } catch (const OpenError& e) {
    throw FileError(e.what());
  }
  format::LineSource source(file, path);
  Data data;
  data.file = path;
  const std::string where = "read: data file " + shown + ": ";
  try {
    // The count and the pairs as the dialogue reads them, up to kMaxPoints.
    int count = 0;
    format::ReadFree(source, {count});
    if (count < 1 || count > kMaxPoints) {
      throw DataError(where + "the number of data points is " + std::to_string(count) +
                      ", not 1 to " + std::to_string(kMaxPoints));
    }
    data.temperature.assign(count, 0.0);
    data.chi.assign(count, 0.0);
    std::vector<format::Target> pairs;
    pairs.reserve(2 * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      pairs.emplace_back(data.temperature[i]);
      pairs.emplace_back(data.chi[i]);
    }
    format::ReadFree(source, pairs);
    // Then, optionally, a line "sigma" and one error per point; anything
    // else after the pairs is ignored, as the dialogue ignores it.
    std::string line;
    while (source.Next(line)) {
      const std::size_t first = line.find_first_not_of(" \t\r");
      if (first == std::string::npos) continue;
      std::string word = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
      for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (word != "sigma") break;
      data.sigma.assign(count, std::nan(""));
      std::vector<format::Target> errors;
      for (int i = 0; i < count; ++i) errors.emplace_back(data.sigma[i]);
      format::ReadFree(source, errors);
      break;
    }
  } catch (const format::RunTimeError& e) {
    throw DataError(e.what());
  }
  try {
    CheckData(data);
  } catch (const DataError& e) {
    std::string what = e.what();
    const std::string old = "data " + shown + ": ";
    if (what.rfind(old, 0) == 0) what = what.substr(old.size());
    throw DataError(where + what);
  }
  return data;
}

void CheckData(const Data& data) {
  const std::string name = "data '" + format::Printable(data.file, format::kNameShown) + "': ";
  const std::size_t count = data.temperature.size();
  if (data.chi.size() != count) {
    throw DataError(name + std::to_string(count) + " temperatures but " +
                    std::to_string(data.chi.size()) + " susceptibilities");
  }
  if (!data.sigma.empty() && data.sigma.size() != count) {
    throw DataError(name + std::to_string(count) + " points but " +
                    std::to_string(data.sigma.size()) + " errors (sigma)");
  }
  if (count < 1 || count > static_cast<std::size_t>(kMaxPoints)) {
    throw DataError(name + "the number of data points is " + std::to_string(count) + ", not 1 to " +
                    std::to_string(kMaxPoints));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double t = data.temperature[i];
    if (!(t > 0.0) || !std::isfinite(t)) {
      throw DataError(name + "point " + std::to_string(i + 1) +
                      " has a temperature that is not above 0");
    }
    if (!std::isfinite(data.chi[i])) {
      throw DataError(name + "point " + std::to_string(i + 1) +
                      " has a susceptibility that is not finite");
    }
  }
}

// The working state of a fit and its findings, kept for a result document
// built later.
struct FitState {
  std::unique_ptr<const Work> work;
  expressions::Evaluation evaluation;  // as the report left it
  FitAnalysis found;
};

std::string FitResult::Document() const {
  if (state == nullptr) return document;
  expressions::Evaluation e = state->evaluation;
  return ResultDocument(*state->work, e, state->found);
}

void CheckFit(const Model& model, const Data& data) {
  auto work = std::make_unique<Work>();
  Work& w = *work;
  w.settings = model.settings();
  w.fm = model.fit_model();
  w.fc = model.fit_control();
  CopyData(data, w.data);
  ApplyCorrections(w.data, w.settings.DIAM, w.settings.TIP, w.settings.FACTOR);
  MakeFitProblem(w, model.description(), data);
}

FitResult Fit(const ModelDescription& description, const Data& data, const FitOptions& options) {
  return Fit(Model(description), data, options);
}

FitResult Fit(const Model& model, const Data& data, const FitOptions& options) {
  // The working state is large: on the heap, not on a thread's stack.
  auto work = std::make_unique<Work>();
  Work& w = *work;
  w.settings = model.settings();
  w.fm = model.fit_model();
  w.fc = model.fit_control();
  w.data_name = data.file;
  CopyData(data, w.data);
  ApplyCorrections(w.data, w.settings.DIAM, w.settings.TIP, w.settings.FACTOR);
  const ModelDescription& description = model.description();
  {
    auto problem = std::make_shared<FitProblem>(MakeFitProblem(w, description, data));
    problem->settings = description.fit;
    problem->style = options.settings_style;
    MarkExcluded(w.data, *problem);
    w.problem = std::move(problem);
  }
  w.last_fit.method = description.fit.method;
  bool bounded = false;
  for (const ParameterDescription& p : description.parameters) bounded = bounded || p.min || p.max;
  // The dialogue's own path, bit for bit, where nothing asks for another.
  const bool dialogue = description.fit.method == "simplex" && w.problem->dialogue && !bounded;

  std::istringstream no_input;
  NoConsole none;
  std::unique_ptr<format::Console> console;
  format::RecordSink* progress = nullptr;
  if (options.progress != nullptr) {
    console = std::make_unique<format::Console>(no_input, *options.progress);
    progress = console.get();
  }
  w.ev = BoundEvaluation(w, progress);

  // As the dialogue sets up its iterations: the starts and steps recorded,
  // the L.S. error at the start.
  FitControl& f = w.fc;
  for (int j = 0; j < w.fm.NPAR; ++j) {
    f.PSTEP0[j] = w.fm.PSTEP[j];
    f.PSTART[j] = w.fm.PVAL[j];
    f.PFIT[j] = w.fm.PVAL[j];
  }
  if (progress != nullptr) ProgressHeader(w, *progress);
  f.LSERR = expressions::Objective(w.ev, w.fm.PVAL.data());
  if (f.NITER != 0 && dialogue) {
    const std::atomic<bool>* stop = options.stop;
    // Progress about once per iteration of the simplex (N+1 evaluations).
    int calls = 0;
    bool quit = false;
    double best = std::numeric_limits<double>::infinity();
    const int every = w.fm.NPAR + 1;
    if (options.on_progress) {
      w.on_value = [&](double value) {
        best = std::fmin(best, value);
        if (++calls % every == 0 && !quit) quit = !options.on_progress(calls / every, best);
      };
    }
    RunSimplex(w, progress, [stop, &quit] { return quit || (stop != nullptr && stop->load()); });
    w.on_value = nullptr;
    SimplexDone(progress);
    EstimateDeviations(w);
    FinishFit(w, progress);
    w.last_fit.converged = !w.last_fit.outcome.budget_exhausted && !w.last_fit.outcome.stopped;
  } else if (f.NITER != 0) {
    RunMethod(w, options);
  }
  FitAnalysis found = Analyse(w);
  if (w.last_fit.fitted && w.last_fit.method != "simplex") TakeStandardErrors(w, found);
  if (options.refine && w.last_fit.fitted && w.last_fit.method == "simplex" && found.check.ran) {
    TakeRefinement(w, found);
    found = Analyse(w);
  }

  // The report's file, and the document evaluated after it, as the dialogue
  // does; without a report only its evaluations.
  TextSink file("\r\n");
  if (options.report) WriteReportHead(w, file, nullptr);
  expressions::Evaluation quiet = w.ev;
  quiet.console = nullptr;
  WriteReportRest(w, options.report ? &file : nullptr, quiet);
  FitResult result = ResultOf(w, found);
  result.report = file.text();
  const std::string notes = Notes(w, found, options.document_name);
  for (std::size_t at = 0; at < notes.size();) {
    const std::size_t end = notes.find('\n', at);
    result.notes.push_back(notes.substr(at, end - at));
    at = end == std::string::npos ? notes.size() : end + 1;
  }
  const Outcome outcome = OutcomeOf(w, found);
  result.success = outcome.success;
  result.message = outcome.message;
  if (options.plot != 0) {
    if (w.data.NDATA > kMaxData) {
      throw DataError("the plot takes at most " + std::to_string(kMaxData) + " points, not " +
                      std::to_string(w.data.NDATA));
    }
    result.svg = Picture(w, options.plot);
  }
  if (options.document) {
    result.document = ResultDocument(w, quiet, found);
  } else {
    result.state = std::make_shared<const FitState>(FitState{std::move(work), quiet, found});
  }
  return result;
}

}  // namespace engine
