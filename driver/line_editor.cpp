#include "driver/line_editor.h"

#include "format/console.h"

#ifdef SUSCEP_HAVE_LIBEDIT

#include <fcntl.h>
#include <histedit.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "driver/typed_bytes.h"
#include "signals/signals.h"

namespace driver {
namespace {

constexpr int kHistorySize = 500;
// The most of a start-up file that is read; a larger one is not read at all.
constexpr off_t kMaxSettings = 64 * 1024;

void SettingsNotRead(const std::string& path, const std::string& why) {
  std::cerr << "suscep: note: line editor settings " << format::Printable(path, format::kNameShown)
            << " not read: " << why << std::endl;
}

// libedit's start-up file ($EDITRC, else ~/.editrc), read only when it is a
// regular file of at most kMaxSettings bytes: a device or a pipe named there
// would be read without end, or wait for a writer. The lines are applied as
// libedit applies them (blank and "#" lines skipped).
void ReadSettings(EditLine* el) {
  std::string path;
  const char* named = std::getenv("EDITRC");
  const bool from_environment = named != nullptr && *named != '\0';
  if (from_environment) {
    path = named;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    path = std::string(home) + "/.editrc";
  } else {
    return;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    // No ~/.editrc is the usual case; a file named by EDITRC should be there.
    if (errno != ENOENT || from_environment) {
      SettingsNotRead(path, std::strerror(errno));
    }
    return;
  }
  struct stat st;
  std::string text;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    SettingsNotRead(path, "not a regular file");
  } else if (st.st_size > kMaxSettings) {
    SettingsNotRead(path, "larger than " + std::to_string(kMaxSettings) + " bytes");
  } else {
    char buffer[4096];
    ssize_t n = 0;
    while (text.size() <= static_cast<std::size_t>(kMaxSettings) &&
           (n = ::read(fd, buffer, sizeof buffer)) > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    if (n < 0) {
      SettingsNotRead(path, std::strerror(errno));
      text.clear();
    } else if (text.size() > static_cast<std::size_t>(kMaxSettings)) {
      SettingsNotRead(path, "larger than " + std::to_string(kMaxSettings) + " bytes");
      text.clear();
    }
  }
  ::close(fd);
  Tokenizer* tok = tok_init(nullptr);
  if (tok == nullptr) return;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    int argc = 0;
    const char** argv = nullptr;
    if (tok_str(tok, line.c_str() + first, &argc, &argv) == 0 && argc > 0) el_parse(el, argc, argv);
    tok_reset(tok);
  }
  tok_end(tok);
}

// Standard output, remembering the text written since the last line end:
// the prompt a following answer is typed after ("UNIT 1? ").
class TrackedOutput : public std::streambuf {
 public:
  explicit TrackedOutput(std::FILE* file) : file_(file) {}
  const std::string& tail() const { return tail_; }
  void LineEnded() { tail_.clear(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::size_t written = std::fwrite(s, 1, static_cast<std::size_t>(n), file_);
    const std::string_view text(s, written);
    const std::size_t end = text.rfind('\n');
    if (end == std::string_view::npos) {
      tail_.append(text);
    } else {
      tail_.assign(text.substr(end + 1));
    }
    return static_cast<std::streamsize>(written);
  }
  int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

 private:
  std::FILE* file_;
  std::string tail_;
};

// The keys typed, byte by byte from the terminal, as the characters libedit
// edits (see typed_bytes.h). A signal that interrupts the wait is not the
// end of the input: after a stop the line is drawn again.
class KeyReader {
 public:
  explicit KeyReader(int fd) : fd_(fd) {}
  // 1 and a character, 0 at the end of the input, -1 on a read error.
  int Next(EditLine* el, wchar_t* key) {
    int status = 1;
    const auto next_byte = [&](unsigned char& byte) {
      status = ReadByte(el, byte);
      return status == 1;
    };
    const auto got = decoder_.Next(next_byte);
    if (got) {
      *key = *got;
      return 1;
    }
    return status;
  }
  int error() const { return error_; }
  void ClearError() { error_ = 0; }

 private:
  int ReadByte(EditLine* el, unsigned char& byte) {
    for (;;) {
      const signals::Events events = signals::TakeEvents();
      if (events.resized) el_resize(el);
      if (events.continued) el_set(el, EL_REFRESH);
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, -1) < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        return -1;
      }
      const ssize_t n = ::read(fd_, &byte, 1);
      if (n == 1) return 1;
      if (n == 0) return 0;
      if (errno == EINTR || errno == EAGAIN) continue;
      error_ = errno;
      return -1;
    }
  }

  int fd_;
  int error_ = 0;
  TypedBytes decoder_;
};

// Lines from el_wgets, as the bytes typed.
class EditedInput : public std::streambuf {
 public:
  EditedInput(EditLine* el, HistoryW* hist, TrackedOutput& out)
      : el_(el), history_(hist), out_(out), keys_(STDIN_FILENO) {}
  // The prompt libedit shows and redraws: the tail of the output.
  std::string prompt;
  KeyReader& keys() { return keys_; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    out_.pubsync();
    // The program has written the prompt already; libedit writes it again
    // from the start of the line, so that it can redraw the line.
    prompt = out_.tail();
    if (!prompt.empty()) std::fputc('\r', stdout);
    int count = 0;
    keys_.ClearError();
    const wchar_t* text = el_wgets(el_, &count);
    out_.LineEnded();
    if (text == nullptr || count <= 0) {
      // Ctrl-D: what follows (the error report) starts on a line of its own.
      std::fputc('\n', stdout);
      // Thrown from here, the stream is bad: a read error, not the end.
      if (keys_.error() != 0) throw std::ios_base::failure(std::strerror(keys_.error()));
      return traits_type::eof();
    }
    std::wstring entry(text, static_cast<std::size_t>(count));
    if (!entry.empty() && entry.back() == L'\n') entry.pop_back();
    line_ = TypedBytes::Bytes(entry);
    if (static_cast<std::size_t>(count) > entry.size()) line_ += '\n';
    if (entry.find_first_not_of(L" \t") != std::wstring::npos) {
      HistEventW event;
      history_w(history_, &event, H_ENTER, entry.c_str());
    }
    setg(line_.data(), line_.data(), line_.data() + line_.size());
    return traits_type::to_int_type(*gptr());
  }

 private:
  EditLine* el_;
  HistoryW* history_;
  TrackedOutput& out_;
  KeyReader keys_;
  std::string line_;
};

char* Prompt(EditLine* el);
int ReadKey(EditLine* el, wchar_t* key);

class Editor : public LineEditor {
 public:
  Editor(EditLine* el, HistoryW* hist)
      : el_(el),
        history_(hist),
        output_(stdout),
        input_(el, hist, output_),
        in_(&input_),
        out_(&output_) {
    HistEventW event;
    history_w(history_, &event, H_SETSIZE, kHistorySize);
    history_w(history_, &event, H_SETUNIQUE, 1);
    el_set(el_, EL_CLIENTDATA, static_cast<void*>(&input_));
    el_set(el_, EL_PROMPT, Prompt);
    el_set(el_, EL_EDITOR, "emacs");
    // Signals are the program's own business (signals/signals.h): libedit
    // installs no handlers, and reads through ReadKey.
    el_set(el_, EL_SIGNAL, 0);
    el_wset(el_, EL_GETCFN, ReadKey);
    el_wset(el_, EL_HIST, history_w, history_);
    ReadSettings(el_);
    // What a signal that ends or stops the program sets back.
    signals::KeepTerminal(STDIN_FILENO);
  }
  ~Editor() override {
    out_.flush();
    signals::KeepTerminal(-1);
    el_end(el_);
    history_wend(history_);
  }

  std::istream& in() override { return in_; }
  std::ostream& out() override { return out_; }

 private:
  EditLine* el_;
  HistoryW* history_;
  TrackedOutput output_;
  EditedInput input_;
  std::istream in_;
  std::ostream out_;
};

EditedInput& InputOf(EditLine* el) {
  void* data = nullptr;
  el_get(el, EL_CLIENTDATA, &data);
  return *static_cast<EditedInput*>(data);
}

char* Prompt(EditLine* el) { return InputOf(el).prompt.data(); }

int ReadKey(EditLine* el, wchar_t* key) { return InputOf(el).keys().Next(el, key); }

}  // namespace

std::unique_ptr<LineEditor> LineEditor::Open() {
  // The characters typed are taken as UTF-8 whatever the locale (bytes
  // that are not UTF-8 pass through as they are); the locale decides only
  // how libedit shows them. In plain ASCII it would show no letter beyond
  // ASCII, nor insert one, so UTF-8 is used there.
  const char* ctype = std::setlocale(LC_CTYPE, "");
  if (ctype == nullptr || std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
  HistoryW* hist = history_winit();
  if (hist == nullptr) return nullptr;
  EditLine* el = el_init("suscep", stdin, stdout, stderr);
  if (el == nullptr) {
    history_wend(hist);
    return nullptr;
  }
  return std::make_unique<Editor>(el, hist);
}

}  // namespace driver

#else

namespace driver {

std::unique_ptr<LineEditor> LineEditor::Open() { return nullptr; }

}  // namespace driver

#endif
