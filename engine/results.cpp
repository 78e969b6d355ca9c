// SUSCEP.JSON: the data, the model, the fit and its statistics, for other
// programs; and the notes on standard error after a fit.
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis.h"
#include "engine/engine.h"
#include "engine/internal.h"

namespace engine {
namespace {

using nlohmann::json;

constexpr char kResultFormat[] = "suscep-result";
constexpr int kResultVersion = 1;
constexpr char kCheckMethod[] = "Levenberg-Marquardt (Eigen, MINPACK lmder)";
constexpr double kStoppedShort = 0.01;  // relative improvement that means the fit stopped short
// A gain of L.S. error below this many times sqrt(REQMIN) is within the
// simplex's convergence.
constexpr double kConvergedSpread = 10.0;
constexpr char kNote[] = "suscep: note: ";
constexpr char kRefinedMethod[] = "Levenberg-Marquardt refinement of the simplex minimum";

// A number, or null where it is not finite.
json Number(double x) { return std::isfinite(x) ? json(x) : json(nullptr); }

json Numbers(const std::vector<double>& v) {
  json a = json::array();
  for (double x : v) a.push_back(Number(x));
  return a;
}

json Matrix(const std::vector<std::vector<double>>& m) {
  json a = json::array();
  for (const auto& row : m) a.push_back(Numbers(row));
  return a;
}

// The residuals of the fit model, evaluated on a copy of the evaluation state
// with no console: no progress lines or warnings, NCALL and the state used
// by later fits and plots untouched.
analysis::Problem ProblemOf(const Work& s) {
  expressions::Evaluation e = s.ev;
  e.console = nullptr;
  analysis::Problem problem;
  problem.points = s.data.NDATA;
  problem.residuals = [e](const double* p, double* r) mutable {
    expressions::EvaluateAll(e, p, e.T, e.NDATA, r);
    for (int i = 0; i < e.NDATA; ++i) r[i] = e.XOBS[i] - r[i];
  };
  for (int j = 0; j < s.fm.NPAR; ++j) {
    problem.scale.push_back(
        std::fmax(std::fabs(s.fc.PSTART[j]), 100.0 * std::fabs(s.fc.PSTEP0[j])));
    // Every vertex of the simplex has the start value of a parameter with
    // step 0.
    problem.held.push_back(s.fc.PSTEP0[j] == 0.0);
  }
  problem.model_size = std::sqrt(s.data.SXOBS2);
  return problem;
}

const char* FunctionName(int code) {
  static const char* const kNames[] = {"Curie",
                                       "Zero-field",
                                       "Ising",
                                       "Bleaney-Bower",
                                       "Magnetization",
                                       "Bonner-Fisher",
                                       "Modified Bonner-Fisher",
                                       "Dimer",
                                       "Other function",
                                       "Constant"};
  return code >= 1 && code <= 10 ? kNames[code - 1] : "Unknown";
}

const char* OtherFunctionName(int choice) {
  static const char* const kNames[] = {"S1=S2=1 dimer with D", "S=1/2 three-spin system",
                                       "Hatfield's S=1/2 four-spin system",
                                       "Kahn's chain of dimers"};
  return choice >= 1 && choice <= 4 ? kNames[choice - 1] : "Unknown";
}

json Terms(const model::FitModel& m) {
  json terms = json::array();
  for (int k = 0; k < m.NTERM; ++k) {
    const int code = m.IFN[k];
    json t = {{"function", code}, {"name", FunctionName(code)}};
    switch (code) {
      case 1:
      case 2:
        t["S"] = Number(m.S1[k]);
        break;
      case 5:
        t["B"] = Number(m.S2[k]);
        break;
      case 8:
        t["S1"] = Number(m.S1[k]);
        t["S2"] = Number(m.S2[k]);
        break;
      case 9:
        t["other_function"] = m.IOTHER[k];
        t["other_name"] = OtherFunctionName(m.IOTHER[k]);
        if (m.IOTHER[k] == 4) {
          t["S1"] = Number(m.S1[k]);
          t["S2"] = Number(m.S2[k]);
        }
        break;
      default:
        break;
    }
    if (code != 10) {
      const char* correction = code == 1 ? "theta" : "zjp";
      t["correction"] = m.IOPT[k] == 1 ? json(correction) : json(nullptr);
    }
    terms.push_back(t);
  }
  return terms;
}

// The fitted values.
std::vector<double> Fitted(const Work& s) {
  return std::vector<double>(s.fc.PFIT.begin(), s.fc.PFIT.begin() + s.fm.NPAR);
}

// The points with the model at `pfit` and the residuals, evaluated on `e`.
json DataSection(const Work& s, expressions::Evaluation& e, const std::vector<double>& pfit) {
  const DataSet& d = s.data;
  json data = {{"file", s.data_name}, {"points", d.NDATA}};
  std::vector<double> t(d.T.begin(), d.T.begin() + d.NDATA);
  std::vector<double> raw(d.XRAW.begin(), d.XRAW.begin() + d.NDATA);
  std::vector<double> obs(d.XOBS.begin(), d.XOBS.begin() + d.NDATA);
  std::vector<double> cal(d.NDATA), residual;
  expressions::EvaluateAll(e, pfit.data(), d.T.data(), d.NDATA, cal.data());
  for (int i = 0; i < d.NDATA; ++i) residual.push_back(d.XOBS[i] - cal[i]);
  data["temperature"] = Numbers(t);
  data["chi_raw"] = Numbers(raw);
  data["chi_corrected"] = Numbers(obs);
  data["chi_calculated"] = Numbers(cal);
  data["residual"] = Numbers(residual);
  return data;
}

bool SigmaEstimated(const Work& s) {
  return s.last_fit.fitted && s.fc.SIGFLAG == 0 && s.fm.NPAR > 0;
}

json ParametersSection(const Work& s, const analysis::Statistics& st,
                       const std::vector<double>& pfit) {
  const model::FitModel& m = s.fm;
  const FitControl& fc = s.fc;
  const bool sigma_estimated = SigmaEstimated(s);
  json parameters = json::array();
  for (int j = 0; j < m.NPAR; ++j) {
    const double se = st.std_error[j];
    const double half = st.t95 * se;
    parameters.push_back({{"name", Trimmed(m.PNAME[j])},
                          {"start", Number(fc.PSTART[j])},
                          {"step", Number(fc.PSTEP0[j])},
                          {"held", st.held[j]},
                          {"undetermined", st.undetermined[j]},
                          {"value", Number(pfit[j])},
                          {"sigma", sigma_estimated ? Number(fc.SIGMA[j]) : json(nullptr)},
                          {"std_error", Number(se)},
                          {"ci95", std::isfinite(half) && std::isfinite(pfit[j])
                                       ? json::array({pfit[j] - half, pfit[j] + half})
                                       : json(nullptr)}});
  }
  return parameters;
}

json StatisticsSection(const model::FitModel& m, const FitAnalysis& f) {
  const analysis::Statistics& st = f.statistics;
  json undetermined = json::array(), index = json::array();
  for (int j = 0; j < m.NPAR; ++j) {
    if (!st.undetermined[j]) continue;
    undetermined.push_back(Trimmed(m.PNAME[j]));
    index.push_back(j);
  }
  return {{"points", st.points},
          {"parameters", st.parameters},
          {"free", st.free},
          {"rank", st.rank},
          {"dof", st.dof},
          {"rss", Number(st.rss)},
          {"residual_variance", Number(st.residual_variance)},
          {"aic", Number(st.aic)},
          {"bic", Number(st.bic)},
          {"t95", Number(st.t95)},
          {"covariance", Matrix(st.covariance)},
          {"correlation", Matrix(st.correlation)},
          {"condition_number", Number(st.condition_number)},
          {"undetermined", undetermined},
          {"undetermined_index", index},
          {"interrupted", f.interrupted}};
}

json FitSection(const Work& s) {
  const FitRecord& fit = s.last_fit;
  const FitControl& fc = s.fc;
  json section = {{"iterations", fit.fitted ? fit.budget : 0},
                  {"evaluations", fit.outcome.evaluations},
                  {"restarts", fit.outcome.restarts},
                  {"budget_exhausted", fit.outcome.budget_exhausted},
                  {"interrupted", fit.outcome.stopped},
                  {"reqmin", Number(fc.REQMIN)},
                  {"ncheck", fc.NCHECK},
                  {"ls_error", Number(fc.LSERR)},
                  {"sigma_estimated", SigmaEstimated(s)},
                  {"sigma_interrupted", fit.sigma_stopped}};
  if (fit.refined) section["method"] = kRefinedMethod;
  return section;
}

json CheckSection(const FitAnalysis& f) {
  const analysis::MinimumCheck& c = f.check;
  return {{"method", kCheckMethod},
          {"ran", c.ran},
          {"interrupted", f.interrupted},
          {"iterations", c.iterations},
          {"values", c.ran ? Numbers(c.values) : json(nullptr)},
          {"ls_error", Number(f.check_ls_error)},
          {"relative_improvement", Number(f.improvement)},
          {"stopped_short", f.stopped_short},
          {"std_error", c.ran ? Numbers(c.statistics.std_error) : json(nullptr)}};
}

// The report's calculated curve, evaluated on `e`.
json CurveSection(const DataSet& d, expressions::Evaluation& e, const std::vector<double>& pfit) {
  std::vector<double> ct, cchi(kCurvePoints);
  for (int k = 1; k <= kCurvePoints; ++k) ct.push_back(CurveTemperature(d, k));
  expressions::EvaluateAll(e, pfit.data(), ct.data(), kCurvePoints, cchi.data());
  return {{"temperature", Numbers(ct)}, {"chi", Numbers(cchi)}};
}

}  // namespace

std::string ResultDocument(const Work& s, expressions::Evaluation& e, const FitAnalysis& f) {
  const model::FitModel& m = s.fm;
  const std::vector<double> pfit = Fitted(s);
  // The points and then the curve: the term values the first leaves behind
  // carry into the second.
  const json data = DataSection(s, e, pfit);
  const json curve = CurveSection(s.data, e, pfit);

  json result = {{"format", kResultFormat},
                 {"version", kResultVersion},
                 {"program", {{"name", "suscep"}, {"version", SUSCEP_VERSION}}},
                 {"data", data},
                 {"corrections",
                  {{"diamagnetic", Number(s.settings.DIAM)},
                   {"tip", Number(s.settings.TIP)},
                   {"factor", Number(s.settings.FACTOR)},
                   {"tip_added", Number(s.data.TIPADD)}}},
                 {"model",
                  {{"expression", s.settings.MN},
                   {"equation_type", m.ITYPE},
                   {"terms", Terms(m)},
                   {"g", model::GFitted(m.GVAL) ? json(nullptr) : Number(m.GVAL)}}},
                 {"parameters", ParametersSection(s, f.statistics, pfit)},
                 {"fit", FitSection(s)},
                 {"statistics", StatisticsSection(m, f)},
                 {"minimum_check", CheckSection(f)},
                 {"curve", curve}};
  // Invalid UTF-8 in a typed name is replaced rather than refused.
  return result.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

namespace {

std::string Scientific(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4E", x);
  return text;
}

}  // namespace

FitAnalysis Analyse(const Work& s, const fit::StopFn& stop) {
  FitAnalysis f;
  const std::vector<double> pfit = Fitted(s);
  analysis::Problem problem = ProblemOf(s);
  problem.stop = stop;
  const double nan = std::nan("");
  f.check_ls_error = nan;
  f.improvement = nan;
  const double lserr = s.fc.LSERR;
  // Every observed value 0 (a factor of 0) leaves residuals but no L.S.
  // error: nothing to analyse either way.
  f.not_finite = !std::isfinite(lserr) || !std::isfinite(analysis::Rss(problem, pfit));
  if (!f.not_finite) {
    f.statistics = analysis::Analyse(problem, pfit);
    f.check = analysis::CheckMinimum(problem, pfit, f.statistics);
    f.interrupted = f.statistics.interrupted || f.check.interrupted;
  }
  if (f.not_finite || f.interrupted) {
    f.statistics = analysis::Unknown(problem.points, problem.held);
    f.statistics.interrupted = f.interrupted;
    f.check = analysis::MinimumCheck{};
    f.check.values = pfit;
    f.check.rss = nan;
    f.check.statistics = f.statistics;
    return f;
  }
  f.check_ls_error = f.check.ran ? f.check.rss / s.data.SXOBS2 : nan;
  f.improvement = f.check.ran && lserr > 0.0 ? (lserr - f.check_ls_error) / lserr : nan;
  if (f.check.ran && lserr == 0.0) f.improvement = 0.0;
  // The simplex stops once its L.S. errors spread less than sqrt(REQMIN): a
  // gain within a few times that is what it was asked for, however large
  // relative to an L.S. error near 0 (an exact fit, whose least is 0).
  f.stopped_short = f.improvement > kStoppedShort &&
                    lserr - f.check_ls_error > kConvergedSpread * std::sqrt(s.fc.REQMIN);
  return f;
}

std::string ResultDocument(const Work& s, const FitAnalysis& f) {
  expressions::Evaluation e = s.ev;
  e.console = nullptr;
  return ResultDocument(s, e, f);
}

std::string Notes(const Work& s, const FitAnalysis& f, const std::string& result_path) {
  std::ostringstream err;
  const FitRecord& fit = s.last_fit;
  if (fit.fitted && f.not_finite) {
    err << kNote << "the L.S. error is not a finite number ("
        << (s.data.SXOBS2 == 0.0 ? "every observed value is 0"
                                 : "the model is not a number at the fitted values")
        << "): no statistics or check of the minimum in " << result_path << std::endl;
  } else if (fit.fitted && fit.outcome.budget_exhausted) {
    err << kNote << "the fit stopped when its budget ran out (No. of iterations " << fit.budget
        << ", " << fit.outcome.evaluations
        << " evaluations): the values may not be the minimum; iterate again, with more "
           "iterations (-1)"
        << std::endl;
  }
  if (fit.fitted && fit.outcome.stopped) {
    err << kNote << "the fit was stopped by Ctrl-C after " << fit.outcome.evaluations
        << " evaluations: the values are the best point found so far; iterate again (-1) to go on"
        << std::endl;
  }
  if (fit.fitted && fit.sigma_stopped) {
    err << kNote
        << "the Std. devn. estimate was stopped by Ctrl-C: the values are the fit's, without "
           "deviations"
        << std::endl;
  }
  // Asked for by the user, so noted after a report with 0 iterations too.
  if (f.interrupted) {
    err << kNote
        << "the statistics and the check of the minimum were stopped by Ctrl-C: they are null in "
        << result_path << std::endl;
  }
  if (fit.fitted && f.stopped_short) {
    err << kNote << "the fit stopped short of the minimum: L.S. error " << Scientific(s.fc.LSERR)
        << ", " << Scientific(f.check_ls_error) << " after a Levenberg-Marquardt check; see "
        << result_path << std::endl;
  }
  return err.str();
}

}  // namespace engine
