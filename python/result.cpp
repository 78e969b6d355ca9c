// suscep.Result: a fit's outcome, its result document read into Python on
// first use, its model as fitted, pickled field by field.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "format/whole_file.h"
#include "python/binding.h"

namespace binding {
namespace {

struct Result {
  engine::FitResult fit;
  engine::Model model;               // as fitted: its corrections, starts and steps
  py::object document = py::none();  // the result document, read on first use
  bool handed_out = false;           // to_dict() gave away a reading of its own
};

const Result& Own(py::handle self) {
  if (!py::isinstance<Result>(self)) throw py::type_error("self: a suscep.Result is needed");
  const auto* r = Made<Result>(self);
  if (r == nullptr) throw py::type_error("self: a suscep.Result made by __new__ alone");
  return *r;
}

// The fit with its calculated values and curve, evaluated on first use
// (under the GIL, so once).
const engine::FitResult& Drawn(py::handle self) {
  engine::FitResult& f = const_cast<Result&>(Own(self)).fit;
  engine::DrawCurves(f);
  return f;
}

// A copy of a document's dicts and lists; the numbers and strings in it do
// not change and are shared.
py::object Copied(py::handle value) {
  if (PyDict_CheckExact(value.ptr())) {
    py::dict copy;
    for (auto item : py::reinterpret_borrow<py::dict>(value))
      copy[item.first] = Copied(item.second);
    return std::move(copy);
  }
  if (PyList_CheckExact(value.ptr())) {
    const py::ssize_t n = PyList_GET_SIZE(value.ptr());
    py::list copy(n);
    for (py::ssize_t i = 0; i < n; ++i) {
      py::object item = Copied(PyList_GET_ITEM(value.ptr(), i));
      PyList_SET_ITEM(copy.ptr(), i, item.release().ptr());
    }
    return std::move(copy);
  }
  return py::reinterpret_borrow<py::object>(value);
}

std::string DocumentText(const Result& r) {
  const Unlocked unlocked;
  return r.fit.Document();
}

const py::object& Document(py::handle self) {
  const Result& r = Own(self);
  auto& document = const_cast<Result&>(r).document;
  if (document.is_none()) document = ReadJson(DocumentText(r));
  return document;
}

py::object Section(py::handle self, const char* key) { return Copied(Document(self)[key]); }

// The first to_dict() of a result not yet read hands out its reading, with
// no copy kept; a second keeps one to copy from.
py::object ToDict(py::handle self) {
  const Result& r = Own(self);
  if (r.document.is_none() && !r.handed_out) {
    const_cast<Result&>(r).handed_out = true;
    return ReadJson(DocumentText(r));
  }
  return Copied(Document(self));
}

py::array_t<double> Evaluated(const Result& r, const double* T, py::ssize_t n) {
  py::array_t<double> chi(n);
  double* out = chi.mutable_data();
  const Unlocked unlocked;
  r.model.Evaluate(T, static_cast<int>(n), r.fit.values.data(), out);
  return chi;
}

py::array_t<double> Eval(py::handle self, const py::args& args, const py::kwargs& kwargs) {
  const Result& r = Own(self);
  const Array T = Temperatures(Bind("eval", args, kwargs, {"T"}, 1, 1)[0]);
  return Evaluated(r, T.data(), T.size());
}

py::array_t<double> BestFit(py::handle self) {
  const Result& r = Own(self);
  return Evaluated(r, r.fit.temperature.data(), static_cast<py::ssize_t>(r.fit.temperature.size()));
}

py::array_t<double> Residuals(py::handle self) {
  const Result& r = Own(self);
  py::array_t<double> residual = BestFit(self);
  double* x = residual.mutable_data();
  for (std::size_t i = 0; i < r.fit.observed.size(); ++i) x[i] = r.fit.observed[i] - x[i];
  return residual;
}

// A statistics matrix over every parameter; not a number where undetermined.
py::array_t<double> Matrix(const Result& r, const std::vector<std::vector<double>>& m) {
  const auto n = static_cast<py::ssize_t>(r.fit.names.size());
  py::array_t<double> a({n, n});
  auto o = a.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < n; ++i) {
    for (py::ssize_t j = 0; j < n; ++j) {
      const bool known = static_cast<std::size_t>(i) < m.size() &&
                         static_cast<std::size_t>(j) < m[static_cast<std::size_t>(i)].size();
      o(i, j) = known ? m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] : std::nan("");
    }
  }
  return a;
}

py::object Frame(py::handle self) {
  const Result& r = Own(self);
  const CallingPython calling;
  py::module_ pandas;
  try {
    pandas = py::module_::import("pandas");
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ImportError)) throw;
    throw py::import_error("to_frame() needs pandas (Debian: python3-pandas)");
  }
  const auto column = [](const std::vector<double>& v) {
    return py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data());
  };
  py::dict columns;
  columns["value"] = column(r.fit.values);
  columns["sigma"] = column(r.fit.sigma);
  columns["std_error"] = column(r.fit.std_error);
  columns["start"] = column(r.fit.start);
  columns["step"] = column(r.fit.step);
  const py::object index = pandas.attr("Index")(Keys(r.fit.names), py::arg("name") = "parameter");
  return pandas.attr("DataFrame")(columns, py::arg("index") = index);
}

std::string Number(double x) {
  if (!std::isfinite(x)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return text;
}

std::string ResultRepr(py::handle self) {
  const engine::FitResult& f = Own(self).fit;
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
  if (f.interrupted) text += "\n  the fit was stopped before it converged";
  if (f.budget_exhausted) text += "\n  the budget of evaluations ran out before convergence";
  if (f.stopped_short) text += "\n  the check of the minimum found a clearly lower L.S. error";
  return text;
}

std::string Html(const std::string& s) {
  return py::module_::import("html").attr("escape")(s).cast<std::string>();
}

std::string ResultHtml(py::handle self) {
  const engine::FitResult& f = Own(self).fit;
  const CallingPython calling;
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

// ---------------------------------------------------------------------------
// Figures.

// The figure's options from the keywords of Result.svg() and plot().
engine::FigureOptions FigureOptionsOf(int quantity, bool residuals, bool values, double width) {
  if (quantity < 1 || quantity > 5) {
    throw py::value_error(
        "quantity must be 1 (chi), 2 (mu_eff), 3 (chi*T), 4 (1/chi) or 5 (chi vs 1/T), not " +
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

std::string Svg(py::handle self, const py::args& args, const py::kwargs& kwargs) {
  const Result& r = Own(self);
  const auto a = Bind("svg", args, kwargs, {"quantity", "residuals", "values", "width"}, 0, 1);
  const engine::FigureOptions o = FigureOptionsOf(
      a[0].is_none() ? 3 : Integer(a[0], "quantity"), Flag(a[1], "residuals"),
      a[2].is_none() || Flag(a[2], "values"), a[3].is_none() ? 85.0 : Real(a[3], "width"));
  Drawn(self);
  const Unlocked unlocked;
  return engine::Figure(r.fit, o);
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
py::object Plot(py::handle self, const py::args& args, const py::kwargs& kwargs) {
  using namespace pybind11::literals;
  const engine::FitResult& f = Drawn(self);
  const CallingPython calling;
  const auto a = Bind("plot", args, kwargs, {"ax", "quantity", "label"}, 0, 2);
  const int quantity = a[1].is_none() ? 3 : Integer(a[1], "quantity");
  FigureOptionsOf(quantity, false, false, 85.0);
  py::object ax = a[0];
  if (ax.is_none()) ax = py::module_::import("matplotlib.pyplot").attr("gca")();
  std::vector<double> x, y, cx, cy;
  engine::PlotQuantities(quantity, f.temperature, f.observed, x, y);
  engine::PlotQuantities(quantity, f.curve_temperature, f.curve_chi, cx, cy);
  std::vector<double> fx, fy, ex, ey;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const bool out = i < f.excluded.size() && f.excluded[i];
    (out ? ex : fx).push_back(x[i]);
    (out ? ey : fy).push_back(y[i]);
  }
  const std::string name = f.data_file.substr(f.data_file.find_last_of('/') + 1);
  const py::object label =
      a[2].is_none() ? py::object(py::str(name.empty() ? "data" : name)) : a[2];
  const py::object points =
      ax.attr("plot")(fx, fy, "o", "label"_a = label, "markersize"_a = 4, "zorder"_a = 3);
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

py::object Curve(py::handle self) {
  const engine::FitResult& f = Drawn(self);
  return py::make_tuple(
      py::array_t<double>(static_cast<py::ssize_t>(f.curve_temperature.size()),
                          f.curve_temperature.data()),
      py::array_t<double>(static_cast<py::ssize_t>(f.curve_chi.size()), f.curve_chi.data()));
}

// ---------------------------------------------------------------------------
// Pickles: the model's pickle, then the fit's fields in this order.

constexpr int kPickleVersion = 2;

py::tuple StatisticsState(const engine::Statistics& s) {
  return py::make_tuple(
      py::make_tuple(s.points, s.parameters, s.free, s.rank, s.dof, s.rss, s.residual_variance,
                     s.aic, s.bic, s.condition_number, s.t95, s.interrupted),
      py::make_tuple(s.std_error, s.covariance, s.correlation, s.held, s.undetermined));
}

engine::Statistics StatisticsOf(const py::tuple& t) {
  engine::Statistics s;
  const py::tuple a = t[0], b = t[1];
  s.points = a[0].cast<int>(), s.parameters = a[1].cast<int>(), s.free = a[2].cast<int>();
  s.rank = a[3].cast<int>(), s.dof = a[4].cast<int>(), s.rss = a[5].cast<double>();
  s.residual_variance = a[6].cast<double>(), s.aic = a[7].cast<double>();
  s.bic = a[8].cast<double>(), s.condition_number = a[9].cast<double>();
  s.t95 = a[10].cast<double>(), s.interrupted = a[11].cast<bool>();
  s.std_error = b[0].cast<std::vector<double>>();
  s.covariance = b[1].cast<std::vector<std::vector<double>>>();
  s.correlation = b[2].cast<std::vector<std::vector<double>>>();
  s.held = b[3].cast<std::vector<bool>>();
  s.undetermined = b[4].cast<std::vector<bool>>();
  return s;
}

py::tuple ResultState(py::handle self) {
  const Result& r = Own(self);
  const engine::FitResult& f = Drawn(self);
  return py::make_tuple(
      kPickleVersion, ModelPickle(r.model),
      py::make_tuple(f.names, f.start, f.step, f.values, f.sigma, f.std_error, f.temperature,
                     f.observed, f.calculated, f.observed_sigma, f.curve_temperature, f.curve_chi,
                     f.excluded, f.data_file),
      py::make_tuple(f.sigma_estimated, f.ls_error, f.points, f.evaluations, f.restarts,
                     f.budget_exhausted, f.interrupted, f.stopped_short, f.refined),
      py::make_tuple(f.method, f.report, py::bytes(DocumentText(r)), f.svg, f.notes),
      StatisticsState(f.statistics));
}

Result ResultOf(const py::tuple& state) {
  if (state.size() != 6 || state[0].cast<int>() != kPickleVersion) {
    throw py::value_error("a suscep.Result pickle of another version");
  }
  engine::FitResult f;
  const py::tuple v = state[2], flags = state[3], text = state[4];
  f.names = v[0].cast<std::vector<std::string>>();
  std::vector<double>* arrays[] = {
      &f.start,       &f.step,     &f.values,     &f.sigma,          &f.std_error,
      &f.temperature, &f.observed, &f.calculated, &f.observed_sigma, &f.curve_temperature,
      &f.curve_chi};
  for (std::size_t k = 0; k < 11; ++k) *arrays[k] = v[k + 1].cast<std::vector<double>>();
  f.excluded = v[12].cast<std::vector<bool>>();
  f.data_file = v[13].cast<std::string>();

  f.sigma_estimated = flags[0].cast<bool>(), f.ls_error = flags[1].cast<double>();
  f.points = flags[2].cast<int>(), f.evaluations = flags[3].cast<int>();
  f.restarts = flags[4].cast<int>(), f.budget_exhausted = flags[5].cast<bool>();
  f.interrupted = flags[6].cast<bool>(), f.stopped_short = flags[7].cast<bool>();
  f.refined = flags[8].cast<bool>();
  f.method = text[0].cast<std::string>(), f.report = text[1].cast<std::string>();
  f.document = text[2].cast<std::string>(), f.svg = text[3].cast<std::string>();
  f.notes = text[4].cast<std::vector<std::string>>();
  f.statistics = StatisticsOf(state[5]);
  return Result{std::move(f), ModelUnpickle(state[1]), py::none()};
}

}  // namespace

py::object MakeResult(engine::FitResult fit, const engine::Model& model) {
  return py::cast(Result{std::move(fit), model, py::none()});
}

namespace {

using Getter = py::object (*)(py::handle);

py::object Save(py::handle self, const py::args& args, const py::kwargs& kwargs) {
  const std::string path = Path(Bind("save", args, kwargs, {"path"}, 1, 1)[0]);
  const std::string text = DocumentText(Own(self));
  const Unlocked unlocked;
  format::WriteWholeFile(path, text);
  return py::none();
}

// The read-only properties, each documented under "Result.<name>".
const std::pair<const char*, Getter> kProperties[] = {
    {"parameter_names", [](py::handle s) { return py::cast(Own(s).fit.names); }},
    {"values",
     [](py::handle s) -> py::object { return PerName(Own(s).fit.names, Own(s).fit.values); }},
    {"sigma",
     [](py::handle s) -> py::object { return PerName(Own(s).fit.names, Own(s).fit.sigma); }},
    {"std_error",
     [](py::handle s) -> py::object { return PerName(Own(s).fit.names, Own(s).fit.std_error); }},
    {"ls_error", [](py::handle s) { return py::cast(Own(s).fit.ls_error); }},
    {"parameters", [](py::handle s) { return Section(s, "parameters"); }},
    {"fit", [](py::handle s) { return Section(s, "fit"); }},
    {"statistics", [](py::handle s) { return Section(s, "statistics"); }},
    {"minimum_check", [](py::handle s) { return Section(s, "minimum_check"); }},
    {"method", [](py::handle s) { return py::cast(Own(s).fit.method); }},
    {"refined", [](py::handle s) { return py::cast(Own(s).fit.refined); }},
    {"success", [](py::handle s) { return py::cast(Own(s).fit.success); }},
    {"message", [](py::handle s) { return py::cast(Own(s).fit.message); }},
    {"notes", [](py::handle s) { return py::cast(Own(s).fit.notes); }},
    {"report",
     [](py::handle s) {
       const std::string& report = Own(s).fit.report;
       return report.empty() ? py::object(py::none()) : py::str(report);
     }},
    {"model", [](py::handle s) { return py::cast(Own(s).model); }},
    {"best_fit", [](py::handle s) -> py::object { return BestFit(s); }},
    {"residuals", [](py::handle s) -> py::object { return Residuals(s); }},
    {"covariance",
     [](py::handle s) -> py::object { return Matrix(Own(s), Own(s).fit.statistics.covariance); }},
    {"curve", &Curve},
    {"correlation",
     [](py::handle s) -> py::object { return Matrix(Own(s), Own(s).fit.statistics.correlation); }},
};

}  // namespace

void DefineResult(py::module_& m) {
  py::class_<Result> result(m, "Result", Doc("Result"));
  for (const auto& [name, getter] : kProperties) {
    result.def_property_readonly(name, getter, Doc(std::string("Result.") + name));
  }
  result.def("eval", &Eval, Doc("Result.eval"))
      .def("to_frame", &Frame, Doc("Result.to_frame"))
      .def("svg", &Svg, Doc("Result.svg"))
      .def("plot", &Plot, Doc("Result.plot"))
      .def("to_dict", &ToDict, Doc("Result.to_dict"))
      .def("save", &Save, Doc("Result.save"))
      .def("__repr__", &ResultRepr)
      .def("_repr_html_", &ResultHtml)
      .def(py::pickle(&ResultState, &ResultOf));
}

}  // namespace binding
