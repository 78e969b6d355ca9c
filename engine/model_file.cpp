// The model file: JSON with the keys of the result document, so that every
// SUSCEP.JSON is one.
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/internal.h"
#include "format/whole_file.h"

namespace engine {
namespace {

using nlohmann::json;

constexpr char kModelFormat[] = "suscep-model";
// A result document with its curve is some 100 kB; a model file far less.
constexpr std::size_t kMaxModelBytes = 16u << 20;

[[noreturn]] void Refuse(const std::string& where, const std::string& what) {
  throw ModelError(where.empty() ? what : where + ": " + what);
}

std::string List(std::initializer_list<const char*> keys) {
  return format::Join(std::vector<std::string>(keys.begin(), keys.end()));
}

const char* TypeName(const json& v) {
  if (v.is_null()) return "null";
  if (v.is_boolean()) return "true or false";
  if (v.is_number_integer()) return "an integer";
  if (v.is_number()) return "a number";
  if (v.is_string()) return "a string";
  if (v.is_array()) return "an array";
  return "an object";
}

// `where` names a place in the file: "model.terms[2]".
std::string Path(const std::string& where, const std::string& key) {
  return where.empty() ? key : where + "." + key;
}

// Every key of `object` is one of `model_keys` (what a model needs) or
// `result_keys` (what a result document holds besides, and a model ignores).
void CheckKeys(const json& object, const std::string& where,
               std::initializer_list<const char*> model_keys,
               std::initializer_list<const char*> result_keys) {
  for (const auto& item : object.items()) {
    bool known = false;
    for (const char* k : model_keys) known = known || item.key() == k;
    for (const char* k : result_keys) known = known || item.key() == k;
    if (known) continue;
    std::string allowed = List(model_keys);
    if (result_keys.size() != 0) allowed += "; ignored: " + List(result_keys);
    Refuse("", "unknown key '" + format::Printable(item.key()) + "' in " +
                   (where.empty() ? "the top level" : "'" + where + "'") + " (allowed: " + allowed +
                   ")");
  }
}

const json& Object(const json& v, const std::string& where) {
  if (!v.is_object()) Refuse(where, "must be an object, not " + std::string(TypeName(v)));
  return v;
}

double NumberAt(const json& object, const char* key, const std::string& where, double fallback) {
  const auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_number()) {
    Refuse(Path(where, key), "must be a number, not " + std::string(TypeName(*it)));
  }
  return it->get<double>();
}

int IntegerAt(const json& object, const char* key, const std::string& where, int fallback) {
  const auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_number_integer()) {
    Refuse(Path(where, key), "must be an integer, not " + std::string(TypeName(*it)));
  }
  const auto v = it->get<long long>();
  if (v < -1000000000LL || v > 1000000000LL) Refuse(Path(where, key), "is out of range");
  return static_cast<int>(v);
}

std::string StringAt(const json& object, const char* key, const std::string& where,
                     const std::string& fallback) {
  const auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (!it->is_string()) {
    Refuse(Path(where, key), "must be a string, not " + std::string(TypeName(*it)));
  }
  return it->get<std::string>();
}

bool Correction(const json& term, int code, const std::string& where) {
  const auto it = term.find("correction");
  if (it == term.end() || it->is_null()) return false;
  if (it->is_boolean()) return it->get<bool>();
  const char* own = code == 1 ? "theta" : "zjp";
  if (it->is_string() && (*it == "theta" || *it == "zjp")) {
    if (*it != own) {
      Refuse(Path(where, "correction"),
             "'" + format::Printable(it->get<std::string>()) + "' does not belong to function " +
                 std::to_string(code) + "; its correction is '" + own + "'");
    }
    return true;
  }
  Refuse(Path(where, "correction"),
         "must be true, false, null, \"theta\" (a Curie term) or "
         "\"zjp\" (the others), not " +
             std::string(TypeName(*it)));
}

TermDescription Term(const json& v, const std::string& where) {
  Object(v, where);
  CheckKeys(v, where, {"function", "S", "B", "S1", "S2", "other_function", "correction"},
            {"name", "other_name"});
  if (v.find("function") == v.end()) Refuse(where, "has no 'function'");
  TermDescription t;
  t.function = IntegerAt(v, "function", where, 0);
  t.S = NumberAt(v, "S", where, 0.0);
  t.B = NumberAt(v, "B", where, 0.0);
  t.S1 = NumberAt(v, "S1", where, 0.0);
  t.S2 = NumberAt(v, "S2", where, 0.0);
  t.other_function = IntegerAt(v, "other_function", where, 0);
  t.correction = Correction(v, t.function, where);
  return t;
}

void ModelSection(const json& v, ModelDescription& d) {
  Object(v, "model");
  CheckKeys(v, "model", {"expression", "equation_type", "terms", "g"}, {});
  const auto terms = v.find("terms");
  if (terms != v.end()) {
    if (!terms->is_array()) {
      Refuse("model.terms", "must be an array, not " + std::string(TypeName(*terms)));
    }
    for (std::size_t k = 0; k < terms->size(); ++k) {
      d.terms.push_back(Term((*terms)[k], "model.terms[" + std::to_string(k + 1) + "]"));
    }
  }
  if (v.find("expression") == v.end() && terms == v.end()) {
    Refuse("model", "give the 'expression' number or the 'terms'");
  }
  d.expression = IntegerAt(v, "expression", "model", 0);
  d.equation_type = IntegerAt(v, "equation_type", "model", 1);
  if (model::StandardExpression(d.expression) && v.find("equation_type") != v.end()) {
    model::FitModel m;
    model::Decode(m, d.expression / 10, d.expression % 10);
    if (m.ITYPE != d.equation_type) {
      Refuse("model.equation_type", "expression " + std::to_string(d.expression) +
                                        " has equation type " + std::to_string(m.ITYPE) + ", not " +
                                        std::to_string(d.equation_type));
    }
  }
  const auto g = v.find("g");
  if (g != v.end() && !g->is_null()) d.g = NumberAt(v, "g", "model", 0.0);
}

void ParametersSection(const json& v, Starts starts, ModelDescription& d) {
  if (!v.is_array()) Refuse("parameters", "must be an array, not " + std::string(TypeName(v)));
  for (std::size_t j = 0; j < v.size(); ++j) {
    const std::string where = "parameters[" + std::to_string(j + 1) + "]";
    const json& p = Object(v[j], where);
    CheckKeys(p, where, {"name", "start", "step", "min", "max", "fixed"},
              {"held", "undetermined", "value", "sigma", "std_error", "ci95", "at_bound"});
    const auto name = p.find("name");
    if (name == p.end() || !name->is_string()) Refuse(where, "needs a 'name' (a string)");
    ParameterDescription out;
    out.name = Trimmed(name->get<std::string>());
    const char* key = starts == Starts::kValue ? "value" : "start";
    const auto start = p.find(key);
    if (start == p.end() || !start->is_number()) {
      Refuse(where, "'" + format::Printable(out.name) + "' needs a '" + key + "' (a number)");
    }
    out.start = start->get<double>();
    if (p.find("step") != p.end()) out.step = NumberAt(p, "step", where, 0.0);
    if (p.contains("min") && !p["min"].is_null()) out.min = NumberAt(p, "min", where, 0.0);
    if (p.contains("max") && !p["max"].is_null()) out.max = NumberAt(p, "max", where, 0.0);
    const auto fixed = p.find("fixed");
    if (fixed != p.end()) {
      if (!fixed->is_boolean()) {
        Refuse(Path(where, "fixed"), "must be true or false, not " + std::string(TypeName(*fixed)));
      }
      out.fixed = fixed->get<bool>();
    }
    d.parameters.push_back(out);
  }
}

// Finds a key given twice in one object, which json::parse would let the
// last one win; the rest of the SAX interface only follows the nesting.
class DuplicateKeys : public nlohmann::json_sax<json> {
 public:
  std::string found;  // "'key' in 'where'"

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(true); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& k) override {
    Level& level = levels_.back();
    if (!level.keys.insert(k).second) {
      levels_.pop_back();
      const std::string where = Where();
      found = "'" + format::Printable(k) + "' in " +
              (where.empty() ? "the top level" : "'" + where + "'");
      return false;
    }
    level.key = k;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  struct Level {
    bool object = false;
    std::string key;  // of the value being read, in an object
    std::set<std::string> keys;
    std::size_t items = 0;  // values begun, in an array
  };
  // The place of the innermost open value, "model.terms[2]"; built only for
  // a message, since a deep nesting would make it long.
  std::string Where() const {
    std::string where;
    for (const Level& level : levels_) {
      where = level.object ? Path(where, format::Printable(level.key))
                           : where + "[" + std::to_string(level.items) + "]";
    }
    return where;
  }
  bool Value() {
    if (!levels_.empty() && !levels_.back().object) ++levels_.back().items;
    return true;
  }
  bool Open(bool object) {
    Value();
    Level level;
    level.object = object;
    levels_.push_back(std::move(level));
    return true;
  }
  bool Close() {
    levels_.pop_back();
    return true;
  }
  std::vector<Level> levels_;
};

ModelDescription Parse(std::string_view text, Starts starts) {
  DuplicateKeys duplicates;
  json::sax_parse(text.begin(), text.end(), &duplicates);
  if (!duplicates.found.empty()) Refuse("", "the key " + duplicates.found + " is given twice");
  json root;
  try {
    root = json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ...",
    // or a number too large for a double.
    std::string what = e.what();
    const auto at = what.find("] ");
    Refuse("", at == std::string::npos ? what : what.substr(at + 2));
  }
  Object(root, "the model file");
  CheckKeys(root, "", {"corrections", "model", "parameters", "fit"},
            {"format", "version", "program", "data", "statistics", "minimum_check", "curve"});
  ModelDescription d;
  d.expression = 0;
  const auto corrections = root.find("corrections");
  if (corrections != root.end()) {
    const json& c = Object(*corrections, "corrections");
    CheckKeys(c, "corrections", {"diamagnetic", "tip", "factor"}, {"tip_added"});
    d.corrections.diamagnetic = NumberAt(c, "diamagnetic", "corrections", 0.0);
    d.corrections.tip = NumberAt(c, "tip", "corrections", 0.0);
    d.corrections.factor = NumberAt(c, "factor", "corrections", 1.0);
  }
  const auto model = root.find("model");
  if (model == root.end()) Refuse("", "no 'model' section");
  ModelSection(*model, d);
  const auto parameters = root.find("parameters");
  if (parameters != root.end()) ParametersSection(*parameters, starts, d);
  const auto fit = root.find("fit");
  if (fit != root.end()) {
    const json& f = Object(*fit, "fit");
    CheckKeys(f, "fit",
              {"iterations", "reqmin", "ncheck", "method", "tmin", "tmax", "weights", "quantity"},
              {"evaluations", "restarts", "budget_exhausted", "interrupted", "ls_error",
               "sigma_estimated", "sigma_interrupted", "success", "message", "settings",
               "lm_iterations", "converged", "screened", "starts", "reached_best", "minima",
               "fitted_points", "refinement"});
    d.fit.iterations = IntegerAt(f, "iterations", "fit", d.fit.iterations);
    d.fit.reqmin = NumberAt(f, "reqmin", "fit", d.fit.reqmin);
    d.fit.ncheck = IntegerAt(f, "ncheck", "fit", d.fit.ncheck);
    d.fit.method = StringAt(f, "method", "fit", d.fit.method);
    d.fit.method_named = f.contains("method");
    // A result document of a refinement names it as its method.
    if (d.fit.method.rfind("Levenberg-Marquardt refinement", 0) == 0) d.fit.method = "simplex";
    d.fit.weights = StringAt(f, "weights", "fit", d.fit.weights);
    d.fit.quantity = StringAt(f, "quantity", "fit", d.fit.quantity);
    if (f.contains("tmin") && !f["tmin"].is_null()) d.fit.tmin = NumberAt(f, "tmin", "fit", 0.0);
    if (f.contains("tmax") && !f["tmax"].is_null()) d.fit.tmax = NumberAt(f, "tmax", "fit", 0.0);
  }
  // The rules of the dialogue.
  const Model built(d);
  const std::size_t count = built.parameter_names().size();
  if (parameters != root.end() && d.parameters.empty() && count != 0) {
    Refuse("parameters", "is empty, but the model has " + std::to_string(count) +
                             " parameters: list them, or leave 'parameters' out for the defaults");
  }
  return d;
}

// Written in the order a person reads them.
using ordered = nlohmann::ordered_json;

ordered TermJson(const TermDescription& t) {
  ordered term = {{"function", t.function}};
  switch (t.function) {
    case 1:
    case 2:
      term["S"] = t.S;
      break;
    case 5:
      term["B"] = t.B;
      break;
    case 8:
      term["S1"] = t.S1;
      term["S2"] = t.S2;
      break;
    case 9:
      term["other_function"] = t.other_function;
      if (t.other_function == 4) {
        term["S1"] = t.S1;
        term["S2"] = t.S2;
      }
      break;
    default:
      break;
  }
  if (t.function != 10) term["correction"] = t.correction;
  return term;
}

}  // namespace

ModelDescription ParseModel(std::string_view text, Starts starts, const std::string& origin) {
  try {
    return Parse(text, starts);
  } catch (const ModelError& e) {
    throw ModelError(origin + ": " + e.what());
  }
}

ModelDescription ReadModelFile(const std::string& path, Starts starts) {
  const std::string name = "model file '" + format::Printable(path, format::kNameShown) + "'";
  std::string why;
  const std::string text = format::ReadRegularFile(path, kMaxModelBytes, why);
  if (!why.empty()) throw FileError("open: cannot read " + name + ": " + why);
  return ParseModel(text, starts, name);
}

std::string ModelText(const ModelDescription& d) {
  const Model built(d);
  ordered terms = ordered::array();
  // A standard expression without terms has the default constants.
  const std::vector<TermDescription> given =
      d.terms.empty() && d.expression != 0 && d.expression < 90 ? Template(d.expression).terms
                                                                : d.terms;
  for (const TermDescription& t : given) terms.push_back(TermJson(t));
  ordered parameters = ordered::array();
  const std::vector<std::string> names = built.parameter_names();
  const std::vector<double> starts = built.starts(), steps = built.steps();
  for (std::size_t j = 0; j < names.size(); ++j) {
    ordered p = {{"name", names[j]}, {"start", starts[j]}, {"step", steps[j]}};
    if (j < d.parameters.size()) {
      const ParameterDescription& given = d.parameters[j];
      if (given.min) p["min"] = *given.min;
      if (given.max) p["max"] = *given.max;
      if (given.fixed) p["fixed"] = true;
    }
    parameters.push_back(p);
  }
  ordered fit = {{"method", d.fit.method},   {"iterations", d.fit.iterations},
                 {"reqmin", d.fit.reqmin},   {"ncheck", d.fit.ncheck},
                 {"weights", d.fit.weights}, {"quantity", d.fit.quantity}};
  if (d.fit.tmin) fit["tmin"] = *d.fit.tmin;
  if (d.fit.tmax) fit["tmax"] = *d.fit.tmax;
  ordered model = {{"expression", d.expression},
                   {"equation_type", built.built().fm.ITYPE},
                   {"terms", terms},
                   {"g", d.g ? ordered(*d.g) : ordered(nullptr)}};
  const ordered file = {{"format", kModelFormat},
                        {"version", 1},
                        {"corrections",
                         {{"diamagnetic", d.corrections.diamagnetic},
                          {"tip", d.corrections.tip},
                          {"factor", d.corrections.factor}}},
                        {"model", model},
                        {"parameters", parameters},
                        {"fit", fit}};
  return file.dump(1, ' ') + "\n";
}

}  // namespace engine
