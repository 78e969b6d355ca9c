// An HP-GL interpreter for the instructions the program writes, and the SVG
// picture of what it draws.
//
// Understood: IN, SP, PU, PD, PA, PR, CI, WG, XT, YT, SI, CP, LB (ended by
// ETX, code 3) and DI. Coordinates are plotter units, y up, 400 units per cm.
// Pen 1 draws until an SP. At the start and after IN: pen up at its place,
// absolute moves, label direction 1,0, character size 0.19 x 0.27 cm. The
// scaling points are those of a letter-size plotter, P1 = (250, 596) and
// P2 = (10250, 7796); a tick reaches 0.5 % of P2 - P1 on each side of the
// axis (36 units for XT, 50 for YT). Label bytes above 127 are Latin-1.
#ifndef SUSCEP_PLOT_HPGL_SVG_H_
#define SUSCEP_PLOT_HPGL_SVG_H_

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "format/console.h"

namespace plot {

// A text that is not in the subset; what() names the line.
class HpglError : public std::runtime_error {
 public:
  HpglError(int line, const std::string& what);
  int line() const { return line_; }

 private:
  int line_;
};

struct Point {
  double x = 0.0, y = 0.0;
};

// What a pen leaves on the paper, in plotter units; angles in degrees,
// counter-clockwise from the x axis.
struct Polyline {
  std::vector<Point> points;
};
struct Circle {  // CI: an outline
  Point centre;
  double radius = 0.0;
};
struct Wedge {  // WG: filled; a sweep of 360 is a disc
  Point centre;
  double radius = 0.0, start = 0.0, sweep = 0.0;
};
struct Label {  // LB: `at` is the left end of the baseline
  Point at;
  std::string text;
  double width = 0.0, height = 0.0;  // character size
  double angle = 0.0;
};

struct Mark {
  int pen = 1;
  std::variant<Polyline, Circle, Wedge, Label> shape;
};

struct Drawing {
  std::vector<Mark> marks;
};

// Runs an HP-GL text; throws HpglError for anything outside the subset.
Drawing InterpretHpgl(std::string_view hpgl);

// The drawing as an SVG document, one record per element. The picture is the
// 11 x 8.5 inch page (0..11176 by 0..8636 units), grown to hold anything
// drawn beyond it; the SVG user space is (x, -y) in plotter units.
void WriteSvg(const Drawing& drawing, format::RecordSink& out);

}  // namespace plot

#endif  // SUSCEP_PLOT_HPGL_SVG_H_
