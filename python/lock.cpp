// The interpreter's lock given up while C++ runs, and the interpreter's exit.
//
// Once the interpreter has begun to finalize, a thread that waits for the lock
// is ended by pthread_exit (Python 3.11), which unwinds the module's C++
// frames without the lock: destructors would touch Python objects while the
// interpreter frees them, and a noexcept frame aborts the process. So the
// module closes a gate just before the interpreter finalizes. Threads that
// would take the lock back after that park for good instead; the thread that
// closes the gate waits, briefly and without the lock, for those that passed
// the gate before it closed.
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "python/binding.h"

namespace binding {
namespace {

// How long the exit waits for threads taking the lock back or in Python code
// the module called; a callback that runs longer is not waited for.
constexpr std::chrono::seconds kExitWait(1);

struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  int passing = 0;  // threads past the gate, taking the lock or in Python code
  bool closed = false;
  std::thread::id closer;  // the thread that closed it, which never parks
};

// Never destroyed: parked threads hold it. A child process made by fork()
// gets a new one, in case another thread held its mutex at the fork.
Gate*& GatePointer() {
  static Gate* gate = [] {
    pthread_atfork(nullptr, nullptr, [] { GatePointer() = new Gate; });
    return new Gate;
  }();
  return gate;
}

Gate& TheGate() { return *GatePointer(); }

// Whether the calling thread may go on into Python; counts it as passing.
bool Pass() {
  Gate& g = TheGate();
  const std::lock_guard<std::mutex> hold(g.mutex);
  if (g.closed && std::this_thread::get_id() != g.closer) return false;
  ++g.passing;
  return true;
}

void Passed() {
  Gate& g = TheGate();
  {
    const std::lock_guard<std::mutex> hold(g.mutex);
    --g.passing;
  }
  g.changed.notify_all();
}

[[noreturn]] void Park() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
}

// Called by atexit with the lock, after the threads that are not daemons
// have ended and just before the interpreter finalizes.
void Close() {
  Gate& g = TheGate();
  {
    const std::lock_guard<std::mutex> hold(g.mutex);
    g.closed = true;
    g.closer = std::this_thread::get_id();
  }
  PyThreadState* state = PyEval_SaveThread();
  {
    std::unique_lock<std::mutex> hold(g.mutex);
    g.changed.wait_for(hold, kExitWait, [&g] { return g.passing == 0; });
  }
  PyEval_RestoreThread(state);
}

}  // namespace

Unlocked::Unlocked() : state_(PyEval_SaveThread()) {}

Unlocked::~Unlocked() {
  if (!Pass()) Park();
  PyEval_RestoreThread(state_);
  Passed();
}

Relocked::Relocked() : locked_(Pass()) {
  if (locked_) PyEval_RestoreThread(PyGILState_GetThisThreadState());
}

Relocked::~Relocked() {
  if (!locked_) return;
  PyEval_SaveThread();
  Passed();
}

CallingPython::CallingPython() {
  if (!Pass()) throw std::runtime_error("the interpreter is exiting");
}

CallingPython::~CallingPython() { Passed(); }

void DefineExit(py::module_&) {
  {
    Gate& g = TheGate();
    const std::lock_guard<std::mutex> hold(g.mutex);
    g.closed = false;  // an interpreter made again in the same process
  }
  py::module_::import("atexit").attr("register")(py::cpp_function(&Close));
}

}  // namespace binding
