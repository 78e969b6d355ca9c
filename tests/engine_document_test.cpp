// A result document built on demand is the one a fit builds at once.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"

namespace {

engine::Data Example() {
  return engine::ReadData(std::string(SUSCEP_SOURCE_DIR) + "/examples/dnit2.dat");
}

TEST(ResultDocument, OnDemandIsTheDocumentOfTheFit) {
  const engine::Model model(engine::Template(24));
  const engine::FitResult now = engine::Fit(model, Example());
  ASSERT_FALSE(now.document.empty());
  EXPECT_EQ(now.state, nullptr);
  EXPECT_EQ(now.Document(), now.document);

  // With the report, or with none: its evaluations are then made later.
  for (bool report : {true, false}) {
    engine::FitOptions later_options;
    later_options.document = false;
    later_options.refine = true;
    later_options.report = report;
    const engine::FitResult later = engine::Fit(model, Example(), later_options);
    EXPECT_TRUE(later.document.empty());
    ASSERT_NE(later.state, nullptr);
    later_options.document = true;
    const std::string expected = engine::Fit(model, Example(), later_options).document;
    EXPECT_EQ(later.Document(), expected) << report;
    // A copy of the result builds the same document.
    const engine::FitResult copy = later;
    EXPECT_EQ(copy.Document(), expected) << report;
  }
}

// The figure's values evaluated on demand are those of a fit that
// evaluates them at once.
TEST(ResultDocument, CurvesOnDemandAreTheFitsOwn) {
  const engine::Model model(engine::Template(24));
  const engine::FitResult now = engine::Fit(model, Example());
  ASSERT_EQ(now.calculated.size(), now.temperature.size());
  ASSERT_FALSE(now.curve_chi.empty());

  engine::FitOptions options;
  options.document = false;
  options.curves = false;
  engine::FitResult later = engine::Fit(model, Example(), options);
  EXPECT_EQ(later.observed, now.observed);
  EXPECT_TRUE(later.calculated.empty());
  EXPECT_TRUE(later.curve_temperature.empty());
  EXPECT_TRUE(later.curve_chi.empty());
  for (int twice = 0; twice < 2; ++twice) {
    engine::DrawCurves(later);
    EXPECT_EQ(later.calculated, now.calculated);
    EXPECT_EQ(later.curve_temperature, now.curve_temperature);
    EXPECT_EQ(later.curve_chi, now.curve_chi);
  }
  // A figure asked of the fit evaluates them regardless.
  options.plot = 3;
  EXPECT_EQ(engine::Fit(model, Example(), options).curve_chi, now.curve_chi);
}

}  // namespace
