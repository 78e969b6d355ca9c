#include "tests/driver_e2e_util.h"

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace e2e {

namespace fs = std::filesystem;

std::string Result::File(const std::string& name) const { return ReadFile(dir / name); }
bool Result::Has(const std::string& name) const { return fs::exists(dir / name); }

bool Result::HasTemporaryFile() const {
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().rfind(".SUSCEP.", 0) == 0) return true;
  }
  return false;
}

namespace {

fs::path ScratchRoot() {
  return fs::temp_directory_path() / ("suscep_e2e_" + std::to_string(::getpid()));
}

// Removes this process's scratch directories when the tests end.
struct ScratchCleanup {
  ~ScratchCleanup() {
    std::error_code ec;
    fs::remove_all(ScratchRoot(), ec);
  }
} scratch_cleanup;

}  // namespace

Result Run(const std::string& name, const std::string& input,
           const std::vector<std::pair<std::string, std::string>>& files) {
  Result r;
  r.dir = ScratchRoot() / name;
  fs::remove_all(r.dir);
  fs::create_directories(r.dir);
  for (const auto& [file, content] : files) WriteFile(r.dir / file, content);
  WriteFile(r.dir / "input.txt", input);
  const std::string command =
      "cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' < input.txt > stdout.txt 2> stderr.txt";
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(r.dir / "stdout.txt");
  r.err = ReadFile(r.dir / "stderr.txt");
  return r;
}

namespace {

std::string MaskLines(const std::string& text, size_t first, size_t last, const char* eol) {
  std::string result;
  size_t pos = 0;
  for (size_t line = 0; pos < text.size(); ++line) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (line >= first && line <= last) {
      result += std::string("<credit>") + eol + "\n";
    } else {
      result += text.substr(pos, end - pos) + (end < text.size() ? "\n" : "");
    }
    pos = end + 1;
  }
  return result;
}

}  // namespace

std::string MaskConsoleCredits(const std::string& console) { return MaskLines(console, 4, 6, ""); }

std::string MaskReportCredits(const std::string& report) { return MaskLines(report, 2, 5, "\r"); }

std::string TestData(const std::string& relative) {
  return ReadFile(fs::path(SUSCEP_SOURCE_DIR) / "tests" / "data" / relative);
}

std::optional<std::pair<uid_t, gid_t>> Nobody() {
  const passwd* pw = getpwnam("nobody");
  if (pw == nullptr) return std::nullopt;
  return std::make_pair(pw->pw_uid, pw->pw_gid);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace e2e
