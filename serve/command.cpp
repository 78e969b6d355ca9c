// `suscep serve`: the arguments, the address printed, the browser opened on
// request, and the end by a signal.
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <exception>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>

#include "cli/cli.h"
#include "serve/serve.h"
#include "signals/signals.h"

extern char** environ;

namespace serve {
namespace {

constexpr char kUsage[] = R"(Usage: suscep serve [--port N] [--listen ADDR] [--open]
Serves a web page for fitting: a magnetometer's file or a data file, a
model from the catalogue, the fit with its progress, the figure and the
downloads. Prints the page's address, with a token that every request must
carry; nothing is written to disk. Ctrl-C ends it.
Options:
  --port N       the port (default 0: a free one)
  --listen ADDR  the address to listen on (default 127.0.0.1, this machine
                 only); any other lets other machines reach the page
  --open         open the page in the desktop's browser (xdg-open)
  -h, --help     show this text
Exit status: 2 a usage error or an address it cannot listen on; ended by a
signal, the signal's status (130 for Ctrl-C).
)";

void OpenBrowser(const std::string& url, std::ostream& err) {
  const char* args[] = {"xdg-open", url.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(args), environ) !=
      0) {
    err << "suscep serve: note: cannot start xdg-open; open the address by hand\n";
    return;
  }
  // Reaped from a thread of its own, so that no zombie stays.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

}  // namespace

int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  cli::Grammar grammar("suscep serve", kUsage);
  Options options;
  bool open = false;
  std::optional<std::string> listen;
  grammar.Integer("--port", options.port, 0, 65535);
  grammar.Text("--listen", listen);
  grammar.Flag("--open", open);
  if (const auto status = grammar.Parse(argc, argv, out, err)) return *status;
  if (listen) options.listen = *listen;
  const bool wide =
      options.listen != "127.0.0.1" && options.listen != "localhost" && options.listen != "::1";
  // Before any thread starts, so that every thread holds them back.
  signals::EndingWait ending;
  Server server(options);
  try {
    server.Bind();
  } catch (const std::exception& e) {
    err << "suscep serve: " << e.what() << "\n";
    return 2;
  }
  if (wide) {
    err << "suscep serve: warning: listening on " << options.listen
        << ": other machines may reach the page; the token is all that guards it\n";
  }
  out << "suscep serve: the page is at " << server.Url() << "\n"
      << "Press Ctrl-C to stop.\n";
  out.flush();
  if (open) OpenBrowser(server.Url(), err);
  std::atomic<bool> ended{false};
  std::thread http([&server, &ended] {
    server.Run();
    ended = true;
  });
  int sig = 0;
  while ((sig = ending.Wait(200)) == 0 && !ended) {
  }
  server.Stop();
  http.join();
  out << "suscep serve: stopped\n";
  out.flush();
  if (sig == 0) {
    err << "suscep serve: the server ended by itself\n";
    return 3;
  }
  signals::EndBy(sig);
}

}  // namespace serve
