// `suscep serve`: the arguments, the address printed, the browser opened on
// request, and the end by a signal.
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <charconv>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>

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
  --help         show this text
Exit status: 2 a usage error or an address it cannot listen on; ended by a
signal, the signal's status (130 for Ctrl-C).
)";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Arguments {
  Options options;
  bool open = false, help = false;
};

Arguments Parse(int argc, const char* const argv[]) {
  Arguments a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help") {
      a.help = true;
    } else if (arg == "--open") {
      a.open = true;
    } else if (arg == "--port") {
      const std::string text = value();
      int port = -1;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
      if (ec != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535) {
        throw UsageError("--port needs 0 to 65535");
      }
      a.options.port = port;
    } else if (arg == "--listen") {
      a.options.listen = value();
      if (a.options.listen.empty()) throw UsageError("--listen needs an address");
    } else {
      throw UsageError("unknown argument '" + arg.substr(0, 80) + "'");
    }
  }
  return a;
}

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
  Arguments a;
  try {
    a = Parse(argc, argv);
  } catch (const UsageError& e) {
    err << "suscep serve: " << e.what() << "\n" << kUsage;
    return 2;
  }
  if (a.help) {
    out << kUsage;
    return 0;
  }
  const bool wide = a.options.listen != "127.0.0.1" && a.options.listen != "localhost" &&
                    a.options.listen != "::1";
  // Before any thread starts, so that every thread holds them back.
  signals::EndingWait ending;
  Server server(a.options);
  try {
    server.Bind();
  } catch (const std::exception& e) {
    err << "suscep serve: " << e.what() << "\n";
    return 2;
  }
  if (wide) {
    err << "suscep serve: warning: listening on " << a.options.listen
        << ": other machines may reach the page; the token is all that guards it\n";
  }
  out << "suscep serve: the page is at " << server.Url() << "\n"
      << "Press Ctrl-C to stop.\n";
  out.flush();
  if (a.open) OpenBrowser(server.Url(), err);
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
