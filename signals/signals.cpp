#include "signals/signals.h"

#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace signals {
namespace {

constexpr int kEnding[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kMaxCleanups = 4;

Cleanup g_cleanups[kMaxCleanups];
volatile sig_atomic_t g_cleanup_count = 0;
bool g_ignored[NSIG];

// The terminal to put back; g_terminal is read only while g_terminal_fd
// names a terminal.
volatile sig_atomic_t g_terminal_fd = -1;
termios g_terminal;

volatile sig_atomic_t g_interruptible = 0;
volatile sig_atomic_t g_interrupts = 0;
volatile sig_atomic_t g_continued = 0;
volatile sig_atomic_t g_resized = 0;

void PutTerminalBack() {
  const int fd = g_terminal_fd;
  if (fd >= 0) tcsetattr(fd, TCSANOW, &g_terminal);
}

void SetHandler(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int other : kEnding) sigaddset(&action.sa_mask, other);
  sigaddset(&action.sa_mask, SIGTSTP);
  // The terminal is set from the background too, without being stopped.
  sigaddset(&action.sa_mask, SIGTTOU);
  // A console write or read in progress goes on rather than failing.
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

void Unblock(int sig) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// Runs the clean-ups, sets the terminal back and ends the process by
// `sig`, on itself only.
void EndProcessBy(int sig) {
  const int count = g_cleanup_count;
  for (int i = 0; i < count; ++i) g_cleanups[i]();
  PutTerminalBack();
  SetHandler(sig, SIG_DFL);
  raise(sig);
  Unblock(sig);
}

extern "C" void OnEnding(int sig) {
  const int saved = errno;
  if (sig == SIGINT && g_interruptible && g_interrupts == 0) {
    g_interrupts = 1;
  } else {
    EndProcessBy(sig);
  }
  errno = saved;
}

extern "C" void OnStop(int sig) {
  const int saved = errno;
  const int fd = g_terminal_fd;
  termios now;
  const bool kept = fd >= 0 && tcgetattr(fd, &now) == 0;
  if (kept) PutTerminalBack();
  // Stops here when a job-control shell can continue the program; an
  // orphaned process group is not stopped, and nothing changes.
  SetHandler(sig, SIG_DFL);
  raise(sig);
  Unblock(sig);
  SetHandler(sig, OnStop);
  if (kept) tcsetattr(fd, TCSANOW, &now);
  errno = saved;
}

extern "C" void OnContinue(int) { g_continued = 1; }

extern "C" void OnResize(int) { g_resized = 1; }

bool Ignored(int sig) {
  struct sigaction old {};
  return sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

}  // namespace

void Install() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP}) {
    g_ignored[sig] = Ignored(sig);
    if (!g_ignored[sig]) SetHandler(sig, sig == SIGTSTP ? OnStop : OnEnding);
  }
  SetHandler(SIGCONT, OnContinue);
  SetHandler(SIGWINCH, OnResize);
  SetHandler(SIGPIPE, SIG_IGN);
  SetHandler(SIGXFSZ, SIG_IGN);
}

bool IgnoredAtStart(int sig) { return sig > 0 && sig < NSIG && g_ignored[sig]; }

bool AtSignalEnd(Cleanup cleanup) {
  const Block block;
  if (g_cleanup_count == kMaxCleanups) return false;
  g_cleanups[g_cleanup_count] = cleanup;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_cleanup_count = g_cleanup_count + 1;
  return true;
}

Block::Block() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEnding) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, &old_);
}

Block::~Block() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

void KeepTerminal(int fd) {
  const Block block;
  g_terminal_fd = -1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (fd >= 0 && tcgetattr(fd, &g_terminal) == 0) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_terminal_fd = fd;
  }
}

Events TakeEvents() {
  Events events;
  events.continued = g_continued != 0;
  events.resized = g_resized != 0;
  g_continued = 0;
  g_resized = 0;
  return events;
}

Interruptible::Interruptible() {
  g_interrupts = 0;
  g_interruptible = 1;
}

Interruptible::~Interruptible() { g_interruptible = 0; }

bool Interruptible::Requested() const { return g_interrupts > 0; }

EndingWait::EndingWait() {
  sigemptyset(&set_);
  for (int sig : kEnding) {
    if (!IgnoredAtStart(sig)) sigaddset(&set_, sig);
  }
  pthread_sigmask(SIG_BLOCK, &set_, &old_);
}

EndingWait::~EndingWait() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

int EndingWait::Wait(int milliseconds) {
  const timespec timeout{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  const int sig = sigtimedwait(&set_, nullptr, &timeout);
  return sig > 0 ? sig : 0;
}

void EndBy(int sig) {
  EndProcessBy(sig);
  // Reached only when the signal does not end the program (ignored by a
  // caller that changed it after Install()).
  _exit(128 + sig);
}

}  // namespace signals
