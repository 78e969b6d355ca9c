// The Python module suscep: the program's model library, data reader and
// fit, over numpy arrays.
#include <pybind11/pybind11.h>

namespace py = pybind11;

PYBIND11_MODULE(suscep, m) {
  m.doc() = "Fits of the molar magnetic susceptibility against temperature.";
  m.attr("__version__") = SUSCEP_VERSION;
}
