// The program's two ways of ending early, caught only by driver::Main.
#ifndef SUSCEP_FORMAT_ERRORS_H_
#define SUSCEP_FORMAT_ERRORS_H_

#include <stdexcept>
#include <string>
#include <utility>

namespace format {

// A run-time error report: the program ends with exit status 2 after
// writing what() to standard error. The message names the operation
// (open, read, write, close), the file or console input, and the text.
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a number for its target: a RunTimeError that says
// what could not be read, so that a console on a terminal can ask again.
class UnreadableAnswer : public RunTimeError {
 public:
  UnreadableAnswer(const std::string& what, std::string detail)
      : RunTimeError(what), detail_(std::move(detail)) {}
  // What could not be read, e.g. "n" is not a number.
  const std::string& detail() const { return detail_; }

 private:
  std::string detail_;
};

// An orderly end ("Stop - Program terminated.", exit status 0). Thrown after
// the caller has written its own message, if any; main writes the stop line.
struct ProgramStop {};

}  // namespace format

#endif  // SUSCEP_FORMAT_ERRORS_H_
