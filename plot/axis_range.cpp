#include "plot/axis_range.h"

#include <cmath>
#include <limits>

#include "plot/layouts.h"

namespace plot {

namespace {

constexpr char kDataValues[] = "The values from data are:";
constexpr char kEnterValues[] = "Enter the values for plot";
// More ticks than this (a mistyped divn) would take minutes and gigabytes
// of plotter file, far finer than a plotter unit: the axis is asked again.
constexpr std::int64_t kMaxTicks = 100000;

// The tick rule with no check; the caller decides whether the result holds.
TickRule RawTicks(const AxisRange& r) {
  TickRule t;
  t.first = std::trunc(r.min / r.divn) * r.divn;
  if (t.first < r.min) t.first = t.first + r.divn;
  const float n = std::trunc((r.max - t.first) / r.divn + 1.0f);
  t.count = std::isfinite(n) && n >= 0.0f && n <= 2147483647.0f ? static_cast<std::int64_t>(n) : -1;
  return t;
}

// One axis: its line of data values, the prompt and the read, repeated
// until the typed values can be drawn. The data values are the defaults
// for a read that "/" ends early.
AxisRange AskAxis(format::Console& con, const char* min_text, const char* max_text,
                  const char* divn_text, float lo, float hi, float axis_length) {
  const float divn = (hi - lo) / 10.0f;
  for (;;) {
    con.Out(kAxisLine, {min_text, static_cast<double>(lo), max_text, static_cast<double>(hi),
                        divn_text, static_cast<double>(divn)});
    con.Free({kEnterValues});
    AxisRange r{lo, hi, divn};
    con.Read({r.min, r.max, r.divn});
    if (Drawable(r, axis_length)) return r;
  }
}

}  // namespace

bool Drawable(const AxisRange& r, float axis_length) {
  if (!std::isfinite(r.min) || !std::isfinite(r.max) || !std::isfinite(r.divn)) return false;
  if (!(r.divn > 0.0f) || !(r.max > r.min)) return false;
  const float span = r.max - r.min;
  const float scale = axis_length / span;
  if (!std::isfinite(span) || !std::isfinite(scale) || !(scale > 0.0f)) return false;
  if (!std::isfinite(r.min / r.divn)) return false;
  const TickRule t = RawTicks(r);
  return std::isfinite(t.first) && std::isfinite(r.max - t.first) && t.count >= 0 &&
         t.count <= kMaxTicks;
}

TickRule Ticks(const AxisRange& r) { return RawTicks(r); }

void ForEachTick(const AxisRange& r, const std::function<void(float)>& f) {
  const TickRule rule = Ticks(r);
  float t = rule.first;
  for (std::int64_t k = 0; k < rule.count; ++k) {
    f(t);
    t = t + r.divn;
  }
}

void AskAxisRanges(const PlotState& s, format::Console& con, float x_length, float y_length,
                   AxisRange& x, AxisRange& y) {
  con.Free({kDataValues});
  x = AskAxis(con, " X-min =", " X-max =", " X-divn =", s.PXMIN, s.PXMAX, x_length);
  y = AskAxis(con, " Y-min =", " Y-max =", " Y-divn =", s.PYMIN, s.PYMAX, y_length);
}

}  // namespace plot
