// The Python module suscep: the engine's catalogue, models, data reader and
// fit over numpy arrays. Every number comes from the engine; this file only
// converts arguments and results.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "format/errors.h"
#include "format/whole_file.h"

namespace py = pybind11;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
using namespace pybind11::literals;

// Named in the messages about a description given from Python.
constexpr char kOrigin[] = "suscep";

// ---------------------------------------------------------------------------
// Arguments.

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// A real number: an int, a float or a numpy scalar, never a string (which
// float() would parse).
bool IsReal(py::handle value) {
  if (PyFloat_Check(value.ptr())) return true;
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value)) return false;
  return PyIndex_Check(value.ptr()) || py::hasattr(value, "__float__");
}

double Real(py::handle value, const std::string& what) {
  if (!IsReal(value)) {
    throw py::type_error(what + ": " + py::repr(value).cast<std::string>() + " is not a number");
  }
  const double x = PyFloat_AsDouble(value.ptr());
  if (x == -1.0 && PyErr_Occurred()) throw py::error_already_set();
  return x;
}

// A whole number, never a float or a string.
int Integer(py::handle value, const std::string& what) {
  if (!PyIndex_Check(value.ptr()) || py::isinstance<py::bool_>(value)) {
    throw py::type_error(what + ": " + py::repr(value).cast<std::string>() +
                         " is not a whole number");
  }
  const long long n = PyLong_AsLongLong(py::int_(py::reinterpret_borrow<py::object>(value)).ptr());
  if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (n < INT_MIN || n > INT_MAX) {
    throw py::value_error(what + ": " + std::to_string(n) + " is out of range");
  }
  return static_cast<int>(n);
}

// A one-dimensional array of doubles from a sequence or an array of
// numbers (booleans, integers or reals; not strings, which numpy would
// parse).
Array Vector(py::handle values, const std::string& what) {
  // An array of doubles in order, one-dimensional, is taken as it is.
  if (Array::check_(values) && py::reinterpret_borrow<py::array>(values).ndim() == 1) {
    return py::reinterpret_borrow<Array>(values);
  }
  if (py::isinstance<py::str>(values) || py::isinstance<py::bytes>(values)) {
    throw py::type_error(what + ": a sequence of numbers is needed, not a string");
  }
  const py::array raw = py::isinstance<py::array>(values)
                            ? py::reinterpret_borrow<py::array>(values)
                            : py::array::ensure(values);
  if (!raw) throw py::error_already_set();
  const char kind = raw.dtype().kind();
  if (kind != 'b' && kind != 'i' && kind != 'u' && kind != 'f') {
    throw py::type_error(what + ": numbers are needed, not " +
                         py::repr(raw.dtype()).cast<std::string>() + " items");
  }
  if (raw.ndim() != 1) {
    std::string shape;
    for (py::ssize_t k = 0; k < raw.ndim(); ++k) {
      shape += (k ? ", " : "") + std::to_string(raw.shape(k));
    }
    throw py::value_error(what + ": a one-dimensional array is needed, not one of shape (" + shape +
                          ")");
  }
  return Array::ensure(raw);
}

// Temperatures to evaluate a model at: finite and above 0.
Array Temperatures(py::handle T) {
  Array a = Vector(T, "T");
  const double* t = a.data();
  const py::ssize_t n = a.size();
  if (n > INT_MAX) throw py::value_error("T: more than " + std::to_string(INT_MAX) + " points");
  // One pass on the bits, which the compiler vectorises: a double is finite
  // and above 0 when its sign bit is clear, its exponent is not all ones and
  // it is not zero. The point is looked for only when one is bad.
  std::int32_t bad = 0;
  for (py::ssize_t i = 0; i < n; ++i) {
    std::uint64_t bits;
    std::memcpy(&bits, t + i, sizeof bits);
    const auto high = static_cast<std::int32_t>(bits >> 32);
    const auto low = static_cast<std::int32_t>(bits);
    bad |= (high < 0) | (high >= 0x7FF00000) | ((high | low) == 0);
  }
  for (py::ssize_t i = 0; bad != 0 && i < n; ++i) {
    if (!(t[i] > 0.0 && t[i] <= DBL_MAX)) {
      throw py::value_error("T: temperature " + std::to_string(i + 1) + " (" +
                            py::repr(py::float_(t[i])).cast<std::string>() +
                            ") is not a finite number above 0 K");
    }
  }
  return a;
}

// The engine's refusal of a description whose parameters are `given`
// (names, in order) for `model`: it lists the model's names in order.
[[noreturn]] void RefuseNames(const engine::Model& model, const std::vector<std::string>& given) {
  engine::ModelDescription d = model.description();
  d.parameters.clear();
  for (const std::string& name : given) d.parameters.push_back({name, 0.0, std::nullopt});
  engine::Model refused(d);  // throws engine::ModelError
  throw py::value_error("the parameters do not match the model");
}

// The keys of the parameters in a mapping: their names, the second of two
// of one name (the two D-1 of expressions 32 and 52) with " #2" after it.
std::vector<std::string> Keys(const std::vector<std::string>& names) {
  std::vector<std::string> keys;
  for (std::size_t j = 0; j < names.size(); ++j) {
    int same = 1;
    for (std::size_t i = 0; i < j; ++i) same += names[i] == names[j];
    keys.push_back(same == 1 ? names[j] : names[j] + " #" + std::to_string(same));
  }
  return keys;
}

// The values of a mapping from parameter keys to numbers, over `base`.
// Without `partial`, every parameter must be given.
std::vector<double> ByName(const engine::Model& model, const py::dict& given,
                           const std::string& what, std::vector<double> base, bool partial) {
  const std::vector<std::string> names = Keys(model.parameter_names());
  std::vector<std::string> keys;
  std::size_t matched = 0;
  for (auto item : given) {
    keys.push_back(py::str(item.first));
    const double x = Real(item.second, what + "['" + keys.back() + "']");
    for (std::size_t j = 0; j < names.size(); ++j) {
      if (names[j] == keys.back()) {
        base[j] = x;
        ++matched;
      }
    }
  }
  if (matched != keys.size() || (!partial && matched != names.size())) RefuseNames(model, keys);
  return base;
}

// One number per parameter of the model, in its order: a sequence of them,
// or a mapping from the names to them.
std::vector<double> Values(const engine::Model& model, py::handle given, const std::string& what) {
  if (py::isinstance<py::dict>(given)) {
    return ByName(model, py::reinterpret_borrow<py::dict>(given), what,
                  std::vector<double>(model.parameter_count()), /*partial=*/false);
  }
  std::vector<double> values;
  if (PyList_Check(given.ptr()) || PyTuple_Check(given.ptr())) {
    const py::sequence items = py::reinterpret_borrow<py::sequence>(given);
    const std::size_t n = items.size();
    values.reserve(n);
    for (std::size_t j = 0; j < n; ++j) {
      const py::handle item = PySequence_Fast_GET_ITEM(given.ptr(), static_cast<py::ssize_t>(j));
      if (!IsReal(item)) Real(item, what + "[" + std::to_string(j) + "]");  // refused
      values.push_back(Real(item, what));
    }
  } else {
    const Array a = Vector(given, what);
    values.assign(a.data(), a.data() + a.size());
  }
  // The engine's refusal of a count that does not match.
  if (values.size() != static_cast<std::size_t>(model.parameter_count())) {
    model.Evaluate(std::vector<double>(), values);
  }
  return values;
}

// `base` with the numbers given: a whole sequence, or a mapping from names
// that may leave parameters out.
std::vector<double> Override(const engine::Model& model, py::handle given, const std::string& what,
                             std::vector<double> base) {
  if (py::isinstance<py::dict>(given)) {
    return ByName(model, py::reinterpret_borrow<py::dict>(given), what, std::move(base),
                  /*partial=*/true);
  }
  return Values(model, given, what);
}

// A file name from a str, bytes or path object.
std::string Path(py::handle path) {
  return py::str(py::module_::import("os").attr("fsdecode")(path));
}

// ---------------------------------------------------------------------------
// Models.

// The model-file text of a Python description, for the engine's parser:
// the same keys, checks and messages as a model file. numpy scalars count
// as numbers; a number that is not finite cannot be written in JSON.
std::string ModelFileText(const py::object& description) {
  const py::cpp_function scalar([](py::handle value) -> py::object {
    if (py::hasattr(value, "dtype") && py::hasattr(value, "item")) return value.attr("item")();
    throw py::type_error(py::repr(value).cast<std::string>() + " has no place in a model");
  });
  try {
    return py::module_::import("json")
        .attr("dumps")(description, "allow_nan"_a = false, "default"_a = scalar)
        .cast<std::string>();
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError)) throw;
    throw engine::ModelError(std::string(kOrigin) + ": a number that is not finite (" +
                             py::str(e.value()).cast<std::string>() + ")");
  }
}

engine::Starts StartsOf(const std::string& starts) {
  if (starts == "start") return engine::Starts::kStart;
  if (starts == "value") return engine::Starts::kValue;
  throw py::value_error("starts: 'start' or 'value', not '" + starts + "'");
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

// No expression number: 99 (the terms as given) with terms, else 24.
engine::Model MakeModel(const py::object& number, const py::object& terms,
                        const py::object& equation_type, const py::object& g,
                        const py::object& corrections) {
  const int expression = !number.is_none() ? Integer(number, "expression")
                         : terms.is_none() ? 24
                                           : 99;
  py::dict model;
  model["expression"] = expression;
  if (!terms.is_none()) model["terms"] = WithFunctions(expression, terms);
  if (!equation_type.is_none()) model["equation_type"] = equation_type;
  if (!g.is_none()) model["g"] = g;
  py::dict file;
  file["model"] = model;
  if (!corrections.is_none()) file["corrections"] = corrections;
  return engine::Model(engine::ParseModel(ModelFileText(file), engine::Starts::kStart, kOrigin));
}

py::array_t<double> Evaluate(const engine::Model& model, const py::object& T,
                             const py::object& values) {
  const Array t = Temperatures(T);
  const std::vector<double> v = Values(model, values, "values");
  py::array_t<double> chi(t.size());
  const double* tp = t.data();
  double* out = chi.mutable_data();
  const int n = static_cast<int>(t.size());
  {
    py::gil_scoped_release release;
    model.Evaluate(tp, n, v.data(), out);
  }
  return chi;
}

py::array_t<double> Terms(const engine::Model& model, const py::object& T,
                          const py::object& values) {
  const Array t = Temperatures(T);
  const std::vector<double> v = Values(model, values, "values");
  std::vector<std::vector<double>> terms;
  {
    py::gil_scoped_release release;
    terms = model.Terms(std::vector<double>(t.data(), t.data() + t.size()), v);
  }
  py::array_t<double> out({static_cast<py::ssize_t>(terms.size()), t.size()});
  auto o = out.mutable_unchecked<2>();
  for (std::size_t k = 0; k < terms.size(); ++k) {
    for (py::ssize_t i = 0; i < t.size(); ++i) o(k, i) = terms[k][i];
  }
  return out;
}

std::string ModelRepr(const engine::Model& model) {
  const engine::ModelDescription& d = model.description();
  std::string text = "suscep.Model(expression " + std::to_string(d.expression) + ", " +
                     std::to_string(model.term_count()) + " term(s), parameters " +
                     Joined(model.parameter_names());
  if (d.g) text += ", g = " + py::repr(py::float_(*d.g)).cast<std::string>();
  return text + ")";
}

// ---------------------------------------------------------------------------
// Fits.

// A fit's outcome, with its result document read into Python on first use.
struct Result {
  engine::FitResult fit;
  py::object document = py::none();  // read on first use

  // The document's text, built now unless the fit built it.
  std::string Text() const {
    py::gil_scoped_release release;
    return fit.Document();
  }
  py::object Document() {
    if (document.is_none()) document = py::module_::import("json").attr("loads")(Text());
    return document;
  }
  py::object Section(const char* key) { return Document()[key]; }

  // Key (Keys) to value, None where the value is not a number.
  py::dict PerName(const std::vector<double>& values) const {
    py::dict d;
    const std::vector<std::string> keys = Keys(fit.names);
    for (std::size_t j = 0; j < keys.size(); ++j) {
      d[py::str(keys[j])] =
          std::isfinite(values[j]) ? py::object(py::float_(values[j])) : py::object(py::none());
    }
    return d;
  }
};

// The figure's options from the keywords of Result.svg() and plot().
engine::FigureOptions FigureOptionsOf(int quantity, bool residuals, bool values, double width) {
  if (quantity < 1 || quantity > 5) {
    throw py::value_error(
        "quantity must be 1 (chi), 2 (mu_eff), 3 (chi*T), 4 (1/chi) or 5 (chi "
        "vs 1/T), not " +
        std::to_string(quantity));
  }
  if (!(width >= 40.0 && width <= 500.0)) {
    throw py::value_error("width must be 40 to 500 mm (85: a journal column, 170: a page)");
  }
  engine::FigureOptions o;
  o.quantity = quantity;
  o.residuals = residuals;
  o.values = values;
  o.width_mm = width;
  return o;
}

// The axis titles of the five plots in matplotlib's mathtext.
constexpr const char* kAxisTitles[5][2] = {
    {"$T$ / K", "$\\chi_\\mathrm{M}$ / cm$^3$ mol$^{-1}$"},
    {"$T$ / K", "$\\mu_\\mathrm{eff}$ / $\\mu_\\mathrm{B}$"},
    {"$T$ / K", "$\\chi_\\mathrm{M}T$ / cm$^3$ K mol$^{-1}$"},
    {"$T$ / K", "$\\chi_\\mathrm{M}^{-1}$ / mol cm$^{-3}$"},
    {"$T^{-1}$ / K$^{-1}$", "$\\chi_\\mathrm{M}$ / cm$^3$ mol$^{-1}$"},
};

// Result.plot(): the data and the fitted curve on a matplotlib axis, which
// is imported only here.
py::object PlotOn(const Result& r, py::object ax, int quantity, const py::object& label) {
  FigureOptionsOf(quantity, false, false, 85.0);
  if (ax.is_none()) ax = py::module_::import("matplotlib.pyplot").attr("gca")();
  const engine::FitResult& f = r.fit;
  std::vector<double> x, y, cx, cy;
  engine::PlotQuantities(quantity, f.temperature, f.observed, x, y);
  engine::PlotQuantities(quantity, f.curve_temperature, f.curve_chi, cx, cy);
  std::vector<double> fx, fy, ex, ey;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const bool out = i < f.excluded.size() && f.excluded[i];
    (out ? ex : fx).push_back(x[i]);
    (out ? ey : fy).push_back(y[i]);
  }
  std::string name = f.data_file.substr(f.data_file.find_last_of('/') + 1);
  const py::object data_label =
      label.is_none() ? py::object(py::str(name.empty() ? "data" : name)) : label;
  const py::object points =
      ax.attr("plot")(fx, fy, "o", "label"_a = data_label, "markersize"_a = 4, "zorder"_a = 3);
  const py::object colour = points[py::int_(0)].attr("get_color")();
  if (!ex.empty()) {
    ax.attr("plot")(ex, ey, "o", "markerfacecolor"_a = "white", "color"_a = colour,
                    "markersize"_a = 4, "label"_a = "not fitted", "zorder"_a = 3);
  }
  if (!cx.empty()) ax.attr("plot")(cx, cy, "-", "label"_a = "fit", "zorder"_a = 2);
  ax.attr("set_xlabel")(kAxisTitles[quantity - 1][0]);
  ax.attr("set_ylabel")(kAxisTitles[quantity - 1][1]);
  ax.attr("legend")("frameon"_a = false);
  return ax;
}

std::string Number(double x) {
  if (!std::isfinite(x)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return text;
}

std::string ResultRepr(const Result& r) {
  const engine::FitResult& f = r.fit;
  std::string text = "suscep.Result: " + std::to_string(f.points) + " points, " + f.method + ", " +
                     std::to_string(f.evaluations) + " evaluations\n";
  std::size_t width = 8;
  for (const std::string& name : f.names) width = std::max(width, name.size());
  for (std::size_t j = 0; j < f.names.size(); ++j) {
    std::string name = f.names[j];
    name.resize(width, ' ');
    text += "  " + name + " = " + Number(f.values[j]) + " +/- " + Number(f.sigma[j]) +
            "  (std. error " + Number(f.std_error[j]) + ")\n";
  }
  text += "  L.S. error = " + Number(f.ls_error);
  if (f.budget_exhausted) text += "\n  the budget of evaluations ran out before convergence";
  if (f.stopped_short) text += "\n  the check of the minimum found a clearly lower L.S. error";
  return text;
}

std::string Html(const std::string& s) {
  return py::module_::import("html").attr("escape")(s).cast<std::string>();
}

std::string ResultHtml(const Result& r) {
  const engine::FitResult& f = r.fit;
  std::string html = "<table><caption>suscep fit: " + std::to_string(f.points) + " points, " +
                     Html(f.method) + ", L.S. error " + Number(f.ls_error) +
                     "</caption><tr><th>parameter</th><th>value</th><th>Std. devn.</th>"
                     "<th>std. error</th></tr>";
  for (std::size_t j = 0; j < f.names.size(); ++j) {
    html += "<tr><td>" + Html(f.names[j]) + "</td><td>" + Number(f.values[j]) + "</td><td>" +
            Number(f.sigma[j]) + "</td><td>" + Number(f.std_error[j]) + "</td></tr>";
  }
  html += "</table>";
  for (const std::string& note : f.notes) html += "<p>" + Html(note) + "</p>";
  return html;
}

// The model's description with the starts, steps, corrections and fit
// settings given; the engine checks it when it builds the model.
// The index of the parameter named `key` (as Result.values names it);
// ValueError naming `what` and the model's names when there is none.
std::size_t IndexOf(const engine::Model& model, const std::string& key, const std::string& what) {
  const std::vector<std::string> keys = Keys(model.parameter_names());
  for (std::size_t j = 0; j < keys.size(); ++j) {
    if (keys[j] == key) return j;
  }
  std::string list;
  for (const std::string& k : keys) list += (list.empty() ? "'" : ", '") + k + "'";
  throw py::value_error(what + ": the model has no parameter '" + key + "' (it has " + list + ")");
}

// A text keyword: a str.
std::string Text(const py::object& value, const std::string& what) {
  if (!py::isinstance<py::str>(value)) {
    throw py::type_error(what + ": a string is needed, not " + py::repr(value).cast<std::string>());
  }
  return value.cast<std::string>();
}

// bounds={name: (min, max)}, None for an open side; fixed=[names] or
// {name: bool}. The engine checks them against the starts.
void SetBounds(const engine::Model& model, const py::object& bounds, const py::object& fixed,
               engine::ModelDescription& d) {
  if (!bounds.is_none()) {
    if (!py::isinstance<py::dict>(bounds)) {
      throw py::type_error("bounds: a mapping from parameter names to (min, max) is needed");
    }
    for (auto item : py::reinterpret_borrow<py::dict>(bounds)) {
      const std::string key = py::str(item.first);
      const std::string what = "bounds['" + key + "']";
      engine::ParameterDescription& p = d.parameters[IndexOf(model, key, "bounds")];
      const py::object pair = py::reinterpret_borrow<py::object>(item.second);
      if (!py::isinstance<py::sequence>(pair) || py::isinstance<py::str>(pair) ||
          py::len(pair) != 2) {
        throw py::type_error(what + ": (min, max) is needed, None for an open side");
      }
      const py::sequence mm = pair;
      p.min = mm[0].is_none() ? std::nullopt : std::optional<double>(Real(mm[0], what + "[0]"));
      p.max = mm[1].is_none() ? std::nullopt : std::optional<double>(Real(mm[1], what + "[1]"));
    }
  }
  if (fixed.is_none()) return;
  if (py::isinstance<py::str>(fixed)) {
    d.parameters[IndexOf(model, fixed.cast<std::string>(), "fixed")].fixed = true;
  } else if (py::isinstance<py::dict>(fixed)) {
    for (auto item : py::reinterpret_borrow<py::dict>(fixed)) {
      const std::string key = py::str(item.first);
      if (!py::isinstance<py::bool_>(item.second)) {
        throw py::type_error("fixed['" + key + "']: True or False is needed");
      }
      d.parameters[IndexOf(model, key, "fixed")].fixed = item.second.cast<bool>();
    }
  } else {
    for (auto name : py::iter(fixed)) {
      d.parameters[IndexOf(model, py::str(name), "fixed")].fixed = true;
    }
  }
}

engine::ModelDescription FitDescription(const engine::Model& model, const py::object& start,
                                        const py::object& step, const py::object& corrections,
                                        const py::object& iterations, const py::object& reqmin,
                                        const py::object& ncheck) {
  engine::ModelDescription d = model.description();
  const std::vector<engine::ParameterDescription> given = d.parameters;
  const std::vector<std::string> names = model.parameter_names();
  std::vector<double> starts = model.starts();
  if (!start.is_none()) starts = Override(model, start, "start", starts);
  std::vector<double> steps = model.steps();
  // A step not given is 1 % of the start, unless the model has its own.
  std::vector<bool> own(names.size(), !d.parameters.empty());
  if (!step.is_none()) {
    steps = Override(model, step, "step", steps);
    if (py::isinstance<py::dict>(step)) {
      const std::vector<std::string> keys = Keys(names);
      for (auto item : py::reinterpret_borrow<py::dict>(step)) {
        for (std::size_t j = 0; j < names.size(); ++j) {
          if (keys[j] == py::str(item.first).cast<std::string>()) own[j] = true;
        }
      }
    } else {
      own.assign(names.size(), true);
    }
  }
  d.parameters.clear();
  for (std::size_t j = 0; j < names.size(); ++j) {
    engine::ParameterDescription p;
    if (j < given.size()) p = given[j];  // the model file's bounds and fixed
    p.name = names[j];
    p.start = starts[j];
    p.step = own[j] ? std::optional<double>(steps[j]) : std::nullopt;
    d.parameters.push_back(p);
  }
  if (!corrections.is_none()) {
    py::dict file;
    file["model"] = py::dict("expression"_a = 24);  // a model to carry them
    file["corrections"] = corrections;
    d.corrections =
        engine::ParseModel(ModelFileText(file), engine::Starts::kStart, kOrigin).corrections;
  }
  if (!iterations.is_none()) d.fit.iterations = Integer(iterations, "iterations");
  if (!reqmin.is_none()) d.fit.reqmin = Real(reqmin, "reqmin");
  if (!ncheck.is_none()) d.fit.ncheck = Integer(ncheck, "ncheck");
  return d;
}

Result Fit(const engine::Model& model, const py::object& T, const py::object& chi,
           const py::object& start, const py::object& step, const py::object& corrections,
           const py::object& iterations, const py::object& reqmin, const py::object& ncheck,
           bool refine, bool report, const std::string& name, const py::object& method,
           const py::object& bounds, const py::object& fixed, const py::object& tmin,
           const py::object& tmax, const py::object& weights, const py::object& quantity,
           const py::object& sigma) {
  engine::ModelDescription d =
      FitDescription(model, start, step, corrections, iterations, reqmin, ncheck);
  if (!method.is_none()) d.fit.method = Text(method, "method");
  SetBounds(model, bounds, fixed, d);
  if (!tmin.is_none()) d.fit.tmin = Real(tmin, "tmin");
  if (!tmax.is_none()) d.fit.tmax = Real(tmax, "tmax");
  if (!weights.is_none()) d.fit.weights = Text(weights, "weights");
  if (!quantity.is_none()) d.fit.quantity = Text(quantity, "quantity");
  if (!sigma.is_none() && weights.is_none()) d.fit.weights = "sigma";
  const Array t = Vector(T, "T");
  const Array x = Vector(chi, "chi");
  engine::Data data;
  data.file = name;
  data.temperature.assign(t.data(), t.data() + t.size());
  data.chi.assign(x.data(), x.data() + x.size());
  if (!sigma.is_none()) {
    const Array e = Vector(sigma, "sigma");
    if (e.size() != x.size()) {
      throw py::value_error("sigma: " + std::to_string(e.size()) + " errors for " +
                            std::to_string(x.size()) + " points");
    }
    data.sigma.assign(e.data(), e.data() + e.size());
  }

  engine::FitOptions options;
  options.refine = refine;
  options.report = report;
  options.document = false;                        // until asked for
  options.document_name = "result.minimum_check";  // where a note points
  options.settings_style = "keywords";
  Result r;
  {
    py::gil_scoped_release release;
    r.fit = engine::Fit(d, data, options);
  }
  return r;
}

// ---------------------------------------------------------------------------
// The catalogue.

py::list FunctionList() {
  py::list list;
  for (const engine::FunctionInfo& f : engine::Functions()) {
    py::dict d;
    d["function"] = f.function;
    d["other_function"] = f.other_function ? py::object(py::int_(f.other_function)) : py::none();
    d["name"] = f.name;
    d["constants"] = f.constants;
    d["parameters"] = f.parameters;
    d["correction"] = f.correction.empty() ? py::object(py::none()) : py::str(f.correction);
    list.append(d);
  }
  return list;
}

py::list ExpressionList() {
  py::list list;
  for (const engine::ExpressionInfo& e : engine::Expressions()) {
    py::dict d;
    d["expression"] = e.expression;
    d["equation_type"] = e.equation_type;
    d["functions"] = e.functions;
    d["parameters"] = e.parameters;
    list.append(d);
  }
  return list;
}

void Translate(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const engine::FileError& e) {
    PyErr_SetString(PyExc_OSError, e.what());
  } catch (const format::RunTimeError& e) {
    PyErr_SetString(PyExc_OSError, e.what());
  }
}

}  // namespace

PYBIND11_MODULE(suscep, m) {
  m.doc() = R"(Fits of the molar magnetic susceptibility against temperature.

The program's library of expressions (Bleaney-Bower, Bonner-Fisher chains,
dimers of any two spins, the trimer, the tetramer, the chain of dimers, with
TIP, Z*JP, theta and impurity terms), its data reader and its fit, over numpy
arrays. Units: T in K, chi in cm3/mol, J, D and Z*JP in cm-1, THETA in K, the
field B in gauss.)";
  m.attr("__version__") = SUSCEP_VERSION;

  py::register_exception_translator(Translate);
  py::register_exception<engine::ModelError>(m, "ModelError", PyExc_ValueError).attr("__doc__") =
      "A model the program refuses (a ValueError).";
  py::register_exception<engine::DataError>(m, "DataError", PyExc_ValueError).attr("__doc__") =
      "A data set the program refuses (a ValueError).";

  m.def("functions", &FunctionList, R"(The term functions of the library.

One dict per kind of term: function (1-10), other_function (1-4 for function
9, else None), name, constants (the keys of a term that give its constants),
parameters (their names), correction ("THETA", "Z*JP" or None).)");
  m.def("expressions", &ExpressionList, R"(The standard expressions.

One dict per expression number (1-79, units digit not 0): expression,
equation_type (1: A + B + ...; 2: x(A) + (1-x)(B) + C + ...; 3: y[x(A) +
(1-x)(B)] + (1-y)(C) + ...), functions (the function of each term) and
parameters (their names with g fitted and the default constants).)");

  m.def(
      "read_data",
      [](const py::object& path) {
        const std::string p = Path(path);
        engine::Data data;
        {
          py::gil_scoped_release release;
          data = engine::ReadData(p);
        }
        return py::make_tuple(py::array_t<double>(data.temperature.size(), data.temperature.data()),
                              py::array_t<double>(data.chi.size(), data.chi.data()));
      },
      py::arg("path"), R"(Reads a data file with the program's reader and its checks.

The file holds the number of points (1 to 300), then that many pairs of
temperature (K) and molar susceptibility (cm3/mol). Returns (T, chi), two
numpy arrays. OSError when the file cannot be read, DataError (a
ValueError) when the program would refuse it.)");

  py::class_<engine::Model>(m, "Model", R"(A fit model of the library.

Model(expression=None, terms=None, equation_type=None, g=None, corrections=None)

expression: a standard expression number (see expressions()), or 99 for a
    list of terms of your own; left out: 99 when terms are given, else 24.
terms: for a standard expression, one dict per term with its constants and
    correction (keys S, S1, S2, B, other_function, correction; the defaults
    where left out); for 99, the terms with their function as well.
equation_type: 1, 2 or 3, for 99.
g: the g-value held fixed; None: g is fitted (parameter "g-value").
corrections: dict with diamagnetic, tip and factor (cm3/mol, cm3/mol, no
    unit); the TIP is part of the model's values.

The keys are those of a model file and of SUSCEP.JSON; a model the program
refuses raises ModelError (a ValueError) with the program's message.)")
      .def(py::init(&MakeModel), py::arg("expression") = py::none(), py::kw_only(),
           py::arg("terms") = py::none(), py::arg("equation_type") = py::none(),
           py::arg("g") = py::none(), py::arg("corrections") = py::none())
      .def_static(
          "from_file",
          [](const py::object& path, const std::string& starts) {
            return engine::Model(engine::ReadModelFile(Path(path), StartsOf(starts)));
          },
          py::arg("path"), py::arg("starts") = "start",
          R"(The model of a model file or of a SUSCEP.JSON.

Its corrections, starts, steps and fit settings come with it and are what
fit() uses unless told otherwise. starts: "start" (the file's starts) or
"value" (the fitted values of a result document).)")
      .def_static(
          "from_dict",
          [](const py::object& description, const std::string& starts) {
            return engine::Model(
                engine::ParseModel(ModelFileText(description), StartsOf(starts), kOrigin));
          },
          py::arg("description"), py::arg("starts") = "start",
          "The model of a dict in the model-file layout, such as Result.to_dict().")
      .def_property_readonly("parameter_names", &engine::Model::parameter_names,
                             "The parameter names, in the model's order.")
      .def_property_readonly("start", &engine::Model::starts,
                             "The starts of the parameters, in the model's order.")
      .def_property_readonly("step", &engine::Model::steps,
                             "The simplex steps of the parameters (0: held fixed).")
      .def_property_readonly("term_count", &engine::Model::term_count, "The number of terms.")
      .def("__call__", &Evaluate, py::arg("T"), py::arg("values"),
           R"(The calculated molar susceptibility (cm3/mol, TIP included) at the
temperatures T (K, a 1-D array) for the parameter values (a sequence in the
order of parameter_names, or a dict by name; the second of two parameters of
one name is "D-1 #2"). Returns a numpy array.)")
      .def("terms", &Terms, py::arg("T"), py::arg("values"),
           R"(Each term's contribution at T: an array of shape (term_count, len(T)),
the equation type's coefficients applied. With the TIP they add up to
model(T, values).)")
      .def(
          "to_dict",
          [](const engine::Model& model) {
            return py::module_::import("json").attr("loads")(
                engine::ModelText(model.description()));
          },
          "The model as a model file: corrections, model, parameters and fit.")
      .def("__repr__", &ModelRepr);

  py::class_<Result>(m, "Result", "The outcome of fit(); its keys are those of SUSCEP.JSON.")
      .def_property_readonly(
          "parameter_names", [](const Result& r) { return r.fit.names; },
          "The parameter names, in the model's order.")
      .def_property_readonly(
          "values", [](const Result& r) { return r.PerName(r.fit.values); },
          "The fitted values by name.")
      .def_property_readonly(
          "sigma", [](const Result& r) { return r.PerName(r.fit.sigma); },
          "The report's Std. devn. by name; None where it could not be estimated.")
      .def_property_readonly(
          "std_error", [](const Result& r) { return r.PerName(r.fit.std_error); },
          "Standard errors from the Jacobian by name; None where undetermined.")
      .def_property_readonly(
          "ls_error", [](const Result& r) { return r.fit.ls_error; },
          "The L.S. error: sum of squared residuals over sum of chi squared.")
      .def_property_readonly(
          "parameters", [](Result& r) { return r.Section("parameters"); },
          "Per parameter: name, start, step, value, sigma, std_error, ci95 (SUSCEP.JSON).")
      .def_property_readonly(
          "fit", [](Result& r) { return r.Section("fit"); },
          "The fit settings and its course: iterations, evaluations, budget_exhausted, ...")
      .def_property_readonly(
          "statistics", [](Result& r) { return r.Section("statistics"); },
          "Least-squares statistics: covariance, correlation, aic, bic, undetermined, ...")
      .def_property_readonly(
          "minimum_check", [](Result& r) { return r.Section("minimum_check"); },
          "The Levenberg-Marquardt check of the minimum: values, ls_error, stopped_short, ...")
      .def_property_readonly(
          "method", [](const Result& r) { return r.fit.method; }, "What produced the values.")
      .def_property_readonly(
          "refined", [](const Result& r) { return r.fit.refined; },
          "True when the values are those of the refinement (refine=True).")
      .def_property_readonly(
          "success", [](const Result& r) { return r.fit.success; },
          "True when the values are a minimum the method vouches for: converged, not stopped "
          "short, not out of its budget.")
      .def_property_readonly(
          "message", [](const Result& r) { return r.fit.message; },
          "Why the fit ended: how it converged, or why it did not succeed.")
      .def_property_readonly(
          "notes", [](const Result& r) { return r.fit.notes; },
          "What the program notes after the fit: a budget run out, a fit stopped short.")
      .def_property_readonly(
          "report",
          [](const Result& r) {
            return r.fit.report.empty() ? py::object(py::none()) : py::str(r.fit.report);
          },
          "The text report (SUSCEP.OUT) when fit() was asked for it, else None.")
      .def(
          "to_dict",
          [](Result& r) { return py::module_::import("copy").attr("deepcopy")(r.Document()); },
          "The result document: a dict in the layout of SUSCEP.JSON.")
      .def(
          "save",
          [](const Result& r, const py::object& path) {
            const std::string p = Path(path);
            const std::string text = r.Text();
            py::gil_scoped_release release;
            format::WriteWholeFile(p, text);
          },
          py::arg("path"), "Writes the result document (SUSCEP.JSON's layout) to path, whole.")
      .def(
          "svg",
          [](const Result& r, int quantity, bool residuals, bool values, double width) {
            const engine::FigureOptions o = FigureOptionsOf(quantity, residuals, values, width);
            py::gil_scoped_release release;
            return engine::Figure(r.fit, o);
          },
          py::arg("quantity") = 3, py::kw_only(), py::arg("residuals") = false,
          py::arg("values") = true, py::arg("width") = 85.0,
          R"(The figure of the fit for a paper, as SVG text: the data (corrected),
the fitted curve, a legend and the fitted values with their errors.

quantity: 1 chi vs T, 2 mu_eff vs T, 3 chi*T vs T (default), 4 1/chi vs T,
    5 chi vs 1/T.
residuals: a panel of observed - calculated under the plot.
values: the box of fitted values.
width: in mm; 85 a journal column, 170 a page.

Data that cannot be drawn (one point, one temperature) give a figure that
says why.)")
      .def("plot", &PlotOn, py::arg("ax") = py::none(), py::arg("quantity") = 3, py::kw_only(),
           py::arg("label") = py::none(),
           R"(Draws the data and the fitted curve on a matplotlib axis (default: the
current one) and returns it; quantity as for svg(). Points left out of the
fit are hollow. matplotlib is imported only here.)")
      .def_property_readonly(
          "curve",
          [](const Result& r) {
            return py::make_tuple(
                Array(r.fit.curve_temperature.size(), r.fit.curve_temperature.data()),
                Array(r.fit.curve_chi.size(), r.fit.curve_chi.data()));
          },
          "The fitted curve (T, chi): dense in T over the data, TIP included.")
      .def("__repr__", &ResultRepr)
      .def("_repr_html_", &ResultHtml);

  m.def("fit", &Fit, py::arg("model"), py::arg("T"), py::arg("chi"), py::arg("start") = py::none(),
        py::kw_only(), py::arg("step") = py::none(), py::arg("corrections") = py::none(),
        py::arg("iterations") = py::none(), py::arg("reqmin") = py::none(),
        py::arg("ncheck") = py::none(), py::arg("refine") = false, py::arg("report") = false,
        py::arg("name") = "", py::arg("method") = py::none(), py::arg("bounds") = py::none(),
        py::arg("fixed") = py::none(), py::arg("tmin") = py::none(), py::arg("tmax") = py::none(),
        py::arg("weights") = py::none(), py::arg("quantity") = py::none(),
        py::arg("sigma") = py::none(),
        R"(Fits the model to the data with the program's simplex.

model: a Model.
T, chi: the temperatures (K) and the molar susceptibilities as measured
    (cm3/mol), 1 to 300 points; the corrections are applied to chi.
start: the parameters' starts (a sequence in the order of
    model.parameter_names, or a dict by name that may leave some out);
    default: the model's starts. Units: those of the parameters (g, COEFF1,
    COEFF2 none; J, D, Z*JP cm-1; THETA K; DIM cm3/mol).
step: the simplex steps, likewise; default: the model's, or 1 % of the
    start; a step of 0 holds the parameter fixed at its start.
corrections: dict with diamagnetic (subtracted from chi, cm3/mol), tip
    (added to the model, cm3/mol) and factor (multiplies chi and the TIP);
    default: the model's.
iterations: simplex: the evaluation budget; lm and global: the iteration
    limit of each Levenberg-Marquardt run (default 200).
reqmin: the convergence limit on the variance of the vertex values
    (default 1e-16).
ncheck: iterations between convergence tests (default 1).
refine: continue with the Levenberg-Marquardt refinement of the check of
    the minimum and give its point as the result.
report: also make the text report (Result.report).
name: the data file's name in the result document.
method: "global" (64 starts spread over each parameter's default range
    screened, the best 4 and the given start refined by Levenberg-
    Marquardt), "lm" (Levenberg-Marquardt from the start) or "simplex" (the
    dialogue's search, with its numbers); default: the model's.
bounds: {name: (min, max)}, None for an open side; lm keeps to them.
fixed: names (or {name: True}) of parameters held at their starts.
tmin, tmax: fit only the points from tmin K up to tmax K; the others are
    kept in the result, marked excluded.
weights: "none" (the L.S. error, default), "sigma" (chi-square with
    sigma=) or "relative" (each residual over its observed value).
quantity: "chi" (default) or "chiT".
sigma: each point's error, as chi; weights default to "sigma" with it.

Returns a Result. The interpreter's lock is released during the fit, so
fits in several threads run at once.)");
}
