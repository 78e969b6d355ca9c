// The data file, and a whole fit for front ends: the dialogue's set-up,
// the fit, the refinement when asked, the report, the result document and
// the picture.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
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
  for (int i = 0; i < set.NDATA; ++i) {
    set.T[i] = data.temperature[i];
    set.XRAW[i] = data.chi[i];
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
  r.method = w.last_fit.refined ? kRefined : w.last_fit.fitted ? kSimplex : kNoFit;
  r.statistics = f.statistics;
  r.temperature.assign(w.data.T.begin(), w.data.T.begin() + w.data.NDATA);
  r.chi_corrected.assign(w.data.XOBS.begin(), w.data.XOBS.begin() + w.data.NDATA);
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
  auto set = std::make_unique<DataSet>();
  try {
    LoadFile(*set, path, nullptr);
  } catch (const OpenError& e) {
    throw FileError(e.what());
  } catch (const format::RunTimeError& e) {
    throw DataError(e.what());
  }
  Data data;
  data.file = path;
  data.temperature.assign(set->T.begin(), set->T.begin() + set->NDATA);
  data.chi.assign(set->XRAW.begin(), set->XRAW.begin() + set->NDATA);
  return data;
}

void CheckData(const Data& data) {
  const std::string name = "data '" + format::Printable(data.file, format::kNameShown) + "': ";
  const std::size_t count = data.temperature.size();
  if (data.chi.size() != count) {
    throw DataError(name + std::to_string(count) + " temperatures but " +
                    std::to_string(data.chi.size()) + " susceptibilities");
  }
  if (count < 1 || count > static_cast<std::size_t>(kMaxData)) {
    throw DataError(name + "the number of data points is " + std::to_string(count) +
                    ", not 1 to 300");
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double t = data.temperature[i];
    if (!(t > 0.0) || !std::isfinite(t)) {
      throw DataError(name + "point " + std::to_string(i + 1) +
                      " has a temperature that is not above 0");
    }
    // 1/T of a subnormal number is not finite.
    if (t < DBL_MIN) {
      throw DataError(name + "point " + std::to_string(i + 1) +
                      " has a temperature too close to 0 to compute with");
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
  if (f.NITER != 0) {
    // Once stopped, by the flag or by the watcher, the search ends.
    bool stopped = false;
    int iteration = 0;
    const auto stop = [&] {
      if (!stopped && options.stop != nullptr) stopped = options.stop->load();
      if (!stopped && options.on_progress) {
        stopped = !options.on_progress(++iteration, w.last_fit.lowest);
      }
      return stopped;
    };
    RunSimplex(w, progress, stop);
    SimplexDone(progress);
    EstimateDeviations(w);
    FinishFit(w, progress);
  }
  FitAnalysis found = Analyse(w);
  if (options.refine && w.last_fit.fitted && found.check.ran) {
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
  int free = 0;
  for (int j = 0; j < w.fm.NPAR; ++j) free += w.fc.PSTEP0[j] != 0.0;
  if (w.last_fit.fitted && w.data.NDATA < free) {
    result.notes.push_back("suscep: note: " + std::to_string(w.data.NDATA) + " points for " +
                           std::to_string(free) +
                           " fitted parameters: the data cannot determine them all");
  }
  if (options.plot != 0) result.svg = Picture(w, options.plot);
  if (options.document) {
    result.document = ResultDocument(w, quiet, found);
  } else {
    result.state = std::make_shared<const FitState>(FitState{std::move(work), quiet, found});
  }
  return result;
}

}  // namespace engine
