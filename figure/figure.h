// A figure for a paper: data points with error bars, a fitted curve, an
// optional residual panel, a legend and a box of fitted values, as an SVG
// document. It only draws: the caller gives the points and the curve.
//
// Sizes are in millimetres (the SVG user unit); text is sans-serif. The same
// input always gives the same bytes: numbers are written without the locale.
#ifndef SUSCEP_FIGURE_FIGURE_H_
#define SUSCEP_FIGURE_FIGURE_H_

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace figure {

// The five plots of the plot menu.
enum Quantity : int {
  kChi = 1,            // chi_M vs T
  kMu = 2,             // mu_eff vs T
  kChiT = 3,           // chi_M T vs T
  kInverseChi = 4,     // 1/chi_M vs T
  kChiVsInverseT = 5,  // chi_M vs 1/T
};

// The plotted abscissa and ordinate of one susceptibility at T; not finite
// where the quantity has no value (mu_eff of a negative chi T, 1/0).
double Abscissa(int quantity, double T);
double Ordinate(int quantity, double T, double chi);

// One data set and its fit. Susceptibilities in cm3 mol-1, corrected.
struct Series {
  std::string label;                       // in the legend; empty: "data"
  std::vector<double> T, chi;              // the points
  std::vector<double> sigma;               // empty, or chi's standard error per point
  std::vector<bool> excluded;              // empty, or per point: left out of the fit (hollow)
  std::vector<double> calc;                // empty, or the fit at each point's T (residuals)
  std::vector<double> curve_T, curve_chi;  // the fitted curve; empty: none
};

// One line of the values box: "name = value ± error".
struct Value {
  std::string name;
  double value = 0.0;
  double error = std::numeric_limits<double>::quiet_NaN();  // not finite: unknown
};

struct Plot {
  std::vector<Series> series;
  std::vector<Value> values;  // the values box; empty: none
  std::string title;          // above the frame (the overview's panels); empty: none
};

// An axis given by the caller; a bound that is not finite comes from the
// data. A step is used when it is round (1, 2, 2.5 or 5 times a power of
// ten) and gives 2 to 20 ticks; otherwise the figure chooses.
struct Limits {
  double min = std::numeric_limits<double>::quiet_NaN();
  double max = std::numeric_limits<double>::quiet_NaN();
  double step = std::numeric_limits<double>::quiet_NaN();
};

struct Options {
  int quantity = kChiT;  // 1-5; any other: 1
  bool residuals = false;
  bool legend = true;
  bool values = true;      // the values box, when the plot has values
  double width_mm = 85.0;  // a journal column; 170: a page. Kept within 40..500
  Limits x, y;
};

// The figure as an SVG document. Never throws for want of data: a plot it
// cannot draw (no point, or every point at one temperature) is a figure
// that says why.
std::string Draw(const Plot& plot, const Options& options);

// Several plots in a grid of `columns` panels a row (0: chosen from the
// count), each with its own axes; options.width_mm is the whole width.
std::string Grid(const std::vector<Plot>& plots, const Options& options, int columns = 0);

// Why a plot cannot be drawn under `quantity`; empty when it can.
std::string Undrawable(const Plot& plot, int quantity);

// ---------------------------------------------------------------------------
// The pieces, for tests and other writers.

// Ticks at steps of 1, 2 or 5 times a power of ten.
struct Axis {
  double min = 0.0, max = 1.0;  // the drawn range
  double step = 1.0;
  std::vector<double> ticks;
  int exponent = 0;  // labels are tick / 10^exponent
  int decimals = 0;  // digits after the point in the labels
  std::vector<std::string> labels;
};

// An axis over the values lo..hi (lo <= hi, both finite) with at most
// `max_ticks` ticks (at least 2). `from_zero`: start at 0 when the values
// start near it. `given` as in Limits.
Axis ChooseAxis(double lo, double hi, int max_ticks, bool from_zero = false,
                const Limits& given = {});

// `value` with `decimals` digits after the point, without the locale, a
// minus sign U+2212 and no negative zero. Negative `decimals`: rounded to
// 10^-decimals.
std::string Fixed(double value, int decimals);

// "value ± error", the error to two significant digits and the value to the
// same place; a factor ×10ⁿ for very small or large numbers. An error that
// is not finite: the value to four significant digits; an error of zero:
// the value and "(fixed)".
std::string ValueWithError(double value, double error);

}  // namespace figure

#endif  // SUSCEP_FIGURE_FIGURE_H_
