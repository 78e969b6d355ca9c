// The character plot on the console: one line per band of ordinates.
#include <algorithm>
#include <cmath>

#include "plot/layouts.h"
#include "plot/plot.h"

namespace plot {

namespace {

constexpr int kWidth = 75;
constexpr char kDataMark = '*';
constexpr char kCurveMark = 'c';

// The column of abscissa `x`, 1..75. A zero abscissa range (all data at one
// temperature) has no finite scale: every mark goes to column 1.
int Column(float x, float PXMIN, float SX) {
  if (!std::isfinite(SX)) return 1;
  const float c = std::trunc((x - PXMIN) * SX + 1.5f);
  if (!(c >= 1.0f)) return 1;
  if (c >= static_cast<float>(kWidth)) return kWidth;
  return static_cast<int>(c);
}

}  // namespace

void PrinterPlot(const PlotState& s, format::Console& con) {
  const float SX = 74.0f / (s.PXMAX - s.PXMIN);
  const float SY = 20.0f / (s.PYMAX - s.PYMIN);
  const float DY = 1.0f / SY;

  char line[kWidth];
  float upper = s.PYMAX;
  float lower = s.PYMAX;
  for (;;) {
    upper = lower;
    lower = lower - DY;
    std::fill(line, line + kWidth, ' ');
    int last = 0;
    for (int i = 0; i < s.NDATA; ++i) {
      if (!std::isfinite(s.PXOBS[i])) continue;
      const int col = Column(s.PXOBS[i], s.PXMIN, SX);
      if (s.OKOBS[i] && lower <= s.PYOBS[i] && s.PYOBS[i] <= upper) {
        line[col - 1] = kDataMark;
        last = std::max(last, col);
      }
      // The calculated value sits at the data point's own abscissa.
      if (i < s.NCAL && s.OKCAL[i] && lower <= s.PYCAL[i] && s.PYCAL[i] <= upper) {
        line[col - 1] = kCurveMark;
        last = std::max(last, col);
      }
    }
    format::Items marks;
    for (int c = 0; c < last; ++c) marks.emplace_back(line[c]);
    con.Out(kPictureLine, marks);
    // A band too thin to lower the edge in single precision would never
    // reach PYMIN: end after this line.
    if (!(s.PYMIN < lower) || !(lower < upper)) break;
  }

  // The pause: one "(A)" read whose text is ignored.
  con.ReadLine();
}

}  // namespace plot
