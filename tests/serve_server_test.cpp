// The server of `suscep serve`: every request checked, every endpoint
// refusing what it cannot use with a 4xx, and the fits run by workers.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "serve/service.h"
#include "tests/serve_util.h"

namespace {

using nlohmann::json;
using serve_test::RawStatus;
using serve_test::Running;

const std::string kExamples = SUSCEP_SOURCE_DIR "/examples/";

// One server for the table tests: they change nothing the others see.
class ServeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new Running(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static Running* server_;

  int Status(const std::string& request, std::string* response = nullptr) {
    return RawStatus(server_->port(), request, response);
  }
  json Body(const std::string& response) {
    return json::parse(response.substr(response.find("\r\n\r\n") + 4));
  }
  // The magnetometer example read as the README imports it; its id.
  std::string Upload() {
    std::string r;
    const std::string body = serve_test::ReadFile(kExamples + "cu2-vsm.dat");
    EXPECT_EQ(Status(server_->Request("POST",
                                      "/api/data?name=cu2-vsm.dat&eicosane_mg=21.4&"
                                      "diamagnetic=-2.9e-4",
                                      body),
                     &r),
              200)
        << r;
    return Body(r).value("id", "");
  }
};
Running* ServeTest::server_ = nullptr;

struct Refusal {
  const char* what;
  std::string request;  // with __HOST__ and __TOKEN__ put in
  int status;
};

TEST_F(ServeTest, RefusesWhatItMustAndAnswersTheRest) {
  const std::string ok_head = "Host: __HOST__\r\nX-Suscep-Token: __TOKEN__\r\n";
  // A request with the right Host and token; `head` more header lines.
  const auto ok = [&ok_head](const std::string& line, const std::string& head = "") {
    return line + " HTTP/1.1\r\n" + ok_head + head + "\r\n";
  };
  const std::vector<Refusal> cases = {
      {"the page with the token", "GET /?token=__TOKEN__ HTTP/1.1\r\nHost: __HOST__\r\n\r\n", 200},
      {"localhost by name", "GET /?token=__TOKEN__ HTTP/1.1\r\nHost: localhost:1\r\n\r\n", 200},
      {"no token", "GET / HTTP/1.1\r\nHost: __HOST__\r\n\r\n", 403},
      {"a wrong token", "GET /?token=0__TOKEN__ HTTP/1.1\r\nHost: __HOST__\r\n\r\n", 403},
      {"an empty token", "GET /?token= HTTP/1.1\r\nHost: __HOST__\r\n\r\n", 403},
      {"the token for the script",
       "GET /page.js?token=__TOKEN__ HTTP/1.1\r\nHost: __HOST__\r\n\r\n", 200},
      {"the script without it", "GET /page.js HTTP/1.1\r\nHost: __HOST__\r\n\r\n", 403},
      {"a foreign Host", "GET /?token=__TOKEN__ HTTP/1.1\r\nHost: evil.example\r\n\r\n", 403},
      {"a Host that starts like the loopback",
       "GET /?token=__TOKEN__ HTTP/1.1\r\nHost: 127.0.0.1.evil.example\r\n\r\n", 403},
      {"another machine's address", "GET /?token=__TOKEN__ HTTP/1.1\r\nHost: 10.0.0.1\r\n\r\n",
       403},
      {"a malformed port", "GET /?token=__TOKEN__ HTTP/1.1\r\nHost: 127.0.0.1:x\r\n\r\n", 403},
      {"no Host", "GET /?token=__TOKEN__ HTTP/1.0\r\n\r\n", 403},
      {"another site's page", ok("GET /api/catalogue", "Origin: http://evil.example\r\n"), 403},
      {"the page's own origin", ok("GET /api/catalogue", "Origin: http://__HOST__\r\n"), 200},
      {"a wrong method on the page", ok("POST /", "Content-Length: 0\r\n"), 405},
      {"a wrong method on data", ok("GET /api/data"), 405},
      {"PUT", ok("PUT /api/fit", "Content-Length: 0\r\n"), 405},
      {"DELETE a fit", ok("DELETE /api/job/abc"), 405},
      {"a preflight", ok("OPTIONS /api/fit"), 405},
      {"GET a cancel", ok("GET /api/job/abc/cancel"), 405},
      {"an unknown method", ok("BREW /api/fit"), 400},
      {"a path out of the tree", ok("GET /../../etc/passwd"), 404},
      {"an encoded one", ok("GET /%2e%2e/%2e%2e/etc/passwd"), 404},
      {"a page file by another name", ok("GET /page.js/../index.html"), 404},
      {"no such fit", ok("GET /api/job/0123456789abcdef"), 404},
      {"a fit's id with a slash", ok("GET /api/job/a%2Fb"), 404},
      {"an unknown download", ok("GET /api/job/abc/passwd"), 404},
      {"a request line that is not one", "HELLO\r\n\r\n", 400},
      // Read over: the request has no Host then.
      {"a header line without a colon", "GET / HTTP/1.1\r\nHost __HOST__\r\n\r\n", 403},
      {"a body too large for a model", ok("POST /api/fit", "Content-Length: 2000000\r\n"), 413},
      {"a body too large for an upload", ok("POST /api/data", "Content-Length: 70000000\r\n"), 413},
      {"a length that is not a number",
       "POST /api/fit HTTP/1.1\r\n" + ok_head + "Content-Length: lots\r\n\r\n{}", 400},
      {"an address too long", ok("GET /" + std::string(20000, 'a')), 414},
  };
  for (const Refusal& c : cases) {
    std::string request = c.request;
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"__HOST__", server_->host()},
          {"__TOKEN__", server_->token()}}) {
      for (std::size_t at; (at = request.find(key)) != std::string::npos;) {
        request.replace(at, key.size(), value);
      }
    }
    std::string response;
    EXPECT_EQ(Status(request, &response), c.status) << c.what << "\n" << response.substr(0, 400);
    EXPECT_EQ(response.find("Access-Control-Allow"), std::string::npos) << c.what;
    if (c.status == 403) {
      EXPECT_NE(response.find("\"error\""), std::string::npos) << c.what;
    }
  }
}

TEST_F(ServeTest, ThePageComesWithItsGuards) {
  std::string r;
  ASSERT_EQ(Status(server_->Request("GET", "/"), &r), 200);
  EXPECT_NE(r.find("Content-Security-Policy: default-src 'self'"), std::string::npos);
  EXPECT_NE(r.find("Referrer-Policy: no-referrer"), std::string::npos);
  EXPECT_NE(r.find("X-Frame-Options: DENY"), std::string::npos);
  // The page's own files, embedded, carry the token; nothing from elsewhere.
  EXPECT_NE(r.find("page.js?token=" + server_->token()), std::string::npos);
  EXPECT_EQ(r.find("<script src=\"http"), std::string::npos);
  EXPECT_EQ(r.find("__TOKEN__"), std::string::npos);
}

TEST_F(ServeTest, CatalogueListsEveryExpressionWithItsTemplate) {
  std::string r;
  ASSERT_EQ(Status(server_->Request("GET", "/api/catalogue"), &r), 200);
  const json c = Body(r);
  bool found = false;
  for (const json& e : c.at("expressions")) {
    if (e.at("expression") == 24) {
      found = true;
      EXPECT_EQ(e.at("parameters"), json({"g-value", "J-BB", "COEFF1"}));
      EXPECT_NE(e.at("template").get<std::string>().find("\"expression\": 24"), std::string::npos);
    }
  }
  EXPECT_TRUE(found);
  for (const json& f : c.at("functions")) EXPECT_FALSE(f.at("per").get<std::string>().empty()) << f;
}

TEST_F(ServeTest, FilesOfEachKindAreReadAndBadOnesRefusedWithTheReason) {
  struct Case {
    const char* what;
    std::string body;
    int status;
    const char* kind;  // or a part of the error
  };
  const std::string qd = serve_test::ReadFile(kExamples + "cu2-vsm.dat");
  const std::vector<Case> cases = {
      {"a magnetometer file", qd, 200, "magnetometer"},
      {"a data file", "3\n2 0.1\n10 0.05\n300 0.002\n", 200, "data file"},
      {"a table", "T chi\n2 0.1\n10 0.05\n300 0.002\n", 200, "table"},
      {"an empty file", "", 422, "empty"},
      {"text", "hello world\n", 422, "not a magnetometer file, a data file or a table"},
      {"a count that is too large", "301\n1 1\n", 422, "not a magnetometer file"},
      {"a header without data", "[Header]\nINFO,1,SAMPLE_MASS\n", 422, "[Data]"},
      {"a truncated magnetometer file", qd.substr(0, qd.find("[Data]") + 40), 422, ""},
      {"binary bytes", std::string("\x00\xff\xfe\x01\x02", 5), 422, ""},
      {"a temperature of 0", "2\n0 0.1\n10 0.05\n", 422, ""},
  };
  for (const Case& c : cases) {
    std::string r;
    EXPECT_EQ(Status(server_->Request("POST", "/api/data?name=x.dat", c.body), &r), c.status)
        << c.what << "\n"
        << r.substr(0, 600);
    if (serve_test::StatusOf(r) == 200) {
      EXPECT_EQ(Body(r).at("kind"), c.kind) << c.what;
    } else if (serve_test::StatusOf(r) == 422) {
      EXPECT_NE(Body(r).at("error").get<std::string>().find(c.kind), std::string::npos)
          << c.what << ": " << Body(r).at("error");
    }
  }
  // Options that are not numbers.
  std::string r;
  EXPECT_EQ(Status(server_->Request("POST", "/api/data?mass_mg=heavy", qd), &r), 400);
  EXPECT_NE(r.find("mass_mg: not a number"), std::string::npos);
}

TEST_F(ServeTest, TheHeaderValuesAndTheChiTWarningsComeWithTheImport) {
  std::string r;
  const std::string qd = serve_test::ReadFile(kExamples + "cu2-vsm.dat");
  ASSERT_EQ(Status(server_->Request("POST", "/api/data?name=cu2.dat", qd), &r), 200);
  json im = Body(r).at("import");
  EXPECT_EQ(im.at("mass_mg"), 18.73);
  EXPECT_EQ(im.at("molar_mass"), 598.52);
  EXPECT_EQ(im.at("fields").size(), 1u);
  // A mass typed in grams: chi*T far too large.
  ASSERT_EQ(Status(server_->Request("POST", "/api/data?name=cu2.dat&mass_mg=0.01873", qd), &r),
            200);
  im = Body(r).at("import");
  ASSERT_FALSE(im.at("warnings").empty());
  EXPECT_NE(im.at("warnings")[0].get<std::string>().find("chi*T"), std::string::npos);
}

TEST_F(ServeTest, AFitGivesTheNumbersOfSuscepFitAndItsDownloads) {
  const std::string data = Upload();
  const std::string model = serve_test::ReadFile(kExamples + "cu2-vsm-model.json");
  std::string r;
  ASSERT_EQ(Status(server_->Request("POST", "/api/fit?page=one&data=" + data, model), &r), 202)
      << r;
  const std::string id = Body(r).at("id");
  json job;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(Status(server_->Request("GET", "/api/job/" + id), &r), 200);
    job = Body(r);
    if (job.at("state") != "queued" && job.at("state") != "running") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(job.at("state"), "done") << job;
  const json doc = json::parse(job.at("result").at("document").get<std::string>());
  // The README's numbers of this fit.
  EXPECT_NEAR(doc.at("parameters")[0].at("value").get<double>(), 2.120708, 1e-6);
  EXPECT_NEAR(doc.at("parameters")[1].at("value").get<double>(), -145.0301, 1e-4);
  EXPECT_GT(job.at("iteration").get<int>(), 0);
  EXPECT_NE(job.at("result").at("svg").get<std::string>().find("<svg"), std::string::npos);

  struct Download {
    const char* what;
    const char* type;
    const char* holds;
  };
  for (const Download& d :
       {Download{"document", "application/json", "\"suscep-result\""},
        Download{"report", "text/plain", "Solution"}, Download{"svg", "image/svg+xml", "<svg"},
        Download{"csv", "text/csv", "T (K),chi read"},
        Download{"figure?quantity=4", "image/svg+xml", "<svg"}}) {
    ASSERT_EQ(Status(server_->Request("GET", "/api/job/" + id + "/" + d.what), &r), 200) << d.what;
    EXPECT_NE(r.find(std::string("Content-Type: ") + d.type), std::string::npos) << d.what;
    EXPECT_NE(r.find(d.holds), std::string::npos) << d.what;
  }
  // 1/chi is another figure than chi*T.
  std::string chi_t, inverse;
  Status(server_->Request("GET", "/api/job/" + id + "/figure?quantity=3"), &chi_t);
  Status(server_->Request("GET", "/api/job/" + id + "/figure?quantity=4"), &inverse);
  EXPECT_NE(chi_t.substr(chi_t.find("\r\n\r\n")), inverse.substr(inverse.find("\r\n\r\n")));
  EXPECT_EQ(Status(server_->Request("GET", "/api/job/" + id + "/figure?quantity=6")), 400);
  // Residuals on: another figure again.
  std::string residuals;
  Status(server_->Request("GET", "/api/job/" + id + "/figure?quantity=3&residuals=1"), &residuals);
  EXPECT_NE(chi_t.substr(chi_t.find("\r\n\r\n")), residuals.substr(residuals.find("\r\n\r\n")));
  // The overview of fits, and of fits that are not there.
  EXPECT_EQ(Status(server_->Request("GET", "/api/overview?jobs=" + id + "," + id), &r), 200);
  EXPECT_NE(r.find("<svg"), std::string::npos);
  EXPECT_EQ(Status(server_->Request("GET", "/api/overview?jobs=" + id + ",nope")), 404);
  EXPECT_EQ(Status(server_->Request("GET", "/api/overview")), 400);
  EXPECT_EQ(Status(server_->Request("POST", "/api/overview", "x")), 405);
}

TEST_F(ServeTest, FitRequestsThatCannotBeUsedAreRefused) {
  const std::string data = Upload();
  const std::string model = serve_test::ReadFile(kExamples + "cu2-vsm-model.json");
  struct Case {
    const char* what;
    std::string target, body;
    int status;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"no page", "/api/fit?data=" + data, model, 400, "page"},
      {"a page id with a slash", "/api/fit?page=a/b&data=" + data, model, 400, "page"},
      {"no data", "/api/fit?page=p", model, 404, "no such data set"},
      {"a quantity of 0", "/api/fit?page=p&quantity=0&data=" + data, model, 400, "quantity"},
      {"a quantity of 2.5", "/api/fit?page=p&quantity=2.5&data=" + data, model, 400, "quantity"},
      {"no body", "/api/fit?page=p&data=" + data, "", 422, "model"},
      {"truncated JSON", "/api/fit?page=p&data=" + data, model.substr(0, model.size() / 2), 422,
       "model"},
      {"not JSON", "/api/fit?page=p&data=" + data, "expression 24", 422, "model"},
      {"an unknown key", "/api/fit?page=p&data=" + data, R"({"model": {"expression": 24}, "x": 1})",
       422, "'x'"},
      {"a nested bomb", "/api/fit?page=p&data=" + data, std::string(100000, '[') + "]", 422,
       "model"},
      {"an expression the program refuses", "/api/fit?page=p&data=" + data,
       R"({"model": {"expression": 20}})", 422, ""},
  };
  for (const Case& c : cases) {
    std::string r;
    EXPECT_EQ(Status(server_->Request("POST", c.target, c.body), &r), c.status) << c.what << "\n"
                                                                                << r.substr(0, 500);
    EXPECT_NE(r.find(c.error), std::string::npos) << c.what << "\n" << r.substr(0, 500);
  }
}

TEST_F(ServeTest, ATruncatedBodyOrASlowClientGets400AndTheServerServesOn) {
  // The length promises more than comes: dropped after the read timeout.
  EXPECT_EQ(Status("POST /api/fit HTTP/1.1\r\nHost: " + server_->host() + "\r\nX-Suscep-Token: " +
                   server_->token() + "\r\nContent-Length: 1000\r\n\r\n{\"model\""),
            400);
  // A request that stops in its headers.
  EXPECT_EQ(Status("GET / HTTP/1.1\r\nHost: " + server_->host() + "\r\nX-Sus"), 400);
  // One that says nothing at all is closed without an answer.
  EXPECT_EQ(Status(""), 0);
  EXPECT_EQ(Status(server_->Request("GET", "/api/catalogue")), 200);
}

TEST(ServeService, OneFitAtATimePerPageAndACancelStopsIt) {
  serve::Service service(1);
  const serve::Reply data =
      service.Data(serve_test::ReadFile(kExamples + "cu2-vsm.dat"), "cu2.dat", {});
  ASSERT_EQ(data.status, 200);
  const std::string id = json::parse(data.body).at("id");
  // A long fit: a large budget and no convergence before it.
  const std::string slow =
      R"({"model": {"expression": 24}, "fit": {"iterations": 100000000, "reqmin": 1e-300}})";
  const serve::Reply first = service.StartFit(slow, {{"page", "p"}, {"data", id}});
  ASSERT_EQ(first.status, 202) << first.body;
  const std::string job = json::parse(first.body).at("id");
  const serve::Reply second = service.StartFit(slow, {{"page", "p"}, {"data", id}});
  EXPECT_EQ(second.status, 409) << second.body;
  // Another page waits for the one worker.
  const serve::Reply other = service.StartFit(slow, {{"page", "q"}, {"data", id}});
  ASSERT_EQ(other.status, 202);
  const std::string queued = json::parse(other.body).at("id");
  EXPECT_EQ(json::parse(service.JobState(queued).body).at("state"), "queued");
  EXPECT_EQ(json::parse(service.Cancel(queued).body).at("state"), "cancelled");
  // The running one shows its progress, then stops when cancelled, with
  // the best point so far.
  json state;
  for (int i = 0; i < 5000; ++i) {
    state = json::parse(service.JobState(job).body);
    if (state.at("iteration").get<int>() > 100) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(state.at("state"), "running");
  EXPECT_EQ(service.Cancel(job).status, 200);
  for (int i = 0; i < 5000; ++i) {
    state = json::parse(service.JobState(job).body);
    if (state.at("state") != "running") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(state.at("state"), "done") << state;
  EXPECT_TRUE(state.at("result").at("flags").at("interrupted").get<bool>());
  // The page may fit again.
  const serve::Reply again =
      service.StartFit(R"({"model": {"expression": 24}})", {{"page", "p"}, {"data", id}});
  EXPECT_EQ(again.status, 202) << again.body;
  EXPECT_EQ(service.Download("nope", "document", {}).status, 404);
  EXPECT_EQ(service.Download(queued, "document", {}).status, 404);
}

TEST(ServeService, TheQueueIsBoundedAndShutdownEndsEveryFit) {
  serve::Service service(1);
  const serve::Reply data = service.Data("2\n10 0.1\n300 0.002\n", "d.dat", {});
  ASSERT_EQ(data.status, 200);
  const std::string id = json::parse(data.body).at("id");
  const std::string slow =
      R"({"model": {"expression": 24}, "fit": {"iterations": 100000000, "reqmin": 1e-300}})";
  int accepted = 0, busy = 0;
  for (std::size_t i = 0; i < serve::kMaxQueued + 5; ++i) {
    const serve::Reply r =
        service.StartFit(slow, {{"page", "p" + std::to_string(i)}, {"data", id}});
    if (r.status == 202) ++accepted;
    if (r.status == 503) ++busy;
  }
  // One may have left the queue for the worker already.
  EXPECT_GE(accepted, static_cast<int>(serve::kMaxQueued));
  EXPECT_GE(busy, 3);
  service.Shutdown();
  EXPECT_EQ(service.StartFit(slow, {{"page", "late"}, {"data", id}}).status, 503);
}

}  // namespace
