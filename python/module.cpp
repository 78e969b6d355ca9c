// The Python module suscep: the engine's catalogue, models, data reader, fit
// and importer over numpy arrays. Every number comes from the engine or the
// importer; the module only converts arguments and results.

#include <pybind11/eval.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "format/errors.h"
#include "importer/importer.h"
#include "python/binding.h"

namespace binding {
namespace {

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

py::tuple ReadData(const py::args& args, const py::kwargs& kwargs) {
  const std::string path = ReadablePath(Bind("read_data", args, kwargs, {"path"}, 1, 1)[0]);
  engine::Data data;
  {
    const Unlocked unlocked;
    data = engine::ReadData(path);
  }
  return py::make_tuple(py::array_t<double>(data.temperature.size(), data.temperature.data()),
                        py::array_t<double>(data.chi.size(), data.chi.data()));
}

// suscep.DataError, kept to the end of the process.
py::handle data_error;

// OSError for a file the engine cannot read or write, with its message;
// DataError for a file the importer refuses.
void Translate(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const engine::FileError& e) {
    PyErr_SetString(PyExc_OSError, e.what());
  } catch (const format::RunTimeError& e) {
    PyErr_SetString(PyExc_OSError, e.what());
  } catch (const importer::Error& e) {
    PyErr_SetString(data_error.ptr(), e.what());
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// suscep.import_file.

namespace {

// The import's choices, as `suscep import` names them, with Python's names.
constexpr std::initializer_list<const char*> kImportArguments = {
    "path",     "mass",  "molar_mass", "diamagnetic", "diamagnetic_estimate",
    "eicosane", "field", "column",     "columns",     "moment_unit",
    "chi_unit", "sweep", "max_points", "bins"};

std::optional<double> Optional(const py::object& value, const char* what) {
  if (value.is_none()) return std::nullopt;
  return Real(value, what);
}

importer::Options ImportOptions(const std::vector<py::object>& a) {
  importer::Options o;
  o.mass_mg = Optional(a[1], "mass");
  o.molar_mass = Optional(a[2], "molar_mass");
  o.diamagnetic = Optional(a[3], "diamagnetic");
  o.diamagnetic_estimate = Flag(a[4], "diamagnetic_estimate");
  o.eicosane_mg = Optional(a[5], "eicosane");
  o.field_oe = Optional(a[6], "field");
  if (!a[7].is_none()) o.column = Text(a[7], "column");
  if (py::isinstance<py::str>(a[8])) {
    const std::string text = a[8].cast<std::string>();
    for (std::size_t at = 0; at <= text.size();) {
      const std::size_t end = std::min(text.find(',', at), text.size());
      o.columns.push_back(text.substr(at, end - at));
      at = end + 1;
    }
  } else if (!a[8].is_none()) {
    for (py::handle item : a[8]) o.columns.push_back(Text(item, "columns[]"));
  }
  if (!a[9].is_none()) o.moment_unit = Text(a[9], "moment_unit");
  if (!a[10].is_none()) o.chi_unit = Text(a[10], "chi_unit");
  if (!a[11].is_none()) {
    o.sweep =
        PyIndex_Check(a[11].ptr()) ? std::to_string(Integer(a[11], "sweep")) : Text(a[11], "sweep");
  }
  if (!a[12].is_none()) o.max_points = Integer(a[12], "max_points");
  if (!a[13].is_none()) {
    const std::string bins = Text(a[13], "bins");
    if (bins != "log" && bins != "linear") {
      throw py::value_error("bins: 'log' or 'linear', not '" + bins + "'");
    }
    o.linear_bins = bins == "linear";
  }
  return o;
}

py::tuple ImportFile(const py::args& args, const py::kwargs& kwargs) {
  const std::vector<py::object> a = Bind("import_file", args, kwargs, kImportArguments, 1, 1);
  const std::string path = ReadablePath(a[0]);
  const importer::Options options = ImportOptions(a);
  importer::Import im;
  std::string record;
  {
    const Unlocked unlocked;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw engine::FileError("open: cannot open '" + path + "'");
    im = importer::Read(in, path, options);
    record = importer::RecordText(im, options, "");
  }
  const auto n = static_cast<py::ssize_t>(im.points.size());
  py::array_t<double> T(n), chi(n), sigma(n);
  bool errors = false;
  for (py::ssize_t i = 0; i < n; ++i) {
    const importer::Point& p = im.points[static_cast<std::size_t>(i)];
    T.mutable_at(i) = p.T;
    chi.mutable_at(i) = p.chi;
    sigma.mutable_at(i) = p.chi_err;
    errors = errors || std::isfinite(p.chi_err);
  }
  return py::make_tuple(T, chi, errors ? py::object(sigma) : py::object(py::none()),
                        ReadJson(record));
}

}  // namespace

void DefineImport(py::module_& m) { m.def("import_file", &ImportFile, Doc("import_file")); }

namespace {

// pybind11's functions hold a capsule, which pickle cannot take: a
// ProcessPoolExecutor could not be given suscep.fit. The module's functions
// are Python functions of its own that call them, and pickle by name.
void Picklable(py::module_& m, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    py::dict scope;
    scope["_call"] = m.attr(name);
    py::exec(std::string("def ") + name + "(*args, **kwargs):\n    return _call(*args, **kwargs)\n",
             scope);
    py::object function = scope[name];
    function.attr("__module__") = "suscep";
    function.attr("__doc__") = scope["_call"].attr("__doc__");
    function.attr("__wrapped__") = scope["_call"];  // for inspect.signature
    m.attr(name) = function;
  }
}

}  // namespace

}  // namespace binding

PYBIND11_MODULE(suscep, m) {
  namespace py = pybind11;
  using namespace binding;
  // The signatures are the first lines of the docstrings.
  py::options options;
  options.disable_function_signatures();
  m.doc() = Doc("suscep");
  m.attr("__version__") = SUSCEP_VERSION;
  TakeNumpy();
  DefineExit(m);
  py::register_exception<engine::ModelError>(m, "ModelError", PyExc_ValueError).attr("__doc__") =
      Doc("ModelError");
  py::register_exception<engine::DataError>(m, "DataError", PyExc_ValueError).attr("__doc__") =
      Doc("DataError");
  data_error = py::object(m.attr("DataError")).release();
  py::register_exception_translator(Translate);
  m.def("functions", &FunctionList, Doc("functions"));
  m.def("expressions", &ExpressionList, Doc("expressions"));
  m.def("read_data", &ReadData, Doc("read_data"));
  DefineModel(m);
  DefineResult(m);
  DefineFit(m);
  DefineImport(m);
  Picklable(m, {"functions", "expressions", "read_data", "fit", "import_file"});
}
