// Python arguments to the engine's types, with short messages that name the
// argument and never print an array.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "python/binding.h"

namespace binding {
namespace {

// numpy.ma.MaskedArray, taken at import and kept to the end of the process.
py::handle masked_array_type;

// An object as a message shows it: its repr, cut short.
std::string Shown(py::handle value) {
  std::string text = py::repr(value).cast<std::string>();
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

std::string TypeName(py::handle value) {
  return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

// A real number: an int, a float or a numpy scalar, never a string (which
// float() would parse).
bool IsReal(py::handle value) {
  if (PyFloat_Check(value.ptr())) return true;
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value)) return false;
  return PyIndex_Check(value.ptr()) || py::hasattr(value, "__float__");
}

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string Quoted(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k) {
    text += (k == 0 ? "" : k + 1 == names.size() ? (k == 1 ? " and " : ", and ") : ", ");
    text += "'" + names[k] + "'";
  }
  return text;
}

}  // namespace

std::vector<py::object> Bind(const char* function, const py::args& args, const py::kwargs& kwargs,
                             std::initializer_list<const char*> names, std::size_t required,
                             std::size_t positional) {
  const std::vector<std::string> list(names.begin(), names.end());
  const std::string call = std::string(function) + "()";
  if (args.size() > positional) {
    const std::string takes = required == positional ? std::to_string(positional)
                                                     : "from " + std::to_string(required) + " to " +
                                                           std::to_string(positional);
    throw py::type_error(call + " takes " + takes + " positional argument" +
                         (positional == 1 ? "" : "s") + " but " + std::to_string(args.size()) +
                         (args.size() == 1 ? " was" : " were") + " given");
  }
  std::vector<py::object> bound(list.size(), py::none());
  std::vector<bool> given(list.size(), false);
  for (std::size_t i = 0; i < args.size(); ++i) {
    bound[i] = args[i];
    given[i] = true;
  }
  for (auto item : kwargs) {
    const std::string key = py::str(item.first);
    std::size_t j = 0;
    while (j < list.size() && list[j] != key) ++j;
    if (j == list.size()) {
      throw py::type_error(call + " got an unexpected keyword argument '" + key + "'");
    }
    if (given[j]) throw py::type_error(call + " got multiple values for argument '" + key + "'");
    bound[j] = py::reinterpret_borrow<py::object>(item.second);
    given[j] = true;
  }
  std::vector<std::string> missing;
  for (std::size_t j = 0; j < required; ++j) {
    if (!given[j]) missing.push_back(list[j]);
  }
  if (!missing.empty()) {
    throw py::type_error(call + " missing " + Plural(missing.size(), "required argument") + ": " +
                         Quoted(missing));
  }
  return bound;
}

double Real(py::handle value, const std::string& what) {
  if (!IsReal(value)) throw py::type_error(what + ": " + Shown(value) + " is not a number");
  const double x = PyFloat_AsDouble(value.ptr());
  if (x == -1.0 && PyErr_Occurred()) throw py::error_already_set();
  return x;
}

int Integer(py::handle value, const std::string& what) {
  if (!PyIndex_Check(value.ptr()) || py::isinstance<py::bool_>(value)) {
    throw py::type_error(what + ": " + Shown(value) + " is not a whole number");
  }
  const long long n = PyLong_AsLongLong(py::int_(py::reinterpret_borrow<py::object>(value)).ptr());
  if (n == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error(what + ": " + Shown(value) + " is out of range");
  }
  if (n < INT_MIN || n > INT_MAX) {
    throw py::value_error(what + ": " + std::to_string(n) + " is out of range");
  }
  return static_cast<int>(n);
}

bool Flag(py::handle value, const std::string& what) {
  if (value.is_none()) return false;
  if (!py::isinstance<py::bool_>(value) && !PyIndex_Check(value.ptr())) {
    throw py::type_error(what + ": True or False is needed, not " + TypeName(value));
  }
  return PyObject_IsTrue(value.ptr()) == 1;
}

std::string Text(py::handle value, const std::string& what) {
  if (!py::isinstance<py::str>(value)) {
    throw py::type_error(what + ": a str is needed, not " + TypeName(value));
  }
  return value.cast<std::string>();
}

Array Vector(py::handle values, const std::string& what) {
  if (masked_array_type && py::isinstance(values, masked_array_type)) {
    const py::module_ ma = py::module_::import("numpy.ma");
    if (ma.attr("getmaskarray")(values).attr("any")().cast<bool>()) {
      throw py::value_error(what +
                            ": a masked array with masked points: give the unmasked points "
                            "(for example with .compressed()) of every array");
    }
    return Vector(ma.attr("getdata")(values), what);
  }
  // An array of doubles in order, one-dimensional, is taken as it is.
  if (Array::check_(values) && py::reinterpret_borrow<py::array>(values).ndim() == 1) {
    return py::reinterpret_borrow<Array>(values);
  }
  if (values.is_none() || py::isinstance<py::str>(values) || py::isinstance<py::bytes>(values) ||
      py::isinstance<py::dict>(values)) {
    throw py::type_error(
        what + ": a sequence of numbers is needed, not " +
        (py::isinstance<py::str>(values) ? std::string("a string") : TypeName(values)));
  }
  const py::array raw = py::isinstance<py::array>(values)
                            ? py::reinterpret_borrow<py::array>(values)
                            : py::array::ensure(values);
  if (!raw) {
    PyErr_Clear();
    throw py::type_error(what + ": a sequence of numbers is needed, not " + TypeName(values));
  }
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

Array Temperatures(py::handle T, const std::string& what) {
  Array a = Vector(T, what);
  const double* t = a.data();
  const py::ssize_t n = a.size();
  if (n > INT_MAX)
    throw py::value_error(what + ": more than " + std::to_string(INT_MAX) + " points");
  // One pass on the bits, which the compiler vectorises: a double is normal
  // and above 0 when its sign bit is clear and its exponent is neither all
  // zeros (0 or subnormal) nor all ones. The point is looked for only when
  // one is bad.
  std::int32_t bad = 0;
  for (py::ssize_t i = 0; i < n; ++i) {
    std::uint64_t bits;
    std::memcpy(&bits, t + i, sizeof bits);
    const auto high = static_cast<std::int32_t>(bits >> 32);
    bad |= (high < 0x00100000) | (high >= 0x7FF00000);
  }
  for (py::ssize_t i = 0; bad != 0 && i < n; ++i) {
    if (t[i] >= DBL_MIN && t[i] <= DBL_MAX) continue;
    const std::string point = what + ": temperature " + std::to_string(i + 1) + " (" +
                              py::repr(py::float_(t[i])).cast<std::string>() + ")";
    if (t[i] > 0.0 && t[i] < DBL_MIN) {
      throw py::value_error(point + " is too close to 0 K to compute with (subnormal)");
    }
    throw py::value_error(point + " is not a finite number above 0 K");
  }
  return a;
}

std::string Path(py::handle path, const std::string& what) {
  if (!py::isinstance<py::str>(path) && !py::isinstance<py::bytes>(path) &&
      !py::hasattr(path, "__fspath__")) {
    throw py::type_error(what + ": a file name (str, bytes or os.PathLike) is needed, not " +
                         TypeName(path));
  }
  return py::str(py::module_::import("os").attr("fsdecode")(path));
}

std::string ReadablePath(py::handle path, const std::string& what, long long limit) {
  const std::string name = Path(path, what);
  // O_NONBLOCK: a FIFO is not waited on here; the engine refuses it.
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  std::string kind;  // not a regular file (read without end or waited on), too large
  int code = EINVAL;
  struct stat st {};
  if (fd >= 0) {
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
      kind = S_ISFIFO(st.st_mode)   ? "a FIFO, not a regular file"
             : S_ISSOCK(st.st_mode) ? "a socket, not a regular file"
                                    : "a device, not a regular file";
    } else if (limit >= 0 && st.st_size > limit) {
      kind = "larger than " + std::to_string(limit >> 20) + " MB";
      code = EFBIG;
    }
    ::close(fd);
  }
  const py::object filename = py::reinterpret_borrow<py::object>(path);
  if (!kind.empty()) {
    const py::object e = py::reinterpret_borrow<py::object>(PyExc_OSError)(code, kind, filename);
    PyErr_SetObject(PyExc_OSError, e.ptr());
    throw py::error_already_set();
  }
  if (error != 0) {
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, filename.ptr());
    throw py::error_already_set();
  }
  return name;
}

namespace {

void AppendString(std::string& out, const std::string& s) {
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendJson(std::string& out, py::handle value, const std::string& what, int depth) {
  if (depth > 64) throw engine::ModelError("suscep: " + what + " is nested too deeply");
  if (value.is_none()) {
    out += "null";
  } else if (py::isinstance<py::bool_>(value)) {
    out += value.ptr() == Py_True ? "true" : "false";
  } else if (PyLong_Check(value.ptr())) {
    out += py::str(value).cast<std::string>();
  } else if (PyFloat_Check(value.ptr())) {
    const double x = PyFloat_AsDouble(value.ptr());
    if (!std::isfinite(x)) {
      throw engine::ModelError("suscep: a number that is not finite (" + Shown(value) + ")");
    }
    out += py::repr(value).cast<std::string>();
  } else if (py::isinstance<py::str>(value)) {
    AppendString(out, value.cast<std::string>());
  } else if (py::isinstance<py::dict>(value)) {
    out += '{';
    bool first = true;
    for (auto item : py::reinterpret_borrow<py::dict>(value)) {
      if (!py::isinstance<py::str>(item.first)) {
        throw py::type_error(what + ": the key " + Shown(item.first) + " is not a str");
      }
      if (!first) out += ',';
      first = false;
      AppendString(out, item.first.cast<std::string>());
      out += ':';
      AppendJson(out, item.second, what, depth + 1);
    }
    out += '}';
  } else if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
    out += '[';
    bool first = true;
    for (py::handle item : value) {
      if (!first) out += ',';
      first = false;
      AppendJson(out, item, what, depth + 1);
    }
    out += ']';
  } else if (py::hasattr(value, "dtype") && py::hasattr(value, "item") &&
             py::reinterpret_borrow<py::object>(value).attr("ndim").cast<int>() == 0) {
    AppendJson(out, value.attr("item")(), what, depth + 1);  // a numpy scalar
  } else {
    throw py::type_error(what + ": " + Shown(value) + " has no place in a model");
  }
}

}  // namespace

std::string JsonText(py::handle value, const std::string& what) {
  std::string out;
  AppendJson(out, value, what, 0);
  return out;
}

std::vector<std::string> Keys(const std::vector<std::string>& names) {
  std::vector<std::string> keys;
  for (std::size_t j = 0; j < names.size(); ++j) {
    int same = 1;
    for (std::size_t i = 0; i < j; ++i) same += names[i] == names[j];
    keys.push_back(same == 1 ? names[j] : names[j] + " #" + std::to_string(same));
  }
  return keys;
}

namespace {

// The values of a mapping from parameter keys to numbers, over `base`.
// Without `partial`, every parameter must be given.
std::vector<double> ByName(const engine::Model& model, const py::dict& given,
                           const std::string& what, std::vector<double> base, bool partial) {
  const std::vector<std::string> names = Keys(model.parameter_names());
  std::vector<std::string> keys;
  std::size_t matched = 0;
  for (auto item : given) {
    if (!py::isinstance<py::str>(item.first)) {
      throw py::type_error(what + ": the key " + Shown(item.first) + " is not a str");
    }
    keys.push_back(item.first.cast<std::string>());
    const double x = Real(item.second, what + "['" + keys.back() + "']");
    for (std::size_t j = 0; j < names.size(); ++j) {
      if (names[j] == keys.back()) {
        base[j] = x;
        ++matched;
      }
    }
  }
  if (matched != keys.size() || (!partial && matched != names.size())) {
    model.CheckNames(keys);
    throw py::value_error(what + ": the parameters do not match the model");
  }
  return base;
}

}  // namespace

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
      values.push_back(Real(item, what + "[" + std::to_string(j) + "]"));
    }
  } else {
    const Array a = Vector(given, what);
    values.assign(a.data(), a.data() + a.size());
  }
  model.CheckValues(values.size());
  return values;
}

std::vector<double> Override(const engine::Model& model, py::handle given, const std::string& what,
                             std::vector<double> base) {
  if (py::isinstance<py::dict>(given)) {
    return ByName(model, py::reinterpret_borrow<py::dict>(given), what, std::move(base),
                  /*partial=*/true);
  }
  return Values(model, given, what);
}

py::dict PerName(const std::vector<std::string>& names, const std::vector<double>& values) {
  py::dict d;
  const std::vector<std::string> keys = Keys(names);
  for (std::size_t j = 0; j < keys.size(); ++j) {
    d[py::str(keys[j])] =
        std::isfinite(values[j]) ? py::object(py::float_(values[j])) : py::object(py::none());
  }
  return d;
}

const engine::Model& ModelArgument(py::handle value, const std::string& what) {
  if (!py::isinstance<engine::Model>(value)) {
    throw py::type_error(what + ": a suscep.Model is needed, not " + TypeName(value));
  }
  const auto* model = Made<engine::Model>(value);
  if (model == nullptr) {
    throw py::type_error(what + ": a suscep.Model made by __new__ alone, without __init__");
  }
  return *model;
}

void TakeNumpy() {
  // pybind11 takes numpy's C API on first use, holding the interpreter's
  // lock while numpy is imported: two threads making the first array at once
  // then wait on each other. Taken here, at import, it is there for all.
  py::module_::import("numpy");
  py::detail::npy_api::get();
  py::array_t<double> warm(1);
  masked_array_type = py::object(py::module_::import("numpy.ma").attr("MaskedArray")).release();
}

}  // namespace binding
