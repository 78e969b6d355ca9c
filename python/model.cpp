// suscep.Model: a model of the library built by the engine from the keys of
// a model file, evaluated over numpy arrays.
#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "python/binding.h"

namespace binding {
namespace {

// Named in the messages about a description given from Python.
constexpr char kOrigin[] = "suscep";
// A result document with its curve is some 100 kB; a model file far less.
constexpr long long kMaxModelBytes = 16LL << 20;

engine::Starts StartsOf(py::handle starts) {
  const std::string s = starts.is_none() ? "start" : Text(starts, "starts");
  if (s == "start") return engine::Starts::kStart;
  if (s == "value") return engine::Starts::kValue;
  throw py::value_error("starts: 'start' or 'value', not '" + s + "'");
}

// A model made in Python, or read from a file or dict that does not name
// its method, fits with "global": from any start, the lowest minimum. A
// file that names one (a dialogue's SUSCEP.JSON names "simplex") keeps it.
constexpr char kDefaultMethod[] = "global";

engine::Model WithMethod(engine::ModelDescription d) {
  if (!d.fit.method_named) d.fit.method = kDefaultMethod;
  return engine::Model(d);
}

engine::Model FromFile(const py::args& args, const py::kwargs& kwargs) {
  const auto a = Bind("from_file", args, kwargs, {"path", "starts"}, 1, 2);
  const engine::Starts starts = StartsOf(a[1]);
  const std::string path = ReadablePath(a[0], "path", kMaxModelBytes);
  engine::ModelDescription d;
  {
    const Unlocked unlocked;
    d = engine::ReadModelFile(path, starts);
  }
  return WithMethod(std::move(d));
}

engine::Model FromDict(const py::args& args, const py::kwargs& kwargs) {
  const auto a = Bind("from_dict", args, kwargs, {"description", "starts"}, 1, 2);
  const engine::Starts starts = StartsOf(a[1]);
  return WithMethod(engine::ParseModel(JsonText(a[0], "description"), starts, kOrigin));
}

// The terms of a standard expression, each with its function filled in
// where left out; other terms as given.
py::object WithFunctions(int expression, const py::object& terms) {
  if (!py::isinstance<py::list>(terms) && !py::isinstance<py::tuple>(terms)) return terms;
  const py::sequence given = terms;
  for (const engine::ExpressionInfo& e : engine::Expressions()) {
    if (e.expression != expression || e.functions.size() != given.size()) continue;
    py::list filled;
    for (std::size_t k = 0; k < e.functions.size(); ++k) {
      py::object term = given[k];
      if (py::isinstance<py::dict>(term) && !term.contains("function")) {
        term = py::dict(term);
        term["function"] = e.functions[k];
      }
      filled.append(term);
    }
    return std::move(filled);
  }
  return terms;
}

// Model(expression=None, *, terms=None, equation_type=None, g=None,
// corrections=None). No expression: 99 (the terms as given) with terms,
// else 24.
engine::Model MakeModel(const py::args& args, const py::kwargs& kwargs) {
  const std::vector<py::object> a = Bind(
      "Model", args, kwargs, {"expression", "terms", "equation_type", "g", "corrections"}, 0, 1);
  const py::object &number = a[0], &terms = a[1];
  const int expression = !number.is_none() ? Integer(number, "expression")
                         : terms.is_none() ? 24
                                           : 99;
  py::dict model;
  model["expression"] = expression;
  if (!terms.is_none()) model["terms"] = WithFunctions(expression, terms);
  if (!a[2].is_none()) model["equation_type"] = a[2];
  if (!a[3].is_none()) model["g"] = a[3];
  py::dict file;
  file["model"] = model;
  if (!a[4].is_none()) file["corrections"] = a[4];
  return WithMethod(
      engine::ParseModel(JsonText(file, "the model"), engine::Starts::kStart, kOrigin));
}

py::array_t<double> Evaluate(py::handle self, const py::args& args, const py::kwargs& kwargs) {
  const engine::Model& model = ModelArgument(self, "self");
  const std::vector<py::object> a = Bind("__call__", args, kwargs, {"T", "values"}, 2, 2);
  const Array t = Temperatures(a[0]);
  const std::vector<double> v = Values(model, a[1], "values");
  py::array_t<double> chi(t.size());
  const double* tp = t.data();
  double* out = chi.mutable_data();
  const int n = static_cast<int>(t.size());
  {
    const Unlocked unlocked;
    model.Evaluate(tp, n, v.data(), out);
  }
  return chi;
}

py::array_t<double> Terms(py::handle self, const py::args& args, const py::kwargs& kwargs) {
  const engine::Model& model = ModelArgument(self, "self");
  const std::vector<py::object> a = Bind("terms", args, kwargs, {"T", "values"}, 2, 2);
  const Array t = Temperatures(a[0]);
  const std::vector<double> v = Values(model, a[1], "values");
  std::vector<std::vector<double>> terms;
  {
    const Unlocked unlocked;
    terms = model.Terms(std::vector<double>(t.data(), t.data() + t.size()), v);
  }
  py::array_t<double> out({static_cast<py::ssize_t>(terms.size()), t.size()});
  auto o = out.mutable_unchecked<2>();
  for (std::size_t k = 0; k < terms.size(); ++k) {
    for (py::ssize_t i = 0; i < t.size(); ++i) o(k, i) = terms[k][i];
  }
  return out;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text.empty() ? "none" : text;
}

// What a fit of the model fits and what it holds.
std::string ModelRepr(py::handle self) {
  const engine::Model& model = ModelArgument(self, "self");
  const engine::ModelDescription& d = model.description();
  const std::vector<std::string> names = model.parameter_names();
  const std::vector<double> steps = model.steps();
  std::vector<std::string> fitted, held;
  for (std::size_t j = 0; j < names.size(); ++j) {
    (steps[j] != 0.0 ? fitted : held).push_back(names[j]);
  }
  std::string text = "suscep.Model(expression " + std::to_string(d.expression) + ", " +
                     std::to_string(model.term_count()) + " term(s), fitted: " + Joined(fitted);
  if (!held.empty()) text += "; held at their starts: " + Joined(held);
  if (std::find(names.begin(), names.end(), "g-value") == names.end() && d.g) {
    text += "; g = " + py::repr(py::float_(*d.g)).cast<std::string>();
  }
  return text + ")";
}

}  // namespace

py::tuple ModelPickle(const engine::Model& model) {
  const engine::ModelDescription& d = model.description();
  py::list own;
  for (const engine::ParameterDescription& p : d.parameters) own.append(p.step.has_value());
  return py::make_tuple(engine::ModelText(d), d.parameters.empty(), own);
}

engine::Model ModelUnpickle(const py::tuple& state) {
  if (state.size() != 3) throw py::value_error("a suscep.Model pickle of another version");
  engine::ModelDescription d =
      engine::ParseModel(state[0].cast<std::string>(), engine::Starts::kStart, kOrigin);
  if (state[1].cast<bool>()) d.parameters.clear();
  const py::list own = state[2];
  for (std::size_t j = 0; j < d.parameters.size() && j < own.size(); ++j) {
    if (!own[j].cast<bool>()) d.parameters[j].step.reset();
  }
  return engine::Model(d);
}

void DefineModel(py::module_& m) {
  py::class_<engine::Model> model(m, "Model", Doc("Model"));
  model.def(py::init(&MakeModel))
      .def_static("from_file", &FromFile, Doc("Model.from_file"))
      .def_static("from_dict", &FromDict, Doc("Model.from_dict"))
      .def_property_readonly(
          "parameter_names",
          [](py::handle s) { return ModelArgument(s, "self").parameter_names(); },
          Doc("Model.parameter_names"))
      .def_property_readonly(
          "start", [](py::handle s) { return ModelArgument(s, "self").starts(); },
          Doc("Model.start"))
      .def_property_readonly(
          "step", [](py::handle s) { return ModelArgument(s, "self").steps(); }, Doc("Model.step"))
      .def_property_readonly(
          "term_count", [](py::handle s) { return ModelArgument(s, "self").term_count(); },
          Doc("Model.term_count"))
      .def("__call__", &Evaluate, Doc("Model.__call__"))
      .def("terms", &Terms, Doc("Model.terms"))
      .def(
          "to_dict",
          [](py::handle s) {
            return ReadJson(engine::ModelText(ModelArgument(s, "self").description()));
          },
          Doc("Model.to_dict"))
      .def("__repr__", &ModelRepr)
      .def(py::pickle([](py::handle s) { return ModelPickle(ModelArgument(s, "self")); },
                      &ModelUnpickle))
      // A model does not change: a copy may be the model itself.
      .def("__copy__", [](py::object s) { return s; })
      .def("__deepcopy__", [](py::object s, py::handle) { return s; });
}

}  // namespace binding
