#include "importer/select.h"

#include <algorithm>
#include <cmath>

#include "format/console.h"
#include "importer/text.h"

namespace importer {

double FieldTolerance(double oe) { return std::max(5.0, 0.02 * std::fabs(oe)); }

double ReversalTolerance(double T) { return std::max(0.5, 0.02 * T); }

void SweepTracker::Comment(const std::string& text) {
  if (started_) {
    labels_.push_back(text);
    started_ = false;
    direction_ = 0;
  } else {
    std::string& label = labels_.back();
    label += (label.empty() ? "" : "; ") + text;
  }
}

int SweepTracker::Row(double T) {
  if (std::isfinite(T) && T > 0.0) {
    if (!started_) {
      started_ = true;
      direction_ = 0;
      lo_ = hi_ = T;
    } else {
      const bool turned = (direction_ > 0 && T < hi_ - ReversalTolerance(hi_)) ||
                          (direction_ < 0 && T > lo_ + ReversalTolerance(lo_));
      if (turned) {
        labels_.emplace_back();
        direction_ = 0;
        lo_ = hi_ = T;
      } else {
        lo_ = std::min(lo_, T);
        hi_ = std::max(hi_, T);
        if (direction_ == 0 && hi_ - lo_ > ReversalTolerance(lo_)) direction_ = T == hi_ ? 1 : -1;
      }
    }
  }
  return static_cast<int>(labels_.size()) - 1;
}

namespace {

// A field as a user would type it: three significant digits.
double Nominal(double oe) {
  if (oe == 0.0 || !std::isfinite(oe)) return oe;
  const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(oe))) - 2.0);
  return std::round(oe / unit) * unit;
}

// Lists of fields and sweeps in messages stop after this many.
constexpr std::size_t kShown = 12;

std::string FieldList(const std::vector<FieldGroup>& fields) {
  std::string list;
  for (std::size_t i = 0; i < fields.size() && i < kShown; ++i) {
    list += (i ? ", " : "") + Number(fields[i].oe) + " Oe (" + std::to_string(fields[i].points) +
            " points)";
  }
  if (fields.size() > kShown) list += " and " + std::to_string(fields.size() - kShown) + " more";
  return list;
}

}  // namespace

std::string SweepList(const std::vector<Sweep>& sweeps) {
  std::string list;
  for (std::size_t i = 0; i < sweeps.size() && i < kShown; ++i) {
    const Sweep& s = sweeps[i];
    list += (i ? "; " : "") + std::to_string(s.number);
    if (!s.label.empty()) list += " \"" + format::Printable(s.label, 40) + "\"";
    list += ": " + Number(s.first, 4) + " K to " + Number(s.last, 4) + " K, " +
            std::to_string(s.points) + " points";
  }
  if (sweeps.size() > kShown) list += " and " + std::to_string(sweeps.size() - kShown) + " more";
  return list;
}

namespace {

struct Bin {
  double T = 0, chi = 0, H = 0, m = 0, e2 = 0;
  long n = 0, with_error = 0;
};

// Why a row cannot be used, whatever the field and sweep.
enum State : char { kUsable, kMissing, kNotAbove0 };

// The state of every row; counts the rows left out in `im`.
std::vector<char> States(Import& im, const Rows& rows, bool need_h) {
  const std::size_t n = rows.T.size();
  std::vector<char> state(n, kUsable);
  long usable = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(rows.T[i]) || !std::isfinite(rows.M[i]) ||
        (need_h && !std::isfinite(rows.H[i]))) {
      state[i] = kMissing;
      ++im.left_missing;
    } else if (!(rows.T[i] > 0.0)) {
      state[i] = kNotAbove0;
      ++im.left_temperature;
    } else {
      ++usable;
    }
  }
  if (usable == 0) {
    throw Error("no usable points: " + std::to_string(n) + " data rows, " +
                std::to_string(im.left_missing) + " with a missing or non-finite value in " +
                "the columns used (" + im.t_column + ", " + im.m_column +
                (rows.has_field ? ", " + im.h_column : std::string()) + "), " +
                std::to_string(im.left_temperature) + " with a temperature not above 0");
  }
  return state;
}

// The fields: groups of usable rows within twice the tolerance of the
// group's lowest field, each named by its median. Sets `lo` and `hi` to the
// lowest and highest field.
void FieldGroups(Import& im, const Rows& rows, const std::vector<char>& state, double& lo,
                 double& hi) {
  lo = HUGE_VAL;
  hi = -HUGE_VAL;
  if (!rows.has_field) return;
  std::vector<double> h;
  for (std::size_t i = 0; i < state.size(); ++i) {
    if (state[i] == kUsable) h.push_back(rows.H[i]);
  }
  std::sort(h.begin(), h.end());
  for (std::size_t i = 0; i < h.size();) {
    const double start = h[i];
    std::size_t j = i;
    while (j < h.size() && h[j] - start <= 2.0 * FieldTolerance(start)) ++j;
    im.fields.push_back({Nominal(h[i + (j - i) / 2]), static_cast<long>(j - i)});
    lo = std::min(lo, start);
    hi = std::max(hi, h[j - 1]);
    i = j;
  }
}

// The field chosen: --field, or the file's only one; NaN when the rows have
// no field. Sets the tolerance in `im`.
double ChooseField(Import& im, const Options& o, const Conversion& conv, double lo, double hi) {
  double X = kNone;
  if (o.field_oe) {
    X = *o.field_oe;
  } else if (im.fields.size() == 1) {
    X = im.fields[0].oe;
  } else if (im.fields.size() > 1) {
    throw Error("the file holds " + std::to_string(im.fields.size()) +
                " fields: choose one with --field OE; fields: " + FieldList(im.fields));
  }
  if (!std::isfinite(X) && !o.field_oe) return X;
  if (!std::isfinite(X)) throw Error("--field " + Number(X) + ": not a field");
  im.field_oe = X;
  im.field_tolerance = FieldTolerance(X);
  // The one field of the file: every row of it.
  if (!o.field_oe && im.fields.size() == 1) {
    im.field_tolerance = std::max({im.field_tolerance, X - lo, hi - X});
  }
  if (conv.divide_by_field && std::fabs(X) <= im.field_tolerance) {
    throw Error("the field is " + Number(X) + " Oe: chi = m/H needs a field other than 0" +
                (im.fields.empty() ? std::string() : "; fields: " + FieldList(im.fields)));
  }
  return X;
}

// Two sweeps at one field, neither labelled, both warming: the usual
// protocol measures ZFC first, then FC. Their numbers, or {0, 0}.
std::pair<int, int> UnlabelledZfcFc(const Import& im) {
  if (im.sweeps.size() != 2 || im.fields.size() > 1) return {0, 0};
  for (const Sweep& s : im.sweeps) {
    if (!s.label.empty() || !(s.last > s.first)) return {0, 0};
  }
  return {im.sweeps[0].number, im.sweeps[1].number};
}

// --sweep zfc or fc: the sweeps labelled so, or the unlabelled pair.
void ChooseLabelled(Import& im, const std::string& w, double X, std::vector<char>& chosen) {
  const char* word = w == "zfc" ? "ZFC" : "FC";
  for (const auto& s : im.sweeps) {
    if (HasWord(s.label, word)) {
      chosen[s.number - 1] = 1;
      im.sweep_chosen += (im.sweep_chosen.empty() ? "" : ",") + std::to_string(s.number);
    }
  }
  if (!im.sweep_chosen.empty()) return;
  const auto [zfc, fc] = UnlabelledZfcFc(im);
  if (zfc == 0) {
    throw Error(std::string("no sweep labelled ") + word + " at " + Number(X) +
                " Oe; sweeps: " + SweepList(im.sweeps));
  }
  const int k = w == "zfc" ? zfc : fc;
  chosen[k - 1] = 1;
  im.sweep_chosen = std::to_string(k);
  im.sweep_note = "no sweep is labelled: of the two sweeps warming at one field, " +
                  std::to_string(zfc) + " is taken as ZFC and " + std::to_string(fc) +
                  " as FC, the usual order";
}

// The sweeps chosen by --sweep, by number from 1.
std::vector<char> ChooseSweeps(Import& im, std::size_t count, const Options& o, double X) {
  std::vector<char> chosen(count, 0);
  const std::string& w = o.sweep;
  if (w.empty() || w == "all") {
    if (w.empty() && im.sweeps.size() > 1) {
      throw Error("the points at " + Number(X) + " Oe lie in " + std::to_string(im.sweeps.size()) +
                  " sweeps: choose with --sweep zfc|fc|N|all; sweeps: " + SweepList(im.sweeps));
    }
    for (const auto& s : im.sweeps) chosen[s.number - 1] = 1;
    im.sweep_chosen = im.sweeps.size() > 1 ? "all" : std::to_string(im.sweeps[0].number);
  } else if (w == "zfc" || w == "fc") {
    ChooseLabelled(im, w, X, chosen);
  } else {
    if (w.size() > 6 ||
        !std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      throw Error("--sweep " + format::Printable(w) + ": zfc, fc, all or a sweep's number");
    }
    const long k = std::stol(w);
    const bool found = std::any_of(im.sweeps.begin(), im.sweeps.end(),
                                   [k](const Sweep& s) { return s.number == k; });
    if (!found) {
      throw Error("no sweep " + w + " with points at " + Number(X) +
                  " Oe; sweeps: " + SweepList(im.sweeps));
    }
    chosen[k - 1] = 1;
    im.sweep_chosen = w;
  }
  return chosen;
}

// Row i converted.
Point PointAt(const Rows& rows, const Conversion& conv, std::size_t i) {
  const bool moments = conv.divide_by_field;
  Point p;
  p.T = rows.T[i];
  p.chi = conv.Chi(rows.M[i], rows.H[i]);
  p.field = moments || rows.has_field ? rows.H[i] : kNone;
  if (moments) p.moment = conv.Moment(rows.M[i], rows.H[i]);
  if (rows.E.size() == rows.T.size() && moments && std::isfinite(rows.E[i])) {
    p.moment_err = std::fabs(rows.E[i] * conv.unit);
    p.chi_err = p.moment_err / std::fabs(rows.H[i]) * conv.scale;
  }
  return p;
}

// The points kept, averaged in --max-points bins of temperature.
void BinPoints(Import& im, const Rows& rows, const std::vector<char>& keep, const Conversion& conv,
               const Options& o) {
  im.binning = o.linear_bins ? "linear" : "logarithmic";
  double tmin = HUGE_VAL, tmax = -HUGE_VAL;
  for (std::size_t i = 0; i < keep.size(); ++i) {
    if (!keep[i]) continue;
    tmin = std::min(tmin, rows.T[i]);
    tmax = std::max(tmax, rows.T[i]);
  }
  const int nb = o.max_points;
  std::vector<Bin> bins(nb);
  const double span = o.linear_bins ? tmax - tmin : std::log(tmax / tmin);
  for (std::size_t i = 0; i < keep.size(); ++i) {
    if (!keep[i]) continue;
    const Point p = PointAt(rows, conv, i);
    const double x = o.linear_bins ? p.T - tmin : std::log(p.T / tmin);
    const int k = span > 0.0 ? std::min(nb - 1, static_cast<int>(nb * (x / span))) : 0;
    Bin& b = bins[std::max(0, k)];
    b.T += p.T;
    b.chi += p.chi;
    b.H += p.field;
    b.m += p.moment;
    if (std::isfinite(p.moment_err)) {
      b.e2 += p.moment_err * p.moment_err;
      ++b.with_error;
    }
    ++b.n;
  }
  for (const Bin& b : bins) {
    if (b.n == 0) continue;
    const double c = static_cast<double>(b.n);
    Point p{b.T / c, b.chi / c, b.H / c, b.m / c, kNone, kNone, b.n};
    if (b.with_error == b.n) {
      // The error of the mean from the rows' own errors.
      p.moment_err = std::sqrt(b.e2) / c;
      p.chi_err = p.moment_err / std::fabs(p.field) * conv.scale;
    }
    if (!std::isfinite(p.chi) || !std::isfinite(p.T)) {
      throw Error("the average of a temperature bin is beyond the range of a number");
    }
    im.points.push_back(p);
  }
}

// chi*T at the highest temperature: the sign of a wrong unit.
void CheckChiT(Import& im) {
  const auto hot = std::max_element(im.points.begin(), im.points.end(),
                                    [](const Point& a, const Point& b) { return a.T < b.T; });
  const double chiT = hot->chi * hot->T;
  if (!(chiT >= kChiTLow && chiT <= kChiTHigh)) {
    im.warnings.push_back("chi*T at " + Number(hot->T, 4) + " K is " + Number(chiT, 3) +
                          " cm3 K/mol, outside " + Number(kChiTLow) + " to " + Number(kChiTHigh) +
                          " per formula unit: check the mass (mg, not g), the moment (emu, not "
                          "A m2) and the molar mass");
  }
}

// The rows at the field and in the chosen sweeps whose conversion is a
// number; counts the others in `im`.
std::vector<char> KeptRows(Import& im, const Rows& rows, const std::vector<char>& state,
                           const std::vector<char>& chosen, const Conversion& conv, double X) {
  std::vector<char> keep(state.size(), 0);
  for (std::size_t i = 0; i < state.size(); ++i) {
    if (state[i] != kUsable) continue;
    if (rows.has_field && !(std::fabs(rows.H[i] - X) <= im.field_tolerance)) {
      ++im.left_field;
    } else if (!chosen[rows.sweep[i]]) {
      ++im.left_sweep;
    } else if (const Point p = PointAt(rows, conv, i);
               !std::isfinite(p.chi) || (conv.divide_by_field && !std::isfinite(p.moment))) {
      ++im.left_missing;  // beyond the range of a double once converted
    } else {
      keep[i] = 1;
      ++im.kept;
    }
  }
  if (im.kept == 0) {
    throw Error("no points left: their susceptibilities are beyond the range of a number");
  }
  return keep;
}

// The sweeps with points at the field, each with its first and last
// temperature.
std::vector<Sweep> SweepsAt(const Rows& rows, const std::vector<std::string>& labels,
                            const std::vector<char>& state, const Import& im, double X) {
  std::vector<Sweep> all(labels.size());
  for (std::size_t k = 0; k < labels.size(); ++k) all[k] = {static_cast<int>(k) + 1, labels[k]};
  long at = 0;
  for (std::size_t i = 0; i < state.size(); ++i) {
    if (state[i] != kUsable) continue;
    if (rows.has_field && !(std::fabs(rows.H[i] - X) <= im.field_tolerance)) continue;
    Sweep& s = all[rows.sweep[i]];
    if (s.points == 0) s.first = rows.T[i];
    s.last = rows.T[i];
    ++s.points;
    ++at;
  }
  if (at == 0) {
    throw Error("no points at " + Number(X) + " Oe (within " + Number(im.field_tolerance) +
                " Oe); fields: " + FieldList(im.fields));
  }
  std::vector<Sweep> found;
  for (const auto& s : all) {
    if (s.points > 0) found.push_back(s);
  }
  return found;
}

}  // namespace

void Select(Import& im, const Rows& rows, const std::vector<std::string>& labels,
            const Conversion& conv, const Options& o) {
  if (o.max_points < 1 || o.max_points > kMaxPoints) {
    throw Error("--max-points " + std::to_string(o.max_points) + ": 1 to " +
                std::to_string(kMaxPoints));
  }
  const std::vector<char> state = States(im, rows, conv.divide_by_field || rows.has_field);
  double lo = 0.0, hi = 0.0;
  FieldGroups(im, rows, state, lo, hi);
  const double X = ChooseField(im, o, conv, lo, hi);
  im.sweeps = SweepsAt(rows, labels, state, im, X);
  const std::vector<char> chosen = ChooseSweeps(im, labels.size(), o, X);
  const std::vector<char> keep = KeptRows(im, rows, state, chosen, conv, X);
  if (im.kept <= o.max_points) {
    for (std::size_t i = 0; i < keep.size(); ++i) {
      if (keep[i]) im.points.push_back(PointAt(rows, conv, i));
    }
  } else {
    BinPoints(im, rows, keep, conv, o);
  }
  CheckChiT(im);
}

}  // namespace importer
