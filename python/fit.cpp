// suscep.fit: the engine's fit with the interpreter's lock released, Ctrl-C
// and a progress callback heard while it runs, and the fits of other threads
// stopped when the interpreter exits.
#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "python/binding.h"

namespace binding {
namespace {

// How often a fit in the main thread runs the signal handlers.
constexpr std::chrono::milliseconds kSignalInterval(50);

// Set when the interpreter begins to exit: every fit then stops.
std::atomic<bool> exiting{false};
unsigned long main_thread = 0;

// What a fit hears while it runs: the signal handlers (in the main thread,
// every kSignalInterval), the caller's progress callback, the interpreter's
// exit. An exception they raise stops the fit and is raised after it.
class Watcher {
 public:
  explicit Watcher(py::object progress)
      : progress_(std::move(progress)),
        main_(PyThread_get_thread_ident() == main_thread),
        next_(std::chrono::steady_clock::now() + kSignalInterval) {}
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;
  ~Watcher() {
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(trace_);
  }

  // Called by the engine, without the lock; false stops the fit.
  bool Continue(int iteration, double ls_error) {
    if (exiting.load() && !main_) return false;
    const auto now = std::chrono::steady_clock::now();
    const bool signals = main_ && now >= next_;
    if (!signals && progress_.is_none()) return true;
    const Relocked lock;
    if (!lock) return false;
    if (signals) {
      next_ = now + kSignalInterval;
      if (PyErr_CheckSignals() != 0) return Keep();
    }
    if (progress_.is_none()) return true;
    PyObject* answer = PyObject_CallFunction(progress_.ptr(), "id", iteration, ls_error);
    if (answer == nullptr) return Keep();
    const int go_on = answer == Py_None ? 1 : PyObject_IsTrue(answer);
    Py_DECREF(answer);
    return go_on < 0 ? Keep() : go_on == 1;
  }

  // With the lock, after the fit: raises what stopped it, if anything, with
  // the fit's result as its attribute `result`.
  void RaiseKept(const py::object& result) {
    if (type_ == nullptr) return;
    PyErr_NormalizeException(&type_, &value_, &trace_);
    if (value_ != nullptr && PyObject_SetAttrString(value_, "result", result.ptr()) != 0) {
      PyErr_Clear();
    }
    PyErr_Restore(type_, value_, trace_);
    type_ = value_ = trace_ = nullptr;
    throw py::error_already_set();
  }

 private:
  bool Keep() {
    PyErr_Fetch(&type_, &value_, &trace_);
    return false;
  }

  py::object progress_;
  const bool main_;
  std::chrono::steady_clock::time_point next_;
  PyObject *type_ = nullptr, *value_ = nullptr, *trace_ = nullptr;
};

// The arguments of fit(), in order; the first four may be positional.
constexpr std::initializer_list<const char*> kFitArguments = {
    "model",  "T",      "chi",    "start",  "step",    "corrections", "iterations",
    "reqmin", "ncheck", "refine", "report", "name",    "progress",    "method",
    "bounds", "fixed",  "tmin",   "tmax",   "weights", "quantity",    "sigma"};

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

// bounds={name: (min, max)}, None for an open side.
void SetBounds(const engine::Model& model, const py::object& bounds, engine::ModelDescription& d) {
  if (bounds.is_none()) return;
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

// fixed=[names], a name, or {name: bool}.
void SetFixed(const engine::Model& model, const py::object& fixed, engine::ModelDescription& d) {
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

// method, window, weights and quantity.
void SetMethod(const std::vector<py::object>& a, engine::ModelDescription& d) {
  if (!a[13].is_none()) d.fit.method = Text(a[13], "method");
  if (!a[16].is_none()) d.fit.tmin = Real(a[16], "tmin");
  if (!a[17].is_none()) d.fit.tmax = Real(a[17], "tmax");
  if (!a[18].is_none()) d.fit.weights = Text(a[18], "weights");
  if (!a[19].is_none()) d.fit.quantity = Text(a[19], "quantity");
  if (!a[20].is_none() && a[18].is_none()) d.fit.weights = "sigma";
}

// The model's description with the starts, steps, corrections and fit
// settings given; the engine checks it when it builds the model.
engine::ModelDescription FitDescription(const engine::Model& model,
                                        const std::vector<py::object>& a) {
  const py::object &start = a[3], &step = a[4], &corrections = a[5];
  engine::ModelDescription d = model.description();
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
  const std::vector<engine::ParameterDescription> given = d.parameters;
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
    const std::string file = R"({"model": {"expression": 24}, "corrections": )" +
                             JsonText(corrections, "corrections") + "}";
    d.corrections = engine::ParseModel(file, engine::Starts::kStart, "suscep").corrections;
  }
  if (!a[6].is_none()) d.fit.iterations = Integer(a[6], "iterations");
  if (!a[7].is_none()) d.fit.reqmin = Real(a[7], "reqmin");
  if (!a[8].is_none()) d.fit.ncheck = Integer(a[8], "ncheck");
  SetBounds(model, a[14], d);
  SetFixed(model, a[15], d);
  SetMethod(a, d);
  return d;
}

engine::Data DataOf(const std::vector<py::object>& a) {
  const Array t = Vector(a[1], "T");
  const Array x = Vector(a[2], "chi");
  engine::Data data;
  data.file = a[11].is_none() ? "" : Text(a[11], "name");
  data.temperature.assign(t.data(), t.data() + t.size());
  data.chi.assign(x.data(), x.data() + x.size());
  if (!a[20].is_none()) {
    const Array e = Vector(a[20], "sigma");
    if (e.size() != x.size()) {
      throw py::value_error("sigma: " + std::to_string(e.size()) + " errors for " +
                            std::to_string(x.size()) + " points");
    }
    data.sigma.assign(e.data(), e.data() + e.size());
  }
  return data;
}

py::object Fit(const py::args& args, const py::kwargs& kwargs) {
  const std::vector<py::object> a = Bind("fit", args, kwargs, kFitArguments, 3, 4);
  const engine::Model& given = ModelArgument(a[0], "model");
  const engine::Model model(FitDescription(given, a));
  const engine::Data data = DataOf(a);
  if (!a[12].is_none() && !PyCallable_Check(a[12].ptr())) {
    throw py::type_error("progress: a callable is needed, not " +
                         py::str(py::type::handle_of(a[12]).attr("__name__")).cast<std::string>());
  }
  Watcher watcher(a[12]);
  engine::FitOptions options;
  options.refine = Flag(a[9], "refine");
  options.report = Flag(a[10], "report");
  options.document = false;                        // until asked for
  options.curves = false;                          // until a figure wants them
  options.document_name = "result.minimum_check";  // where a note points
  options.settings_style = "keywords";
  options.on_progress = [&watcher](int i, double e) { return watcher.Continue(i, e); };
  engine::FitResult fit;
  std::exception_ptr failure;
  {
    const Unlocked unlocked;
    try {
      fit = engine::Fit(model, data, options);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
  py::object result = MakeResult(std::move(fit), model);
  watcher.RaiseKept(result);
  return result;
}

}  // namespace

void DefineFit(py::module_& m) {
  main_thread = PyThread_get_thread_ident();
  // Called by threading before it waits for the threads that are not
  // daemons, so that their fits end too.
  const py::cpp_function stop_all([] { exiting = true; });
  const py::module_ threading = py::module_::import("threading");
  if (py::hasattr(threading, "_register_atexit")) {
    threading.attr("_register_atexit")(stop_all);
  } else {
    py::module_::import("atexit").attr("register")(stop_all);
  }
  m.def("fit", &Fit, Doc("fit"));
}

}  // namespace binding
