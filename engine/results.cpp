// SUSCEP.JSON: the data, the model, the fit and its statistics, for other
// programs.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
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

// Room for the longest number: a sign, 17 digits, a point and an exponent,
// or a sign and 0.000 before 17 digits.
constexpr std::size_t kLongest = 32;

// `x` in the layout the JSON library gives a double, from its shortest
// round-trip digits: without an exponent when the point falls within the
// first 15 digits (".0" after a whole number) or up to three zeros after
// it, else d.ddde+XX. `at` has room for kLongest.
char* PutScientific(char* at, double x) {
  char sci[kLongest];
  const char* end = std::to_chars(sci, sci + sizeof sci, x, std::chars_format::scientific).ptr;
  const char* p = sci;
  if (*p == '-') *at++ = *p++;
  // d[.ddd]e±XX: k digits, the point after the n-th.
  char digits[kLongest];
  int k = 0;
  const char* e = p;
  for (; *e != 'e'; ++e) {
    if (*e != '.') digits[k++] = *e;
  }
  int exponent = 0;
  for (const char* q = e + 2; q != end; ++q) exponent = 10 * exponent + (*q - '0');
  const int n = (e[1] == '-' ? -exponent : exponent) + 1;
  if (k <= n && n <= 15) {  // digits[000].0
    at = std::copy_n(digits, k, at);
    at = std::fill_n(at, n - k, '0');
    return std::copy_n(".0", 2, at);
  }
  if (0 < n && n <= 15) {  // dig.its
    at = std::copy_n(digits, n, at);
    *at++ = '.';
    return std::copy_n(digits + n, k - n, at);
  }
  if (-4 < n && n <= 0) {  // 0.[000]digits
    at = std::copy_n("0.", 2, at);
    at = std::fill_n(at, -n, '0');
    return std::copy_n(digits, k, at);
  }
  return std::copy(p, end, at);  // d[.igits]e+XX as it is
}

// The same, or null when `x` is not finite. Mostly the shortest text is
// already the library's: fixed, with a point within the first 15 digits,
// from 0.001 on; scientific below 0.0001 and from 1e15 on.
char* PutNumber(char* at, double x) {
  if (!std::isfinite(x)) return std::copy_n("null", 4, at);
  const double size = std::fabs(x);
  if (size >= 1.0E-3 && size < 1.0E15) {
    char* const end = std::to_chars(at, at + kLongest, x).ptr;
    const char* digits = at + (*at == '-' ? 1 : 0);
    const auto length = static_cast<std::size_t>(end - digits);
    if (std::memchr(digits, 'e', length) == nullptr) {
      // A whole number here has at most 15 digits.
      if (std::memchr(digits, '.', length) != nullptr) return end;
      return std::copy_n(".0", 2, end);
    }
  } else if (size != 0.0 && (size < 1.0E-4 || size >= 1.0E15)) {
    return std::to_chars(at, at + kLongest, x, std::chars_format::scientific).ptr;
  }
  return PutScientific(at, x);
}

// The document's text in one pass, laid out as nlohmann's dump(1, ' ') lays
// out the tree of the same values: one space of indent a level, strings
// escaped by the library (invalid UTF-8 replaced), numbers in its layout.
// The members of each object are written in the order of their keys, as
// the library sorts them. Building and freeing the tree took a third of a
// batch's time.
class Writer {
 public:
  explicit Writer(std::size_t size) { text_.reserve(size); }

  // An object ('{') or array ('[') as the next value; Close() ends it.
  void Open(char bracket) {
    text_ += bracket;
    empty_.push_back(true);
  }
  void Close(char bracket) {
    const bool empty = empty_.back();
    empty_.pop_back();
    if (!empty) {
      text_ += '\n';
      Indent();
    }
    text_ += bracket;
  }
  // The next member of the object open now, or item of the array: its
  // value follows.
  Writer& Key(std::string_view key) {
    Next();
    String(key);
    text_ += ": ";
    return *this;
  }
  Writer& Item() {
    Next();
    return *this;
  }

  void Number(double x) {
    char text[kLongest];
    text_.append(text, PutNumber(text, x));
  }
  // The numbers, each on a line of its own, written in place.
  void Numbers(const std::vector<double>& v) {
    if (v.empty()) {
      text_ += "[]";
      return;
    }
    const std::size_t indent = empty_.size() + 1;
    text_.reserve(text_.size() + v.size() * (indent + kLongest + 2) + indent + 2);
    // Each item made in `item`: ",\n", the indent and the number.
    std::string item(indent + kLongest + 2, ' ');
    item[0] = ',';
    item[1] = '\n';
    char* const number = item.data() + 2 + indent;
    text_ += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
      const char* const end = PutNumber(number, v[i]);
      const std::size_t skip = i == 0 ? 1 : 0;  // no comma before the first
      text_.append(item.data() + skip, static_cast<std::size_t>(end - item.data()) - skip);
    }
    text_ += '\n';
    text_.append(indent - 1, ' ');
    text_ += ']';
  }
  void NumbersOrNull(bool given, const std::vector<double>& v) {
    if (given) {
      Numbers(v);
    } else {
      Null();
    }
  }
  void Integer(long long x) { text_ += std::to_string(x); }
  void Bool(bool x) { text_ += x ? "true" : "false"; }
  void Null() { text_ += "null"; }
  void String(std::string_view x) {
    // Printable ASCII without a quote or a backslash stands as it is.
    for (char c : x) {
      if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
        text_ += json(std::string(x)).dump(-1, ' ', false, json::error_handler_t::replace);
        return;
      }
    }
    text_ += '"';
    text_ += x;
    text_ += '"';
  }

  // The text, ended by a line end.
  std::string Finish() {
    text_ += '\n';
    return std::move(text_);
  }

 private:
  void Next() {
    text_ += empty_.back() ? "\n" : ",\n";
    empty_.back() = false;
    Indent();
  }
  void Indent() { text_.append(empty_.size(), ' '); }

  std::string text_;
  std::vector<bool> empty_;  // of each open object or array: nothing in it yet
};

// Term k's constants, correction, function and names.
void Term(Writer& w, const model::FitModel& m, int k) {
  const int code = m.IFN[k];
  const bool s1s2 = code == 8 || (code == 9 && m.IOTHER[k] == 4);
  w.Open('{');
  if (code == 5) w.Key("B").Number(m.S2[k]);
  if (code == 1 || code == 2) w.Key("S").Number(m.S1[k]);
  if (s1s2) {
    w.Key("S1").Number(m.S1[k]);
    w.Key("S2").Number(m.S2[k]);
  }
  if (code != 10) {
    w.Key("correction");
    if (m.IOPT[k] == 1) {
      w.String(code == 1 ? "theta" : "zjp");
    } else {
      w.Null();
    }
  }
  w.Key("function").Integer(code);
  w.Key("name").String(FunctionName(code));
  if (code == 9) {
    w.Key("other_function").Integer(m.IOTHER[k]);
    w.Key("other_name").String(OtherFunctionName(m.IOTHER[k]));
  }
  w.Close('}');
}

void ModelSection(Writer& w, const Work& s) {
  const model::FitModel& m = s.fm;
  w.Open('{');
  w.Key("equation_type").Integer(m.ITYPE);
  w.Key("expression").Integer(s.settings.MN);
  w.Key("g");
  if (model::GFitted(m.GVAL)) {
    w.Null();
  } else {
    w.Number(m.GVAL);
  }
  w.Key("terms").Open('[');
  for (int k = 0; k < m.NTERM; ++k) Term(w.Item(), m, k);
  w.Close(']');
  w.Close('}');
}

void CorrectionsSection(Writer& w, const Work& s) {
  w.Open('{');
  w.Key("diamagnetic").Number(s.settings.DIAM);
  w.Key("factor").Number(s.settings.FACTOR);
  w.Key("tip").Number(s.settings.TIP);
  w.Key("tip_added").Number(s.data.TIPADD);
  w.Close('}');
}

// The points with the model at the fitted values and the residuals; and
// the report's calculated curve. Evaluated on `e` in this order: the term
// values the points leave behind carry into the curve.
struct Calculated {
  std::vector<double> chi, residual;
  std::vector<double> curve_temperature, curve_chi;
};
Calculated Calculate(const Work& s, expressions::Evaluation& e, const std::vector<double>& pfit) {
  const DataSet& d = s.data;
  Calculated c;
  c.chi.resize(d.NDATA);
  expressions::EvaluateAll(e, pfit.data(), d.T.data(), d.NDATA, c.chi.data());
  for (int i = 0; i < d.NDATA; ++i) c.residual.push_back(d.XOBS[i] - c.chi[i]);
  for (int k = 1; k <= kCurvePoints; ++k) c.curve_temperature.push_back(CurveTemperature(d, k));
  c.curve_chi.resize(kCurvePoints);
  expressions::EvaluateAll(e, pfit.data(), c.curve_temperature.data(), kCurvePoints,
                           c.curve_chi.data());
  return c;
}

void DataSection(Writer& w, const Work& s, const Calculated& c) {
  const DataSet& d = s.data;
  auto points = [&d](const std::vector<double>& a) {
    return std::vector<double>(a.begin(), a.begin() + d.NDATA);
  };
  w.Open('{');
  w.Key("chi_calculated").Numbers(c.chi);
  w.Key("chi_corrected").Numbers(points(d.XOBS));
  // Outside the dialogue: each point's error as read, and the points
  // outside the temperature window.
  if (!d.SIGMA.empty()) w.Key("chi_error").Numbers(d.SIGMA);
  w.Key("chi_raw").Numbers(points(d.XRAW));
  if (!d.EXCLUDED.empty()) {
    w.Key("excluded").Open('[');
    for (int i = 0; i < d.NDATA; ++i) w.Item().Bool(d.EXCLUDED[i]);
    w.Close(']');
  }
  w.Key("file").String(s.data_name);
  w.Key("points").Integer(d.NDATA);
  w.Key("residual").Numbers(c.residual);
  w.Key("temperature").Numbers(points(d.T));
  w.Close('}');
}

bool SigmaEstimated(const Work& s) {
  return s.last_fit.fitted && s.fc.SIGFLAG == 0 && s.fm.NPAR > 0;
}

void ParametersSection(Writer& w, const Work& s, const analysis::Statistics& st,
                       const std::vector<double>& pfit) {
  const model::FitModel& m = s.fm;
  const FitControl& fc = s.fc;
  const bool sigma_estimated = SigmaEstimated(s);
  w.Open('[');
  for (int j = 0; j < m.NPAR; ++j) {
    const double se = st.std_error[j];
    const double half = st.t95 * se;
    // Bounds and fixed as the model file gave them, outside the dialogue.
    const FitProblem* fp = s.problem.get();
    const bool low = fp != nullptr && std::isfinite(fp->lower[j]);
    const bool high = fp != nullptr && std::isfinite(fp->upper[j]);
    w.Item().Open('{');
    if (j < static_cast<int>(s.last_fit.at_bound.size()) && (low || high)) {
      w.Key("at_bound").Bool(s.last_fit.at_bound[j]);
    }
    w.Key("ci95").NumbersOrNull(std::isfinite(half) && std::isfinite(pfit[j]),
                                {pfit[j] - half, pfit[j] + half});
    if (fp != nullptr && fp->fixed[j]) w.Key("fixed").Bool(true);
    w.Key("held").Bool(st.held[j]);
    if (high) w.Key("max").Number(fp->upper[j]);
    if (low) w.Key("min").Number(fp->lower[j]);
    w.Key("name").String(Trimmed(m.PNAME[j]));
    w.Key("sigma");
    if (sigma_estimated) {
      w.Number(fc.SIGMA[j]);
    } else {
      w.Null();
    }
    w.Key("start").Number(fc.PSTART[j]);
    w.Key("std_error").Number(se);
    w.Key("step").Number(fc.PSTEP0[j]);
    w.Key("undetermined").Bool(st.undetermined[j]);
    w.Key("value").Number(pfit[j]);
    w.Close('}');
  }
  w.Close(']');
}

void Undetermined(Writer& w, const model::FitModel& m, const analysis::Statistics& st) {
  w.Key("undetermined").Open('[');
  for (int j = 0; j < m.NPAR; ++j) {
    if (st.undetermined[j]) w.Item().String(Trimmed(m.PNAME[j]));
  }
  w.Close(']');
  w.Key("undetermined_index").Open('[');
  for (int j = 0; j < m.NPAR; ++j) {
    if (st.undetermined[j]) w.Item().Integer(j);
  }
  w.Close(']');
}

void Matrix(Writer& w, const std::vector<std::vector<double>>& rows) {
  w.Open('[');
  for (const std::vector<double>& row : rows) w.Item().Numbers(row);
  w.Close(']');
}

void StatisticsSection(Writer& w, const model::FitModel& m, const FitAnalysis& f) {
  const analysis::Statistics& st = f.statistics;
  w.Open('{');
  w.Key("aic").Number(st.aic);
  w.Key("bic").Number(st.bic);
  w.Key("condition_number").Number(st.condition_number);
  Matrix(w.Key("correlation"), st.correlation);
  Matrix(w.Key("covariance"), st.covariance);
  w.Key("dof").Integer(st.dof);
  w.Key("free").Integer(st.free);
  w.Key("interrupted").Bool(f.interrupted);
  w.Key("parameters").Integer(st.parameters);
  w.Key("points").Integer(st.points);
  w.Key("rank").Integer(st.rank);
  w.Key("residual_variance").Number(st.residual_variance);
  w.Key("rss").Number(st.rss);
  w.Key("t95").Number(st.t95);
  Undetermined(w, m, st);
  w.Close('}');
}

// The settings of lm, and of global's search.
void MethodSettings(Writer& w, const Work& s) {
  const fit::LmSettings lm;
  const fit::MultiStartSettings ms;
  const bool global = s.last_fit.method == "global";
  w.Open('{');
  w.Key("difference").String("forward");
  w.Key("ftol").Number(lm.ftol);
  w.Key("gtol").Number(lm.gtol);
  w.Key("max_iterations").Integer(s.fc.NITER);
  if (global) {
    w.Key("joined_ls_error").Number(ms.join_cost);
    w.Key("joined_place").Number(ms.join_place);
    w.Key("refined").Integer(ms.refine);
    w.Key("same_minimum_ls_error").Number(ms.same_cost);
    w.Key("same_minimum_place").Number(ms.same_place);
    w.Key("screened").Integer(ms.screen);
    w.Key("screened_on_points").Integer(ScreenPoints(*s.problem));
    w.Key("starts_layout")
        .String(
            "additive recurrence of the generalised golden ratio over each parameter's default "
            "range, and the given start");
  }
  w.Key("xtol").Number(lm.xtol);
  w.Close('}');
}

void FitSection(Writer& w, const Work& s, const FitAnalysis& f) {
  const FitRecord& fit = s.last_fit;
  const FitControl& fc = s.fc;
  const FitProblem* fp = s.problem != nullptr && !s.problem->dialogue ? s.problem.get() : nullptr;
  const bool lm = fit.method != "simplex";
  const bool global = fit.method == "global";
  const Outcome outcome = OutcomeOf(s, f);
  w.Open('{');
  w.Key("budget_exhausted").Bool(fit.outcome.budget_exhausted);
  if (lm) w.Key("converged").Bool(fit.converged);
  w.Key("evaluations").Integer(fit.outcome.evaluations);
  if (fp != nullptr) w.Key("fitted_points").Integer(static_cast<long long>(fp->fitted.size()));
  w.Key("interrupted").Bool(fit.outcome.stopped);
  w.Key("iterations").Integer(fit.fitted ? fit.budget : 0);
  if (lm) w.Key("lm_iterations").Integer(fit.iterations);
  w.Key("ls_error").Number(fc.LSERR);
  w.Key("message").String(outcome.message);
  w.Key("method").String(fit.method);
  if (global) {
    w.Key("minima").Open('[');
    for (const FoundMinimum& m : fit.minima) {
      w.Item().Open('{');
      w.Key("ls_error").Number(m.ls_error);
      w.Key("starts").Integer(m.starts);
      w.Key("values").Numbers(m.values);
      w.Close('}');
    }
    w.Close(']');
  }
  w.Key("ncheck").Integer(fc.NCHECK);
  if (fp != nullptr) w.Key("quantity").String(fp->settings.quantity);
  if (global) w.Key("reached_best").Integer(fit.reached_best);
  if (fit.refined) w.Key("refinement").String(kRefinedMethod);
  w.Key("reqmin").Number(fc.REQMIN);
  w.Key("restarts").Integer(fit.outcome.restarts);
  if (global) w.Key("screened").Integer(fit.screened);
  if (lm) MethodSettings(w.Key("settings"), s);
  w.Key("sigma_estimated").Bool(SigmaEstimated(s));
  w.Key("sigma_interrupted").Bool(fit.sigma_stopped);
  if (global) w.Key("starts").Integer(fit.starts);
  w.Key("success").Bool(outcome.success);
  if (fp != nullptr && fp->settings.tmax) w.Key("tmax").Number(*fp->settings.tmax);
  if (fp != nullptr && fp->settings.tmin) w.Key("tmin").Number(*fp->settings.tmin);
  if (fp != nullptr) w.Key("weights").String(fp->settings.weights);
  w.Close('}');
}

std::string Scientific(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4E", x);
  return text;
}

void CheckSection(Writer& w, const FitAnalysis& f) {
  const analysis::MinimumCheck& c = f.check;
  w.Open('{');
  w.Key("interrupted").Bool(f.interrupted);
  w.Key("iterations").Integer(c.iterations);
  w.Key("ls_error").Number(f.check_ls_error);
  w.Key("method").String(kCheckMethod);
  w.Key("ran").Bool(c.ran);
  w.Key("relative_improvement").Number(f.improvement);
  w.Key("std_error").NumbersOrNull(c.ran, c.statistics.std_error);
  w.Key("stopped_short").Bool(f.stopped_short);
  w.Key("values").NumbersOrNull(c.ran, c.values);
  w.Close('}');
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

std::string ResultDocument(const Work& s, expressions::Evaluation& e, const FitAnalysis& f) {
  const std::vector<double> pfit(s.fc.PFIT.begin(), s.fc.PFIT.begin() + s.fm.NPAR);
  const Calculated calculated = Calculate(s, e, pfit);
  // About a line of 24 characters a number.
  Writer w(24 * (7 * static_cast<std::size_t>(s.data.NDATA) + 2 * kCurvePoints) + 8192);
  w.Open('{');
  CorrectionsSection(w.Key("corrections"), s);
  w.Key("curve").Open('{');
  w.Key("chi").Numbers(calculated.curve_chi);
  w.Key("temperature").Numbers(calculated.curve_temperature);
  w.Close('}');
  DataSection(w.Key("data"), s, calculated);
  FitSection(w.Key("fit"), s, f);
  w.Key("format").String(kResultFormat);
  CheckSection(w.Key("minimum_check"), f);
  ModelSection(w.Key("model"), s);
  ParametersSection(w.Key("parameters"), s, f.statistics, pfit);
  w.Key("program").Open('{');
  w.Key("name").String("suscep");
  w.Key("version").String(SUSCEP_VERSION);
  w.Close('}');
  StatisticsSection(w.Key("statistics"), s.fm, f);
  w.Key("version").Integer(kResultVersion);
  w.Close('}');
  return w.Finish();
}

}  // namespace engine
