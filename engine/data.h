// The observed data points and the corrections applied to them.
#ifndef SUSCEP_DRIVER_DATA_H_
#define SUSCEP_DRIVER_DATA_H_

#include <array>

#include "format/console.h"

namespace driver {

constexpr int kMaxData = 300;

struct DataSet {
  int NDATA = 0;
  std::array<double, kMaxData> T{};
  std::array<double, kMaxData> XRAW{};
  std::array<double, kMaxData> XOBS{};
  double SXOBS2 = 0.0;
  double TIPADD = 0.0;
};

// Reads the count and the pairs from `file`, then lists them on `con`.
// A count outside 1..300, a temperature not above 0, or a short or
// unreadable file throws format::RunTimeError.
void Load(DataSet& data, format::LineSource& file, format::Console& con);

// XOBS, TIPADD and SXOBS2 from XRAW and the three corrections.
void ApplyCorrections(DataSet& data, double DIAM, double TIP, double FACTOR);

// The report's calculated curve: kCurvePoints temperatures evenly spaced
// from the first data temperature to the last; k runs from 1.
constexpr int kCurvePoints = 301;
inline double CurveTemperature(const DataSet& d, int k) {
  const double dt = (d.T[d.NDATA - 1] - d.T[0]) / 300.0;
  return (k - 1) * dt + d.T[0];
}

}  // namespace driver

#endif  // SUSCEP_DRIVER_DATA_H_
