// The HP-GL interpreter: a reader of two-letter instructions and their
// numbers, a pen that moves and draws, and the SVG writer.
#include "plot/hpgl_svg.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plot {

HpglError::HpglError(int line, const std::string& what)
    : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}

namespace {

constexpr char ETX = '\x03';
constexpr double kPi = 3.14159265358979323846;
constexpr double kUnitsPerCm = 400.0;
constexpr Point kP1{250.0, 596.0}, kP2{10250.0, 7796.0};
constexpr double kTick = 0.005;                          // of P2 - P1, on each side of the axis
constexpr double kCharWidth = 0.19, kCharHeight = 0.27;  // cm
constexpr double kPageWidth = 11176.0, kPageHeight = 8636.0;
constexpr double kMmPerUnit = 0.025;
constexpr double kPenWidth = 12.0;
// A monospaced font: capitals 0.72 em high, characters 0.6 em apart.
constexpr double kCapHeight = 0.72, kAdvance = 0.6;
constexpr const char* kPenColours[] = {"#000000", "#c00000", "#008000", "#0000c0",
                                       "#a000a0", "#008080", "#a06000", "#606060"};

// The numbers of parameters an instruction takes: min, min + step, ... max.
struct Arity {
  const char* name;
  int min, max, step;
};
constexpr int kMany = 1 << 30;
constexpr Arity kArities[] = {
    {"IN", 0, 0, 1},     {"SP", 0, 1, 1},     {"PU", 0, kMany, 2}, {"PD", 0, kMany, 2},
    {"PA", 0, kMany, 2}, {"PR", 0, kMany, 2}, {"CI", 1, 2, 1},     {"WG", 3, 4, 1},
    {"XT", 0, 0, 1},     {"YT", 0, 0, 1},     {"SI", 0, 2, 2},     {"CP", 0, 2, 2},
    {"DI", 0, 2, 2},
};
// Larger numbers are no plotter's.
constexpr double kLargest = 1e8;

const Arity* FindArity(const std::string& name) {
  for (const Arity& a : kArities) {
    if (name == a.name) return &a;
  }
  return nullptr;
}

std::string Shown(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u > ' ' && u < 127) return std::string("'") + c + "'";
  return "(code " + std::to_string(u) + ")";
}

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }

class Interpreter {
 public:
  explicit Interpreter(std::string_view text) : text_(text) { Initialise(); }

  Drawing Run() {
    for (;;) {
      while (!AtEnd() && std::strchr(" \t\r\n;", Peek()) != nullptr) Get();
      if (AtEnd()) return std::move(drawing_);
      line_of_instruction_ = line_;
      const char a = Get();
      if (!std::isalpha(static_cast<unsigned char>(a))) Fail("unexpected character " + Shown(a));
      const char b = AtEnd() ? ' ' : Get();
      std::string name{static_cast<char>(std::toupper(static_cast<unsigned char>(a))),
                       static_cast<char>(std::toupper(static_cast<unsigned char>(b)))};
      const Arity* arity = FindArity(name);
      if (name == "LB") {
        DrawLabel();
      } else if (arity == nullptr) {
        Fail("unknown instruction " + format::Printable(std::string{a, b}));
      } else {
        std::vector<double> p;
        for (double v; ReadNumber(v);) p.push_back(v);
        const int n = static_cast<int>(p.size());
        if (n < arity->min || n > arity->max || (n - arity->min) % arity->step != 0) {
          Fail(name + " with " + std::to_string(n) + " parameters");
        }
        Execute(name, p);
      }
    }
  }

 private:
  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek() const { return text_[at_]; }
  char Get() {
    const char c = text_[at_++];
    if (c == '\n') ++line_;
    return c;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw HpglError(line_of_instruction_, what);
  }

  // A parameter, after blanks and commas: [sign] digits [. digits].
  bool ReadNumber(double& v) {
    while (!AtEnd() && std::strchr(" \t\r\n,", Peek()) != nullptr) Get();
    size_t end = at_, digits = 0;
    if (end < text_.size() && (text_[end] == '+' || text_[end] == '-')) ++end;
    for (bool point = false; end < text_.size(); ++end) {
      if (std::isdigit(static_cast<unsigned char>(text_[end]))) {
        ++digits;
      } else if (text_[end] == '.' && !point) {
        point = true;
      } else {
        break;
      }
    }
    if (digits == 0) {
      if (end != at_) Fail("a number expected at " + std::string(text_.substr(at_, end - at_)));
      return false;
    }
    v = std::strtod(std::string(text_.substr(at_, end - at_)).c_str(), nullptr);
    if (std::fabs(v) > kLargest)
      Fail("number out of range: " + format::Printable(text_.substr(at_, end - at_)));
    at_ = end;
    return true;
  }

  void Initialise() {
    EndLine();
    down_ = false;
    relative_ = false;
    width_ = kCharWidth * kUnitsPerCm;
    height_ = kCharHeight * kUnitsPerCm;
    direction_ = {1.0, 0.0};
    line_start_ = pen_;
  }

  void Execute(const std::string& name, const std::vector<double>& p) {
    const bool none = p.empty();
    if (name == "IN") {
      Initialise();
    } else if (name == "SP") {
      EndLine();
      pen_number_ = none || p[0] < 1.0 ? 0 : static_cast<int>(p[0]);
    } else if (name == "PU" || name == "PD") {
      down_ = name == "PD";
      if (!down_) EndLine();
      MoveThrough(p);
    } else if (name == "PA" || name == "PR") {
      relative_ = name == "PR";
      MoveThrough(p);
    } else if (name == "CI") {
      Add(Circle{pen_, std::fabs(p[0])});
    } else if (name == "WG") {
      // A negative radius starts the wedge on the opposite side.
      Add(Wedge{pen_, std::fabs(p[0]), p[0] < 0 ? p[1] + 180.0 : p[1], p[2]});
    } else if (name == "XT") {
      const double t = kTick * (kP2.y - kP1.y);
      Add(Polyline{{{pen_.x, pen_.y - t}, {pen_.x, pen_.y + t}}});
    } else if (name == "YT") {
      const double t = kTick * (kP2.x - kP1.x);
      Add(Polyline{{{pen_.x - t, pen_.y}, {pen_.x + t, pen_.y}}});
    } else if (name == "SI") {
      width_ = (none ? kCharWidth : p[0]) * kUnitsPerCm;
      height_ = (none ? kCharHeight : p[1]) * kUnitsPerCm;
    } else if (name == "CP") {
      EndLine();
      if (none) {
        NewLine();
      } else {
        pen_ = pen_ + Cells(p[0], p[1]);
      }
    } else if (name == "DI") {
      // DI 0,0 has no direction and is ignored.
      if (none) {
        direction_ = {1.0, 0.0};
      } else if (p[0] != 0.0 || p[1] != 0.0) {
        const double r = std::hypot(p[0], p[1]);
        direction_ = {p[0] / r, p[1] / r};
      }
    }
  }

  // PU, PD, PA, PR: to each point in turn, drawing if the pen is down.
  void MoveThrough(const std::vector<double>& p) {
    for (size_t i = 0; i + 1 < p.size(); i += 2) {
      const Point to = relative_ ? pen_ + Point{p[i], p[i + 1]} : Point{p[i], p[i + 1]};
      if (down_ && pen_number_ > 0) {
        if (open_ < 0) {
          Add(Polyline{{pen_}});
          open_ = static_cast<int>(drawing_.marks.size()) - 1;
        }
        std::get<Polyline>(drawing_.marks[open_].shape).points.push_back(to);
      }
      pen_ = to;
    }
    if (!p.empty()) line_start_ = pen_;
  }

  // LB: characters up to ETX, each advancing the pen one cell; CR returns
  // to the start of the line, LF moves one line down, other control
  // characters are not drawn.
  void DrawLabel() {
    EndLine();
    std::string run;
    Point run_at = pen_;
    auto flush = [&] {
      if (!run.empty()) {
        Add(Label{run_at, run, width_, height_,
                  std::atan2(direction_.y, direction_.x) * 180.0 / kPi});
        pen_ = run_at + Cells(static_cast<double>(run.size()), 0.0);
        run.clear();
      }
    };
    for (;;) {
      if (AtEnd()) Fail("label not ended by ETX (code 3)");
      const char c = Get();
      if (c == ETX) break;
      if (static_cast<unsigned char>(c) >= ' ' && c != '\x7f') {
        if (run.empty()) run_at = pen_;
        run += c;
        continue;
      }
      flush();
      if (c == '\r') pen_ = line_start_;
      if (c == '\n') NewLine(false);
    }
    flush();
  }

  // One line down; with a carriage return also back to the line's start.
  void NewLine(bool carriage_return = true) {
    line_start_ = line_start_ + Cells(0.0, -1.0);
    pen_ = carriage_return ? line_start_ : pen_ + Cells(0.0, -1.0);
  }

  // A move by character cells along and across the label direction.
  Point Cells(double spaces, double lines) const {
    const double along = spaces * 1.5 * width_, across = lines * 2.0 * height_;
    return {along * direction_.x - across * direction_.y,
            along * direction_.y + across * direction_.x};
  }

  void EndLine() { open_ = -1; }

  template <typename Shape>
  void Add(Shape shape) {
    EndLine();
    if (pen_number_ <= 0) return;
    Mark& mark = drawing_.marks.emplace_back();
    mark.pen = pen_number_;
    mark.shape.template emplace<Shape>(std::move(shape));
  }

  std::string_view text_;
  size_t at_ = 0;
  int line_ = 1, line_of_instruction_ = 1;

  Drawing drawing_;
  Point pen_, line_start_, direction_;
  bool down_ = false, relative_ = false;
  int pen_number_ = 1;
  int open_ = -1;  // the polyline the pen is drawing, if any
  double width_ = 0.0, height_ = 0.0;
};

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s == "-0" ? "0" : s;
}

// A scale factor, to four figures.
std::string Factor(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", v);
  return text;
}

std::string At(Point p) { return Num(p.x) + "," + Num(-p.y); }

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (u >= 0x80) {
      out += "&#" + std::to_string(u) + ";";  // read as Latin-1
    } else {
      out += c;
    }
  }
  return out;
}

Point Along(Point centre, double r, double degrees) {
  return {centre.x + r * std::cos(degrees * kPi / 180.0),
          centre.y + r * std::sin(degrees * kPi / 180.0)};
}

// The smallest box holding the page and everything drawn.
struct Box {
  Point low{0.0, 0.0}, high{kPageWidth, kPageHeight};
  void Hold(Point p, double margin = 0.0) {
    low = {std::min(low.x, p.x - margin), std::min(low.y, p.y - margin)};
    high = {std::max(high.x, p.x + margin), std::max(high.y, p.y + margin)};
  }
};

struct Record {
  format::RecordSink& out;
  const char* colour;

  void operator()(const Polyline& l) const {
    if (l.points.size() < 2) return;
    std::string points;
    for (const Point& p : l.points) points += (points.empty() ? "" : " ") + At(p);
    out.Record("<polyline stroke=\"" + std::string(colour) + "\" points=\"" + points + "\"/>");
  }
  void operator()(const Circle& c) const {
    out.Record("<circle stroke=\"" + std::string(colour) + "\" cx=\"" + Num(c.centre.x) +
               "\" cy=\"" + Num(-c.centre.y) + "\" r=\"" + Num(c.radius) + "\"/>");
  }
  void operator()(const Wedge& w) const {
    if (std::fabs(w.sweep) >= 360.0) {
      out.Record("<circle fill=\"" + std::string(colour) + "\" cx=\"" + Num(w.centre.x) +
                 "\" cy=\"" + Num(-w.centre.y) + "\" r=\"" + Num(w.radius) + "\"/>");
      return;
    }
    // Counter-clockwise on the plotter is clockwise once y points down.
    const std::string r = Num(w.radius);
    out.Record("<path fill=\"" + std::string(colour) + "\" d=\"M" + At(w.centre) + " L" +
               At(Along(w.centre, w.radius, w.start)) + " A" + r + "," + r + " 0 " +
               (std::fabs(w.sweep) > 180.0 ? "1" : "0") + "," + (w.sweep > 0.0 ? "0" : "1") + " " +
               At(Along(w.centre, w.radius, w.start + w.sweep)) + " Z\"/>");
  }
  void operator()(const Label& l) const {
    const double size = l.height / kCapHeight;
    // A label of no height ("SI0,0") is drawn at no size, unstretched.
    const double stretch = size != 0.0 ? 1.5 * l.width / (kAdvance * size) : 1.0;
    out.Record("<text fill=\"" + std::string(colour) + "\" font-size=\"" + Num(size) +
               "\" transform=\"translate(" + Num(l.at.x) + " " + Num(-l.at.y) + ") rotate(" +
               Num(-l.angle) + ") scale(" + Factor(stretch) + " 1)\" xml:space=\"preserve\">" +
               Escaped(l.text) + "</text>");
  }
};

struct Extent {
  Box& box;
  void operator()(const Polyline& l) const {
    for (const Point& p : l.points) box.Hold(p, kPenWidth);
  }
  void operator()(const Circle& c) const { box.Hold(c.centre, c.radius + kPenWidth); }
  void operator()(const Wedge& w) const { box.Hold(w.centre, w.radius); }
  void operator()(const Label& l) const {
    const double a = l.angle * kPi / 180.0, length = 1.5 * l.width * l.text.size();
    const Point along{length * std::cos(a), length * std::sin(a)};
    const Point up{-l.height * std::sin(a), l.height * std::cos(a)};
    for (const Point& p : {l.at, l.at + along, l.at + up, l.at + along + up}) box.Hold(p);
  }
};

}  // namespace

Drawing InterpretHpgl(std::string_view hpgl) { return Interpreter(hpgl).Run(); }

void WriteSvg(const Drawing& drawing, format::RecordSink& out) {
  Box box;
  for (const Mark& m : drawing.marks) std::visit(Extent{box}, m.shape);
  const double width = box.high.x - box.low.x, height = box.high.y - box.low.y;
  const std::string view =
      Num(box.low.x) + " " + Num(-box.high.y) + " " + Num(width) + " " + Num(height);
  out.Record("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  out.Record("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width * kMmPerUnit) +
             "mm\" height=\"" + Num(height * kMmPerUnit) + "mm\" viewBox=\"" + view + "\">");
  out.Record("<rect x=\"" + Num(box.low.x) + "\" y=\"" + Num(-box.high.y) + "\" width=\"" +
             Num(width) + "\" height=\"" + Num(height) + "\" fill=\"#ffffff\"/>");
  out.Record("<g fill=\"none\" stroke-width=\"" + Num(kPenWidth) +
             "\" stroke-linecap=\"round\" stroke-linejoin=\"round\" font-family=\"monospace\">");
  for (const Mark& m : drawing.marks) {
    std::visit(Record{out, kPenColours[(m.pen - 1) % 8]}, m.shape);
  }
  out.Record("</g>");
  out.Record("</svg>");
}

}  // namespace plot
