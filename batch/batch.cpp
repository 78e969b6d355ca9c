// `suscep fit`: the arguments, the fits (in parallel with --jobs), the
// output files and the summary.
#include "batch/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "engine/engine.h"
#include "format/console.h"
#include "format/errors.h"
#include "format/whole_file.h"

namespace batch {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr char kName[] = "suscep fit: ";
constexpr int kMaxJobs = 64;

// One fit for each processor: the files are independent, and the output
// does not depend on how many are fitted at once.
int DefaultJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp<unsigned>(processors, 1, kMaxJobs));
}

constexpr char kUsage[] = R"(Usage: suscep fit [OPTIONS] MODEL DATA...
       suscep fit --template EXPRESSION

Fits the model of the model file MODEL (JSON; any SUSCEP.JSON is one) to
each data file in turn with the model file's fit.method (simplex, with the
numbers the dialogue gives for the same choices, when it names none), and
writes for each DATA its result document DATA-STEM.json. Prints one table:
a row per data file with the points fitted, the L.S. error, each parameter
with its Std. devn. (or standard error), and the flags (budget: the simplex
ran out of its budget, or lm of its iterations; short: the check of the
minimum found a lower one; bound: a parameter ended on a bound; jac: the
+/- are the Jacobian's standard errors where the Std. devn. estimate
failed; stopped: Ctrl-C).

Options:
  --template EXPRESSION  print a model file for a standard expression
                         number, with default starts and steps, and end
  --output-dir DIR       write the output files to DIR (default: beside
                         each data file)
  --report               also write the report DATA-STEM.out
  --svg                  also write the figure DATA-STEM.svg (XT vs. T):
                         the data, the fitted curve and the values
  --plot N               the plot of --svg and --overview: 1 X vs. T, 2 Mu
                         vs. T, 3 XT vs. T, 4 1/X vs. T, 5 X vs 1/T
                         (implies --svg unless --overview is given)
  --residuals            a panel of observed - calculated under each plot
  --width MM             the figures' width in mm: 85 a journal column
                         (the default), 170 a page
  --overview FILE        also write one figure of every data file fitted:
                         up to 7 in one plot, more in a grid
  --csv                  print the summary as CSV: a row per data file
                         with each value and its error
  --json                 print the summary as one JSON document
  --jobs N               fit N files at once (default: one for each
                         processor)
  --refine               continue each fit with a Levenberg-Marquardt
                         refinement and give its point, standard errors
                         and statistics as the result
  --from-values          start from the model file's fitted values rather
                         than its starts
  --method METHOD        simplex (the dialogue's), lm (Levenberg-Marquardt
                         from the starts) or global (many starts, the best
                         refined by lm); default: the model file's
  --iterations N         simplex: the evaluation budget; lm and global: the
                         iteration limit of each run (default: the model
                         file's, else 200)
  --tmin T, --tmax T     fit only the points from T K / up to T K; the
                         others are kept in the outputs, marked excluded
  --weights W            none (the L.S. error), sigma (each point's error
                         from the data file) or relative
  --quantity Q           chi (default) or chiT
  --verbose              show the progress lines of each fit on standard
                         error
  -h, --help             show this text

Exit status: 0 every data file fitted, 1 some failed (each named on
standard error), 2 a usage error or a model file that cannot be used, 3 any
other failure, such as running out of memory.
)";

// Arguments that would make the output files clash with each other or with
// the inputs.
class Clash : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string model;
  std::vector<std::string> data;
  std::optional<std::string> output_dir;
  std::optional<int> template_expression;
  bool report = false, svg = false, json = false, verbose = false, refine = false;
  bool from_values = false, csv = false, residuals = false;
  int plot = 3;  // XT vs. T
  int width = 85;
  std::optional<std::string> overview;
  int jobs = DefaultJobs();
  // Overrides of the model file's fit settings.
  std::optional<std::string> method, weights, quantity;
  std::optional<int> iterations;
  std::optional<double> tmin, tmax;
};

// A finite number, or a usage error naming `option`.
double Real(const std::string& option, const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE ||
      !std::isfinite(value)) {
    throw cli::UsageError(option + " needs a number, not '" + format::Printable(text) + "'");
  }
  return value;
}

// The grammar of the command line; without a status, `o` is complete.
std::optional<int> ParseArguments(int argc, const char* const argv[], std::ostream& out,
                                  std::ostream& err, Options& o) {
  cli::Grammar grammar("suscep fit", kUsage);
  std::vector<std::string> files;
  std::optional<int> plot;
  grammar.Integer("--template", o.template_expression, 1, 99);
  grammar.Text("--output-dir", o.output_dir);
  grammar.Flag("--report", o.report);
  grammar.Flag("--svg", o.svg);
  grammar.Integer("--plot", plot, 1, 5);
  grammar.Flag("--residuals", o.residuals);
  grammar.Integer("--width", o.width, 40, 500);
  grammar.Text("--overview", o.overview);
  grammar.Flag("--csv", o.csv);
  grammar.Flag("--json", o.json);
  grammar.Integer("--jobs", o.jobs, 1, kMaxJobs);
  grammar.Flag("--refine", o.refine);
  grammar.Flag("--from-values", o.from_values);
  grammar.Flag("--verbose", o.verbose);
  grammar.Text("--method", o.method);
  grammar.Text("--weights", o.weights);
  grammar.Text("--quantity", o.quantity);
  grammar.Integer("--iterations", o.iterations, 0, 1000000000);
  grammar.Option("--tmin", [&o](const std::string& v) { o.tmin = Real("--tmin", v); });
  grammar.Option("--tmax", [&o](const std::string& v) { o.tmax = Real("--tmax", v); });
  grammar.Operands(files);
  if (const auto status = grammar.Parse(argc, argv, out, err)) return status;
  if (plot) {
    o.plot = *plot;
    o.svg |= !o.overview;
  }
  if (o.json && o.csv)
    return grammar.Refuse(err, "--json and --csv are two forms of the summary: give one");
  if (o.template_expression) {
    if (!files.empty()) return grammar.Refuse(err, "--template takes no files");
    return std::nullopt;
  }
  if (files.size() < 2) return grammar.Refuse(err, "give a model file and at least one data file");
  o.model = files[0];
  o.data.assign(files.begin() + 1, files.end());
  return std::nullopt;
}

// The output files of one data file.
struct Paths {
  std::string document, report, svg;
};

Paths PathsOf(const Options& o, const std::string& data) {
  const fs::path file(data);
  fs::path dir = o.output_dir ? fs::path(*o.output_dir) : file.parent_path();
  const std::string stem = file.stem().string();
  auto join = [&dir, &stem](const char* extension) {
    return (dir.empty() ? fs::path(stem + extension) : dir / (stem + extension)).string();
  };
  return {join(".json"), join(".out"), join(".svg")};
}

// One path for comparisons: absolute (against `cwd`, when known) and
// normal. Links are not resolved: an output name that is a link is refused
// when it is written, and two links to one file are two names.
std::string Key(const fs::path& cwd, const std::string& path) {
  const fs::path p(path);
  return (p.is_absolute() || cwd.empty() ? p : cwd / p).lexically_normal().string();
}

// Two data files that would write the same output file, or an output file
// that is one of the inputs: refused before anything is fitted.
void CheckPaths(const Options& o) {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);  // asked once, not for each path
  std::map<std::string, std::string> inputs, outputs;
  inputs[Key(cwd, o.model)] = o.model;
  for (const std::string& d : o.data) inputs[Key(cwd, d)] = d;
  if (o.overview) {
    const auto input = inputs.find(Key(cwd, *o.overview));
    if (input != inputs.end()) {
      throw Clash("the overview '" + format::Printable(*o.overview, format::kNameShown) +
                  "' would replace the input file '" +
                  format::Printable(input->second, format::kNameShown) + "'");
    }
    outputs.emplace(Key(cwd, *o.overview), "");
  }
  for (const std::string& d : o.data) {
    // No name, no outputs: the file fails when it is read.
    if (d.empty()) continue;
    const Paths p = PathsOf(o, d);
    std::vector<std::string> written = {p.document};
    if (o.report) written.push_back(p.report);
    if (o.svg) written.push_back(p.svg);
    for (const std::string& w : written) {
      const std::string key = Key(cwd, w);
      const auto input = inputs.find(key);
      if (input != inputs.end()) {
        throw Clash("the output file '" + format::Printable(w, format::kNameShown) + "' of '" +
                    format::Printable(d, format::kNameShown) + "' would replace the input file '" +
                    format::Printable(input->second, format::kNameShown) + "'");
      }
      const auto [at, fresh] = outputs.emplace(key, d);
      if (!fresh && at->second.empty()) {
        throw Clash("the overview '" + format::Printable(*o.overview, format::kNameShown) +
                    "' would replace the output file of '" +
                    format::Printable(d, format::kNameShown) + "'");
      }
      if (!fresh && at->second != d) {
        throw Clash("the data files '" + format::Printable(at->second, format::kNameShown) +
                    "' and '" + format::Printable(d, format::kNameShown) + "' would both write '" +
                    format::Printable(w, format::kNameShown) +
                    "' (use another --output-dir, or rename one)");
      }
    }
  }
}

// The output directory is there before anything is fitted.
void CheckOutputDir(const Options& o) {
  if (!o.output_dir) return;
  struct stat st;
  const std::string shown = "--output-dir '" + format::Printable(*o.output_dir, format::kNameShown);
  if (::stat(o.output_dir->c_str(), &st) != 0) {
    throw Clash(shown + "': " + std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode)) throw Clash(shown + "': not a directory");
}

struct Outcome {
  bool done = false;
  std::string error;
  bool named = false;  // the error names the data file itself
  std::string progress;
  engine::FitResult fit;
  Paths paths;
};

engine::FigureOptions FigureOptions(const Options& o) {
  engine::FigureOptions f;
  f.quantity = o.plot;
  f.residuals = o.residuals;
  f.width_mm = o.width;
  return f;
}

// The output files of one data file: names the user chose (the directory
// at least), so a link, a device, a pipe or a directory there is refused.
// Made before the fit, so that a name that cannot be written fails the file
// at once; synced once for the whole batch, at the end.
struct Outputs {
  explicit Outputs(const Options& o, const Paths& p) {
    constexpr auto kTyped = format::AtName::kTypedName;
    files.push_back(std::make_unique<format::WholeFile>(p.document, false, kTyped));
    if (o.report) files.push_back(std::make_unique<format::WholeFile>(p.report, false, kTyped));
    if (o.svg) files.push_back(std::make_unique<format::WholeFile>(p.svg, false, kTyped));
  }
  std::vector<std::unique_ptr<format::WholeFile>> files;
};

Outcome FitOne(const Options& o, const engine::Model& model, const std::string& data) {
  Outcome r;
  r.paths = PathsOf(o, data);
  try {
    engine::Data points;
    try {
      points = engine::ReadData(data);
    } catch (const engine::Error&) {
      r.named = true;
      throw;
    }
    Outputs outputs(o, r.paths);
    std::ostringstream lines;
    engine::FitOptions options;
    options.refine = o.refine;
    options.report = o.report;
    options.progress = o.verbose ? &lines : nullptr;
    options.document_name = r.paths.document;
    options.settings_style = "options";
    options.curves = o.svg || o.overview;  // only a figure draws them
    r.fit = engine::Fit(model, points, options);
    r.progress = lines.str();
    std::vector<format::WholeFile*> files;
    for (const auto& file : outputs.files) files.push_back(file.get());
    files[0]->Write(r.fit.document);
    if (o.report) files[1]->Write(r.fit.report);
    if (o.svg) files.back()->Write(engine::Figure(r.fit, FigureOptions(o)));
    format::CommitTogether(files);
    // The texts are on the disk; a batch of many files keeps no copies.
    std::string().swap(r.fit.document);
    std::string().swap(r.fit.report);
    r.done = true;
  } catch (const engine::Error& e) {
    r.error = e.what();
  } catch (const format::RunTimeError& e) {
    r.error = e.what();
  } catch (const std::bad_alloc&) {
    r.error = "out of memory";
  } catch (const std::exception& e) {
    // Nothing else is expected; whatever it is stays with this file.
    r.error = std::string("unexpected failure: ") + e.what();
  }
  return r;
}

std::string Scientific(double x, int digits) {
  if (!std::isfinite(x)) return "-";
  char text[40];
  std::snprintf(text, sizeof text, "%.*E", digits, x);
  return text;
}

// The simplex's Std. devn. estimate failed, and the table shows the
// Jacobian's standard errors instead.
bool JacobianShown(const engine::FitResult& f) {
  if (f.sigma_estimated || f.method != "simplex") return false;
  for (double se : f.std_error) {
    if (std::isfinite(se)) return true;
  }
  return false;
}

// The +/- of the table: the Std. devn., or the standard error where that is
// all there is.
double PlusMinus(const engine::FitResult& f, std::size_t j) {
  if (f.method == "lm" || f.method == "global" || JacobianShown(f)) return f.std_error[j];
  return f.sigma[j];
}

std::string Flags(const engine::FitResult& f) {
  std::string flags;
  auto add = [&flags](bool on, const char* name) {
    if (on) flags += (flags.empty() ? "" : ",") + std::string(name);
  };
  add(f.budget_exhausted, "budget");
  add(f.stopped_short, "short");
  add(std::find(f.at_bound.begin(), f.at_bound.end(), true) != f.at_bound.end(), "bound");
  add(JacobianShown(f), "jac");
  add(f.interrupted, "stopped");
  return flags.empty() ? "-" : flags;
}

// The table: a heading and a row per fitted file, columns padded to their
// widest cell, numbers to the right.
// The points of a fit; with a window, those fitted of all: "25/29".
std::string PointsShown(const engine::FitResult& f) {
  const int fitted = f.statistics.points;
  if (f.excluded.empty() || fitted == f.points) return std::to_string(f.points);
  return std::to_string(fitted) + "/" + std::to_string(f.points);
}

void PrintTable(std::ostream& out, const engine::Model& model, const Options& o,
                const std::vector<Outcome>& outcomes) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> heading = {"file", "points", "L.S.error"};
  for (const std::string& name : model.parameter_names()) {
    heading.push_back(name);
    heading.push_back("+/-");
  }
  heading.push_back("flags");
  rows.push_back(heading);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const Outcome& r = outcomes[i];
    if (!r.done) continue;
    std::vector<std::string> row = {format::Printable(o.data[i], format::kNameShown),
                                    PointsShown(r.fit), Scientific(r.fit.ls_error, 4)};
    for (std::size_t j = 0; j < r.fit.values.size(); ++j) {
      row.push_back(Scientific(r.fit.values[j], 6));
      row.push_back(Scientific(PlusMinus(r.fit, j), 2));
    }
    row.push_back(Flags(r.fit));
    rows.push_back(row);
  }
  std::vector<std::size_t> width(heading.size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string pad(width[c] - row[c].size(), ' ');
      const bool left = c == 0 || c + 1 == row.size();
      if (c != 0) line += "  ";
      line += left ? row[c] + (c + 1 == row.size() ? "" : pad) : pad + row[c];
    }
    out << line << '\n';
  }
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// A number in the fewest digits that read back as the same double; empty
// when not finite.
std::string CsvNumber(double x) {
  if (!std::isfinite(x)) return "";
  char text[40];
  return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// The table as CSV (RFC 4180, CR LF): a row per fitted file with each
// value and its error, for a spreadsheet.
void PrintCsv(std::ostream& out, const engine::Model& model, const Options& o,
              const std::vector<Outcome>& outcomes) {
  std::string line = "file,points,ls_error";
  for (const std::string& name : model.parameter_names()) {
    line += "," + CsvField(name) + "," + CsvField(name + " error");
  }
  out << line << ",method,flags\r\n";
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const Outcome& r = outcomes[i];
    if (!r.done) continue;
    line =
        CsvField(o.data[i]) + "," + std::to_string(r.fit.points) + "," + CsvNumber(r.fit.ls_error);
    for (std::size_t j = 0; j < r.fit.values.size(); ++j) {
      line += "," + CsvNumber(r.fit.values[j]) + "," + CsvNumber(r.fit.sigma[j]);
    }
    const std::string flags = Flags(r.fit);
    out << line << "," << CsvField(r.fit.method) << "," << (flags == "-" ? "" : flags) << "\r\n";
  }
}

// The overview of every fitted file, written whole; false with a message
// on `err` when it cannot be.
bool WriteOverview(const Options& o, const std::vector<Outcome>& outcomes, std::ostream& err) {
  std::vector<const engine::FitResult*> fits;
  for (const Outcome& r : outcomes) {
    if (r.done) fits.push_back(&r.fit);
  }
  try {
    engine::FigureOptions f = FigureOptions(o);
    if (f.width_mm == 85 && fits.size() > engine::kOverlaid) f.width_mm = 170;
    format::WriteWholeFile(*o.overview, engine::Overview(fits, f), format::AtName::kTypedName);
    return true;
  } catch (const format::RunTimeError& e) {
    err << kName << e.what() << std::endl;
  } catch (const std::bad_alloc&) {
    err << kName << "out of memory: no overview" << std::endl;
  }
  return false;
}

json Number(double x) { return std::isfinite(x) ? json(x) : json(nullptr); }

void PrintJson(std::ostream& out, const Options& o, const std::vector<Outcome>& outcomes) {
  json results = json::array(), failures = json::array();
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const Outcome& r = outcomes[i];
    if (!r.done) {
      failures.push_back({{"file", o.data[i]}, {"error", r.error}});
      continue;
    }
    json parameters = json::array();
    for (std::size_t j = 0; j < r.fit.values.size(); ++j) {
      parameters.push_back({{"name", r.fit.names[j]},
                            {"value", Number(r.fit.values[j])},
                            {"sigma", Number(r.fit.sigma[j])},
                            {"std_error", Number(r.fit.std_error[j])}});
    }
    results.push_back({{"file", o.data[i]},
                       {"points", r.fit.points},
                       {"points_fitted", r.fit.statistics.points},
                       {"ls_error", Number(r.fit.ls_error)},
                       {"parameters", parameters},
                       {"method", r.fit.method},
                       {"success", r.fit.success},
                       {"message", r.fit.message},
                       {"budget_exhausted", r.fit.budget_exhausted},
                       {"stopped_short", r.fit.stopped_short},
                       {"interrupted", r.fit.interrupted},
                       {"document", r.paths.document},
                       {"report", o.report ? json(r.paths.report) : json(nullptr)},
                       {"svg", o.svg ? json(r.paths.svg) : json(nullptr)}});
  }
  const json summary = {{"format", "suscep-batch"},
                        {"version", 1},
                        {"model", o.model},
                        {"results", results},
                        {"failures", failures}};
  out << summary.dump(1, ' ', false, json::error_handler_t::replace) << '\n';
}

// 0 when everything printed reached standard output, else 3 with a message:
// the table or the model file is lost, which no data file's failure explains.
int WriteStatus(std::ostream& out, std::ostream& err) {
  out.flush();
  if (out) return 0;
  err << kName << "write error on standard output" << std::endl;
  return 3;
}

// What a file's fit says on standard error, the file named once.
void Report(const Options& o, const std::string& data, const Outcome& r, std::ostream& err) {
  const std::string name = format::Printable(data, format::kNameShown);
  if (o.verbose) {
    err << kName << name << ":\n" << r.progress;
    for (const std::string& note : r.fit.notes) err << note << '\n';
  }
  if (!r.done) {
    err << kName << (r.named ? "" : name + ": ") << format::MessageText(r.error) << '\n';
  }
}

// The fits on --jobs threads, or on as many as could be started; the
// calling thread is one of them. What each file says on standard error
// comes in the order of the files, as soon as those before it are done.
class Workers {
 public:
  Workers(const Options& o, std::vector<Outcome>& outcomes, std::ostream& err)
      : o_(o), outcomes_(outcomes), err_(err), done_(outcomes.size(), 0) {}

  void Run(const std::function<Outcome(std::size_t)>& fit) {
    fit_ = &fit;
    const int jobs = std::min<int>(o_.jobs, static_cast<int>(outcomes_.size()));
    std::vector<std::thread> threads;
    threads.reserve(jobs);
    for (int t = 1; t < jobs; ++t) {
      try {
        threads.emplace_back([this] { Work(); });
      } catch (const std::system_error& e) {
        const std::lock_guard<std::mutex> lock(guard_);
        err_ << kName << "note: --jobs " << o_.jobs << ": a thread could not be started ("
             << e.code().message() << "); fitting with " << t << std::endl;
        break;
      }
    }
    Work();
    for (std::thread& t : threads) t.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void Work() {
    try {
      for (std::size_t i = next_++; i < outcomes_.size(); i = next_++) {
        Outcome r = (*fit_)(i);
        const std::lock_guard<std::mutex> lock(guard_);
        outcomes_[i] = std::move(r);
        done_[i] = 1;
        for (; shown_ < outcomes_.size() && done_[shown_]; ++shown_) {
          Report(o_, o_.data[shown_], outcomes_[shown_], err_);
        }
        err_.flush();
      }
    } catch (...) {
      // Out of memory outside a fit: the others stop, and the run fails.
      const std::lock_guard<std::mutex> lock(guard_);
      if (!failure_) failure_ = std::current_exception();
      next_ = outcomes_.size();
    }
  }

  const Options& o_;
  std::vector<Outcome>& outcomes_;
  std::ostream& err_;
  const std::function<Outcome(std::size_t)>* fit_ = nullptr;
  std::atomic<std::size_t> next_{0};
  std::mutex guard_;
  std::vector<char> done_;
  std::size_t shown_ = 0;
  std::exception_ptr failure_;
};

// The model file with the options' overrides of its fit settings.
engine::Model BuiltModel(const Options& o) {
  engine::ModelDescription description = engine::ReadModelFile(
      o.model, o.from_values ? engine::Starts::kValue : engine::Starts::kStart);
  if (o.method) description.fit.method = *o.method;
  if (o.weights) description.fit.weights = *o.weights;
  if (o.quantity) description.fit.quantity = *o.quantity;
  if (o.iterations) description.fit.iterations = *o.iterations;
  if (o.tmin) description.fit.tmin = *o.tmin;
  if (o.tmax) description.fit.tmax = *o.tmax;
  try {
    return engine::Model(description);
  } catch (const engine::ModelError& e) {
    throw engine::ModelError("model file '" + format::Printable(o.model, format::kNameShown) +
                             "' with the options: " + e.what());
  }
}

// Every data file is checked against the fit settings first: a window,
// weights or errors that cannot be fitted stop the batch before anything is
// fitted or written. A file that cannot be read fails alone, in its turn.
void CheckFits(const Options& o, const engine::Model& model) {
  if (!engine::FitChecksData(model.description().fit)) return;
  for (const std::string& data : o.data) {
    engine::Data read;
    try {
      read = engine::ReadData(data);
    } catch (const engine::Error&) {
      continue;
    }
    engine::CheckFit(model, read);
  }
}

int Run(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.template_expression) {
    // A new user's model file: the fit from many starts.
    engine::ModelDescription d = engine::Template(*o.template_expression);
    d.fit.method = "global";
    out << engine::ModelText(d) << std::flush;
    return WriteStatus(out, err);
  }
  const engine::Model model = BuiltModel(o);
  CheckPaths(o);
  CheckOutputDir(o);
  CheckFits(o, model);

  std::vector<Outcome> outcomes(o.data.size());
  Workers workers(o, outcomes, err);
  workers.Run([&](std::size_t i) { return FitOne(o, model, o.data[i]); });

  // What the fits wrote is on the disk before the summary says so.
  std::set<std::string> dirs;
  for (const Outcome& r : outcomes) {
    if (!r.done) continue;
    const std::string dir = fs::path(r.paths.document).parent_path().string();
    dirs.insert(dir.empty() ? "." : dir);
  }
  int status = 0;
  for (const std::string& dir : dirs) {
    try {
      format::SyncFileSystem(dir);
    } catch (const format::RunTimeError& e) {
      err << kName << e.what() << std::endl;
      status = 1;
    }
  }

  if (o.overview && !WriteOverview(o, outcomes, err)) status = 1;
  if (o.json) {
    PrintJson(out, o, outcomes);
  } else if (o.csv) {
    PrintCsv(out, model, o, outcomes);
  } else {
    PrintTable(out, model, o, outcomes);
  }
  if (const int written = WriteStatus(out, err); written != 0) return written;
  for (const Outcome& r : outcomes) {
    if (!r.done) return 1;
  }
  return status;
}

}  // namespace

int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  Options o;
  if (const auto status = ParseArguments(argc, argv, out, err, o)) return *status;
  try {
    return Run(o, out, err);
  } catch (const Clash& e) {
    err << kName << e.what() << std::endl;
    return 2;
  } catch (const engine::Error& e) {
    err << kName << format::MessageText(e.what()) << std::endl;
    return 2;
  } catch (const std::bad_alloc&) {
    err << kName << "fatal error: out of memory" << std::endl;
    return 3;
  } catch (const std::exception& e) {
    err << kName << "fatal error: " << format::Printable(e.what(), 200) << std::endl;
    return 3;
  }
}

}  // namespace batch
