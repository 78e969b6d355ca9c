// The program's signal handling, in one place: how SIGINT, SIGTERM and
// SIGHUP end it, Ctrl-C during a fit, Ctrl-Z at a terminal, and what is put
// back before the program ends or stops.
#ifndef SUSCEP_SIGNALS_SIGNALS_H_
#define SUSCEP_SIGNALS_SIGNALS_H_

#include <signal.h>

namespace signals {

// Once, at start-up. SIGINT, SIGTERM
// and SIGHUP that the caller left ignored stay ignored; the others end the
// program after the clean-ups have run and the terminal is set back, by
// raising the same signal on the process itself with its default action.
// SIGTSTP (Ctrl-Z) sets the terminal back before the program stops and
// resumes it afterwards. SIGQUIT keeps its default. SIGPIPE and SIGXFSZ are
// ignored, so that a closed pipe and a file-size limit show as write errors.
// Every handler restarts the system call it interrupts.
void Install();

// True when Install() found `sig` ignored.
bool IgnoredAtStart(int sig);

// A function run by the handler before the program ends by a signal: only
// async-signal-safe calls. At most four; false when there is no room.
using Cleanup = void (*)();
bool AtSignalEnd(Cleanup cleanup);

// Holds back the signals that end the program for its lifetime, so that a
// clean-up never sees its data half changed.
class Block {
 public:
  Block();
  ~Block();
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

 private:
  sigset_t old_;
};

// The terminal on `fd`, as it is set now, is what a signal that ends or
// stops the program puts back. KeepTerminal(-1) forgets it.
void KeepTerminal(int fd);

// What happened since the last call, for a reader waiting at a terminal:
// the program was continued after a stop (its terminal settings are back
// already; the line needs drawing again), or the window changed size.
struct Events {
  bool continued = false;
  bool resized = false;
};
Events TakeEvents();

// Ctrl-C during a fit: while one lives, the first SIGINT only sets
// Requested(); a second ends the program as SIGINT otherwise does. With
// SIGINT ignored nothing changes. One at a time.
class Interruptible {
 public:
  Interruptible();
  ~Interruptible();
  Interruptible(const Interruptible&) = delete;
  Interruptible& operator=(const Interruptible&) = delete;

  bool Requested() const;
};

// For a server whose main thread waits for the end: holds back SIGINT,
// SIGTERM and SIGHUP in the calling thread and in every thread it starts
// afterwards (call before starting any), and waits for one of them.
class EndingWait {
 public:
  EndingWait();
  ~EndingWait();
  EndingWait(const EndingWait&) = delete;
  EndingWait& operator=(const EndingWait&) = delete;

  // The signal that arrived within `milliseconds`, or 0. Signals that were
  // ignored at Install() stay ignored.
  int Wait(int milliseconds);

 private:
  sigset_t set_;
  sigset_t old_;
};

// Ends the program by `sig` as the handlers do: the clean-ups run, the
// terminal is set back and the signal is raised on the process itself.
[[noreturn]] void EndBy(int sig);

}  // namespace signals

#endif  // SUSCEP_SIGNALS_SIGNALS_H_
