// JSON text read into Python objects in one pass, as json.loads reads it: a
// result document holds about a thousand numbers, and Python's decoder spends
// most of its time on them.
#include <charconv>
#include <string>
#include <string_view>

#include "python/binding.h"

namespace binding {
namespace {

constexpr int kMaxDepth = 64;

// A recursive-descent reader over the text. Each step returns a new
// reference, or null for what it leaves to json.loads: text that is not
// JSON, or a number, escape or nesting that json.loads reads its own way.
class Reader {
 public:
  explicit Reader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  PyObject* Document() {
    PyObject* value = Value(0);
    Space();
    if (value != nullptr && p_ != end_) Drop(value);
    return value;
  }

 private:
  void Space() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  static PyObject* Ref(PyObject* object) {
    Py_INCREF(object);
    return object;
  }

  static void Drop(PyObject*& object) {
    Py_XDECREF(object);
    object = nullptr;
  }

  bool Word(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() ||
        std::string_view(p_, word.size()) != word)
      return false;
    p_ += word.size();
    return true;
  }

  PyObject* Value(int depth) {
    Space();
    if (p_ == end_ || depth > kMaxDepth) return nullptr;
    switch (*p_) {
      case '{':
        return Object(depth + 1);
      case '[':
        return List(depth + 1);
      case '"':
        return String();
      case 't':
        return Word("true") ? Ref(Py_True) : nullptr;
      case 'f':
        return Word("false") ? Ref(Py_False) : nullptr;
      case 'n':
        return Word("null") ? Ref(Py_None) : nullptr;
      default:
        return Number();
    }
  }

  // What follows an item of an object or array: a comma, its closing
  // bracket (both passed), or anything else.
  enum class Next { kItem, kClosed, kBad };
  Next After(char close) {
    Space();
    if (p_ == end_) return Next::kBad;
    if (*p_ == ',') {
      ++p_;
      return Next::kItem;
    }
    if (*p_ != close) return Next::kBad;
    ++p_;
    return Next::kClosed;
  }

  PyObject* Object(int depth) {
    ++p_;
    PyObject* dict = PyDict_New();
    Space();
    if (p_ != end_ && *p_ == '}') {
      ++p_;
      return dict;
    }
    while (dict != nullptr) {
      Space();
      if (p_ == end_ || *p_ != '"') break;
      PyObject* key = String();
      Space();
      if (key == nullptr || p_ == end_ || *p_ != ':') {
        Py_XDECREF(key);
        break;
      }
      ++p_;
      PyObject* value = Value(depth);
      const int set = value == nullptr ? -1 : PyDict_SetItem(dict, key, value);
      Py_DECREF(key);
      Py_XDECREF(value);
      if (set != 0) break;
      const Next next = After('}');
      if (next == Next::kClosed) return dict;
      if (next == Next::kBad) break;
    }
    Drop(dict);
    return nullptr;
  }

  PyObject* List(int depth) {
    ++p_;
    PyObject* list = PyList_New(0);
    Space();
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      return list;
    }
    while (list != nullptr) {
      PyObject* value = Value(depth);
      const int added = value == nullptr ? -1 : PyList_Append(list, value);
      Py_XDECREF(value);
      if (added != 0) break;
      const Next next = After(']');
      if (next == Next::kClosed) return list;
      if (next == Next::kBad) break;
    }
    Drop(list);
    return nullptr;
  }

  // A string with no escapes but \" \\ \/ \b \f \n \r \t and \u of ASCII.
  PyObject* String() {
    ++p_;
    const char* run = p_;
    while (p_ != end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20) ++p_;
    if (p_ != end_ && *p_ == '"') {
      PyObject* text = PyUnicode_DecodeUTF8(run, p_ - run, nullptr);
      ++p_;
      return Checked(text);
    }
    std::string bytes(run, p_);
    while (p_ != end_ && *p_ != '"') {
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c < 0x20) return nullptr;
      if (c != '\\') {
        bytes += *p_++;
        continue;
      }
      if (++p_ == end_) return nullptr;
      const char e = *p_++;
      switch (e) {
        case '"':
        case '\\':
        case '/':
          bytes += e;
          break;
        case 'b':
          bytes += '\b';
          break;
        case 'f':
          bytes += '\f';
          break;
        case 'n':
          bytes += '\n';
          break;
        case 'r':
          bytes += '\r';
          break;
        case 't':
          bytes += '\t';
          break;
        case 'u':
          if (!Unicode(bytes)) return nullptr;
          break;
        default:
          return nullptr;
      }
    }
    if (p_ == end_) return nullptr;
    ++p_;
    return Checked(
        PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), nullptr));
  }

  // \u of an ASCII character (a control character, as the engine writes
  // them); others are json.loads's.
  bool Unicode(std::string& bytes) {
    if (end_ - p_ < 4) return false;
    unsigned code = 0;
    const auto [at, ec] = std::from_chars(p_, p_ + 4, code, 16);
    if (ec != std::errc() || at != p_ + 4 || code >= 0x80) return false;
    p_ += 4;
    bytes += static_cast<char>(code);
    return true;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?: an int without a
  // fraction or exponent, else a float that is finite and not rounded to 0
  // from a nonzero text (those go to json.loads).
  PyObject* Number() {
    const char* start = p_;
    const auto digits = [this] {
      const char* first = p_;
      while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
      return p_ - first;
    };
    if (p_ != end_ && *p_ == '-') ++p_;
    const char* whole = p_;
    if (digits() == 0 || (*whole == '0' && p_ - whole > 1)) return nullptr;
    bool integer = true;
    if (p_ != end_ && *p_ == '.') {
      ++p_;
      if (digits() == 0) return nullptr;
      integer = false;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (digits() == 0) return nullptr;
      integer = false;
    }
    if (integer) {
      long long n = 0;
      const auto [at, ec] = std::from_chars(start, p_, n);
      if (ec == std::errc() && at == p_) return PyLong_FromLongLong(n);
      return Checked(PyLong_FromString(std::string(start, p_).c_str(), nullptr, 10));
    }
    double x = 0.0;
    const auto [at, ec] = std::from_chars(start, p_, x);
    if (ec != std::errc() || at != p_) return nullptr;
    return PyFloat_FromDouble(x);
  }

  // A new reference, or null with Python's error cleared.
  static PyObject* Checked(PyObject* object) {
    if (object == nullptr) PyErr_Clear();
    return object;
  }

  const char* p_;
  const char* end_;
};

}  // namespace

py::object ReadJson(std::string_view text) {
  if (PyObject* value = Reader(text).Document()) return py::reinterpret_steal<py::object>(value);
  PyErr_Clear();
  const CallingPython calling;
  return py::module_::import("json").attr("loads")(py::str(text.data(), text.size()));
}

}  // namespace binding
