// The figure of a fit or of data alone: the engine gathers the points and
// the curve, figure/ draws them.
#include "figure/figure.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/internal.h"

namespace engine {

namespace {

constexpr int kGeometric = 200;  // spaced evenly in log T: the low-T end
constexpr int kLinear = 200;     // spaced evenly in T: the high-T end

std::string Label(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

figure::Options Options(const FigureOptions& o) {
  figure::Options f;
  f.quantity = o.quantity;
  f.residuals = o.residuals;
  f.values = o.values;
  f.legend = o.legend;
  f.width_mm = o.width_mm;
  f.x = {o.x.min, o.x.max, o.x.step};
  f.y = {o.y.min, o.y.max, o.y.step};
  return f;
}

figure::Plot PlotOf(const FitResult& r, const FigureOptions& o) {
  figure::Series s;
  s.label = o.label.empty() ? Label(r.data_file) : o.label;
  s.T = r.temperature;
  s.chi = r.observed;
  s.sigma = r.observed_sigma;
  s.excluded = r.excluded;
  s.calc = r.calculated;
  s.curve_T = r.curve_temperature;
  s.curve_chi = r.curve_chi;
  figure::Plot p;
  p.series.push_back(std::move(s));
  for (std::size_t j = 0; j < r.names.size() && j < r.values.size(); ++j) {
    const bool held = j < r.step.size() && r.step[j] == 0.0;
    const double error = held ? 0.0 : j < r.sigma.size() ? r.sigma[j] : std::nan("");
    p.values.push_back({r.names[j], r.values[j], error});
  }
  return p;
}

}  // namespace

std::vector<double> CurveTemperatures(double lo, double hi) {
  std::vector<double> T;
  if (!(lo > 0.0) || !(hi >= lo) || !std::isfinite(hi)) return T;
  if (hi == lo) return {lo};
  const double ratio = std::log(hi / lo);
  for (int i = 0; i < kGeometric; ++i) T.push_back(lo * std::exp(ratio * i / (kGeometric - 1)));
  for (int i = 1; i < kLinear - 1; ++i) T.push_back(lo + (hi - lo) * i / (kLinear - 1));
  std::sort(T.begin(), T.end());
  // The ends exactly, whatever the rounding of exp.
  T.front() = lo;
  T.back() = hi;
  return T;
}

void DrawnData(const Work& w, FitResult& r, bool curves) {
  const DataSet& d = w.data;
  r.data_file = w.data_name;
  r.temperature.assign(d.T.begin(), d.T.begin() + d.NDATA);
  r.observed.assign(d.XOBS.begin(), d.XOBS.begin() + d.NDATA);
  // Each point's error, corrected as its value.
  r.observed_sigma.clear();
  for (double s : d.SIGMA) r.observed_sigma.push_back(s * std::fabs(w.settings.FACTOR));
  r.calculated.clear();
  r.curve_temperature.clear();
  r.curve_chi.clear();
  if (curves) DrawnCurves(w, r);
}

void DrawnCurves(const Work& w, FitResult& r) {
  expressions::Evaluation e = w.ev;
  e.console = nullptr;
  const double* P = w.fc.PFIT.data();
  // The points, then the curve, in one sequence as one call a point makes it.
  r.calculated.assign(r.temperature.size(), 0.0);
  expressions::EvaluateAll(e, P, r.temperature.data(), static_cast<int>(r.temperature.size()),
                           r.calculated.data());
  if (r.temperature.empty()) return;
  const auto [lo, hi] = std::minmax_element(r.temperature.begin(), r.temperature.end());
  r.curve_temperature = CurveTemperatures(*lo, *hi);
  r.curve_chi.assign(r.curve_temperature.size(), 0.0);
  expressions::EvaluateAll(e, P, r.curve_temperature.data(),
                           static_cast<int>(r.curve_temperature.size()), r.curve_chi.data());
}

std::string WorkFigure(const Work& w, const FigureOptions& options) {
  FitResult r;
  DrawnData(w, r);
  return Figure(r, options);
}

void PlotQuantities(int quantity, const std::vector<double>& T, const std::vector<double>& chi,
                    std::vector<double>& x, std::vector<double>& y) {
  const int q = quantity >= 1 && quantity <= 5 ? quantity : 1;
  const std::size_t n = std::min(T.size(), chi.size());
  x.resize(n);
  y.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = figure::Abscissa(q, T[i]);
    y[i] = figure::Ordinate(q, T[i], chi[i]);
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) x[i] = y[i] = std::nan("");
  }
}

std::string Figure(const FitResult& result, const FigureOptions& options) {
  return figure::Draw(PlotOf(result, options), Options(options));
}

std::string DataFigure(const Data& data, const FigureOptions& options) {
  figure::Series s;
  s.label = options.label.empty() ? Label(data.file) : options.label;
  const std::size_t n = std::min(data.temperature.size(), data.chi.size());
  s.T.assign(data.temperature.begin(), data.temperature.begin() + n);
  s.chi.assign(data.chi.begin(), data.chi.begin() + n);
  figure::Plot p;
  p.series.push_back(std::move(s));
  return figure::Draw(p, Options(options));
}

std::string Overview(const std::vector<const FitResult*>& results, const FigureOptions& options) {
  FigureOptions each = options;
  each.label.clear();
  std::vector<figure::Plot> plots;
  for (const FitResult* r : results) plots.push_back(PlotOf(*r, each));
  figure::Options o = Options(options);
  if (plots.size() <= kOverlaid) {
    figure::Plot all;
    for (figure::Plot& p : plots) all.series.push_back(std::move(p.series.front()));
    o.values = false;
    return figure::Draw(all, o);
  }
  for (figure::Plot& p : plots) p.title = p.series.front().label;
  return figure::Grid(plots, o);
}

}  // namespace engine
