// The SVG document: frame, ticks and titles, points, curve, residual panel,
// legend and values box.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "figure/figure.h"
#include "figure/internal.h"
#include "plot/plot.h"

namespace figure {

namespace {

constexpr char kFonts[] = "Helvetica, Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif";
// Okabe and Ito's colours, told apart by readers with colour blindness.
constexpr const char* kColours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                    "#E69F00", "#56B4E9", "#000000"};
constexpr char kCurveColour[] = "#D55E00";
constexpr char kPointColour[] = "#0072B2";
constexpr double kAspect = 0.70;     // plot height / width
constexpr double kResidual = 0.30;   // residual panel / plot height
constexpr double kCharWidth = 0.56;  // of the font size, for digits and most letters

// A coordinate in millimetres: two decimals, trailing zeros dropped.
std::string C(double v) {
  if (!std::isfinite(v)) v = 0.0;
  v = std::clamp(v, -1e4, 1e4);
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
  std::string s(buffer, r.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

struct Box {
  double x = 0, y = 0, w = 0, h = 0;
  double right() const { return x + w; }
  double bottom() const { return y + h; }
  bool Holds(double px, double py) const {
    return px >= x && px <= right() && py >= y && py <= bottom();
  }
};

// A run of title text: plain, italic or subscript.
struct Run {
  std::string text;
  bool italic = false, sub = false;
};
using Rich = std::vector<Run>;

Rich Symbol(int q) {
  switch (q) {
    case kMu:
      return {{"\xCE\xBC", true}, {"eff", false, true}};
    case kChiT:
      return {{"\xCF\x87", true}, {"M", false, true}, {" "}, {"T", true}};
    case kInverseChi:
      return {{"\xCF\x87", true}, {"M", false, true}, {"\xE2\x81\xBB\xC2\xB9"}};
    default:
      return {{"\xCF\x87", true}, {"M", false, true}};
  }
}

Rich Unit(int q) {
  switch (q) {
    case kMu:
      return {{"\xCE\xBC", true}, {"B", false, true}};
    case kChiT:
      return {{"cm\xC2\xB3 K mol\xE2\x81\xBB\xC2\xB9"}};
    case kInverseChi:
      return {{"mol cm\xE2\x81\xBB\xC2\xB3"}};
    default:
      return {{"cm\xC2\xB3 mol\xE2\x81\xBB\xC2\xB9"}};
  }
}

std::string Factor(int exponent) { return exponent == 0 ? "" : "10" + Superscript(exponent) + " "; }

Rich YTitle(int q, int exponent) {
  Rich r = Symbol(q);
  r.push_back({" / " + Factor(exponent)});
  for (const Run& u : Unit(q)) r.push_back(u);
  return r;
}

Rich XTitle(int q, int exponent) {
  Rich r{{"T", true}};
  if (q == kChiVsInverseT) r.push_back({"\xE2\x81\xBB\xC2\xB9"});
  r.push_back({" / " + Factor(exponent) + (q == kChiVsInverseT ? "K\xE2\x81\xBB\xC2\xB9" : "K")});
  return r;
}

Rich ResidualTitle(int q, int exponent) {
  Rich r{{"\xCE\x94"}};
  for (const Run& s : Symbol(q)) r.push_back(s);
  if (exponent != 0) r.push_back({" / 10" + Superscript(exponent)});
  return r;
}

class Svg {
 public:
  void Add(const std::string& element) { text_ += element + "\n"; }
  // A text element; `attributes` placed after x and y.
  void Text(double x, double y, const std::string& content, const std::string& attributes = "") {
    Add("<text x=\"" + C(x) + "\" y=\"" + C(y) + "\"" + attributes + ">" + content + "</text>");
  }
  void RichText(double x, double y, const Rich& r, double fs, const std::string& attributes) {
    std::string s;
    bool lowered = false;
    const double shift = 0.3 * fs;
    for (const Run& run : r) {
      std::string a;
      if (run.italic) a += " font-style=\"italic\"";
      if (run.sub && !lowered) a += " dy=\"" + C(shift) + "\"";
      if (!run.sub && lowered) a += " dy=\"" + C(-shift) + "\"";
      if (run.sub) a += " font-size=\"" + C(0.72 * fs) + "\"";
      lowered = run.sub;
      s += a.empty() ? Xml(run.text) : "<tspan" + a + ">" + Xml(run.text) + "</tspan>";
    }
    // librsvg drops the first blank after a shift unless told to keep it.
    Text(x, y, s, attributes + " xml:space=\"preserve\"");
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::string Open(double width, double height, double fs) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
         C(width) + "mm\" height=\"" + C(height) + "mm\" viewBox=\"0 0 " + C(width) + " " +
         C(height) + "\" font-family=\"" + kFonts + "\" font-size=\"" + C(fs) + "\">\n" +
         "<rect width=\"" + C(width) + "\" height=\"" + C(height) + "\" fill=\"white\"/>\n";
}

double FontSize(double width) { return std::min(2.1 + 0.0065 * width, 3.6); }

// A point's plotted place, error bar and residual; not finite where absent.
struct Mark {
  double x, y, lo, hi, residual;
  bool hollow;
};

std::vector<Mark> Marks(const Series& s, int q) {
  std::vector<Mark> marks;
  const size_t n = std::min(s.T.size(), s.chi.size());
  const double nan = std::nan("");
  for (size_t i = 0; i < n; ++i) {
    Mark m{Abscissa(q, s.T[i]),
           Ordinate(q, s.T[i], s.chi[i]),
           nan,
           nan,
           nan,
           i < s.excluded.size() && s.excluded[i]};
    if (!std::isfinite(m.x) || !std::isfinite(m.y)) continue;
    if (i < s.sigma.size() && std::isfinite(s.sigma[i]) && s.sigma[i] > 0.0) {
      const double a = Ordinate(q, s.T[i], s.chi[i] - s.sigma[i]);
      const double b = Ordinate(q, s.T[i], s.chi[i] + s.sigma[i]);
      if (std::isfinite(a) && std::isfinite(b)) m.lo = std::min(a, b), m.hi = std::max(a, b);
    }
    if (i < s.calc.size()) m.residual = m.y - Ordinate(q, s.T[i], s.calc[i]);
    marks.push_back(m);
  }
  return marks;
}

struct Curve {
  std::vector<double> x, y;
};

Curve CurveOf(const Series& s, int q) {
  Curve c;
  const size_t n = std::min(s.curve_T.size(), s.curve_chi.size());
  for (size_t i = 0; i < n; ++i) {
    c.x.push_back(Abscissa(q, s.curve_T[i]));
    c.y.push_back(Ordinate(q, s.curve_T[i], s.curve_chi[i]));
  }
  return c;
}

struct Range {
  double lo = INFINITY, hi = -INFINITY;
  void Add(double v) {
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  }
  bool empty() const { return !(lo <= hi); }
};

struct Map {
  Box box;
  Axis x, y;
  double X(double v) const { return box.x + (v - x.min) / (x.max - x.min) * box.w; }
  double Y(double v) const { return box.bottom() - (v - y.min) / (y.max - y.min) * box.h; }
};

// Ticks of one axis whose labels fit `length` mm at `spacing` mm a label.
Axis FitAxis(double lo, double hi, double length, double fs, bool horizontal, bool from_zero,
             const Limits& given) {
  int max_ticks = std::clamp(static_cast<int>(length / (fs * (horizontal ? 2.2 : 2.4))), 3, 9);
  for (;; --max_ticks) {
    Axis a = ChooseAxis(lo, hi, max_ticks, from_zero, given);
    if (!horizontal || max_ticks <= 3) return a;
    size_t widest = 0;
    for (const std::string& l : a.labels) widest = std::max<size_t>(widest, Characters(l));
    if (a.ticks.size() * (widest * kCharWidth + 1.2) * fs <= length) return a;
  }
}

double LabelWidth(const Axis& a, double fs) {
  int widest = 0;
  for (const std::string& l : a.labels) widest = std::max(widest, Characters(l));
  return widest * kCharWidth * fs;
}

// Ticks on both sides of the frame, labelled on the left or at the bottom.
// Where two panels meet, a y label that would touch the other panel's is
// left out: `shared_bottom` for the upper panel, `residual` for the lower.
void Ticks(Svg& svg, const Map& m, bool x_axis, bool labels, double fs, bool residual = false,
           bool shared_bottom = false) {
  const double t = 0.45 * fs;
  std::string path;
  const Axis& a = x_axis ? m.x : m.y;
  for (size_t i = 0; i < a.ticks.size(); ++i) {
    if (x_axis) {
      const double px = m.X(a.ticks[i]);
      path += "M" + C(px) + " " + C(m.box.bottom()) + "v" + C(-t) + "M" + C(px) + " " + C(m.box.y) +
              "v" + C(t);
      if (labels) {
        svg.Text(px, m.box.bottom() + 1.25 * fs, a.labels[i],
                 " class=\"xtick\" text-anchor=\"middle\"");
      }
    } else {
      const double py = m.Y(a.ticks[i]);
      path += "M" + C(m.box.x) + " " + C(py) + "h" + C(t) + "M" + C(m.box.right()) + " " + C(py) +
              "h" + C(-t);
      if ((shared_bottom && py > m.box.bottom() - 0.6 * fs) ||
          (residual && py < m.box.y + 0.6 * fs)) {
        continue;
      }
      svg.Text(
          m.box.x - 0.35 * fs, py + 0.35 * fs, a.labels[i],
          std::string(" class=\"") + (residual ? "rtick" : "ytick") + "\" text-anchor=\"end\"");
    }
  }
  svg.Add("<path d=\"" + path + "\" fill=\"none\" stroke=\"black\" stroke-width=\"" + C(0.09 * fs) +
          "\"/>");
}

void Frame(Svg& svg, const Box& b, double fs) {
  svg.Add("<rect x=\"" + C(b.x) + "\" y=\"" + C(b.y) + "\" width=\"" + C(b.w) + "\" height=\"" +
          C(b.h) + "\" fill=\"none\" stroke=\"black\" stroke-width=\"" + C(0.09 * fs) + "\"/>");
}

void Clip(Svg& svg, const Box& b, const std::string& id) {
  svg.Add("<clipPath id=\"" + id + "\"><rect x=\"" + C(b.x) + "\" y=\"" + C(b.y) + "\" width=\"" +
          C(b.w) + "\" height=\"" + C(b.h) + "\"/></clipPath>");
}

std::string CurvePath(const Map& m, const Curve& c) {
  std::string d;
  bool pen = false;
  for (size_t i = 0; i < c.x.size(); ++i) {
    if (!std::isfinite(c.x[i]) || !std::isfinite(c.y[i])) {
      pen = false;
      continue;
    }
    d += (pen ? "L" : "M") + C(m.X(c.x[i])) + " " + C(m.Y(c.y[i]));
    pen = true;
  }
  return d;
}

void Points(Svg& svg, const Map& m, const std::vector<Mark>& marks, const std::string& colour,
            double fs, bool residual) {
  const double r = 0.21 * fs, sw = 0.07 * fs;
  std::string bars;
  for (const Mark& k : marks) {
    if (residual || !std::isfinite(k.lo)) continue;
    const double px = m.X(k.x), a = m.Y(k.lo), b = m.Y(k.hi);
    if (std::fabs(a - b) < 2 * r) continue;  // hidden by the mark
    bars += "M" + C(px) + " " + C(a) + "V" + C(b) + "M" + C(px - 0.6 * r) + " " + C(a) + "h" +
            C(1.2 * r) + "M" + C(px - 0.6 * r) + " " + C(b) + "h" + C(1.2 * r);
  }
  if (!bars.empty()) {
    svg.Add("<path d=\"" + bars + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" +
            C(sw) + "\"/>");
  }
  for (const Mark& k : marks) {
    const double y = residual ? k.residual : k.y;
    if (!std::isfinite(y)) continue;
    svg.Add("<circle cx=\"" + C(m.X(k.x)) + "\" cy=\"" + C(m.Y(y)) + "\" r=\"" + C(r) +
            "\" fill=\"" + (k.hollow ? "white" : colour) + "\" stroke=\"" + colour +
            "\" stroke-width=\"" + C(sw) + "\"/>");
  }
}

// Legend entries and value lines, placed in the corner of the plot that
// covers the fewest points and curve samples.
using Obstacles = std::vector<std::pair<double, double>>;

struct Entry {
  std::string colour;
  bool point = false, hollow = false, line = false;
  std::string label;
};

bool Overlap(const Box& a, const Box& b) {
  return a.x < b.right() && b.x < a.right() && a.y < b.bottom() && b.y < a.bottom();
}

// The place for a box w x h in the plot, clear of the boxes placed before,
// that hides the fewest obstacles: corners first, then the middles of the
// sides, then the centre. Into `placed`; returns the obstacles hidden, or
// -1 when no place is clear.
int Place(const Map& m, double w, double h, double fs, const Obstacles& obstacles,
          std::vector<Box>& placed) {
  const double inset = 0.6 * fs;
  // (column, row): 0 left or top, 1 middle, 2 right or bottom.
  static const int kPlaces[][2] = {{2, 0}, {0, 0}, {2, 2}, {0, 2}, {2, 1},
                                   {0, 1}, {1, 0}, {1, 2}, {1, 1}};
  const double xs[] = {m.box.x + inset, m.box.x + (m.box.w - w) / 2, m.box.right() - inset - w};
  const double ys[] = {m.box.y + inset, m.box.y + (m.box.h - h) / 2, m.box.bottom() - inset - h};
  int best_count = -1;
  Box best;
  for (const auto& place : kPlaces) {
    const Box b{xs[place[0]], ys[place[1]], w, h};
    bool clear = true;
    for (const Box& p : placed) clear &= !Overlap(p, b);
    if (!clear) continue;
    // A mark just outside still touches the box: counted with a margin.
    const Box near{b.x - 0.4 * fs, b.y - 0.4 * fs, w + 0.8 * fs, h + 0.8 * fs};
    int count = 0;
    for (const auto& p : obstacles) count += near.Holds(p.first, p.second);
    if (best_count < 0 || count < best_count) best_count = count, best = b;
  }
  if (best_count >= 0) placed.push_back(best);
  return best_count;
}

// The size of the legend's box.
Box LegendSize(const std::vector<Entry>& entries, double fs) {
  const double lf = 0.9 * fs;
  int widest = 0;
  for (const Entry& e : entries) widest = std::max(widest, Characters(e.label));
  return {0, 0, 3.5 * lf + widest * kCharWidth * lf, entries.size() * 1.35 * lf + 0.4 * lf};
}

void DrawLegend(Svg& svg, const std::vector<Entry>& entries, const Box& b, double fs) {
  const double lf = 0.9 * fs, line = 1.35 * lf, sample = 2.4 * lf;
  svg.Add("<g font-size=\"" + C(lf) + "\">");
  svg.Add("<rect x=\"" + C(b.x) + "\" y=\"" + C(b.y) + "\" width=\"" + C(b.w) + "\" height=\"" +
          C(b.h) + "\" fill=\"white\" fill-opacity=\"0.85\" stroke=\"none\"/>");
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const double cy = b.y + 0.2 * lf + (i + 0.5) * line, x0 = b.x + 0.3 * lf;
    if (e.line) {
      svg.Add("<path d=\"M" + C(x0) + " " + C(cy) + "h" + C(sample) + "\" stroke=\"" + e.colour +
              "\" stroke-width=\"" + C(0.11 * fs) + "\"/>");
    }
    if (e.point) {
      svg.Add("<circle cx=\"" + C(x0 + sample / 2) + "\" cy=\"" + C(cy) + "\" r=\"" + C(0.21 * fs) +
              "\" fill=\"" + (e.hollow ? "white" : e.colour) + "\" stroke=\"" + e.colour +
              "\" stroke-width=\"" + C(0.07 * fs) + "\"/>");
    }
    svg.Text(x0 + sample + 0.5 * lf, cy + 0.35 * lf, Xml(e.label));
  }
  svg.Add("</g>");
}

// The size of the values box with `lines`.
Box ValuesSize(const std::vector<std::string>& lines, double fs) {
  const double lf = 0.9 * fs;
  int widest = 0;
  for (const std::string& l : lines) widest = std::max(widest, Characters(l));
  return {0, 0, widest * kCharWidth * lf + 1.0 * lf, lines.size() * 1.35 * lf + 0.5 * lf};
}

void DrawValues(Svg& svg, const std::vector<std::string>& lines, const Box& b, double fs) {
  const double lf = 0.9 * fs, line = 1.35 * lf;
  svg.Add("<g font-size=\"" + C(lf) + "\">");
  svg.Add("<rect x=\"" + C(b.x) + "\" y=\"" + C(b.y) + "\" width=\"" + C(b.w) + "\" height=\"" +
          C(b.h) + "\" fill=\"white\" fill-opacity=\"0.85\" stroke=\"#808080\" stroke-width=\"" +
          C(0.05 * fs) + "\"/>");
  for (size_t i = 0; i < lines.size(); ++i) {
    svg.Text(b.x + 0.5 * lf, b.y + 0.25 * lf + (i + 0.5) * line + 0.35 * lf, Xml(lines[i]));
  }
  svg.Add("</g>");
}

std::string Colour(size_t i, size_t n) { return n == 1 ? kPointColour : kColours[i % 7]; }

// The message of a plot that cannot be drawn, in the middle of `b`.
void Message(Svg& svg, const Box& b, const std::string& title, const std::string& why, double fs) {
  svg.Add("<rect x=\"" + C(b.x) + "\" y=\"" + C(b.y) + "\" width=\"" + C(b.w) + "\" height=\"" +
          C(b.h) + "\" fill=\"none\" stroke=\"#808080\" stroke-width=\"" + C(0.09 * fs) + "\"/>");
  const double cx = b.x + b.w / 2, cy = b.y + b.h / 2;
  if (!title.empty()) svg.Text(cx, cy - 1.2 * fs, Xml(title), " text-anchor=\"middle\"");
  // The reason on lines that fit the box.
  const int per_line = std::max(10, static_cast<int>(b.w / (kCharWidth * fs)) - 2);
  std::string text = "No figure: " + why, line;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && Characters(line) + 1 + Characters(word) > per_line) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  for (size_t i = 0; i < lines.size(); ++i) {
    svg.Text(cx, cy + (i + 0.35) * 1.3 * fs, Xml(lines[i]), " text-anchor=\"middle\"");
  }
}

// Where everything of one panel goes, at the origin.
struct Layout {
  std::string why;  // not empty: nothing to draw but this
  std::vector<std::vector<Mark>> marks;
  std::vector<Curve> curves;
  Map main, res;
  bool residuals = false;
  double width = 0.0, height = 0.0;
  std::vector<Entry> entries;      // the legend's; empty: none
  std::vector<std::string> lines;  // the values box's; empty: none
  Box legend, values;              // where they go
};

std::vector<Entry> Entries(const Plot& plot, const Layout& l) {
  std::vector<Entry> entries;
  const size_t n = plot.series.size();
  bool any_hollow = false;
  for (size_t i = 0; i < n; ++i) {
    const Series& s = plot.series[i];
    for (const Mark& k : l.marks[i]) any_hollow |= k.hollow;
    const std::string label = s.label.empty() ? "data" : s.label;
    const bool curve = !l.curves[i].x.empty();
    if (n == 1) {
      entries.push_back({Colour(i, n), true, false, false, label});
      if (curve) entries.push_back({kCurveColour, false, false, true, "fit"});
    } else {
      entries.push_back({Colour(i, n), true, false, curve, label});
    }
  }
  if (any_hollow) entries.push_back({"#000000", true, true, false, "not fitted"});
  return entries;
}

// Places the legend and the values box of `l`; returns the obstacles they
// hide. A box that finds no clear place or is too large is left out.
int PlaceBoxes(Layout& l, double fs) {
  const Map& main = l.main;
  Obstacles obstacles;
  for (size_t i = 0; i < l.marks.size(); ++i) {
    for (const Mark& k : l.marks[i]) obstacles.emplace_back(main.X(k.x), main.Y(k.y));
    const Curve& c = l.curves[i];
    for (size_t j = 0; j < c.x.size(); ++j) obstacles.emplace_back(main.X(c.x[j]), main.Y(c.y[j]));
  }
  std::vector<Box> placed;
  int hidden = 0;
  auto put = [&](const Box& size, Box& at) {
    at = {};
    if (size.w > main.box.w * 0.9 || size.h > main.box.h * 0.9) return false;
    const int n = Place(main, size.w, size.h, fs, obstacles, placed);
    if (n < 0) return false;
    hidden += n;
    at = placed.back();
    return true;
  };
  if (!l.entries.empty() && !put(LegendSize(l.entries, fs), l.legend)) l.entries.clear();
  if (!l.lines.empty() && !put(ValuesSize(l.lines, fs), l.values)) l.lines.clear();
  return hidden;
}

Layout MakeLayout(const Plot& plot, const Options& o, int q, double width, double fs) {
  Layout l;
  l.width = width;
  l.why = Undrawable(plot, q);
  if (!l.why.empty()) {
    l.height = width * 0.62;
    return l;
  }
  Range xr, yr, dr, rr;
  for (const Series& s : plot.series) {
    l.marks.push_back(Marks(s, q));
    l.curves.push_back(CurveOf(s, q));
    for (const Mark& m : l.marks.back()) {
      xr.Add(m.x), yr.Add(m.y), dr.Add(m.y), rr.Add(m.residual);
      if (std::isfinite(m.lo)) yr.Add(m.lo), yr.Add(m.hi);
    }
  }
  // The curve widens the range only so far: a fit that runs away still
  // leaves the data readable.
  const double span = dr.hi - dr.lo > 0 ? dr.hi - dr.lo : std::fabs(dr.hi) + 1.0;
  for (const Curve& c : l.curves) {
    for (size_t i = 0; i < c.x.size(); ++i) {
      if (std::isfinite(c.x[i]) && c.x[i] >= xr.lo && c.x[i] <= xr.hi) {
        yr.Add(std::clamp(c.y[i], dr.lo - 0.5 * span, dr.hi + 0.5 * span));
      }
    }
  }
  l.residuals = o.residuals && !rr.empty();

  const double top = (plot.title.empty() ? 0.8 : 1.9) * fs;
  Map& main = l.main;
  Map& res = l.res;
  auto lay_out = [&](double y_hi) {
    double left = 6.0 * fs, right = 1.2 * fs;
    // The margins depend on the labels, the labels on the lengths.
    for (int pass = 0; pass < 2; ++pass) {
      const double pw = width - left - right;
      const double ph = pw * kAspect, rh = l.residuals ? ph * kResidual : 0.0;
      main.box = {left, top, pw, ph};
      res.box = {left, top + ph, pw, rh};
      main.x = FitAxis(xr.lo, xr.hi, pw, fs, true, true, o.x);
      main.y = FitAxis(yr.lo, y_hi, ph, fs, false, true, o.y);
      if (l.residuals) {
        const double a = std::max(std::fabs(rr.lo), std::fabs(rr.hi));
        res.x = main.x;
        res.y = FitAxis(-1.15 * a, 1.15 * a, rh, fs, false, false, {});
      }
      const double labels =
          std::max(LabelWidth(main.y, fs), l.residuals ? LabelWidth(res.y, fs) : 0.0);
      left = 0.35 * fs + labels + 0.55 * fs + 1.3 * fs;
      right = std::max(1.0 * fs, LabelWidth(main.x, fs) / 2 + 0.4 * fs);
    }
  };
  lay_out(yr.hi);
  if (o.legend) l.entries = Entries(plot, l);
  if (o.values) {
    for (const Value& v : plot.values) {
      l.lines.push_back(v.name + " = " + ValueWithError(v.value, v.error));
    }
  }
  const std::vector<Entry> entries = l.entries;
  const std::vector<std::string> lines = l.lines;
  if (PlaceBoxes(l, fs) > 0 && !std::isfinite(o.y.max)) {
    // Every place hides some data: room above them for the boxes, side by
    // side, unless the range was given.
    const double need = std::max(entries.empty() ? 0.0 : LegendSize(entries, fs).h,
                                 lines.empty() ? 0.0 : ValuesSize(lines, fs).h) +
                        1.6 * fs;
    const double part = std::min(need / main.box.h, 0.5);
    lay_out(yr.lo + (yr.hi - yr.lo) / (1.0 - part));
    l.entries = entries;
    l.lines = lines;
    PlaceBoxes(l, fs);
  }
  l.height = (l.residuals ? res : main).box.bottom() + 3.1 * fs;
  return l;
}

// Draws the panel laid out in `l` at the origin; `id` names its clip paths.
void DrawPanel(Svg& svg, const Plot& plot, const Layout& l, int q, double fs,
               const std::string& id) {
  if (!l.why.empty()) {
    Message(svg, {0, 0, l.width, l.height}, plot.title, l.why, fs);
    return;
  }
  const Map& main = l.main;
  const Map& res = l.res;
  const Map& lowest = l.residuals ? res : main;
  if (!plot.title.empty()) {
    svg.Text(main.box.x + main.box.w / 2, 1.2 * fs, Xml(plot.title), " text-anchor=\"middle\"");
  }
  const double labels = std::max(LabelWidth(main.y, fs), l.residuals ? LabelWidth(res.y, fs) : 0.0);
  const double title_x = main.box.x - 0.35 * fs - labels - 0.55 * fs;
  svg.RichText(0, 0, YTitle(q, main.y.exponent), fs,
               " class=\"ytitle\" transform=\"translate(" + C(title_x) + " " +
                   C(main.box.y + main.box.h / 2) + ") rotate(-90)\" text-anchor=\"middle\"");
  if (l.residuals) {
    svg.RichText(0, 0, ResidualTitle(q, res.y.exponent), 0.85 * fs,
                 " font-size=\"" + C(0.85 * fs) + "\" transform=\"translate(" + C(title_x) + " " +
                     C(res.box.y + res.box.h / 2) + ") rotate(-90)\" text-anchor=\"middle\"");
  }
  svg.RichText(lowest.box.x + lowest.box.w / 2, lowest.box.bottom() + 2.6 * fs,
               XTitle(q, main.x.exponent), fs, " class=\"xtitle\" text-anchor=\"middle\"");

  // Curves and points, clipped to the frame.
  const size_t n = plot.series.size();
  Clip(svg, main.box, id + "m");
  svg.Add("<g clip-path=\"url(#" + id + "m)\">");
  for (size_t i = 0; i < n; ++i) {
    const std::string d = CurvePath(main, l.curves[i]);
    if (d.empty()) continue;
    svg.Add("<path d=\"" + d + "\" fill=\"none\" stroke=\"" +
            (n == 1 ? kCurveColour : Colour(i, n)) + "\" stroke-width=\"" + C(0.11 * fs) +
            "\" stroke-linejoin=\"round\"/>");
  }
  for (size_t i = 0; i < n; ++i) Points(svg, main, l.marks[i], Colour(i, n), fs, false);
  svg.Add("</g>");
  Ticks(svg, main, false, true, fs, false, l.residuals);
  Ticks(svg, main, true, !l.residuals, fs);
  Frame(svg, main.box, fs);
  if (l.residuals) {
    Clip(svg, res.box, id + "r");
    svg.Add("<g clip-path=\"url(#" + id + "r)\">");
    svg.Add("<path d=\"M" + C(res.box.x) + " " + C(res.Y(0)) + "H" + C(res.box.right()) +
            "\" stroke=\"#808080\" stroke-width=\"" + C(0.07 * fs) + "\" stroke-dasharray=\"" +
            C(0.6 * fs) + " " + C(0.4 * fs) + "\"/>");
    for (size_t i = 0; i < n; ++i) Points(svg, res, l.marks[i], Colour(i, n), fs, true);
    svg.Add("</g>");
    Ticks(svg, res, false, true, fs, true);
    Ticks(svg, res, true, true, fs);
    Frame(svg, res.box, fs);
  }

  if (!l.entries.empty()) DrawLegend(svg, l.entries, l.legend, fs);
  if (!l.lines.empty()) DrawValues(svg, l.lines, l.values, fs);
}

int Normalised(int quantity) { return quantity >= 1 && quantity <= 5 ? quantity : kChi; }

}  // namespace

double Abscissa(int quantity, double T) { return quantity == kChiVsInverseT ? 1.0 / T : T; }

double Ordinate(int quantity, double T, double chi) {
  switch (quantity) {
    case kMu:
      return std::sqrt(chi * T * plot::MUCONST);
    case kChiT:
      return chi * T;
    case kInverseChi:
      return 1.0 / chi;
    default:
      return chi;
  }
}

std::string Undrawable(const Plot& plot, int quantity) {
  const int q = Normalised(quantity);
  size_t points = 0, finite = 0;
  double first = NAN, first_T = NAN;
  bool spread = false;
  for (const Series& s : plot.series) {
    const size_t n = std::min(s.T.size(), s.chi.size());
    points += n;
    for (size_t i = 0; i < n; ++i) {
      const double x = Abscissa(q, s.T[i]), y = Ordinate(q, s.T[i], s.chi[i]);
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      ++finite;
      if (std::isnan(first)) first = x, first_T = s.T[i];
      spread |= x != first;
    }
  }
  if (points == 0) return "there are no data points.";
  if (finite == 0) {
    return q == kMu ? "no point has an effective moment (every \xCF\x87T is negative)."
                    : "no point has a finite value to plot.";
  }
  if (spread) return "";
  char buffer[64];
  const std::string T(buffer, std::to_chars(buffer, buffer + sizeof buffer, first_T).ptr);
  if (finite == 1) return "there is one point to plot (T = " + T + " K).";
  return "all " + std::to_string(finite) + " points are at one temperature (T = " + T + " K).";
}

std::string Draw(const Plot& plot, const Options& options) {
  const int q = Normalised(options.quantity);
  const double width =
      std::clamp(std::isfinite(options.width_mm) ? options.width_mm : 85.0, 40.0, 500.0);
  const double fs = FontSize(width);
  const Layout l = MakeLayout(plot, options, q, width, fs);
  Svg svg;
  DrawPanel(svg, plot, l, q, fs, "p");
  return Open(width, l.height, fs) + svg.text() + "</svg>\n";
}

std::string Grid(const std::vector<Plot>& plots, const Options& options, int columns) {
  const int q = Normalised(options.quantity);
  const double width =
      std::clamp(std::isfinite(options.width_mm) ? options.width_mm : 170.0, 40.0, 2000.0);
  const int n = static_cast<int>(plots.size());
  if (columns <= 0) columns = n <= 1 ? 1 : n <= 4 ? 2 : n <= 9 ? 3 : 4;
  columns = std::clamp(columns, 1, std::max(1, n));
  const double cell = width / columns;
  // A panel's font is a column's of its width, but never below 2 mm.
  const double fs = std::max(2.0, FontSize(cell) * 0.9);
  // Each panel's title names its data.
  Options o = options;
  o.legend = false;
  Svg svg;
  double y = 0.0;
  for (int row = 0; row * columns < n; ++row) {
    std::vector<Layout> layouts;
    double h = 0.0;
    for (int i = row * columns; i < std::min(n, (row + 1) * columns); ++i) {
      layouts.push_back(MakeLayout(plots[i], o, q, cell, fs));
      h = std::max(h, layouts.back().height);
    }
    for (size_t k = 0; k < layouts.size(); ++k) {
      const int i = row * columns + static_cast<int>(k);
      svg.Add("<g transform=\"translate(" + C(k * cell) + " " + C(y) + ")\">");
      DrawPanel(svg, plots[i], layouts[k], q, fs, "p" + std::to_string(i));
      svg.Add("</g>");
    }
    y += h;
  }
  const double height = std::max(y, 10.0);
  return Open(width, height, fs) + svg.text() + "</svg>\n";
}

// ---------------------------------------------------------------------------

std::string Xml(std::string_view text) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) ok = (p[i + k] & 0xC0) == 0x80;
    if (ok && len > 1) {
      // No overlong forms, surrogates or code points beyond U+10FFFF.
      unsigned cp = c & (0x7F >> len);
      for (int k = 1; k < len; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
      ok = cp >= (len == 2   ? 0x80u
                  : len == 3 ? 0x800u
                             : 0x10000u) &&
           cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE && cp != 0xFFFF;
    }
    if (!ok || (len == 1 && (c < 0x20 || c == 0x7F))) {
      out += "\xEF\xBF\xBD";
      i += ok ? len : 1;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out.append(text.substr(i, len));
    }
    i += len;
  }
  return out;
}

int Characters(std::string_view text) {
  int n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace figure
