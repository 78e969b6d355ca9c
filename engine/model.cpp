// The fit model from its description, with the dialogue's rules; the
// catalogue of functions and standard expressions; a built model evaluated.
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/internal.h"

namespace engine {

const char* const kMethods[3] = {"simplex", "lm", "global"};
const char* const kWeights[3] = {"none", "sigma", "relative"};
const char* const kQuantities[2] = {"chi", "chiT"};

namespace {

[[noreturn]] void Refuse(const std::string& what) { throw ModelError(what); }

std::string Number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  return text;
}

// 0: the terms as given.
bool NewExpression(int mn) { return mn == 0 || model::OwnExpression(mn); }

bool StandardExpression(int mn) { return model::StandardExpression(mn); }

// Every function, and function 9 with each of its choices: the name results
// give it, the shorter label of the dialogue's list, the keys of its term's
// constants in a model file.
struct FunctionEntry {
  int function;
  int other;
  const char* name;
  const char* label;
  std::vector<std::string> constants;
};

const std::vector<FunctionEntry>& FunctionTable() {
  static const std::vector<FunctionEntry> table = {
      {1, 0, "Curie", "Curie", {"S"}},
      {2, 0, "Zero-field", "Zero-field", {"S"}},
      {3, 0, "Ising", "Ising", {}},
      {4, 0, "Bleaney-Bower", "Bleaney-Bower", {}},
      {5, 0, "Magnetization", "Magnetization", {"B"}},
      {6, 0, "Bonner-Fisher", "Bonner-Fisher", {}},
      {7, 0, "Modified Bonner-Fisher", "Modified BF", {}},
      {8, 0, "Dimer", "Dimer", {"S1", "S2"}},
      {9, 0, "Other function", "Other function", {"other_function"}},
      {9, 1, "S1=S2=1 dimer with D", "", {"other_function"}},
      {9, 2, "S=1/2 three-spin system", "", {"other_function"}},
      {9, 3, "Hatfield's S=1/2 four-spin system", "", {"other_function"}},
      {9, 4, "Kahn's chain of dimers", "", {"other_function", "S1", "S2"}},
      {10, 0, "Constant", "Constant (DIM)", {}},
  };
  return table;
}

const FunctionEntry* FindFunction(int code, int other) {
  for (const FunctionEntry& f : FunctionTable()) {
    if (f.function == code && f.other == other) return &f;
  }
  return nullptr;
}

const char* FunctionLabel(int code) {
  const FunctionEntry* f = FindFunction(code, 0);
  return f != nullptr ? f->label : "unknown";
}

// The constants a term takes when the description gives none.
TermDescription DefaultTerm(int code) {
  TermDescription t;
  t.function = code;
  switch (code) {
    case 1:
      t.S = 0.5;
      break;
    case 2:
      t.S = 1.0;
      break;
    case 5:
      t.B = 10000.0;
      break;
    case 8:
      t.S1 = 0.5;
      t.S2 = 0.5;
      break;
    case 9:
      t.other_function = 1;
      t.S1 = 0.5;
      t.S2 = 0.5;
      break;
    default:
      break;
  }
  return t;
}

// A start that suits a typical compound, by the parameter's name.
double DefaultStart(const std::string& name) {
  if (name == "g-value") return 2.0;
  if (name == "COEFF1" || name == "COEFF2") return 0.95;
  if (name == "THETA" || name == "Z*JP") return -1.0;
  if (name == "ALFA-MBF") return 0.5;
  if (name == "DIM") return 1.0E-4;
  if (name.rfind("D-", 0) == 0) return 5.0;
  return -10.0;  // the exchange constants
}

void Append(model::FitModel& m, const std::string& name) {
  if (!model::AppendParameter(m, name, 0.0)) {
    Refuse(model::kTooManyParameters + std::to_string(model::MAXPAR));
  }
}

// Term k (1-based) of function `code` from `t`, checked as the dialogue
// checks its answers, with its parameters appended.
void BuildTerm(model::FitModel& m, int k, int code, const TermDescription& t) {
  const std::string where = "term " + std::to_string(k) + ": ";
  if (code < 1 || code > 10) {
    Refuse(where + "function " + std::to_string(code) + ": " + model::kNoSuchFunction);
  }
  m.IFN[k - 1] = code;
  m.S1[k - 1] = 0.0;
  m.S2[k - 1] = 0.0;
  m.IOTHER[k - 1] = 0;
  switch (code) {
    case 1:
      if (!std::isfinite(t.S)) Refuse(where + "the Curie spin S must be a finite number");
      m.S1[k - 1] = t.S;
      break;
    case 2:
      if (model::ZeroFieldIndex(t.S) == 0) {
        Refuse(where + "zero-field spin S = " + Number(t.S) +
               " is not accepted: Enter Spin (1.0, 1.5, 2.0, or 2.5)");
      }
      m.S1[k - 1] = t.S;
      break;
    case 5:
      if (!std::isfinite(t.B)) Refuse(where + "the field B must be a finite number");
      m.S2[k - 1] = t.B;
      break;
    case 9:
      if (t.other_function < 1 || t.other_function > 4) {
        Refuse(where + "other_function " + std::to_string(t.other_function) +
               " is not one of 1 (S1=S2=1 dimer with D), 2 (S=1/2 trimer), 3 (Hatfield's "
               "tetramer), 4 (Kahn's chain of dimers)");
      }
      m.IOTHER[k - 1] = t.other_function;
      if (t.other_function != 4) break;
      [[fallthrough]];
    case 8:
      if (!model::DimerSpinOk(t.S1) || !model::DimerSpinOk(t.S2)) {
        Refuse(where + "dimer spins S1 = " + Number(t.S1) + ", S2 = " + Number(t.S2) +
               " are not accepted: each must lie in 0 to " + Number(model::kMaxDimerSpin));
      }
      m.S1[k - 1] = t.S1;
      m.S2[k - 1] = t.S2;
      break;
    default:
      break;
  }
  for (const std::string& name : model::TermParameterNames(code, m.S1[k - 1], m.IOTHER[k - 1])) {
    Append(m, name);
  }
  m.IOPT[k - 1] = 0;
  if (t.correction) {
    if (code == 10) Refuse(where + "a Constant (DIM) term takes no correction");
    m.IOPT[k - 1] = 1;
    Append(m, model::CorrectionName(code));
  }
}

// At most a dozen names, each fit to quote.
std::string NameList(const std::vector<std::string>& names) {
  constexpr std::size_t kShown = 12;
  std::vector<std::string> shown;
  for (std::size_t j = 0; j < names.size() && j < kShown; ++j) {
    shown.push_back(format::Printable(names[j]));
  }
  if (names.size() > kShown)
    shown.push_back("and " + std::to_string(names.size() - kShown) + " more");
  return names.empty() ? "(none)" : format::Join(shown);
}

std::string NamesMismatch(const std::vector<std::string>& names,
                          const std::vector<std::string>& given) {
  return "the parameters do not match the model: it has " + std::to_string(names.size()) + " (" +
         NameList(names) + "), in this order; the description gives " +
         std::to_string(given.size()) + " (" + NameList(given) + ")";
}

void SetParameters(const ModelDescription& d, model::FitModel& m) {
  const std::vector<std::string> names = TrimmedNames(m);
  if (d.parameters.empty()) {
    for (int j = 0; j < m.NPAR; ++j) {
      m.PVAL[j] = DefaultStart(names[j]);
      m.PSTEP[j] = DefaultStep(m.PVAL[j]);
    }
    return;
  }
  std::vector<std::string> given;
  for (const ParameterDescription& p : d.parameters) given.push_back(p.name);
  if (given != names) Refuse(NamesMismatch(names, given));
  for (int j = 0; j < m.NPAR; ++j) {
    const ParameterDescription& p = d.parameters[j];
    const std::string where = "parameter " + names[j] + ": ";
    if (!std::isfinite(p.start)) Refuse(where + "the start is not finite");
    m.PVAL[j] = p.start;
    m.PSTEP[j] = p.fixed ? 0.0 : p.step ? *p.step : DefaultStep(p.start);
    if (!std::isfinite(m.PSTEP[j])) Refuse(where + "the step is not finite");
    if (p.min && std::isnan(*p.min)) Refuse(where + "'min' is not a number");
    if (p.max && std::isnan(*p.max)) Refuse(where + "'max' is not a number");
    if (p.min && p.max && *p.min > *p.max) {
      Refuse(where + "'min' (" + Number(*p.min) + ") is above 'max' (" + Number(*p.max) + ")");
    }
    if ((p.min && p.start < *p.min) || (p.max && p.start > *p.max)) {
      Refuse(where + "the start " + Number(p.start) + " is outside 'min' to 'max' (" +
             (p.min ? Number(*p.min) : "-inf") + " to " + (p.max ? Number(*p.max) : "inf") + ")");
    }
  }
}

bool OneOf(const std::string& value, const char* const* choices, int n) {
  for (int k = 0; k < n; ++k) {
    if (value == choices[k]) return true;
  }
  return false;
}

std::string Choices(const char* const* choices, int n) {
  std::string list;
  for (int k = 0; k < n; ++k) list += std::string(k ? ", " : "") + "'" + choices[k] + "'";
  return list;
}

void CheckFitSettings(const FitSettings& f) {
  if (!OneOf(f.method, kMethods, 3)) {
    Refuse("fit.method '" + format::Printable(f.method) + "' is not one of " +
           Choices(kMethods, 3));
  }
  if (!OneOf(f.weights, kWeights, 3)) {
    Refuse("fit.weights '" + format::Printable(f.weights) + "' is not one of " +
           Choices(kWeights, 3));
  }
  if (!OneOf(f.quantity, kQuantities, 2)) {
    Refuse("fit.quantity '" + format::Printable(f.quantity) + "' is not one of " +
           Choices(kQuantities, 2));
  }
  if (f.tmin && !std::isfinite(*f.tmin)) Refuse("fit.tmin must be a finite number");
  if (f.tmax && !std::isfinite(*f.tmax)) Refuse("fit.tmax must be a finite number");
  if (f.tmin && f.tmax && *f.tmin > *f.tmax) {
    Refuse("fit.tmin (" + Number(*f.tmin) + " K) is above fit.tmax (" + Number(*f.tmax) + " K)");
  }
}

// The terms of `d` and their functions in `m` with the equation type:
// the user's own, or a standard expression's, checked against those given
// (none given: its default constants).
std::vector<TermDescription> ChooseTerms(const ModelDescription& d, Settings& settings,
                                         model::FitModel& m) {
  const int mn = d.expression;
  std::vector<TermDescription> terms = d.terms;
  if (NewExpression(mn)) {
    settings.MN = mn == 0 ? 99 : mn;
    if (terms.size() > static_cast<std::size_t>(model::MAXTERM)) {
      Refuse(model::kTooManyTerms + std::to_string(model::MAXTERM));
    }
    if (d.equation_type < 1 || d.equation_type > 3) {
      Refuse("equation type " + std::to_string(d.equation_type) + " is not 1, 2 or 3");
    }
    m.ITYPE = d.equation_type;
    m.NTERM = static_cast<int>(terms.size());
    for (int k = 0; k < m.NTERM; ++k) m.IFN[k] = terms[k].function;
  } else if (StandardExpression(mn)) {
    settings.MN = mn;
    model::Decode(m, mn / 10, mn % 10);
    if (terms.empty()) {
      for (int k = 0; k < m.NTERM; ++k) terms.push_back(DefaultTerm(m.IFN[k]));
    }
    std::vector<std::string> functions;
    for (int k = 0; k < m.NTERM; ++k) {
      functions.push_back(std::to_string(m.IFN[k]) + " " + FunctionLabel(m.IFN[k]));
    }
    bool same = terms.size() == static_cast<std::size_t>(m.NTERM);
    for (int k = 0; same && k < m.NTERM; ++k) same = terms[k].function == m.IFN[k];
    if (!same) {
      Refuse("expression " + std::to_string(mn) + " has " + std::to_string(m.NTERM) +
             " terms with the functions " + format::Join(functions) +
             "; the terms given do not match");
    }
  } else {
    Refuse("expression " + std::to_string(mn) + " is refused (" + model::kEnterEquation +
           "): 1-79 with a units digit that is not 0, or 90-99 with terms");
  }
  return terms;
}

FitControl FitControlOf(const FitSettings& fit) {
  if (!(fit.reqmin > 0.0) || !std::isfinite(fit.reqmin)) Refuse("reqmin must be a number above 0");
  if (fit.ncheck < 1) Refuse("ncheck must be 1 or more");
  CheckFitSettings(fit);
  FitControl fc;
  // Below 0, as the dialogue takes it: one iteration, then the budget is spent.
  fc.NITER = fit.iterations;
  fc.REQMIN = fit.reqmin;
  fc.NCHECK = fit.ncheck;
  return fc;
}

}  // namespace

const char* FunctionName(int code) {
  const FunctionEntry* f = FindFunction(code, 0);
  return f != nullptr ? f->name : "Unknown";
}

const char* OtherFunctionName(int other) {
  const FunctionEntry* f = FindFunction(9, other);
  return f != nullptr && other != 0 ? f->name : "Unknown";
}

std::string Trimmed(const std::string& name) {
  const auto first = name.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> TrimmedNames(const model::FitModel& m) {
  std::vector<std::string> names;
  for (int j = 0; j < m.NPAR; ++j) names.push_back(Trimmed(m.PNAME[j]));
  return names;
}

void BuildModel(const ModelDescription& d, Settings& settings, model::FitModel& m, FitControl& fc) {
  const Corrections& c = d.corrections;
  if (!std::isfinite(c.diamagnetic) || !std::isfinite(c.tip) || !std::isfinite(c.factor)) {
    Refuse("the corrections must be finite numbers");
  }
  settings = Settings{};
  settings.DIAM = c.diamagnetic;
  settings.TIP = c.tip;
  settings.FACTOR = c.factor;
  settings.GVAL = d.g ? *d.g : 0.0;
  if (!std::isfinite(settings.GVAL)) Refuse("g must be a finite number, or null to fit it");

  m = model::FitModel{};
  m.GVAL = settings.GVAL;
  if (model::GFitted(m.GVAL)) Append(m, "g-value ");

  const std::vector<TermDescription> terms = ChooseTerms(d, settings, m);
  for (int k = 1; k <= m.NTERM; ++k) BuildTerm(m, k, m.IFN[k - 1], terms[k - 1]);
  if (m.ITYPE != 1) Append(m, "COEFF1  ");
  if (m.ITYPE == 3) Append(m, "COEFF2  ");
  SetParameters(d, m);

  fc = FitControlOf(d.fit);
}

ModelDescription Template(int expression) {
  if (!StandardExpression(expression)) {
    Refuse("expression " + std::to_string(expression) +
           " has no template: give a standard expression, 1-79 with a units digit that is not 0");
  }
  ModelDescription d;
  d.expression = expression;
  model::FitModel m;
  model::Decode(m, expression / 10, expression % 10);
  d.equation_type = m.ITYPE;
  for (int k = 0; k < m.NTERM; ++k) d.terms.push_back(DefaultTerm(m.IFN[k]));
  const Model built(d);
  const std::vector<std::string> names = built.parameter_names();
  const std::vector<double> starts = built.starts(), steps = built.steps();
  for (std::size_t j = 0; j < names.size(); ++j) {
    ParameterDescription p;
    p.name = names[j];
    p.start = starts[j];
    p.step = steps[j];
    d.parameters.push_back(p);
  }
  return d;
}

std::vector<FunctionInfo> Functions() {
  std::vector<FunctionInfo> list;
  for (const FunctionEntry& entry : FunctionTable()) {
    // Function 9 is listed by its choices.
    if (entry.function == 9 && entry.other == 0) continue;
    FunctionInfo f;
    f.function = entry.function;
    f.other_function = entry.other;
    f.name = entry.name;
    f.constants = entry.constants;
    TermDescription t = DefaultTerm(entry.function);
    t.other_function = entry.other;
    for (const std::string& p : model::TermParameterNames(f.function, t.S, f.other_function)) {
      f.parameters.push_back(Trimmed(p));
    }
    if (f.function != 10) f.correction = Trimmed(model::CorrectionName(f.function));
    list.push_back(std::move(f));
  }
  return list;
}

std::vector<ExpressionInfo> Expressions() {
  std::vector<ExpressionInfo> list;
  for (int mn = 1; mn <= 79; ++mn) {
    if (!StandardExpression(mn)) continue;
    const Model built(Template(mn));
    ExpressionInfo e;
    e.expression = mn;
    const model::FitModel& m = built.built().fm;
    e.equation_type = m.ITYPE;
    for (int k = 0; k < m.NTERM; ++k) e.functions.push_back(m.IFN[k]);
    e.parameters = built.parameter_names();
    list.push_back(std::move(e));
  }
  return list;
}

// ---------------------------------------------------------------------------

Model::Model(const ModelDescription& description) {
  auto built = std::make_shared<Built>();
  built->description = description;
  BuildModel(description, built->settings, built->fm, built->fc);
  expressions::Evaluation& e = built->prototype;
  e.model = &built->fm;
  e.TIPADD = built->settings.FACTOR * built->settings.TIP;
  e.EXPLIM = std::log(1.0E307);
  expressions::SetConstants(e);
  built_ = std::move(built);
}

const ModelDescription& Model::description() const { return built_->description; }
std::vector<std::string> Model::parameter_names() const { return TrimmedNames(built_->fm); }
int Model::parameter_count() const { return built_->fm.NPAR; }
int Model::term_count() const { return built_->fm.NTERM; }

std::vector<double> Model::starts() const {
  return std::vector<double>(built_->fm.PVAL.begin(), built_->fm.PVAL.begin() + built_->fm.NPAR);
}

std::vector<double> Model::steps() const {
  return std::vector<double>(built_->fm.PSTEP.begin(), built_->fm.PSTEP.begin() + built_->fm.NPAR);
}

void Model::CheckValues(std::size_t count) const {
  if (count != static_cast<std::size_t>(parameter_count())) {
    throw ModelError("the model takes " + std::to_string(parameter_count()) +
                     " parameter values (" + NameList(parameter_names()) + "), not " +
                     std::to_string(count));
  }
}

void Model::CheckNames(const std::vector<std::string>& names) const {
  const std::vector<std::string> own = parameter_names();
  if (names != own) throw ModelError(NamesMismatch(own, names));
}

void Model::Evaluate(const double* T, int n, const double* values, double* chi) const {
  expressions::Evaluation e = built_->prototype;
  expressions::EvaluateAll(e, values, T, n, chi);
}

std::vector<double> Model::Evaluate(const std::vector<double>& T,
                                    const std::vector<double>& values) const {
  CheckValues(values.size());
  std::vector<double> chi(T.size());
  Evaluate(T.data(), static_cast<int>(T.size()), values.data(), chi.data());
  return chi;
}

std::vector<std::vector<double>> Model::Terms(const std::vector<double>& T,
                                              const std::vector<double>& values) const {
  CheckValues(values.size());
  const int n = static_cast<int>(T.size());
  std::vector<double> flat(static_cast<std::size_t>(term_count()) * T.size());
  expressions::Evaluation e = built_->prototype;
  expressions::EvaluateTerms(e, values.data(), T.data(), n, flat.data());
  std::vector<std::vector<double>> terms;
  for (int k = 0; k < term_count(); ++k) {
    terms.emplace_back(flat.begin() + k * T.size(), flat.begin() + (k + 1) * T.size());
  }
  return terms;
}

}  // namespace engine
