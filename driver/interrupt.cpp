#include "driver/interrupt.h"

#include <signal.h>

#include <csignal>

namespace driver {
namespace {

volatile std::sig_atomic_t g_interrupts = 0;
struct sigaction g_previous;

extern "C" void OnInterrupt(int) {
  g_interrupts = g_interrupts + 1;
  if (g_interrupts < 2) return;
  // SIGINT is blocked in here: raised now, it is taken with the previous
  // disposition as soon as this handler returns.
  sigaction(SIGINT, &g_previous, nullptr);
  raise(SIGINT);
}

}  // namespace

FitInterrupt::FitInterrupt() {
  g_interrupts = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // A console write in progress goes on rather than failing with EINTR.
  action.sa_flags = SA_RESTART;
  struct sigaction previous {};
  if (sigaction(SIGINT, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
  g_previous = previous;
  installed_ = sigaction(SIGINT, &action, nullptr) == 0;
}

FitInterrupt::~FitInterrupt() {
  if (installed_) sigaction(SIGINT, &g_previous, nullptr);
}

bool FitInterrupt::Requested() const { return g_interrupts > 0; }

}  // namespace driver
