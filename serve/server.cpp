// The HTTP side: every request checked (the Host, the token, the origin,
// the size), the routes, and the page embedded in the program.
#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

#include "serve/page.h"
#include "serve/serve.h"
#include "serve/service.h"

namespace serve {
namespace {

constexpr std::size_t kJsonLimit = 1u << 20;  // a model file
constexpr char kTokenHeader[] = "X-Suscep-Token";

std::string RandomToken() {
  std::random_device device;
  std::string token;
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 8; ++i) {
    const unsigned word = device();
    for (int k = 0; k < 8; ++k) token += kHex[(word >> (4 * k)) & 15u];
  }
  return token;
}

bool SameToken(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}

bool Loopback(const std::string& host) {
  if (host == "localhost" || host == "[::1]") return true;
  // 127.0.0.0/8, as dotted digits.
  if (host.rfind("127.", 0) != 0) return false;
  int dots = 0;
  for (char c : host) {
    if (c == '.') {
      ++dots;
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return dots == 3;
}

// An address as digits (IPv4) or in brackets (IPv6): a name no DNS answer
// can point elsewhere.
bool AddressLiteral(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    return std::all_of(host.begin() + 1, host.end() - 1, [](char c) {
      return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
    });
  }
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
  });
}

// The host of a Host header, without its port; empty when malformed.
std::string HostName(const std::string& header) {
  std::string host = header;
  const std::size_t colon = host.rfind(':');
  const std::size_t bracket = host.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    const std::string port = host.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return "";
    }
    host.resize(colon);
  }
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

Params ParamsOf(const httplib::Request& req) {
  Params p;
  for (const auto& [name, value] : req.params) p.emplace(name, value);
  return p;
}

void Send(httplib::Response& res, const Reply& reply) {
  res.status = reply.status;
  res.set_content(reply.body, reply.type.c_str());
}

// A refused request's connection is closed, so that a client that is
// refused holds no thread while it waits.
void Refuse(httplib::Response& res, int status, const std::string& message) {
  Send(res, ErrorReply(status, message));
  res.set_header("Connection", "close");
}

// The library listens with a backlog of 5: a burst of connections would
// wait for retransmissions. Its socket listens again with the system's.
class HttpServer : public httplib::Server {
 public:
  void WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

}  // namespace

struct Server::Impl {
  Options options;
  int port = 0;
  std::mutex run_mutex;
  bool stopping = false, run_entered = false;
  std::atomic<bool> run_done{false};
  HttpServer http;
  Service service;

  explicit Impl(Options o)
      : options(std::move(o)),
        service(options.fit_workers > 0
                    ? options.fit_workers
                    : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))) {
    if (options.token.empty()) options.token = RandomToken();
    Setup();
  }

  bool HostAllowed(const httplib::Request& req) const {
    if (!req.has_header("Host")) return false;
    const std::string host = HostName(req.get_header_value("Host"));
    if (Loopback(host)) return true;
    // Listening elsewhere, by request: the address itself, as typed or as
    // any address literal.
    return !Loopback(options.listen) && options.listen != "::1" && AddressLiteral(host);
  }

  httplib::Server::HandlerResponse Check(const httplib::Request& req, httplib::Response& res) {
    using R = httplib::Server::HandlerResponse;
    if (!HostAllowed(req)) {
      Refuse(res, 403, "the Host header does not name this server");
      return R::Handled;
    }
    if (req.has_header("Origin")) {
      const std::string origin = req.get_header_value("Origin");
      if (origin != "http://" + req.get_header_value("Host")) {
        Refuse(res, 403, "requests from other sites are refused");
        return R::Handled;
      }
    }
    const std::string token = req.has_header(kTokenHeader) ? req.get_header_value(kTokenHeader)
                                                           : req.get_param_value("token");
    if (!SameToken(token, options.token)) {
      Refuse(res, 403, "the token is missing or wrong: open the address the server printed");
      return R::Handled;
    }
    const std::size_t limit = req.path == "/api/data" ? options.upload_limit : kJsonLimit;
    if (req.has_header("Content-Length") &&
        std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10) > limit) {
      Refuse(res, 413, "the body is larger than " + std::to_string(limit >> 20) + " MB");
      return R::Handled;
    }
    return R::Unhandled;
  }

  void Setup() {
    const int threads = std::clamp(options.http_threads, 2, 256);
    http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    http.set_read_timeout(options.read_timeout_seconds, 0);
    http.set_write_timeout(options.read_timeout_seconds, 0);
    http.set_keep_alive_timeout(options.read_timeout_seconds);
    http.set_keep_alive_max_count(100);
    http.set_payload_max_length(options.upload_limit);
    http.set_default_headers({
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'; "
         "connect-src 'self'; frame-ancestors 'none'; form-action 'none'"},
    });
    http.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return Check(req, res); });
    http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
          Refuse(res, 500, "the server failed on this request");
        });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty()) {
        Refuse(res, res.status, res.status == 404 ? "not found" : "refused");
      }
    });

    auto page = [this](const char* text, const char* type) {
      return [this, text, type](const httplib::Request&, httplib::Response& res) {
        std::string body = text;
        for (std::size_t at = 0; (at = body.find("__TOKEN__", at)) != std::string::npos;) {
          body.replace(at, 9, options.token);
        }
        res.set_content(body, type);
      };
    };
    http.Get("/", page(page::kHtml, "text/html; charset=utf-8"));
    http.Get("/page.css", page(page::kCss, "text/css; charset=utf-8"));
    http.Get("/page.js", page(page::kJs, "text/javascript; charset=utf-8"));
    http.Get("/api/catalogue", [this](const httplib::Request&, httplib::Response& res) {
      Send(res, service.Catalogue());
    });
    http.Post("/api/data", [this](const httplib::Request& req, httplib::Response& res) {
      Send(res, service.Data(req.body, req.get_param_value("name"), ParamsOf(req)));
    });
    http.Post("/api/fit", [this](const httplib::Request& req, httplib::Response& res) {
      Send(res, service.StartFit(req.body, ParamsOf(req)));
    });
    http.Get("/api/overview", [this](const httplib::Request& req, httplib::Response& res) {
      Send(res, service.Overview(ParamsOf(req)));
    });
    const std::string job = R"(/api/job/([A-Za-z0-9_-]{1,64}))";
    http.Get(job, [this](const httplib::Request& req, httplib::Response& res) {
      Send(res, service.JobState(req.matches[1]));
    });
    http.Post(job + "/cancel", [this](const httplib::Request& req, httplib::Response& res) {
      Send(res, service.Cancel(req.matches[1]));
    });
    http.Get(job + "/figure", [this](const httplib::Request& req, httplib::Response& res) {
      Send(res, service.Figure(req.matches[1], ParamsOf(req)));
    });
    http.Get(job + "/(document|report|svg|csv)",
             [this](const httplib::Request& req, httplib::Response& res) {
               Send(res, service.Download(req.matches[1], req.matches[2], ParamsOf(req)));
             });
    // Any other method on a known path: 405 with what is allowed.
    const std::pair<const char*, const char*> known[] = {
        {"/", "GET"},
        {"/page.css", "GET"},
        {"/page.js", "GET"},
        {"/api/catalogue", "GET"},
        {"/api/data", "POST"},
        {"/api/fit", "POST"},
        {"/api/overview", "GET"},
    };
    auto not_allowed = [known, job](const httplib::Request& req, httplib::Response& res) {
      std::string allow;
      for (const auto& [path, method] : known) {
        if (req.path == path) allow = method;
      }
      const std::regex job_path(job + "(/cancel|/figure|/document|/report|/svg|/csv)?");
      std::smatch m;
      if (allow.empty() && std::regex_match(req.path, m, job_path)) {
        allow = m[1] == "/cancel" ? "POST" : "GET";
      }
      if (allow.empty()) return Refuse(res, 404, "not found");
      res.set_header("Allow", allow);
      Refuse(res, 405, "use " + allow + " here");
    };
    http.Get(".*", not_allowed);
    http.Post(".*", not_allowed);
    http.Put(".*", not_allowed);
    http.Patch(".*", not_allowed);
    http.Delete(".*", not_allowed);
    http.Options(".*", not_allowed);
  }
};

Server::Server(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() { Stop(); }

int Server::Bind() {
  const Options& o = impl_->options;
  if (o.port < 0 || o.port > 65535) throw std::runtime_error("the port is 0 to 65535");
  if (o.port == 0) {
    impl_->port = impl_->http.bind_to_any_port(o.listen);
  } else {
    impl_->port = impl_->http.bind_to_port(o.listen, o.port) ? o.port : -1;
  }
  if (impl_->port <= 0) {
    throw std::runtime_error("cannot listen on " + o.listen + " port " + std::to_string(o.port) +
                             ": the address is not this machine's, or the port is taken");
  }
  impl_->http.WidenBacklog();
  return impl_->port;
}

void Server::Run() {
  {
    std::lock_guard<std::mutex> lock(impl_->run_mutex);
    if (impl_->stopping) return;
    impl_->run_entered = true;
  }
  impl_->http.listen_after_bind();
  impl_->run_done = true;
}

void Server::Stop() {
  bool entered = false;
  {
    std::lock_guard<std::mutex> lock(impl_->run_mutex);
    impl_->stopping = true;
    entered = impl_->run_entered;
  }
  // The library stops only a server that runs already: a Stop() just after
  // Run() began waits for it to listen.
  while (entered && !impl_->http.is_running() && !impl_->run_done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  impl_->http.stop();
  impl_->service.Shutdown();
}

const std::string& Server::token() const { return impl_->options.token; }

std::string Server::Url() const {
  std::string host = impl_->options.listen;
  if (host == "0.0.0.0" || host == "::" || host == "[::]") host = "127.0.0.1";
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + impl_->options.token;
}

}  // namespace serve
