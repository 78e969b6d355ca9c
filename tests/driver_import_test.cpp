// `suscep import` on the example, then its data file fitted by the dialogue
// and by `suscep fit`: the parameters the example was made from come back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/driver_e2e_util.h"

namespace {

std::string Example(const std::string& name) {
  return e2e::ReadFile(std::string(SUSCEP_SOURCE_DIR) + "/examples/" + name);
}

// Runs `suscep import ARGS` in a fresh directory holding the example.
e2e::Result Import(const std::string& name, const std::string& args) {
  e2e::Result r = e2e::Run(name, "", {{"cu2-vsm.dat", Example("cu2-vsm.dat")}});
  const std::string command = "cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' import " + args +
                              " > stdout.txt 2> stderr.txt";
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = e2e::ReadFile(r.dir / "stdout.txt");
  r.err = e2e::ReadFile(r.dir / "stderr.txt");
  return r;
}

// The example's model (examples/make_cu2_vsm.py): g, J-BB, COEFF1.
constexpr double kTruth[] = {2.12, -145.0, 0.985};

TEST(DriverImport, TheExampleImportedAndFittedGivesBackItsModel) {
  const e2e::Result imported =
      Import("import_example", "cu2-vsm.dat --diamagnetic -2.9e-4 --eicosane 21.4");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.err, "");
  EXPECT_NE(imported.out.find("86 written from 86 kept of 87 data rows"), std::string::npos)
      << imported.out;
  ASSERT_TRUE(imported.Has("cu2-vsm-chi.dat"));
  ASSERT_TRUE(imported.Has("cu2-vsm-chi.import.json"));
  EXPECT_EQ(Example("cu2-vsm-answers.txt").substr(0, 16), "cu2-vsm-chi.dat\n");

  // The dialogue reads the file as it is, with the answers of the README.
  const e2e::Result fit = e2e::Run("import_example_fit", Example("cu2-vsm-answers.txt"),
                                   {{"cu2-vsm-chi.dat", imported.File("cu2-vsm-chi.dat")}});
  ASSERT_EQ(fit.status, 0) << fit.err;
  EXPECT_NE(fit.out.find("No. of observed data points:         86\n"), std::string::npos);
  const auto j = nlohmann::json::parse(fit.File("SUSCEP.JSON"));
  ASSERT_EQ(j["parameters"].size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const auto& p = j["parameters"][k];
    const double value = p["value"], sigma = p["sigma"];
    // Within two standard deviations of the truth, and those are small.
    EXPECT_LT(std::fabs(value - kTruth[k]), 2.0 * sigma) << p["name"] << " " << value;
    EXPECT_LT(sigma, 1e-3 * std::fabs(kTruth[k])) << p["name"];
  }
}

// The same data file fitted by `suscep fit` with the model of the answers:
// the dialogue's numbers, and the example's model within two standard
// deviations.
TEST(DriverImport, TheExampleImportedAndFittedBySuscepFit) {
  const e2e::Result r =
      Import("import_example_batch", "cu2-vsm.dat --diamagnetic -2.9e-4 --eicosane 21.4");
  ASSERT_EQ(r.status, 0) << r.err;
  e2e::WriteFile(r.dir / "model.json", Example("cu2-vsm-model.json"));
  const std::string command = "cd '" + r.dir.string() +
                              "' && '" SUSCEP_BINARY
                              "' fit model.json cu2-vsm-chi.dat > fit.txt 2> fit-err.txt";
  const int raw = std::system(command.c_str());
  ASSERT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << e2e::ReadFile(r.dir / "fit-err.txt");
  ASSERT_TRUE(r.Has("cu2-vsm-chi.import.json"));  // not replaced by the result document
  const auto fit = nlohmann::json::parse(r.File("cu2-vsm-chi.json"));
  const e2e::Result dialogue =
      e2e::Run("import_example_batch_dialogue", Example("cu2-vsm-answers.txt"),
               {{"cu2-vsm-chi.dat", r.File("cu2-vsm-chi.dat")}});
  const auto j = nlohmann::json::parse(dialogue.File("SUSCEP.JSON"));
  ASSERT_EQ(fit["parameters"].size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const auto& p = fit["parameters"][k];
    const double value = p["value"], sigma = p["sigma"];
    EXPECT_EQ(value, j["parameters"][k]["value"].get<double>()) << p["name"];
    EXPECT_LT(std::fabs(value - kTruth[k]), 2.0 * sigma) << p["name"] << " " << value;
  }
}

TEST(DriverImport, ARefusalEndsWithStatus1AndWritesNothing) {
  const e2e::Result r = Import("import_refused", "cu2-vsm.dat --field 5000");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "suscep import: cu2-vsm.dat: no points at 5000 Oe (within 100 Oe); fields: 1000 Oe "
            "(86 points)\n");
  EXPECT_FALSE(r.Has("cu2-vsm-chi.dat"));
  EXPECT_FALSE(r.Has("cu2-vsm-chi.import.json"));
  EXPECT_EQ(Import("import_usage", "").status, 2);
}

}  // namespace
