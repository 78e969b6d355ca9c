#include "driver/line_editor.h"

#ifdef SUSCEP_HAVE_LIBEDIT

#include <histedit.h>
#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <streambuf>
#include <string>
#include <string_view>

namespace driver {
namespace {

constexpr int kHistorySize = 500;

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

// Lines from el_gets.
class EditedInput : public std::streambuf {
 public:
  EditedInput(EditLine* el, History* hist, TrackedOutput& out)
      : el_(el), history_(hist), out_(out) {}
  // The prompt libedit shows and redraws: the tail of the output.
  std::string prompt;

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    out_.pubsync();
    // The program has written the prompt already; libedit writes it again
    // from the start of the line, so that it can redraw the line.
    prompt = out_.tail();
    if (!prompt.empty()) std::fputc('\r', stdout);
    int count = 0;
    const char* text = el_gets(el_, &count);
    out_.LineEnded();
    if (text == nullptr || count <= 0) {
      // Ctrl-D: what follows (the error report) starts on a line of its own.
      std::fputc('\n', stdout);
      return traits_type::eof();
    }
    line_.assign(text, static_cast<std::size_t>(count));
    std::string entry = line_;
    if (!entry.empty() && entry.back() == '\n') entry.pop_back();
    if (entry.find_first_not_of(" \t") != std::string::npos) {
      HistEvent event;
      history(history_, &event, H_ENTER, entry.c_str());
    }
    setg(line_.data(), line_.data(), line_.data() + line_.size());
    return traits_type::to_int_type(*gptr());
  }

 private:
  EditLine* el_;
  History* history_;
  TrackedOutput& out_;
  std::string line_;
};

char* Prompt(EditLine* el);

class Editor : public LineEditor {
 public:
  Editor(EditLine* el, History* hist)
      : el_(el),
        history_(hist),
        output_(stdout),
        input_(el, hist, output_),
        in_(&input_),
        out_(&output_) {
    HistEvent event;
    history(history_, &event, H_SETSIZE, kHistorySize);
    history(history_, &event, H_SETUNIQUE, 1);
    el_set(el_, EL_CLIENTDATA, static_cast<void*>(&input_));
    el_set(el_, EL_PROMPT, Prompt);
    el_set(el_, EL_EDITOR, "emacs");
    // Ctrl-C or Ctrl-Z at an answer: the terminal is set back first.
    el_set(el_, EL_SIGNAL, 1);
    el_set(el_, EL_HIST, history, history_);
    el_source(el_, nullptr);
  }
  ~Editor() override {
    out_.flush();
    el_end(el_);
    history_end(history_);
  }

  std::istream& in() override { return in_; }
  std::ostream& out() override { return out_; }

 private:
  EditLine* el_;
  History* history_;
  TrackedOutput output_;
  EditedInput input_;
  std::istream in_;
  std::ostream out_;
};

char* Prompt(EditLine* el) {
  void* data = nullptr;
  el_get(el, EL_CLIENTDATA, &data);
  return static_cast<EditedInput*>(data)->prompt.data();
}

}  // namespace

std::unique_ptr<LineEditor> LineEditor::Open() {
  // libedit reads characters by the locale: in plain ASCII a typed "é" is
  // lost, so bytes beyond ASCII are taken as UTF-8 there.
  const char* ctype = std::setlocale(LC_CTYPE, "");
  if (ctype == nullptr || std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
  History* hist = history_init();
  if (hist == nullptr) return nullptr;
  EditLine* el = el_init("suscep", stdin, stdout, stderr);
  if (el == nullptr) {
    history_end(hist);
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
