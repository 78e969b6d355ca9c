// The engine's figures: the curve it evaluates, the fit's figure, data
// alone, and the overview of several fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/test_util.h"

namespace {

using test_util::Example;

engine::FitResult Dnit2Fit() {
  engine::ModelDescription d = engine::Template(24);
  d.corrections.factor = 0.5;
  d.corrections.tip = 1e-4;
  d.parameters[1].start = -150.0;
  d.parameters[2].start = 0.99;
  d.parameters[2].step = 0.0;  // held
  engine::FitOptions o;
  o.report = false;
  return engine::Fit(d, engine::ReadData(Example("dnit2.dat")), o);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

TEST(EngineFigure, CurveTemperaturesAreDenseAtLowTAndAlongTheRange) {
  const std::vector<double> T = engine::CurveTemperatures(1.8, 300.0);
  ASSERT_GE(T.size(), 390u);
  EXPECT_EQ(T.front(), 1.8);
  EXPECT_EQ(T.back(), 300.0);
  EXPECT_TRUE(std::is_sorted(T.begin(), T.end()));
  EXPECT_LT(T[1] - T[0], 0.05);  // 2.5 % of T at the low end
  double widest = 0.0;
  for (size_t i = 1; i < T.size(); ++i) widest = std::max(widest, T[i] - T[i - 1]);
  EXPECT_LE(widest, (300.0 - 1.8) / 199.0 + 1e-9);
  EXPECT_EQ(engine::CurveTemperatures(5.0, 5.0), std::vector<double>{5.0});
  EXPECT_TRUE(engine::CurveTemperatures(0.0, 5.0).empty());
}

TEST(EngineFigure, TheFitsFigureHasItsCurveValuesAndData) {
  const engine::FitResult r = Dnit2Fit();
  ASSERT_EQ(r.temperature.size(), static_cast<size_t>(r.points));
  ASSERT_EQ(r.curve_temperature.size(), r.curve_chi.size());
  // The curve and the calculated values are the model's at the fitted
  // values, the TIP included; the observed values are corrected.
  engine::ModelDescription d = engine::Template(24);
  d.corrections.factor = 0.5;
  d.corrections.tip = 1e-4;
  const engine::Model model(d);
  EXPECT_EQ(r.curve_chi, model.Evaluate(r.curve_temperature, r.values));
  EXPECT_EQ(r.calculated, model.Evaluate(r.temperature, r.values));
  const engine::Data raw = engine::ReadData(Example("dnit2.dat"));
  EXPECT_DOUBLE_EQ(r.observed[0], raw.chi[0] * 0.5);

  engine::FigureOptions o;
  o.residuals = true;
  const std::string svg = engine::Figure(r, o);
  EXPECT_EQ(Count(svg, "<circle"), 2 * r.temperature.size() + 1);  // plot, residuals, legend
  EXPECT_NE(svg.find(">dnit2.dat<"), std::string::npos);
  EXPECT_NE(svg.find("COEFF1 = 0.9900 (fixed)"), std::string::npos);
  EXPECT_NE(svg.find("g-value = "), std::string::npos);
  o.values = false;
  o.label = "Cu dimer";
  const std::string plain = engine::Figure(r, o);
  EXPECT_EQ(plain.find("g-value"), std::string::npos);
  EXPECT_NE(plain.find(">Cu dimer<"), std::string::npos);
  EXPECT_EQ(engine::Figure(r, o), plain);
}

TEST(EngineFigure, DataAloneAndTheOverviewOfSeveralFits) {
  engine::FigureOptions o;
  o.quantity = 1;
  const std::string data = engine::DataFigure(engine::ReadData(Example("cuac.dat")), o);
  EXPECT_NE(data.find(">cuac.dat<"), std::string::npos);
  EXPECT_EQ(data.find(">fit<"), std::string::npos);
  EXPECT_NE(engine::DataFigure({"one.dat", {2.0}, {0.1}}, o).find("No figure"), std::string::npos);

  const engine::FitResult a = Dnit2Fit();
  engine::FitResult b = a;
  b.data_file = "/some/where/other.dat";
  const std::string two = engine::Overview({&a, &b}, o);
  EXPECT_NE(two.find(">dnit2.dat<"), std::string::npos);
  EXPECT_NE(two.find(">other.dat<"), std::string::npos);
  EXPECT_EQ(Count(two, "class=\"ytitle\""), 1u);
  const std::vector<const engine::FitResult*> many(engine::kOverlaid + 1, &a);
  const std::string grid = engine::Overview(many, o);
  EXPECT_EQ(Count(grid, "class=\"ytitle\""), engine::kOverlaid + 1);
}

}  // namespace
