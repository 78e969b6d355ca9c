// The Python module's parts: the argument conversions, the docstrings and
// the classes, each defined on the module by its own function.
#ifndef SUSCEP_PYTHON_BINDING_H_
#define SUSCEP_PYTHON_BINDING_H_

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace binding {

namespace py = pybind11;

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The docstring of `key` ("fit", "Model.__call__", ...) from the one table
// of them; a key not in it is a programming error (std::logic_error).
const char* Doc(std::string_view key);

// ---------------------------------------------------------------------------
// Arguments (arguments.cpp). `what` names the argument in messages.

// The arguments of a call of `function` by name, in the order of `names`
// (None where not given), as Python binds them: `required` leading names
// must be given, positional arguments fill names in order up to
// `positional`, and an unknown keyword is refused with Python's message.
std::vector<py::object> Bind(const char* function, const py::args& args, const py::kwargs& kwargs,
                             std::initializer_list<const char*> names, std::size_t required,
                             std::size_t positional);

double Real(py::handle value, const std::string& what);
int Integer(py::handle value, const std::string& what);
bool Flag(py::handle value, const std::string& what);
std::string Text(py::handle value, const std::string& what);
// A one-dimensional array of numbers; a masked array only with nothing masked.
Array Vector(py::handle values, const std::string& what);
// Temperatures to evaluate at: finite, above 0 and not subnormal.
Array Temperatures(py::handle T, const std::string& what = "T");
// A file name from a str, bytes or path object, checked to be a regular
// file that can be read: FileNotFoundError, IsADirectoryError,
// PermissionError as open(2) says, OSError for a FIFO, a device or a file of
// more than `limit` bytes.
std::string ReadablePath(py::handle path, const std::string& what = "path", long long limit = -1);
std::string Path(py::handle path, const std::string& what = "path");
// The JSON text of a dict of the model-file layout (numpy scalars taken as
// numbers); ModelError for a number that is not finite.
std::string JsonText(py::handle value, const std::string& what);

// The Python objects of JSON text, as json.loads makes them.
py::object ReadJson(std::string_view text);

// The keys of the parameters in a mapping: their names, the second of two
// of one name (the two D-1 of expressions 32 and 52) with " #2" after it.
std::vector<std::string> Keys(const std::vector<std::string>& names);
// One number per parameter, in the model's order: a sequence of them, or a
// mapping from the keys to them.
std::vector<double> Values(const engine::Model& model, py::handle given, const std::string& what);
// `base` with the numbers given: a whole sequence, or a mapping from keys
// that may leave parameters out.
std::vector<double> Override(const engine::Model& model, py::handle given, const std::string& what,
                             std::vector<double> base);
// Key to value, None where the value is not a number.
py::dict PerName(const std::vector<std::string>& names, const std::vector<double>& values);

// The C++ object of an instance of a bound class; null when __init__ (or
// __setstate__) has not made it, as after Model.__new__(Model) alone.
template <class T>
const T* Made(py::handle instance) {
  auto* inst = reinterpret_cast<py::detail::instance*>(instance.ptr());
  const py::detail::value_and_holder vh =
      inst->get_value_and_holder(py::detail::get_type_info(typeid(T)), /*throw_if_missing=*/false);
  if (!vh || !vh.holder_constructed()) return nullptr;
  return vh.template holder<std::unique_ptr<T>>().get();
}

// The model of an argument; TypeError unless it is a suscep.Model.
const engine::Model& ModelArgument(py::handle value, const std::string& what);

// numpy's C API and the module's cached classes, taken once at import.
void TakeNumpy();

// ---------------------------------------------------------------------------
// The interpreter's lock (lock.cpp). Once the interpreter has begun to exit,
// a thread of the module never takes the lock again: it parks until the
// process ends, since the interpreter would end it inside C++ code.

// The lock given up for the scope, for C++ that touches no Python object.
class Unlocked {
 public:
  Unlocked();
  ~Unlocked();
  Unlocked(const Unlocked&) = delete;
  Unlocked& operator=(const Unlocked&) = delete;

 private:
  PyThreadState* state_;
};

// Inside an Unlocked scope, the lock taken again for the scope; false when
// the interpreter is exiting, and then the lock is not taken.
class Relocked {
 public:
  Relocked();
  ~Relocked();
  Relocked(const Relocked&) = delete;
  Relocked& operator=(const Relocked&) = delete;
  explicit operator bool() const { return locked_; }

 private:
  bool locked_;
};

// Held around Python code the module calls (imports, pandas, matplotlib),
// which may let other threads run: the exit waits for it. RuntimeError when
// the interpreter is exiting.
class CallingPython {
 public:
  CallingPython();
  ~CallingPython();
  CallingPython(const CallingPython&) = delete;
  CallingPython& operator=(const CallingPython&) = delete;
};

// ---------------------------------------------------------------------------
// The parts of the module.

void DefineExit(py::module_& m);

void DefineModel(py::module_& m);
void DefineResult(py::module_& m);
void DefineFit(py::module_& m);
void DefineImport(py::module_& m);

// The state of a model's pickle: the model file, and which steps were left
// to the 1 % rule (a model file always states them); and the model again.
py::tuple ModelPickle(const engine::Model& model);
engine::Model ModelUnpickle(const py::tuple& state);

// The Python object of a fit's outcome, its model as fitted.
py::object MakeResult(engine::FitResult fit, const engine::Model& model);

}  // namespace binding

#endif  // SUSCEP_PYTHON_BINDING_H_
