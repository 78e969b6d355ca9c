// The whole program in-process: an arbitrary console input after the name
// of a fixed data file, with the report and plot files in a temporary
// directory. The harness, not the program, bounds the work of one input:
// the console takes at most kOutputLimit bytes, then refuses (a write
// error, so the run ends with status 2); a file may grow to kFileLimit
// bytes, then its writes fail as on a full disk (an HP-GL plot may ask for
// up to 2^31 ticks); inputs over kInputLimit bytes are skipped.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>

#include "driver/session.h"

namespace {

constexpr std::size_t kOutputLimit = 256 * 1024;
constexpr std::size_t kInputLimit = 8192;
constexpr rlim_t kFileLimit = 256 * 1024;

// A Bleaney-Bower pair with a little Curie impurity.
constexpr char kData[] =
    "12\n"
    "  2.0 0.01120\n  5.0 0.00480\n 10.0 0.00310\n 20.0 0.00290\n"
    " 35.0 0.00330\n 50.0 0.00345\n 75.0 0.00335\n100.0 0.00310\n"
    "150.0 0.00255\n200.0 0.00210\n250.0 0.00178\n300.0 0.00153\n";

// Discards output, and refuses it once the limit is reached.
class LimitedSink : public std::streambuf {
 public:
  explicit LimitedSink(std::size_t limit) : left_(limit) {}

 protected:
  int overflow(int c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (left_ == 0) return traits_type::eof();
    --left_;
    return c;
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    if (static_cast<std::size_t>(n) > left_) {
      left_ = 0;
      return 0;
    }
    left_ -= static_cast<std::size_t>(n);
    return n;
  }

 private:
  std::size_t left_;
};

std::string scratch;

void RemoveScratch() {
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The inputs and directories named on the command line (a replay) are
  // found from where the command was typed, not from the scratch directory.
  for (int i = 1; i < *argc; ++i) {
    const char* arg = (*argv)[i];
    if (arg[0] == '-' || arg[0] == '/') continue;
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(arg, ec).string();
    if (!ec) (*argv)[i] = ::strdup(absolute.c_str());  // kept for the whole run
  }
  char dir[] = "/tmp/suscep_fuzz_XXXXXX";
  if (::mkdtemp(dir) == nullptr || ::chdir(dir) != 0) std::abort();
  scratch = dir;
  std::atexit(RemoveScratch);
  std::FILE* f = std::fopen("d.dat", "wb");
  if (f == nullptr || std::fputs(kData, f) < 0 || std::fclose(f) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kInputLimit) return 0;
  // Here, not at start-up: libFuzzer installs its own handler after that.
  static const bool xfsz_ignored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  if (!xfsz_ignored) std::abort();
  std::istringstream in("d.dat\n" + std::string(reinterpret_cast<const char*>(data), size));
  LimitedSink sink(kOutputLimit);
  std::ostream out(&sink);
  std::ostringstream err;
  // The file limit holds for the run only, not for libFuzzer's own log.
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  const rlim_t unlimited = limit.rlim_cur;
  limit.rlim_cur = std::min(kFileLimit, limit.rlim_max);
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  const int status = driver::Main(in, out, err);
  limit.rlim_cur = unlimited;
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  if (status != 0 && status != 2) std::abort();
  if (status == 2 && err.str().empty()) std::abort();
  return 0;
}
