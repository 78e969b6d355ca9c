#include "serve/service.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <istream>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <streambuf>
#include <utility>

#include "engine/engine.h"
#include "importer/importer.h"

namespace serve {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// What each term is per, one line for the catalogue.
struct TermNote {
  int function, other;
  const char* per;
};
constexpr TermNote kTermNotes[] = {
    {1, 0, "free ions of spin S (Curie law; THETA: Curie-Weiss), per ion"},
    {2, 0, "an ion of spin S 1 to 5/2 with an axial zero-field splitting D, per ion"},
    {3, 0, "an S = 1/2 pair with Ising exchange, per ion"},
    {4, 0, "an S = 1/2 pair (Bleaney-Bower, H = -2J S1.S2), per ion"},
    {5, 0, "the magnetization of an S = 1/2 pair in the field B, divided by B, per ion"},
    {6, 0, "a uniform S = 1/2 chain (Bonner-Fisher), per ion"},
    {7, 0, "an alternating S = 1/2 chain (modified Bonner-Fisher), per ion"},
    {8, 0, "a pair of any two spins S1 and S2, per ion"},
    {9, 1, "an S1 = S2 = 1 pair with a zero-field splitting D, per ion"},
    {9, 2, "a linear S = 1/2 trimer, per ion"},
    {9, 3, "Hatfield's S = 1/2 tetramer, per ion"},
    {9, 4, "Kahn's chain of S1-S2 dimers, per ion"},
    {10, 0, "a constant susceptibility (DIM), added as it is"},
};

const char* TermPer(int function, int other) {
  for (const TermNote& n : kTermNotes) {
    if (n.function == function && (function != 9 || n.other == other)) return n.per;
  }
  return "";
}

// Fit options the page has controls for, and a model file that uses each:
// the controls are shown once the model files of the engine take them.
struct Feature {
  const char* name;
  const char* probe;
  const char* refused = nullptr;  // a text the model file must refuse, when a
                                  // result document's key of that name is read over
};
constexpr Feature kFeatures[] = {
    {"method", R"({"model": {"expression": 24}, "fit": {"method": "lm"}})",
     R"({"model": {"expression": 24}, "fit": {"method": "no such method"}})"},
    {"bounds",
     R"({"model": {"expression": 24}, "parameters": [{"name": "g-value", "start": 2, "min": 1, "max": 3}, {"name": "J-BB", "start": -100}, {"name": "COEFF1", "start": 0.9}]})"},
    {"fixed",
     R"({"model": {"expression": 24}, "parameters": [{"name": "g-value", "start": 2, "fixed": true}, {"name": "J-BB", "start": -100}, {"name": "COEFF1", "start": 0.9}]})"},
    {"window", R"({"model": {"expression": 24}, "fit": {"tmin": 2, "tmax": 300}})"},
    {"weights", R"({"model": {"expression": 24}, "fit": {"weights": "none"}})"},
    {"quantity", R"({"model": {"expression": 24}, "fit": {"quantity": "chi"}})"},
};

bool Takes(const char* probe) {
  try {
    engine::ParseModel(probe);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string RandomId() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(random()));
  return text;
}

// A page's or an object's id: letters, digits, '-' and '_', 1 to 64.
bool GoodId(const std::string& id) {
  return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_';
  });
}

class BadRequest : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::optional<std::string> Param(const Params& p, const std::string& name) {
  const auto at = p.find(name);
  if (at == p.end() || at->second.empty()) return std::nullopt;
  return at->second;
}

std::optional<double> Number(const Params& p, const std::string& name) {
  const auto text = Param(p, name);
  if (!text) return std::nullopt;
  char* end = nullptr;
  const double x = std::strtod(text->c_str(), &end);
  if (end != text->c_str() + text->size() || !std::isfinite(x)) {
    throw BadRequest(name + ": not a number: '" + text->substr(0, 40) + "'");
  }
  return x;
}

int Whole(const Params& p, const std::string& name, int low, int high, int otherwise) {
  const auto x = Number(p, name);
  if (!x) return otherwise;
  if (*x != std::floor(*x) || *x < low || *x > high) {
    throw BadRequest(name + ": " + std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int>(*x);
}

json Finite(double x) { return std::isfinite(x) ? json(x) : json(nullptr); }

// An input stream over bytes that stay where they are.
class ViewBuffer : public std::streambuf {
 public:
  ViewBuffer(const char* data, std::size_t size) {
    char* p = const_cast<char*>(data);
    setg(p, p, p + size);
  }
};

// The progress lines of a fit, counted, with the last number of the last
// one: the L.S. error.
class ProgressBuffer : public std::streambuf {
 public:
  ProgressBuffer(std::atomic<int>& lines, std::atomic<double>& ls_error)
      : lines_(lines), ls_error_(ls_error) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return c;
    if (c != '\n') {
      if (line_.size() < 512) line_.push_back(static_cast<char>(c));
      return c;
    }
    const std::size_t last = line_.find_last_of(' ');
    const std::string word = last == std::string::npos ? line_ : line_.substr(last + 1);
    std::string number = word;
    std::replace(number.begin(), number.end(), 'D', 'E');
    char* end = nullptr;
    const double x = std::strtod(number.c_str(), &end);
    if (!number.empty() && end == number.c_str() + number.size()) {
      ls_error_ = x;
      ++lines_;
    }
    line_.clear();
    return c;
  }

 private:
  std::atomic<int>& lines_;
  std::atomic<double>& ls_error_;
  std::string line_;
};

// on_progress where the engine has it; the progress lines otherwise.
template <class Options, class Callback>
auto SetProgress(Options& o, Callback&& f, int) -> decltype(o.on_progress = f, true) {
  o.on_progress = f;
  return true;
}
template <class Options, class Callback>
bool SetProgress(Options&, Callback&&, long) {
  return false;
}

// The import's errors of chi, where the engine's data take errors.
template <class D>
auto SetSigma(D& d, const importer::Import& im, int) -> decltype(d.sigma.clear(), void()) {
  d.sigma.clear();
  for (const importer::Point& p : im.points) {
    if (!std::isfinite(p.chi_err)) {
      d.sigma.clear();
      return;
    }
    d.sigma.push_back(p.chi_err);
  }
}
template <class D>
void SetSigma(D&, const importer::Import&, long) {}

}  // namespace

struct DataSet {
  engine::Data data;
  std::string reply;  // the JSON answer that made it
};

enum class State { kQueued, kRunning, kDone, kFailed, kCancelled };

const char* StateName(State s) {
  switch (s) {
    case State::kQueued:
      return "queued";
    case State::kRunning:
      return "running";
    case State::kDone:
      return "done";
    case State::kFailed:
      return "failed";
    case State::kCancelled:
      return "cancelled";
  }
  return "";
}

struct Job {
  std::string id, page;
  engine::ModelDescription model;
  std::shared_ptr<const DataSet> data;
  int quantity = 3;
  std::atomic<bool> stop{false};
  std::atomic<int> iteration{0};
  std::atomic<double> ls_error{std::nan("")};
  Clock::time_point queued = Clock::now();
  // Under the service's mutex:
  State state = State::kQueued;
  Clock::time_point started, ended;
  std::string error;
  std::shared_ptr<const engine::FitResult> result;
  std::string result_json;
};

Reply ErrorReply(int status, const std::string& message) {
  return {status, "application/json", json{{"error", message}}.dump()};
}

Service::Service(int workers) {
  workers = std::clamp(workers, 1, kMaxWorkers);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

Service::~Service() { Shutdown(); }

void Service::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_ && workers_.empty()) return;
    closing_ = true;
    for (auto& [id, job] : jobs_) job->stop = true;
    for (auto& job : queue_) {
      job->state = State::kCancelled;
      job->ended = Clock::now();
    }
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

Reply Service::Catalogue() const {
  json functions = json::array();
  for (const engine::FunctionInfo& f : engine::Functions()) {
    functions.push_back({{"function", f.function},
                         {"other_function", f.other_function},
                         {"name", f.name},
                         {"constants", f.constants},
                         {"parameters", f.parameters},
                         {"correction", f.correction},
                         {"per", TermPer(f.function, f.other_function)}});
  }
  json expressions = json::array();
  for (const engine::ExpressionInfo& e : engine::Expressions()) {
    expressions.push_back({{"expression", e.expression},
                           {"equation_type", e.equation_type},
                           {"functions", e.functions},
                           {"parameters", e.parameters},
                           {"template", engine::ModelText(engine::Template(e.expression))}});
  }
  json features = json::object();
  for (const Feature& f : kFeatures) {
    features[f.name] = Takes(f.probe) && (f.refused == nullptr || !Takes(f.refused));
  }
  return {200, "application/json",
          json{{"functions", functions},
               {"expressions", expressions},
               {"features", features},
               {"diamagnetic_per_gram", importer::kDiamagneticPerGram},
               {"chi_t_range", {importer::kChiTLow, importer::kChiTHigh}}}
              .dump()};
}

namespace {

bool IsMagnetometerFile(const std::string& body) {
  std::size_t at = 0;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) at = 3;
  while (at < body.size() &&
         (body[at] == ' ' || body[at] == '\t' || body[at] == '\r' || body[at] == '\n')) {
    ++at;
  }
  static const std::string kHeader = "[header]";
  if (body.size() - at < kHeader.size()) return false;
  for (std::size_t i = 0; i < kHeader.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(body[at + i])) != kHeader[i]) return false;
  }
  return true;
}

importer::Options ImportOptions(const Params& p) {
  importer::Options o;
  o.mass_mg = Number(p, "mass_mg");
  o.molar_mass = Number(p, "molar_mass");
  o.diamagnetic = Number(p, "diamagnetic");
  o.diamagnetic_estimate = Param(p, "diamagnetic_estimate").value_or("0") == "1";
  o.eicosane_mg = Number(p, "eicosane_mg");
  o.field_oe = Number(p, "field_oe");
  o.sweep = Param(p, "sweep").value_or("");
  o.column = Param(p, "column").value_or("");
  return o;
}

json ImportJson(const importer::Import& im) {
  json fields = json::array(), sweeps = json::array();
  for (const auto& f : im.fields) fields.push_back({{"oe", f.oe}, {"points", f.points}});
  for (const auto& s : im.sweeps) {
    sweeps.push_back({{"number", s.number},
                      {"label", s.label},
                      {"first", s.first},
                      {"last", s.last},
                      {"points", s.points}});
  }
  return {{"format", im.format},
          {"columns",
           {{"temperature", im.t_column},
            {"value", im.m_column},
            {"field", im.h_column},
            {"error", im.err_column}}},
          {"quantity", im.quantity},
          {"formula", im.formula},
          {"sample", im.sample},
          {"mass_mg", Finite(im.mass_mg)},
          {"mass_from", im.mass_from},
          {"molar_mass", Finite(im.molar_mass)},
          {"molar_mass_from", im.molar_mass_from},
          {"diamagnetic", Finite(im.diamagnetic)},
          {"diamagnetic_from", im.diamagnetic_from},
          {"eicosane_mg", Finite(im.eicosane_mg)},
          {"field_oe", Finite(im.field_oe)},
          {"fields", fields},
          {"sweeps", sweeps},
          {"sweep_chosen", im.sweep_chosen},
          {"data_rows", im.data_rows},
          {"kept", im.kept},
          {"left_missing", im.left_missing},
          {"left_temperature", im.left_temperature},
          {"left_field", im.left_field},
          {"left_sweep", im.left_sweep},
          {"binning", im.binning},
          {"warnings", im.warnings}};
}

}  // namespace

Reply Service::Data(const std::string& body, const std::string& name, const Params& params) {
  auto set = std::make_shared<DataSet>();
  json reply;
  try {
    const std::string shown = name.empty() ? "upload" : name;
    std::string data_file;
    std::optional<importer::Import> imported;
    if (IsMagnetometerFile(body)) {
      ViewBuffer buffer(body.data(), body.size());
      std::istream in(&buffer);
      const importer::Options options = ImportOptions(params);
      imported = importer::Read(in, shown, options);
      const importer::Import& im = *imported;
      data_file = importer::DataFileText(im);
      reply["kind"] = "magnetometer";
      reply["import"] = ImportJson(im);
      reply["summary"] = importer::SummaryText(im, "", "");
    } else {
      try {
        set->data = engine::ParseData(body, shown);
        data_file = body;
        reply["kind"] = "data file";
      } catch (const engine::Error& as_data) {
        // A table of temperatures and molar susceptibilities (cm3/mol).
        importer::Options options = ImportOptions(params);
        if (options.columns.empty()) options.columns = {"1", "2"};
        if (options.chi_unit.empty()) options.chi_unit = "cm3/mol";
        ViewBuffer buffer(body.data(), body.size());
        std::istream in(&buffer);
        try {
          const importer::Import im = importer::Read(in, shown, options);
          data_file = importer::DataFileText(im);
          reply["kind"] = "table";
          reply["import"] = ImportJson(im);
        } catch (const importer::Error& as_table) {
          return ErrorReply(422,
                            "not a magnetometer file, a data file or a table: as a data file, " +
                                std::string(as_data.what()) + "; as a table, " + as_table.what());
        }
      }
    }
    // Read back as `suscep fit` reads the data file the import writes.
    set->data = engine::ParseData(data_file, shown);
    if (imported) SetSigma(set->data, *imported, 0);
    reply["data_file"] = data_file;
  } catch (const BadRequest& e) {
    return ErrorReply(400, e.what());
  } catch (const importer::Error& e) {
    return ErrorReply(422, e.what());
  } catch (const engine::Error& e) {
    return ErrorReply(422, e.what());
  }
  try {
    engine::FigureOptions figure;
    figure.quantity = Whole(params, "quantity", 1, 5, 3);
    reply["svg"] = engine::DataFigure(set->data, figure);
  } catch (const BadRequest& e) {
    return ErrorReply(400, e.what());
  }
  const std::string id = RandomId();
  reply["id"] = id;
  reply["name"] = set->data.file;
  json points = json::array();
  for (std::size_t i = 0; i < set->data.temperature.size(); ++i) {
    points.push_back({set->data.temperature[i], set->data.chi[i]});
  }
  reply["points"] = points;
  set->reply = reply.dump();
  const std::string text = set->reply;
  std::lock_guard<std::mutex> lock(mutex_);
  data_[id] = std::move(set);
  data_order_.push_back(id);
  while (data_order_.size() > kMaxDataSets) {
    data_.erase(data_order_.front());
    data_order_.pop_front();
  }
  return {200, "application/json", text};
}

Reply Service::StartFit(const std::string& body, const Params& params) {
  auto job = std::make_shared<Job>();
  try {
    job->page = Param(params, "page").value_or("");
    if (!GoodId(job->page)) throw BadRequest("page: a page's id is needed");
    job->quantity = Whole(params, "quantity", 1, 5, 3);
    job->model = engine::ParseModel(body, engine::Starts::kStart, "model");
    engine::Model check(job->model);
  } catch (const BadRequest& e) {
    return ErrorReply(400, e.what());
  } catch (const engine::Error& e) {
    return ErrorReply(422, e.what());
  }
  const std::string data_id = Param(params, "data").value_or("");
  std::lock_guard<std::mutex> lock(mutex_);
  if (closing_) return ErrorReply(503, "the server is stopping");
  const auto data = data_.find(data_id);
  if (data == data_.end()) return ErrorReply(404, "no such data set: read the file again");
  job->data = data->second;
  const auto running = running_by_page_.find(job->page);
  if (running != running_by_page_.end()) {
    return ErrorReply(409, "a fit of this page is running: cancel it or wait");
  }
  if (queue_.size() >= kMaxQueued) return ErrorReply(503, "too many fits waiting: try again");
  job->id = RandomId();
  jobs_[job->id] = job;
  running_by_page_[job->page] = job->id;
  queue_.push_back(job);
  wake_.notify_one();
  return {202, "application/json", json{{"id", job->id}, {"state", "queued"}}.dump()};
}

namespace {

std::string ResultJson(const engine::FitResult& r) {
  json flags = {{"budget", r.budget_exhausted},
                {"interrupted", r.interrupted},
                {"short", r.stopped_short},
                {"refined", r.refined},
                {"sigma_estimated", r.sigma_estimated}};
  return json{
      {"document", r.Document()},     {"notes", r.notes}, {"flags", flags}, {"method", r.method},
      {"evaluations", r.evaluations}, {"svg", r.svg}}
      .dump();
}

}  // namespace

void Service::Work() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (closing_) return;
      job = queue_.front();
      queue_.pop_front();
      job->state = State::kRunning;
      job->started = Clock::now();
    }
    std::shared_ptr<engine::FitResult> result;
    std::string error;
    try {
      engine::FitOptions options;
      options.stop = &job->stop;
      options.report = true;
      options.plot = job->quantity;
      options.document_name = "the result document";
      Job* j = job.get();
      ProgressBuffer lines(j->iteration, j->ls_error);
      std::ostream progress(&lines);
      const bool direct = SetProgress(
          options,
          [j](int iteration, double ls_error) {
            j->iteration = iteration;
            j->ls_error = ls_error;
            return !j->stop.load();
          },
          0);
      if (!direct) options.progress = &progress;
      result =
          std::make_shared<engine::FitResult>(engine::Fit(job->model, job->data->data, options));
    } catch (const engine::Error& e) {
      error = e.what();
    } catch (const std::bad_alloc&) {
      error = "out of memory";
    } catch (const std::exception& e) {
      error = std::string("unexpected failure: ") + e.what();
    }
    std::string text;
    if (result) {
      try {
        text = ResultJson(*result);
      } catch (const std::exception& e) {
        error = e.what();
        result.reset();
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    job->ended = Clock::now();
    job->state = result ? State::kDone : State::kFailed;
    job->error = error;
    job->result = result;
    job->result_json = std::move(text);
    running_by_page_.erase(job->page);
    finished_.push_back(job->id);
    while (finished_.size() > kMaxFinished) {
      jobs_.erase(finished_.front());
      finished_.pop_front();
    }
  }
}

std::shared_ptr<Job> Service::FindJob(const std::string& id) {
  const auto at = jobs_.find(id);
  return at == jobs_.end() ? nullptr : at->second;
}

Reply Service::JobState(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto job = FindJob(id);
  if (!job) return ErrorReply(404, "no such fit");
  const Clock::time_point end =
      job->state == State::kRunning || job->state == State::kQueued ? Clock::now() : job->ended;
  const Clock::time_point begin = job->state == State::kQueued ? job->queued : job->started;
  std::string out = json{
      {"id", job->id},
      {"state", StateName(job->state)},
      {"iteration", job->iteration.load()},
      {"ls_error", Finite(job->ls_error.load())},
      {"seconds", std::chrono::duration<double>(end - begin).count()},
      {"error",
       job->error}}.dump();
  if (job->state == State::kDone) {
    out.pop_back();
    out += ",\"result\":" + job->result_json + "}";
  }
  return {200, "application/json", out};
}

Reply Service::Cancel(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto job = FindJob(id);
  if (!job) return ErrorReply(404, "no such fit");
  job->stop = true;
  if (job->state == State::kQueued) {
    queue_.erase(std::remove(queue_.begin(), queue_.end(), job), queue_.end());
    job->state = State::kCancelled;
    job->ended = Clock::now();
    running_by_page_.erase(job->page);
    finished_.push_back(job->id);
  }
  return {200, "application/json", json{{"id", id}, {"state", StateName(job->state)}}.dump()};
}

namespace {

std::shared_ptr<const engine::FitResult> FinishedResult(const std::shared_ptr<Job>& job) {
  return job && job->state == State::kDone ? job->result : nullptr;
}

std::string Csv(const std::string& document) {
  const json d = json::parse(document);
  std::string out;
  auto cell = [](const json& v) {
    if (!v.is_number()) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v.get<double>());
    return std::string(text);
  };
  out +=
      "T (K),chi read (cm3/mol),chi corrected (cm3/mol),chi calculated (cm3/mol),residual "
      "(cm3/mol),curve T (K),curve chi (cm3/mol)\n";
  const json& data = d.at("data");
  const json& curve = d.at("curve");
  const std::size_t n = data.at("temperature").size();
  const std::size_t m = curve.at("temperature").size();
  for (std::size_t i = 0; i < std::max(n, m); ++i) {
    std::string row;
    for (const char* key :
         {"temperature", "chi_raw", "chi_corrected", "chi_calculated", "residual"}) {
      row += (i < n ? cell(data.at(key).at(i)) : std::string()) + ",";
    }
    row += (i < m ? cell(curve.at("temperature").at(i)) : std::string()) + ",";
    row += i < m ? cell(curve.at("chi").at(i)) : std::string();
    out += row + "\n";
  }
  return out;
}

}  // namespace

Reply Service::Figure(const std::string& id, const Params& params) {
  std::shared_ptr<Job> job;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job = FindJob(id);
    if (!FinishedResult(job)) return ErrorReply(404, "no finished fit of that id");
  }
  try {
    const int quantity = Whole(params, "quantity", 1, 5, 3);
    engine::FigureOptions options;
    options.quantity = quantity;
    options.residuals = Whole(params, "residuals", 0, 1, 0) == 1;
    return {200, "image/svg+xml", engine::Figure(*job->result, options)};
  } catch (const BadRequest& e) {
    return ErrorReply(400, e.what());
  } catch (const engine::Error& e) {
    return ErrorReply(422, e.what());
  }
}

Reply Service::Overview(const Params& params) {
  std::vector<std::shared_ptr<const engine::FitResult>> kept;
  const std::string ids = Param(params, "jobs").value_or("");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t at = 0; at < ids.size();) {
      const std::size_t end = std::min(ids.find(',', at), ids.size());
      const auto result = FinishedResult(FindJob(ids.substr(at, end - at)));
      if (!result)
        return ErrorReply(404,
                          "no finished fit " + ids.substr(at, std::min<std::size_t>(end - at, 64)));
      kept.push_back(result);
      at = end + 1;
    }
  }
  if (kept.empty()) return ErrorReply(400, "jobs: the fits to draw, separated by commas");
  try {
    engine::FigureOptions options;
    options.quantity = Whole(params, "quantity", 1, 5, 3);
    options.width_mm = 170.0;
    std::vector<const engine::FitResult*> results;
    for (const auto& r : kept) results.push_back(r.get());
    return {200, "image/svg+xml", engine::Overview(results, options)};
  } catch (const BadRequest& e) {
    return ErrorReply(400, e.what());
  }
}

Reply Service::Download(const std::string& id, const std::string& what, const Params& params) {
  std::shared_ptr<const engine::FitResult> result;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    result = FinishedResult(FindJob(id));
  }
  if (!result) return ErrorReply(404, "no finished fit of that id");
  if (what == "document") return {200, "application/json", result->Document()};
  if (what == "report") return {200, "text/plain; charset=utf-8", result->report};
  if (what == "csv") return {200, "text/csv; charset=utf-8", Csv(result->Document())};
  if (what == "svg") {
    if (Param(params, "quantity")) return Figure(id, params);
    return {200, "image/svg+xml", result->svg};
  }
  return ErrorReply(404, "no such download: document, report, svg or csv");
}

}  // namespace serve
