// A server of `suscep serve` in the test's process, and raw requests to it.
#ifndef SUSCEP_TESTS_SERVE_UTIL_H_
#define SUSCEP_TESTS_SERVE_UTIL_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "serve/serve.h"
#include "tests/test_util.h"

namespace serve_test {

using test_util::ReadFile;

// A connected socket to 127.0.0.1:port, or -1.
inline int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool SendAll(int fd, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

// What the server answers until it closes the connection, or until
// `wait_ms` pass with nothing more.
inline std::string ReceiveAll(int fd, int wait_ms = 20000) {
  std::string text;
  char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    // One response is enough once its body has come.
    const std::size_t head = text.find("\r\n\r\n");
    if (head != std::string::npos) {
      const std::size_t length = text.find("Content-Length: ");
      if (length != std::string::npos && length < head) {
        const std::size_t size = std::stoul(text.substr(length + 16));
        if (text.size() >= head + 4 + size) break;
      }
    }
  }
  return text;
}

// The status of a raw response, 0 when there was none.
inline int StatusOf(const std::string& response) {
  if (response.rfind("HTTP/1.", 0) != 0 || response.size() < 12) return 0;
  return std::stoi(response.substr(9, 3));
}

// One raw request on a fresh connection; the status of the answer.
inline int RawStatus(int port, const std::string& request, std::string* response = nullptr) {
  const int fd = Connect(port);
  if (fd < 0) return -1;
  SendAll(fd, request);
  const std::string r = ReceiveAll(fd);
  close(fd);
  if (response != nullptr) *response = r;
  return StatusOf(r);
}

// A server on a free port of the loopback, serving from a thread.
class Running {
 public:
  explicit Running(serve::Options o = Defaults()) : server_(o) {
    port_ = server_.Bind();
    thread_ = std::thread([this] { server_.Run(); });
    // Until it answers: a refusal of a request without the token.
    for (int i = 0; i < 500 && RawStatus(port_, "GET / HTTP/1.0\r\n\r\n") != 403; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Running() {
    server_.Stop();
    thread_.join();
  }
  static serve::Options Defaults() {
    serve::Options o;
    o.fit_workers = 2;
    o.read_timeout_seconds = 1;
    return o;
  }
  int port() const { return port_; }
  const std::string& token() const { return server_.token(); }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  // A request with the Host and the token set right, and more headers.
  std::string Request(const std::string& method, const std::string& target,
                      const std::string& body = "", const std::string& headers = "") const {
    return method + " " + target + " HTTP/1.1\r\nHost: " + host() +
           "\r\nX-Suscep-Token: " + token() + "\r\nConnection: close\r\n" + headers +
           (body.empty() && method == "GET"
                ? ""
                : "Content-Length: " + std::to_string(body.size()) + "\r\n") +
           "\r\n" + body;
  }

 private:
  serve::Server server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace serve_test

#endif  // SUSCEP_TESTS_SERVE_UTIL_H_
