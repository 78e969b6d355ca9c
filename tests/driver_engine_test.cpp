// The engine against the dialogue: the SUSCEP.JSON the dialogue writes,
// given back to the engine as its model file with the same data, gives the
// same numbers, bit for bit.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/engine.h"
#include "tests/driver_e2e_util.h"

namespace {

using nlohmann::json;

std::string Example(const std::string& name) {
  return e2e::ReadFile(std::filesystem::path(SUSCEP_SOURCE_DIR) / "examples" / name);
}

// The engine's fit from the dialogue's result document and data file
// equals the dialogue's own.
void ExpectSameFit(const e2e::Result& r, const std::string& data_file) {
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = r.File("SUSCEP.JSON");
  ASSERT_FALSE(text.empty());
  const json doc = json::parse(text);
  const engine::ModelDescription d = engine::ParseModel(text);
  const engine::FitResult fit = engine::Fit(d, engine::ReadData((r.dir / data_file).string()));
  const json& p = doc["parameters"];
  ASSERT_EQ(fit.values.size(), p.size());
  for (std::size_t j = 0; j < p.size(); ++j) {
    EXPECT_EQ(fit.names[j], p[j]["name"].get<std::string>());
    EXPECT_EQ(fit.values[j], p[j]["value"].get<double>()) << j;
    if (p[j]["sigma"].is_null()) {
      EXPECT_TRUE(std::isnan(fit.sigma[j]));
    } else {
      EXPECT_EQ(fit.sigma[j], p[j]["sigma"].get<double>()) << j;
    }
  }
  EXPECT_EQ(fit.ls_error, doc["fit"]["ls_error"].get<double>());
  // The whole document, but for the data file's name.
  json mine = json::parse(fit.document);
  mine["data"]["file"] = doc["data"]["file"];
  EXPECT_EQ(mine, doc);
}

TEST(EngineAgainstDialogue, WorkedExamples) {
  for (const char* name : {"dnit2", "cuac"}) {
    SCOPED_TRACE(name);
    const std::string data = std::string(name) + ".dat";
    const e2e::Result r =
        e2e::Run(std::string("engine_") + name, Example(std::string(name) + "-answers.txt"),
                 {{data, Example(data)}});
    ExpectSameFit(r, data);
  }
}

}  // namespace
