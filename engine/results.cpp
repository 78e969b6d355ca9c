// SUSCEP.JSON: the data, the model, the fit and its statistics, for other
// programs.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "engine/dialogue.h"
#include "engine/internal.h"

namespace engine {
namespace {

using nlohmann::json;

constexpr char kResultFormat[] = "suscep-result";
constexpr int kResultVersion = 1;
constexpr char kCheckMethod[] = "Levenberg-Marquardt (Eigen, MINPACK lmder)";

// The document is written as text straight from the numbers, laid out as
// nlohmann's dump(1, ' ') lays out the tree of the same values: members
// sorted by key, one space of indent a level, numbers by its shortest
// round-trip conversion, strings escaped by it (invalid UTF-8 replaced).
// Building and freeing the tree took a third of a batch's time. Each key
// is added once.
using Text = std::string;

void Indent(Text& out, int depth) { out.append(static_cast<std::size_t>(depth), ' '); }

// A number, or null where it is not finite; to_chars is the conversion of
// the library's dump.
void AppendNumber(Text& out, double x) {
  if (!std::isfinite(x)) {
    out += "null";
    return;
  }
  char text[64];
  out.append(text, nlohmann::detail::to_chars(text, text + sizeof text, x));
}
Text Number(double x) {
  Text out;
  AppendNumber(out, x);
  return out;
}
Text Integer(long long x) { return std::to_string(x); }
Text Bool(bool x) { return x ? "true" : "false"; }
Text String(const std::string& x) {
  // Printable ASCII without a quote or a backslash stands as it is.
  for (char c : x) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
      return json(x).dump(-1, ' ', false, json::error_handler_t::replace);
    }
  }
  Text out;
  out.reserve(x.size() + 2);
  out += '"';
  out += x;
  out += '"';
  return out;
}
const Text kNull = "null";

// Items already written at `depth` + 1.
Text Array(const std::vector<Text>& items, int depth) {
  if (items.empty()) return "[]";
  Text out = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += ",\n";
    Indent(out, depth + 1);
    out += items[i];
  }
  out += '\n';
  Indent(out, depth);
  out += ']';
  return out;
}

Text Numbers(const std::vector<double>& v, int depth) {
  if (v.empty()) return "[]";
  // Written in place: room for the longest number (24 characters) a line.
  constexpr std::size_t kLongest = 32;
  const std::size_t indent = static_cast<std::size_t>(depth) + 1;
  Text out(v.size() * (indent + kLongest + 2) + indent + 4, ' ');
  char* at = out.data();
  *at++ = '[';
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i != 0) *at++ = ',';
    *at++ = '\n';
    at += indent;  // the blanks are there
    if (std::isfinite(v[i])) {
      at = nlohmann::detail::to_chars(at, at + kLongest, v[i]);
    } else {
      at = std::copy(kNull.begin(), kNull.end(), at);
    }
  }
  *at++ = '\n';
  at += depth;
  *at++ = ']';
  out.resize(static_cast<std::size_t>(at - out.data()));
  return out;
}

// Numbers(v, depth) through the last array of `slot` that this thread
// wrote, matched by its numbers' bits: the data sets of a batch often share
// their temperatures, and then the curve's.
enum Slot { kDataTemperatures, kCurveTemperatures, kSlots };
Text KeptNumbers(Slot slot, const std::vector<double>& v, int depth) {
  struct Last {
    std::vector<double> v;
    int depth = -1;
    Text text;
  };
  thread_local std::array<Last, kSlots> kept;
  Last& last = kept[slot];
  if (last.depth != depth || last.v.size() != v.size() || v.empty() ||
      std::memcmp(last.v.data(), v.data(), v.size() * sizeof(double)) != 0) {
    last.text = Numbers(v, depth);
    last.v = v;
    last.depth = depth;
  }
  return last.text;
}

Text Matrix(const std::vector<std::vector<double>>& m, int depth) {
  std::vector<Text> rows;
  for (const auto& row : m) rows.push_back(Numbers(row, depth + 1));
  return Array(rows, depth);
}

// An object at `depth`: its members' values written at depth + 1, put in
// the order of their keys when it is closed.
class Object {
 public:
  explicit Object(int depth) : depth_(depth) {}
  // The depth of the members' values.
  int inner() const { return depth_ + 1; }
  Object& Add(std::string key, Text value) {
    members_.emplace_back(std::move(key), std::move(value));
    return *this;
  }
  Text Close() {
    if (members_.empty()) return "{}";
    std::sort(members_.begin(), members_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t size = 2 * static_cast<std::size_t>(depth_) + 4;
    for (const auto& [key, value] : members_) size += key.size() + value.size() + depth_ + 8;
    Text out;
    out.reserve(size);
    out += "{\n";
    for (std::size_t i = 0; i < members_.size(); ++i) {
      if (i != 0) out += ",\n";
      Indent(out, depth_ + 1);
      out += String(members_[i].first);
      out += ": ";
      out += members_[i].second;
    }
    out += '\n';
    Indent(out, depth_);
    out += '}';
    return out;
  }

 private:
  int depth_;
  std::vector<std::pair<std::string, Text>> members_;
};

Text Terms(const model::FitModel& m, int depth) {
  std::vector<Text> terms;
  for (int k = 0; k < m.NTERM; ++k) {
    const int code = m.IFN[k];
    Object t(depth + 1);
    t.Add("function", Integer(code)).Add("name", String(FunctionName(code)));
    switch (code) {
      case 1:
      case 2:
        t.Add("S", Number(m.S1[k]));
        break;
      case 5:
        t.Add("B", Number(m.S2[k]));
        break;
      case 8:
        t.Add("S1", Number(m.S1[k])).Add("S2", Number(m.S2[k]));
        break;
      case 9:
        t.Add("other_function", Integer(m.IOTHER[k]));
        t.Add("other_name", String(OtherFunctionName(m.IOTHER[k])));
        if (m.IOTHER[k] == 4) t.Add("S1", Number(m.S1[k])).Add("S2", Number(m.S2[k]));
        break;
      default:
        break;
    }
    if (code != 10) {
      const char* correction = code == 1 ? "theta" : "zjp";
      t.Add("correction", m.IOPT[k] == 1 ? String(correction) : kNull);
    }
    terms.push_back(t.Close());
  }
  return Array(terms, depth);
}

// The fitted values.
std::vector<double> Fitted(const Work& s) {
  return std::vector<double>(s.fc.PFIT.begin(), s.fc.PFIT.begin() + s.fm.NPAR);
}

// The points with the model at `pfit` and the residuals, evaluated on `e`.
Text DataSection(const Work& s, expressions::Evaluation& e, const std::vector<double>& pfit,
                 int depth) {
  const DataSet& d = s.data;
  Object data(depth);
  const int in = data.inner();
  data.Add("file", String(s.data_name)).Add("points", Integer(d.NDATA));
  std::vector<double> t(d.T.begin(), d.T.begin() + d.NDATA);
  std::vector<double> raw(d.XRAW.begin(), d.XRAW.begin() + d.NDATA);
  std::vector<double> obs(d.XOBS.begin(), d.XOBS.begin() + d.NDATA);
  std::vector<double> cal(d.NDATA), residual;
  expressions::EvaluateAll(e, pfit.data(), d.T.data(), d.NDATA, cal.data());
  for (int i = 0; i < d.NDATA; ++i) residual.push_back(d.XOBS[i] - cal[i]);
  data.Add("temperature", KeptNumbers(kDataTemperatures, t, in));
  if (!d.SIGMA.empty()) data.Add("chi_error", Numbers(d.SIGMA, in));
  if (!d.EXCLUDED.empty()) {
    std::vector<Text> excluded;
    for (int i = 0; i < d.NDATA; ++i) excluded.push_back(Bool(d.EXCLUDED[i]));
    data.Add("excluded", Array(excluded, in));
  }
  data.Add("chi_raw", Numbers(raw, in));
  data.Add("chi_corrected", Numbers(obs, in));
  data.Add("chi_calculated", Numbers(cal, in));
  data.Add("residual", Numbers(residual, in));
  return data.Close();
}

bool SigmaEstimated(const Work& s) {
  return s.last_fit.fitted && s.fc.SIGFLAG == 0 && s.fm.NPAR > 0;
}

Text ParametersSection(const Work& s, const analysis::Statistics& st,
                       const std::vector<double>& pfit, int depth) {
  const model::FitModel& m = s.fm;
  const FitControl& fc = s.fc;
  const bool sigma_estimated = SigmaEstimated(s);
  std::vector<Text> parameters;
  for (int j = 0; j < m.NPAR; ++j) {
    const double se = st.std_error[j];
    const double half = st.t95 * se;
    Object p(depth + 1);
    p.Add("name", String(Trimmed(m.PNAME[j])))
        .Add("start", Number(fc.PSTART[j]))
        .Add("step", Number(fc.PSTEP0[j]))
        .Add("held", Bool(st.held[j]))
        .Add("undetermined", Bool(st.undetermined[j]))
        .Add("value", Number(pfit[j]))
        .Add("sigma", sigma_estimated ? Number(fc.SIGMA[j]) : kNull)
        .Add("std_error", Number(se))
        .Add("ci95", std::isfinite(half) && std::isfinite(pfit[j])
                         ? Numbers({pfit[j] - half, pfit[j] + half}, p.inner())
                         : kNull);
    const FitProblem* fp = s.problem.get();
    if (fp != nullptr && std::isfinite(fp->lower[j])) p.Add("min", Number(fp->lower[j]));
    if (fp != nullptr && std::isfinite(fp->upper[j])) p.Add("max", Number(fp->upper[j]));
    if (fp != nullptr && fp->fixed[j]) p.Add("fixed", Bool(true));
    if (j < static_cast<int>(s.last_fit.at_bound.size()) &&
        (std::isfinite(fp->lower[j]) || std::isfinite(fp->upper[j]))) {
      p.Add("at_bound", Bool(s.last_fit.at_bound[j]));
    }
    parameters.push_back(p.Close());
  }
  return Array(parameters, depth);
}

Text StatisticsSection(const model::FitModel& m, const FitAnalysis& f, int depth) {
  const analysis::Statistics& st = f.statistics;
  Object section(depth);
  const int in = section.inner();
  std::vector<Text> undetermined, index;
  for (int j = 0; j < m.NPAR; ++j) {
    if (!st.undetermined[j]) continue;
    undetermined.push_back(String(Trimmed(m.PNAME[j])));
    index.push_back(Integer(j));
  }
  return section.Add("points", Integer(st.points))
      .Add("parameters", Integer(st.parameters))
      .Add("free", Integer(st.free))
      .Add("rank", Integer(st.rank))
      .Add("dof", Integer(st.dof))
      .Add("rss", Number(st.rss))
      .Add("residual_variance", Number(st.residual_variance))
      .Add("aic", Number(st.aic))
      .Add("bic", Number(st.bic))
      .Add("t95", Number(st.t95))
      .Add("covariance", Matrix(st.covariance, in))
      .Add("correlation", Matrix(st.correlation, in))
      .Add("condition_number", Number(st.condition_number))
      .Add("undetermined", Array(undetermined, in))
      .Add("undetermined_index", Array(index, in))
      .Add("interrupted", Bool(f.interrupted))
      .Close();
}

std::string Scientific(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4E", x);
  return text;
}

}  // namespace

std::string IterationsName(const Work& s) {
  const std::string style = s.problem != nullptr ? s.problem->style : "";
  if (style == "options") return "--iterations";
  if (style == "keywords") return "iterations=";
  return "No. of iterations";
}

Outcome OutcomeOf(const Work& s, const FitAnalysis& f) {
  const FitRecord& fit = s.last_fit;
  if (!fit.fitted) return {false, "no fit: the values are the starts (iterations 0)"};
  if (fit.outcome.stopped) {
    return {false, "stopped before the end: the values are the best point found so far"};
  }
  if (f.not_finite) return {false, "the L.S. error is not a finite number"};
  if (f.stopped_short) {
    return {false,
            "stopped short of the minimum: a Levenberg-Marquardt check lowers the L.S. "
            "error from " +
                Scientific(s.fc.LSERR) + " to " + Scientific(f.check_ls_error)};
  }
  if (fit.method == "simplex") {
    if (fit.refined) return {true, "the refinement reached the minimum"};
    if (fit.outcome.budget_exhausted) {
      return {false,
              "the evaluation budget ran out (iterations " + std::to_string(fit.budget) + ")"};
    }
    return {true, "the simplex converged: its L.S. errors agree within reqmin"};
  }
  std::string message = fit.message;
  if (fit.method == "global") {
    message = std::to_string(fit.reached_best) + " of " + std::to_string(fit.starts) +
              " starts reached the best minimum, " + std::to_string(fit.minima.size()) +
              " distinct minim" + (fit.minima.size() == 1 ? "um" : "a") + " found; " + message;
  }
  if (!fit.converged && fit.message == "the iteration limit was reached") {
    message += " (iterations " + std::to_string(fit.budget) + ")";
  }
  return {fit.converged, message};
}

namespace {

// The distinct minima of a global search.
Text Minima(const std::vector<FoundMinimum>& minima, int depth) {
  std::vector<Text> items;
  for (const FoundMinimum& m : minima) {
    Object o(depth + 1);
    items.push_back(o.Add("values", Numbers(m.values, o.inner()))
                        .Add("ls_error", Number(m.ls_error))
                        .Add("starts", Integer(m.starts))
                        .Close());
  }
  return Array(items, depth);
}

Text FitSection(const Work& s, const FitAnalysis& f, int depth) {
  const FitRecord& fit = s.last_fit;
  const FitControl& fc = s.fc;
  const FitProblem* fp = s.problem.get();
  Object section(depth);
  const Outcome outcome = OutcomeOf(s, f);
  section.Add("method", String(fit.method))
      .Add("success", Bool(outcome.success))
      .Add("message", String(outcome.message));
  if (fp != nullptr && !fp->dialogue) {
    const FitSettings& set = fp->settings;
    section.Add("weights", String(set.weights)).Add("quantity", String(set.quantity));
    if (set.tmin) section.Add("tmin", Number(*set.tmin));
    if (set.tmax) section.Add("tmax", Number(*set.tmax));
    section.Add("fitted_points", Integer(static_cast<long long>(fp->fitted.size())));
  }
  if (fit.method != "simplex") {
    const fit::LmSettings lm;
    Object settings(section.inner());
    settings.Add("max_iterations", Integer(fc.NITER))
        .Add("ftol", Number(lm.ftol))
        .Add("xtol", Number(lm.xtol))
        .Add("gtol", Number(lm.gtol))
        .Add("difference", String("forward"));
    if (fit.method == "global") {
      const fit::MultiStartSettings ms;
      settings.Add("screened", Integer(ms.screen))
          .Add("refined", Integer(ms.refine))
          .Add("same_minimum_ls_error", Number(ms.same_cost))
          .Add("same_minimum_place", Number(ms.same_place))
          .Add("starts_layout", String("additive recurrence of the generalised golden ratio "
                                       "over each parameter's default range"));
    }
    section.Add("settings", settings.Close())
        .Add("lm_iterations", Integer(fit.iterations))
        .Add("converged", Bool(fit.converged));
  }
  if (fit.method == "global") {
    section.Add("screened", Integer(fit.screened))
        .Add("starts", Integer(fit.starts))
        .Add("reached_best", Integer(fit.reached_best))
        .Add("minima", Minima(fit.minima, section.inner()));
  }
  section.Add("iterations", Integer(fit.fitted ? fit.budget : 0))
      .Add("evaluations", Integer(fit.outcome.evaluations))
      .Add("restarts", Integer(fit.outcome.restarts))
      .Add("budget_exhausted", Bool(fit.outcome.budget_exhausted))
      .Add("interrupted", Bool(fit.outcome.stopped))
      .Add("reqmin", Number(fc.REQMIN))
      .Add("ncheck", Integer(fc.NCHECK))
      .Add("ls_error", Number(fc.LSERR))
      .Add("sigma_estimated", Bool(SigmaEstimated(s)))
      .Add("sigma_interrupted", Bool(fit.sigma_stopped));
  if (fit.refined) section.Add("refinement", String(kRefinedMethod));
  return section.Close();
}

Text CheckSection(const FitAnalysis& f, int depth) {
  const analysis::MinimumCheck& c = f.check;
  Object section(depth);
  const int in = section.inner();
  return section.Add("method", String(kCheckMethod))
      .Add("ran", Bool(c.ran))
      .Add("interrupted", Bool(f.interrupted))
      .Add("iterations", Integer(c.iterations))
      .Add("values", c.ran ? Numbers(c.values, in) : kNull)
      .Add("ls_error", Number(f.check_ls_error))
      .Add("relative_improvement", Number(f.improvement))
      .Add("stopped_short", Bool(f.stopped_short))
      .Add("std_error", c.ran ? Numbers(c.statistics.std_error, in) : kNull)
      .Close();
}

// The report's calculated curve, evaluated on `e`.
Text CurveSection(const DataSet& d, expressions::Evaluation& e, const std::vector<double>& pfit,
                  int depth) {
  std::vector<double> ct, cchi(kCurvePoints);
  for (int k = 1; k <= kCurvePoints; ++k) ct.push_back(CurveTemperature(d, k));
  expressions::EvaluateAll(e, pfit.data(), ct.data(), kCurvePoints, cchi.data());
  Object curve(depth);
  return curve.Add("temperature", KeptNumbers(kCurveTemperatures, ct, curve.inner()))
      .Add("chi", Numbers(cchi, curve.inner()))
      .Close();
}

}  // namespace

std::string ResultDocument(const Work& s, expressions::Evaluation& e, const FitAnalysis& f) {
  const model::FitModel& m = s.fm;
  const std::vector<double> pfit = Fitted(s);
  Object result(0);
  const int in = result.inner();
  // The points and then the curve: the term values the first leaves behind
  // carry into the second.
  result.Add("data", DataSection(s, e, pfit, in));
  result.Add("curve", CurveSection(s.data, e, pfit, in));

  Object program(in), corrections(in), model(in);
  program.Add("name", String("suscep")).Add("version", String(SUSCEP_VERSION));
  corrections.Add("diamagnetic", Number(s.settings.DIAM))
      .Add("tip", Number(s.settings.TIP))
      .Add("factor", Number(s.settings.FACTOR))
      .Add("tip_added", Number(s.data.TIPADD));
  model.Add("expression", Integer(s.settings.MN))
      .Add("equation_type", Integer(m.ITYPE))
      .Add("terms", Terms(m, model.inner()))
      .Add("g", model::GFitted(m.GVAL) ? kNull : Number(m.GVAL));
  result.Add("format", String(kResultFormat))
      .Add("version", Integer(kResultVersion))
      .Add("program", program.Close())
      .Add("corrections", corrections.Close())
      .Add("model", model.Close())
      .Add("parameters", ParametersSection(s, f.statistics, pfit, in))
      .Add("fit", FitSection(s, f, in))
      .Add("statistics", StatisticsSection(m, f, in))
      .Add("minimum_check", CheckSection(f, in));
  return result.Close() + "\n";
}

}  // namespace engine
