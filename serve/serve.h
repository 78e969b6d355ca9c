// `suscep serve`: a local web page over the engine and the import, served
// on the loopback with a random token.
#ifndef SUSCEP_SERVE_SERVE_H_
#define SUSCEP_SERVE_SERVE_H_

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

namespace serve {

struct Options {
  std::string listen = "127.0.0.1";  // the address to listen on
  int port = 0;                      // 0: a free port the system chooses
  std::string token;                 // empty: a random one
  int fit_workers = 0;               // 0: the processors, 1 to 8
  int http_threads = 16;             // connections served at once
  int read_timeout_seconds = 5;      // a client that sends nothing for this long is dropped
  std::size_t upload_limit = 64u << 20;
};

class Server {
 public:
  explicit Server(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds the address; returns the port. Throws std::runtime_error when it
  // cannot.
  int Bind();
  // Serves until Stop(); from one thread, after Bind().
  void Run();
  // From any thread: ends Run(), stops the fits and waits for them.
  void Stop();

  const std::string& token() const;
  // http://HOST:PORT/?token=...
  std::string Url() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// `suscep serve ...`: argv[0] is "serve". Serves until SIGINT, SIGTERM or
// SIGHUP, which end the program by the same signal once the fits have
// stopped. Exit status 2 for a usage error or an address it cannot listen on.
int Main(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace serve

#endif  // SUSCEP_SERVE_SERVE_H_
