// Plot quantities and axis ranges, the printer plot and the HP-GL file.
#ifndef SUSCEP_PLOT_PLOT_H_
#define SUSCEP_PLOT_PLOT_H_

#include <array>
#include <functional>
#include <string>

#include "format/console.h"

namespace plot {

constexpr int kMaxPoints = 300;
constexpr double MUCONST = 7.997;

// Plot choices and arrays. Coordinates are single precision.
struct PlotState {
  int IPLOT = 1;
  int IPTYPE = 2;
  int NCAL = 0;
  std::array<double, kMaxPoints> TCAL{};
  std::array<double, kMaxPoints> CHICAL{};
  int NDATA = 0;
  std::array<float, kMaxPoints> PXOBS{}, PYOBS{}, PXCAL{}, PYCAL{};
  // Whether a point's plot quantities are finite; other points are left
  // out of the plot and the ranges.
  std::array<bool, kMaxPoints> OKOBS{}, OKCAL{};
  float PXMIN = 0.0f, PXMAX = 0.0f, PYMIN = 0.0f, PYMAX = 0.0f;
};

// Step 1: abscissae, NCAL and TCAL from the data temperatures, IPLOT and
// IPTYPE (set in `s` by the caller).
void PrepareAbscissae(PlotState& s, const double* T, int NDATA);

// Step 3: ordinates and ranges, after the caller has filled CHICAL.
void PrepareOrdinates(PlotState& s, const double* T, const double* XOBS, int NDATA);

// Plot type 2: the character plot on the console, then a pause.
void PrinterPlot(const PlotState& s, format::Console& con);

// The axis ranges typed in the range dialogue, in the plotted quantities.
struct TypedRanges {
  double x_min = 0.0, x_max = 0.0, x_divn = 0.0;
  double y_min = 0.0, y_max = 0.0, y_divn = 0.0;
};
// The picture of a plot with the ranges typed: an SVG document.
using Picture = std::function<std::string(const TypedRanges&)>;

// Plot type 3: the axis-range dialogue on the console, then the HP-GL file
// and its picture, the SVG file of the same name with extension .SVG,
// written together. The picture is `picture`'s, or without one the HP-GL
// drawing itself.
void HpglPlot(const PlotState& s, format::Console& con, const std::string& path = "SUSCEP.HGL",
              const Picture& picture = {});

// The HP-GL text HpglPlot writes when every axis range is left at the
// values from the data; "" when those cannot be drawn (a single point).
std::string HpglText(const PlotState& s);

}  // namespace plot

#endif  // SUSCEP_PLOT_PLOT_H_
