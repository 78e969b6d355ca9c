// The rows of a file, the points chosen from them and their conversion.
#ifndef SUSCEP_IMPORTER_SELECT_H_
#define SUSCEP_IMPORTER_SELECT_H_

#include <deque>
#include <string>
#include <vector>

#include "importer/importer.h"

namespace importer {

// One value per data row; blocks of a deque, so that growing never copies.
struct Rows {
  std::deque<double> T, H, M, E;  // E empty when the file has no error column
  std::deque<int> sweep;          // index into the sweep labels
  bool has_field = false;         // H from a column of the file
};

// From the value read to cm3/mol.
struct Conversion {
  bool divide_by_field = true;  // moments: (m unit - eicosane H) / H * scale
  double unit = 1.0;            // emu per unit of the file
  double scale = 1.0;           // M_w / mass in g, or a susceptibility's unit factor
  double eicosane = 0.0;        // the wax's susceptibility in emu/Oe
  double diamagnetic = 0.0;     // subtracted at the end
  double Moment(double m, double H) const { return m * unit - eicosane * H; }
  double Chi(double m, double H) const {
    return divide_by_field ? Moment(m, H) / H * scale - diamagnetic : m * scale - diamagnetic;
  }
};

// A field's tolerance in Oe: rows within it of a nominal field are at that field.
double FieldTolerance(double oe);
// A temperature's tolerance in K: a turn by more than it starts a new sweep.
double ReversalTolerance(double T);

// Splits the rows into sweeps: at each comment row, and where the
// temperature turns back by more than its tolerance.
class SweepTracker {
 public:
  void Comment(const std::string& text);
  int Row(double T);  // the sweep of a row with temperature T
  const std::vector<std::string>& Labels() const { return labels_; }

 private:
  std::vector<std::string> labels_{""};
  bool started_ = false;  // the current sweep has a usable temperature
  int direction_ = 0;
  double lo_ = 0.0, hi_ = 0.0;
};

// "1 \"ZFC\": 2 K to 300 K, 150 points; 2 ...", for messages and the summary.
std::string SweepList(const std::vector<Sweep>& sweeps);

// Chooses the points (field, sweep, usable values), converts them, bins
// them when there are more than options.max_points, and fills `im`.
void Select(Import& im, const Rows& rows, const std::vector<std::string>& labels,
            const Conversion& conv, const Options& options);

}  // namespace importer

#endif  // SUSCEP_IMPORTER_SELECT_H_
