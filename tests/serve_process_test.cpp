// `suscep serve` as a program: its arguments, 1,000 connections at once,
// and the end by a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/serve_util.h"

extern char** environ;

namespace {

using serve_test::RawStatus;

// The program with `args`, its standard output and error on pipes.
struct Program {
  pid_t pid = -1;
  int out = -1, err = -1;

  explicit Program(std::vector<std::string> args) {
    args.insert(args.begin(), SUSCEP_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int o[2], e[2];
    if (pipe(o) != 0 || pipe(e) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, o[1], 1);
    posix_spawn_file_actions_adddup2(&actions, e[1], 2);
    posix_spawn_file_actions_addclose(&actions, o[0]);
    posix_spawn_file_actions_addclose(&actions, e[0]);
    // A runner may have left SIGINT ignored, and an ignored signal stays so.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&pid, SUSCEP_BINARY, &actions, &attributes, argv.data(), environ) != 0) {
      pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(o[1]);
    close(e[1]);
    out = o[0];
    err = e[0];
  }
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    close(out);
    close(err);
  }
  // One line of standard output.
  std::string Line() {
    std::string line;
    char c;
    while (read(out, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  static std::string All(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }
  // The wait status once it ended.
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
};

TEST(ServeProgram, ArgumentsItCannotUseEndWithStatus2) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const std::vector<Case> cases = {
      {{"serve", "--help"}, 0, "Usage: suscep serve"},
      {{"serve", "--port"}, 2, "--port needs a value"},
      {{"serve", "--port", "65536"}, 2, "--port needs 0 to 65535"},
      {{"serve", "--port", "8x"}, 2, "--port needs a whole number, not '8x'"},
      {{"serve", "--listen", ""}, 2, "--listen needs a value"},
      {{"serve", "--colour"}, 2, "unknown option '--colour'"},
      // TEST-NET-3: no machine's own address.
      {{"serve", "--listen", "203.0.113.7"}, 2, "cannot listen on 203.0.113.7"},
  };
  for (const Case& c : cases) {
    Program p(c.args);
    const std::string text = Program::All(p.out) + Program::All(p.err);
    const int status = p.Wait();
    EXPECT_TRUE(WIFEXITED(status)) << c.args.back();
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args.back() << "\n" << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.args.back() << "\n" << text;
  }
}

// `suscep serve` runs the suscep-serve beside it; without one it says so.
TEST(ServeProgram, WithoutItsServerBesideItSaysSo) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("suscep-alone-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::copy_file(SUSCEP_BINARY, dir / "suscep", fs::copy_options::overwrite_existing);
  const std::string command = "'" + (dir / "suscep").string() + "' serve --help 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  const std::string text = Program::All(fileno(pipe));
  const int status = pclose(pipe);
  fs::remove_all(dir);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2) << text;
  EXPECT_EQ(text, "suscep serve: cannot run " + (dir / "suscep-serve").string() +
                      ": No such file or directory\n");
}

int PortOf(const std::string& line) {
  const std::size_t at = line.find("127.0.0.1:");
  return at == std::string::npos ? -1 : std::stoi(line.substr(at + 10));
}

// `suscep serve --port 0`, with the port and the token of the line it
// prints first (-1 and "" when that line has none).
struct Served {
  Program p{std::vector<std::string>{"serve", "--port", "0"}};
  const std::string line = p.Line();
  const int port = PortOf(line);
  const std::string token =
      line.find("token=") == std::string::npos ? "" : line.substr(line.find("token=") + 6);
};

TEST(ServeProgram, AThousandConnectionsAtOnceAreEachAnsweredAndItServesOn) {
  Served s;
  ASSERT_GT(s.port, 0) << s.line;
  const std::string host = "Host: 127.0.0.1:" + std::to_string(s.port) + "\r\n";
  std::vector<int> fds;
  for (int i = 0; i < 1000; ++i) {
    const int fd = serve_test::Connect(s.port);
    ASSERT_GE(fd, 0) << "connection " << i;
    fds.push_back(fd);
  }
  // All open; then each asks without the token.
  for (int fd : fds) serve_test::SendAll(fd, "GET / HTTP/1.1\r\n" + host + "\r\n");
  int refused = 0;
  for (int fd : fds) {
    refused += serve_test::StatusOf(serve_test::ReceiveAll(fd)) == 403;
    close(fd);
  }
  EXPECT_EQ(refused, 1000);
  std::string r;
  EXPECT_EQ(RawStatus(s.port,
                      "GET /api/catalogue HTTP/1.1\r\n" + host + "X-Suscep-Token: " + s.token +
                          "\r\nConnection: close\r\n\r\n",
                      &r),
            200);
  kill(s.p.pid, SIGTERM);
  const int status = s.p.Wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

TEST(ServeProgram, CtrlCStopsARunningFitAndEndsByTheSignal) {
  Served s;
  ASSERT_GT(s.port, 0) << s.line;
  const std::string head = "Host: 127.0.0.1:" + std::to_string(s.port) +
                           "\r\nX-Suscep-Token: " + s.token + "\r\nConnection: close\r\n";
  std::string r;
  const std::string data = "3\n2 0.1\n10 0.05\n300 0.002\n";
  ASSERT_EQ(RawStatus(s.port,
                      "POST /api/data HTTP/1.1\r\n" + head +
                          "Content-Length: " + std::to_string(data.size()) + "\r\n\r\n" + data,
                      &r),
            200);
  const std::size_t id_at = r.find("\"id\":\"") + 6;
  const std::string id = r.substr(id_at, r.find('"', id_at) - id_at);
  const std::string slow =
      R"({"model": {"expression": 24}, "fit": {"iterations": 1000000000, "reqmin": 1e-300}})";
  ASSERT_EQ(RawStatus(s.port,
                      "POST /api/fit?page=p&data=" + id + " HTTP/1.1\r\n" + head +
                          "Content-Length: " + std::to_string(slow.size()) + "\r\n\r\n" + slow,
                      &r),
            202)
      << r;
  kill(s.p.pid, SIGINT);
  const int status = s.p.Wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_NE(Program::All(s.p.out).find("stopped"), std::string::npos);
}

}  // namespace
