// Plot quantities of the five plot options, the calculated curve's
// temperatures and the ranges of both axes.
#include <algorithm>
#include <cmath>

#include "plot/plot.h"

namespace plot {

namespace {

// The ordinate of one point by `IPLOT`; any option other than 2 to 4 plots X.
float Ordinate(int IPLOT, double X, double T) {
  switch (IPLOT) {
    case 2:
      return static_cast<float>(std::sqrt(X * T * MUCONST));
    case 3:
      return static_cast<float>(X * T);
    case 4:
      return static_cast<float>(1.0 / X);
    default:
      return static_cast<float>(X);
  }
}

float Abscissa(int IPLOT, double T) {
  return IPLOT == 5 ? static_cast<float>(1.0 / T) : static_cast<float>(T);
}

// A temperature beyond the single-precision range, or one whose abscissa is
// not finite, takes no part in the plot.
bool AbscissaOk(int IPLOT, double T) {
  return std::isfinite(static_cast<float>(T)) && std::isfinite(Abscissa(IPLOT, T));
}

int Clamped(int n) { return std::clamp(n, 0, kMaxPoints); }

}  // namespace

void PrepareAbscissae(PlotState& s, const double* T, int NDATA) {
  s.NDATA = Clamped(NDATA);

  bool any = false;
  float lo = 0.0f, hi = 0.0f;
  for (int i = 0; i < s.NDATA; ++i) {
    if (!AbscissaOk(s.IPLOT, T[i])) continue;
    const float t = static_cast<float>(T[i]);
    if (!any) {
      lo = hi = t;
      any = true;
    } else {
      if (T[i] > hi) hi = t;
      if (T[i] < lo) lo = t;
    }
  }
  s.PXMIN = lo;
  s.PXMAX = hi;

  if (s.IPTYPE == 2) {
    s.NCAL = s.NDATA;
    for (int i = 0; i < s.NCAL; ++i) s.TCAL[i] = T[i];
  } else {
    s.NCAL = kMaxPoints;
    const float step = (s.PXMAX - s.PXMIN) / 299.0f;
    for (int i = 0; i < s.NCAL; ++i) {
      s.TCAL[i] = static_cast<double>(s.PXMIN) + i * static_cast<double>(step);
    }
  }

  for (int i = 0; i < s.NDATA; ++i) s.PXOBS[i] = Abscissa(s.IPLOT, T[i]);
  for (int i = 0; i < s.NCAL; ++i) s.PXCAL[i] = Abscissa(s.IPLOT, s.TCAL[i]);
  if (s.IPLOT == 5 && any) {
    const float old_min = s.PXMIN;
    s.PXMIN = 1.0f / s.PXMAX;
    s.PXMAX = 1.0f / old_min;
  }
}

void PrepareOrdinates(PlotState& s, const double* T, const double* XOBS, int NDATA) {
  s.NDATA = Clamped(NDATA);
  s.NCAL = Clamped(s.NCAL);

  bool any = false;
  float lo = 0.0f, hi = 0.0f;
  const auto take = [&](float y) {
    if (!any) {
      lo = hi = y;
      any = true;
    } else {
      if (y > hi) hi = y;
      if (y < lo) lo = y;
    }
  };

  for (int i = 0; i < s.NDATA; ++i) {
    s.PYOBS[i] = Ordinate(s.IPLOT, XOBS[i], T[i]);
    s.OKOBS[i] = AbscissaOk(s.IPLOT, T[i]) && std::isfinite(s.PYOBS[i]);
    if (s.OKOBS[i]) take(s.PYOBS[i]);
  }
  for (int i = 0; i < s.NCAL; ++i) {
    s.PYCAL[i] = Ordinate(s.IPLOT, s.CHICAL[i], s.TCAL[i]);
    s.OKCAL[i] = AbscissaOk(s.IPLOT, s.TCAL[i]) && std::isfinite(s.PYCAL[i]);
    if (s.OKCAL[i]) take(s.PYCAL[i]);
  }
  s.PYMIN = lo;
  s.PYMAX = hi;
}

}  // namespace plot
