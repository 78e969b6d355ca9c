// The engine's data checks at their edges, and the corrections applied to
// the data, through the engine's API.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace {

std::string Refusal(const engine::Data& data) {
  try {
    engine::CheckData(data);
  } catch (const engine::DataError& e) {
    return e.what();
  }
  return "";
}

TEST(EngineChecks, TheEdgesOfTheDataChecks) {
  const struct {
    engine::Data data;
    std::string refusal;  // "" accepted
  } cases[] = {
      {{"a.dat", std::vector<double>(300, 1.0), std::vector<double>(300, 1e-3)}, ""},
      {{"a.dat", {1.0}, {0.0}}, ""},
      {{"a.dat", {10.0, 0.0}, {1e-3, 1e-3}},
       "data 'a.dat': point 2 has a temperature that is not above 0"},
      {{"a.dat", {10.0, 20.0}, {1e-3, std::numeric_limits<double>::infinity()}},
       "data 'a.dat': point 2 has a susceptibility that is not finite"},
      {{"a.dat", {10.0, 20.0}, {1e-3, 1e-3, 1e-3}},
       "data 'a.dat': 2 temperatures but 3 susceptibilities"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Refusal(c.data), c.refusal) << c.data.temperature.size();
  }
}

TEST(EngineChecks, TheDiamagneticCorrectionIsSubtractedThenTheFactorApplied) {
  engine::ModelDescription d = engine::Template(24);
  d.fit.iterations = 0;
  d.corrections = {1e-4, 2e-4, 0.5};
  const engine::Data data{"c.dat", {10.0, 20.0}, {3e-3, 2e-3}};
  const engine::FitResult r = engine::Fit(d, data);
  EXPECT_EQ(r.observed, (std::vector<double>{(3e-3 - 1e-4) * 0.5, (2e-3 - 1e-4) * 0.5}));
}

TEST(EngineChecks, ModelNumbersOutOfRangeOrNotFinite) {
  for (const char* key : {"iterations", "ncheck"}) {
    const std::string text =
        std::string(R"({"model": {"expression": 24}, "fit": {")") + key + R"(": 2000000000}})";
    try {
      engine::ParseModel(text);
      ADD_FAILURE() << key << " accepted";
    } catch (const engine::ModelError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("fit.") + key + ": is out of range"),
                std::string::npos)
          << e.what();
    }
  }
  engine::ModelDescription d = engine::Template(24);
  ASSERT_FALSE(d.parameters.empty());
  d.parameters[0].start = std::numeric_limits<double>::quiet_NaN();
  try {
    engine::Model model(d);
    ADD_FAILURE() << "a start that is not a number accepted";
  } catch (const engine::ModelError& e) {
    EXPECT_EQ(std::string(e.what()), "parameter g-value: the start is not finite");
  }
}

}  // namespace
