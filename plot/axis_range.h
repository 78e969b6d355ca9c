// The axis ranges of the HP-GL plot: the range dialogue and the tick rule.
#ifndef SUSCEP_PLOT_AXIS_RANGE_H_
#define SUSCEP_PLOT_AXIS_RANGE_H_

#include <cstdint>
#include <functional>

#include "format/console.h"
#include "plot/plot.h"

namespace plot {

// One axis as typed in the range dialogue; single precision.
struct AxisRange {
  float min = 0.0f;
  float max = 0.0f;
  float divn = 0.0f;
};

// The first tick and the number of ticks of an axis.
struct TickRule {
  float first = 0.0f;
  std::int64_t count = 0;
};

// Whether the axis can be drawn on `axis_length` plotter units: divn above
// 0, max above min, and every value the plot derives from them finite in
// single precision, with at most 100000 ticks.
bool Drawable(const AxisRange& r, float axis_length);

// The tick rule in single precision; `r` must be drawable.
TickRule Ticks(const AxisRange& r);

// Calls `f` with every tick value in order, each one the previous plus divn.
void ForEachTick(const AxisRange& r, const std::function<void(float)>& f);

// The axis-range dialogue on the console. Each axis is asked again until
// its values are drawable on its axis length.
void AskAxisRanges(const PlotState& s, format::Console& con, float x_length, float y_length,
                   AxisRange& x, AxisRange& y);

}  // namespace plot

#endif  // SUSCEP_PLOT_AXIS_RANGE_H_
