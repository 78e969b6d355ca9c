// The signal module in the process itself; each case that ends or stops
// the process runs in a child.
#include "signals/signals.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

namespace {

// A child that hangs, because a signal went astray, ends by SIGALRM after
// this many seconds instead of holding the test run.
constexpr unsigned kChildLimit = 60;

// Runs `body` in a child with the dispositions a shell would give, and
// returns its wait status.
template <typename Body>
int InChild(Body body, std::initializer_list<int> ignored = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kChildLimit);
    // A group of its own: a signal sent to the group reaches no test runner.
    setpgid(0, 0);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGPIPE}) signal(sig, SIG_DFL);
    for (int sig : ignored) signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    body();
    _exit(0);
  }
  // No case here stops its child: one that stops all the same (a stop
  // signal handled that should not be) would wait for ever, and is ended.
  int status = 0;
  while (waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status)) kill(pid, SIGKILL);
  return status;
}

bool KilledBy(int status, int sig) { return WIFSIGNALED(status) && WTERMSIG(status) == sig; }
bool Exited(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

int g_cleanup_pipe = -1;
void WriteCleanupMark() {
  const char mark = 'c';
  if (write(g_cleanup_pipe, &mark, 1) != 1) _exit(99);
}

TEST(Signals, EndingSignalsRunTheCleanUpsAndEndTheProcessBySignal) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    g_cleanup_pipe = fds[1];
    const int status = InChild([sig] {
      signals::Install();
      if (!signals::AtSignalEnd(WriteCleanupMark)) _exit(3);
      raise(sig);
      _exit(4);
    });
    close(fds[1]);
    char mark = 0;
    EXPECT_EQ(read(fds[0], &mark, 1), 1) << sig;
    EXPECT_EQ(mark, 'c') << sig;
    close(fds[0]);
    EXPECT_TRUE(KilledBy(status, sig)) << sig << ": " << status;
  }
}

template <char kMark>
void Mark() {
  const char mark = kMark;
  if (write(g_cleanup_pipe, &mark, 1) != 1) _exit(99);
}

// Room for four clean-ups, run in the order given; a fifth is refused.
TEST(Signals, FourCleanUpsRunInTurnAndAFifthIsRefused) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  g_cleanup_pipe = fds[1];
  const int status = InChild([] {
    signals::Install();
    const signals::Cleanup four[] = {Mark<'1'>, Mark<'2'>, Mark<'3'>, Mark<'4'>};
    for (signals::Cleanup c : four) {
      if (!signals::AtSignalEnd(c)) _exit(3);
    }
    if (signals::AtSignalEnd(Mark<'5'>)) _exit(4);
    raise(SIGTERM);
    _exit(5);
  });
  close(fds[1]);
  char marks[8] = {};
  EXPECT_EQ(read(fds[0], marks, sizeof marks - 1), 4);
  close(fds[0]);
  EXPECT_STREQ(marks, "1234");
  EXPECT_TRUE(KilledBy(status, SIGTERM)) << status;
}

TEST(Signals, IgnoredSignalsStayIgnored) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP}) {
    const int status = InChild(
        [sig] {
          signals::Install();
          if (!signals::IgnoredAtStart(sig)) _exit(5);
          raise(sig);
          // Ctrl-C during a fit is not asked for either.
          const signals::Interruptible interrupt;
          raise(SIGINT);
          _exit(interrupt.Requested() ? 6 : 0);
        },
        {sig});
    EXPECT_TRUE(sig == SIGINT ? Exited(status, 0) : Exited(status, 6)) << sig << ": " << status;
  }
  // Not ignored: not reported as ignored.
  EXPECT_TRUE(Exited(InChild([] {
                       signals::Install();
                       _exit(signals::IgnoredAtStart(SIGHUP) ? 7 : 0);
                     }),
                     0));
}

TEST(Signals, TheFirstCtrlCOfAFitAsksItToStopTheSecondEndsTheProgram) {
  const int status = InChild([] {
    signals::Install();
    {
      const signals::Interruptible interrupt;
      if (interrupt.Requested()) _exit(10);
      raise(SIGINT);
      if (!interrupt.Requested()) _exit(11);
    }
    {
      // A new fit starts without a request.
      const signals::Interruptible interrupt;
      if (interrupt.Requested()) _exit(12);
      raise(SIGINT);
      raise(SIGINT);
    }
    _exit(13);
  });
  EXPECT_TRUE(KilledBy(status, SIGINT)) << status;
  // Outside a fit the first one ends it.
  EXPECT_TRUE(KilledBy(InChild([] {
                         signals::Install();
                         { const signals::Interruptible interrupt; }
                         raise(SIGINT);
                         _exit(14);
                       }),
                       SIGINT));
}

TEST(Signals, EveryHandlerRestartsTheCallItInterrupts) {
  const int status = InChild([] {
    signals::Install();
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT, SIGWINCH}) {
      struct sigaction now {};
      sigaction(sig, nullptr, &now);
      if (now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN) _exit(20);
      if ((now.sa_flags & SA_RESTART) == 0) _exit(21);
    }
    // A closed pipe and a file-size limit are write errors, not the end.
    for (int sig : {SIGPIPE, SIGXFSZ}) {
      struct sigaction now {};
      sigaction(sig, nullptr, &now);
      if (now.sa_handler != SIG_IGN) _exit(22);
    }
    // SIGQUIT keeps its default.
    struct sigaction quit {};
    sigaction(SIGQUIT, nullptr, &quit);
    _exit(quit.sa_handler == SIG_DFL ? 0 : 23);
  });
  EXPECT_TRUE(Exited(status, 0)) << status;
}

TEST(Signals, ABlockHoldsTheEndingSignalsBack) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int status = InChild([&fds] {
    signals::Install();
    {
      const signals::Block block;
      raise(SIGTERM);
      if (write(fds[1], "b", 1) != 1) _exit(30);
    }
    _exit(31);
  });
  close(fds[1]);
  char mark = 0;
  EXPECT_EQ(read(fds[0], &mark, 1), 1);
  close(fds[0]);
  EXPECT_TRUE(KilledBy(status, SIGTERM)) << status;
}

// A server's wait for the end: the ending signal that arrived, held back
// until asked for; none yet is 0, and one ignored at the start never comes.
TEST(Signals, AnEndingWaitGivesTheSignalThatArrived) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_TRUE(Exited(InChild([sig] {
                         signals::Install();
                         signals::EndingWait ending;
                         if (ending.Wait(0) != 0) _exit(40);
                         raise(sig);
                         _exit(ending.Wait(60000) == sig ? 0 : 41);
                       }),
                       0))
        << sig;
  }
  EXPECT_TRUE(Exited(InChild(
                         [] {
                           signals::Install();
                           signals::EndingWait ending;
                           raise(SIGTERM);
                           _exit(ending.Wait(0) == 0 ? 0 : 42);
                         },
                         {SIGTERM}),
                     0));
}

TEST(Signals, TheTerminalIsSetBackWhenASignalEndsOrStopsTheProgram) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios cooked{};
  ASSERT_EQ(tcgetattr(slave, &cooked), 0);
  ASSERT_NE(cooked.c_lflag & ECHO, 0u);
  const auto raw = [slave] {
    termios t{};
    tcgetattr(slave, &t);
    t.c_lflag &= ~(ECHO | ICANON);
    tcsetattr(slave, TCSANOW, &t);
  };
  // Ended by a signal: the settings kept are back.
  const int status = InChild([&] {
    signals::Install();
    signals::KeepTerminal(slave);
    raw();
    raise(SIGTERM);
    _exit(40);
  });
  EXPECT_TRUE(KilledBy(status, SIGTERM)) << status;
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
  EXPECT_NE(after.c_lflag & ICANON, 0u);
  // Stopped: set back while stopped, and the editing settings again after.
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kChildLimit);
    // A group of its own whose parent is in the session: it can be stopped.
    setpgid(0, 0);
    signal(SIGTSTP, SIG_DFL);
    signals::Install();
    signals::KeepTerminal(slave);
    raw();
    raise(SIGTSTP);
    termios resumed{};
    tcgetattr(slave, &resumed);
    _exit((resumed.c_lflag & ECHO) == 0 && signals::TakeEvents().continued ? 0 : 41);
  }
  int stopped = 0;
  ASSERT_EQ(waitpid(pid, &stopped, WUNTRACED), pid);
  ASSERT_TRUE(WIFSTOPPED(stopped)) << stopped;
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
  kill(pid, SIGCONT);
  int ended = 0;
  ASSERT_EQ(waitpid(pid, &ended, 0), pid);
  EXPECT_TRUE(Exited(ended, 0)) << ended;
  // Forgotten: nothing is set.
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &cooked), 0);
  EXPECT_TRUE(KilledBy(InChild([&] {
                         signals::Install();
                         signals::KeepTerminal(slave);
                         signals::KeepTerminal(-1);
                         raw();
                         raise(SIGHUP);
                       }),
                       SIGHUP));
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_lflag & ECHO, 0u);
  close(master);
  close(slave);
}

}  // namespace
