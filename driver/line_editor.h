// Answers typed on a terminal: line editing and a history of this run's
// answers.
#ifndef SUSCEP_DRIVER_LINE_EDITOR_H_
#define SUSCEP_DRIVER_LINE_EDITOR_H_

#include <istream>
#include <memory>
#include <ostream>

namespace driver {

// A console on standard input and output, both terminals, whose answer
// lines are read through libedit (arrow keys, Home/End, recall of earlier
// answers). The program's prompts are written to `out()` as they are; the
// editor reads the answer line only, byte for byte as typed. Signals are
// left to signals/signals.h, which sets the terminal back.
class LineEditor {
 public:
  // nullptr when line editing is not available (built without libedit, or
  // the terminal cannot be set up): the caller reads lines as they are.
  static std::unique_ptr<LineEditor> Open();
  virtual ~LineEditor() = default;

  virtual std::istream& in() = 0;
  virtual std::ostream& out() = 0;
};

}  // namespace driver

#endif  // SUSCEP_DRIVER_LINE_EDITOR_H_
