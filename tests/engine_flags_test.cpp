// The flags of a fit at their edges, through the engine's API: how far
// above the check's minimum a fit must stop to be "short", and a simplex
// with nothing to fit.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/engine.h"

namespace {

using nlohmann::json;

// Free ions of spin 1/2, g fitted, over 20 temperatures, with a ripple of
// 3 % so that the least L.S. error is not 0 (about 1.3E-5, at g = 2.00003).
engine::Data RippledCurie() {
  engine::Data d;
  d.file = "rippled.dat";
  for (int i = 0; i < 20; ++i) {
    const double T = 2.0 + 15.0 * i;
    d.temperature.push_back(T);
    d.chi.push_back(0.375 / T * (1.0 + 0.03 * std::sin(i)));
  }
  return d;
}

engine::ModelDescription CurieModel(const std::string& g, const std::string& fit) {
  return engine::ParseModel(R"({"model": {"expression": 99, "terms": [{"function": 1, "S": 0.5}]},
                                "parameters": [{"name": "g-value", "start": )" +
                            g + "}], \"fit\": {" + fit + "}}");
}

// No iterations: the values are the starts, and the check of the minimum
// says how far above its minimum they are. More than 1 % above is short.
TEST(EngineFlags, StoppedShortMeansMoreThanOnePerCentAboveTheCheck) {
  const struct {
    const char* start;
    double excess;  // (L.S. error - the check's) / the check's
    bool short_;
  } cases[] = {
      {"2.000028", 0.0, false},
      {"2.000287", 0.005, false},
      {"2.000476", 0.015, true},
      {"2.000661", 0.03, true},
  };
  for (const auto& c : cases) {
    const engine::FitResult r =
        engine::Fit(CurieModel(c.start, R"("iterations": 0)"), RippledCurie());
    const json check = json::parse(r.document)["minimum_check"];
    const double least = check["ls_error"].get<double>();
    EXPECT_NEAR((r.ls_error - least) / least, c.excess, 0.001) << c.start;
    EXPECT_EQ(r.stopped_short, c.short_) << c.start;
    EXPECT_EQ(check["stopped_short"].get<bool>(), c.short_) << c.start;
  }
}

// g given and no other parameter: the simplex has nothing to iterate and no
// budget to run out of; the fit is the model's value, and it converged.
TEST(EngineFlags, ASimplexWithoutParametersRunsOutOfNoBudget) {
  const engine::ModelDescription d = engine::ParseModel(
      R"({"model": {"expression": 99, "g": 2.0, "terms": [{"function": 1, "S": 0.5}]},
          "fit": {"method": "simplex", "iterations": 50}})");
  const engine::FitResult r = engine::Fit(d, RippledCurie());
  EXPECT_TRUE(r.values.empty());
  EXPECT_FALSE(r.budget_exhausted);
  EXPECT_TRUE(r.success) << r.message;
  EXPECT_FALSE(json::parse(r.document)["fit"]["budget_exhausted"].get<bool>());
}

// No iterations is no fit whatever the method: the values are the starts.
TEST(EngineFlags, NoIterationsIsNoFitForEveryMethod) {
  for (const char* method : {"simplex", "lm", "global"}) {
    const engine::FitResult r = engine::Fit(
        CurieModel("2.1", std::string(R"("iterations": 0, "method": ")") + method + "\""),
        RippledCurie());
    EXPECT_EQ(r.values, r.start) << method;
    EXPECT_EQ(r.evaluations, 0) << method;
    EXPECT_FALSE(r.success) << method;
    EXPECT_EQ(r.message, "no fit: the values are the starts (iterations 0)") << method;
  }
}

// The window takes the points at its two ends: 17 to 47 K is 17, 32, 47.
TEST(EngineFlags, TheWindowTakesThePointsAtItsEnds) {
  const engine::FitResult r =
      engine::Fit(CurieModel("2.1", R"("tmin": 17, "tmax": 47)"), RippledCurie());
  ASSERT_EQ(r.excluded.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(r.excluded[i], i < 1 || i > 3) << i;
  EXPECT_EQ(json::parse(r.document)["fit"]["fitted_points"].get<int>(), 3);
}

}  // namespace
