// What the page asks of the server, without HTTP: the catalogue, data sets
// read from uploaded files, fits run by a bounded pool of workers, figures
// and downloads. Every answer is a Reply; nothing is written to disk.
#ifndef SUSCEP_SERVE_SERVICE_H_
#define SUSCEP_SERVE_SERVICE_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace serve {

struct Reply {
  int status = 200;
  std::string type = "application/json";
  std::string body;
};

// The query parameters of a request, the first value of each name.
using Params = std::map<std::string, std::string>;

// Bounds on what the service keeps.
constexpr int kMaxWorkers = 8;
constexpr std::size_t kMaxQueued = 64;     // fits waiting for a worker
constexpr std::size_t kMaxDataSets = 64;   // the oldest is forgotten first
constexpr std::size_t kMaxFinished = 128;  // finished fits kept for figures and downloads

struct Job;
struct DataSet;

class Service {
 public:
  explicit Service(int workers);
  ~Service();  // Shutdown()
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  Reply Catalogue() const;
  // An uploaded file: a magnetometer's file through the import (the
  // parameters are its options), a data file of the program, or a table.
  Reply Data(const std::string& body, const std::string& name, const Params& params);
  // A fit of the data set `data` with the model file `body`, for the page
  // `page`; one at a time per page.
  Reply StartFit(const std::string& body, const Params& params);
  Reply JobState(const std::string& id);
  Reply Cancel(const std::string& id);
  // The figure of a finished fit: quantity 1-5, residuals 0 or 1.
  Reply Figure(const std::string& id, const Params& params);
  // Several finished fits in one figure: jobs=ID,ID,...
  Reply Overview(const Params& params);
  // document, report, svg or csv of a finished fit.
  Reply Download(const std::string& id, const std::string& what, const Params& params);

  // Stops every fit, queued or running, and waits for the workers.
  void Shutdown();

 private:
  void Work();
  std::shared_ptr<Job> FindJob(const std::string& id);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool closing_ = false;
  std::deque<std::shared_ptr<Job>> queue_;
  std::map<std::string, std::shared_ptr<Job>> jobs_;
  std::deque<std::string> finished_;  // oldest first
  std::map<std::string, std::string> running_by_page_;
  std::map<std::string, std::shared_ptr<const DataSet>> data_;
  std::deque<std::string> data_order_;
  std::vector<std::thread> workers_;
};

// A reply with {"error": message}.
Reply ErrorReply(int status, const std::string& message);

}  // namespace serve

#endif  // SUSCEP_SERVE_SERVICE_H_
