// The program's two ways of ending early, caught only by driver::Main.
#ifndef SUSCEP_FORMAT_ERRORS_H_
#define SUSCEP_FORMAT_ERRORS_H_

#include <stdexcept>

namespace format {

// A run-time error report: the program ends with exit status 2 after
// writing what() to standard error. The message names the operation
// (open, read, write, close), the file or console input, and the text.
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An orderly end ("Stop - Program terminated.", exit status 0). Thrown after
// the caller has written its own message, if any; main writes the stop line.
struct ProgramStop {};

}  // namespace format

#endif  // SUSCEP_FORMAT_ERRORS_H_
