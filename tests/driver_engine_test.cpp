// The engine against the dialogue: the SUSCEP.JSON the dialogue writes,
// given back to the engine as its model file with the same data, gives the
// same numbers, bit for bit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
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
  EXPECT_TRUE(fit.report == r.File("SUSCEP.OUT"));
  // The whole document, but for the data file's name.
  json mine = json::parse(fit.document);
  mine["data"]["file"] = doc["data"]["file"];
  EXPECT_TRUE(mine == doc) << json::diff(doc, mine).dump().substr(0, 2000);
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

// The program run with `args` in the directory of `r`; its exit status.
int RunIn(const e2e::Result& r, const std::string& args) {
  const std::string command = "cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' " + args +
                              " > fit_out.txt 2> fit_err.txt";
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The program's own `suscep fit`, given the dialogue's SUSCEP.JSON and the
// same data file, writes the same document, byte for byte.
TEST(EngineAgainstDialogue, SuscepFitWritesTheDialoguesDocument) {
  const e2e::Result r = e2e::Run("engine_suscep_fit", Example("dnit2-answers.txt"),
                                 {{"dnit2.dat", Example("dnit2.dat")}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(RunIn(r, "fit --report SUSCEP.JSON dnit2.dat"), 0) << r.File("fit_err.txt");
  EXPECT_EQ(r.File("fit_err.txt"), "");
  EXPECT_EQ(r.File("dnit2.json"), r.File("SUSCEP.JSON"));
  EXPECT_EQ(r.File("dnit2.out"), r.File("SUSCEP.OUT"));
  EXPECT_EQ(e2e::Lines(r.File("fit_out.txt")).size(), 2u);
  EXPECT_EQ(RunIn(r, "fit SUSCEP.JSON"), 2);
  EXPECT_EQ(r.File("fit_err.txt"),
            "suscep fit: give a model file and at least one data file (see suscep fit --help)\n"
            "Usage: suscep fit [OPTIONS] MODEL DATA...\n");
  EXPECT_EQ(RunIn(r, "--help"), 0);
  EXPECT_NE(r.File("fit_out.txt").find("suscep fit [OPTIONS] MODEL DATA..."), std::string::npos);
}

std::string Exact(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", x);
  return std::string(text) + "\n";
}

// The dialogue's answers for a standard expression with the constants of
// `d` and its parameters' starts, through one fit to the end of the run.
std::string Answers(const engine::ModelDescription& d) {
  std::string in = "data.dat\n\nE\n" + std::to_string(d.expression) + "\nF\n";
  std::size_t j = 0;
  auto start = [&] { return Exact(d.parameters.at(j++).start); };
  if (!d.g) in += start();
  for (const engine::TermDescription& t : d.terms) {
    switch (t.function) {
      case 1:
        in += Exact(t.S);
        break;
      case 2:
        in += Exact(t.S) + start();
        break;
      case 5:
        in += start() + Exact(t.B);
        break;
      case 7:
        in += start();
        in += start();
        break;
      case 8:
        in += Exact(t.S1) + Exact(t.S2) + start();
        break;
      case 9:
        in += std::to_string(t.other_function) + "\n";
        if (t.other_function == 4) in += Exact(t.S1) + Exact(t.S2);
        for (std::size_t n = t.other_function == 3   ? 4
                             : t.other_function == 2 ? 1
                                                     : 2;
             n > 0; --n) {
          in += start();
        }
        break;
      default:
        in += start();
        break;
    }
    if (t.function != 10) in += t.correction ? "y\n" + start() : "n\n";
  }
  while (j < d.parameters.size()) in += start();
  // No plot; iterate with the steps set up (1 % of each start); the report.
  return in + "1\n1\n-1\n0\n\n-2\n3\n";
}

// Every standard expression number with its default starts: the dialogue
// answered with the template's choices writes the result document that the
// template itself gives the engine.
TEST(EngineAgainstDialogue, EveryStandardExpression) {
  const std::string data = Example("dnit2.dat");
  const std::vector<engine::ExpressionInfo> all = engine::Expressions();
  ASSERT_EQ(all.size(), 72u);  // 1-9 and 11-79 but for 20, 30, ...
  for (const engine::ExpressionInfo& e : all) {
    SCOPED_TRACE(e.expression);
    const engine::ModelDescription d = engine::Template(e.expression);
    const e2e::Result r = e2e::Run("engine_expression_" + std::to_string(e.expression), Answers(d),
                                   {{"data.dat", data}});
    ExpectSameFit(r, "data.dat");
    // The template is the same model as the dialogue's document.
    const engine::FitResult direct =
        engine::Fit(d, engine::ReadData((r.dir / "data.dat").string()));
    json mine = json::parse(direct.document);
    mine["data"]["file"] = "data.dat";
    const json doc = json::parse(r.File("SUSCEP.JSON"));
    EXPECT_TRUE(mine == doc) << json::diff(doc, mine).dump().substr(0, 2000);
  }
}

// A model with corrections on its terms, a given g and edited steps, one
// held at 0: the dialogue and the engine again agree.
TEST(EngineAgainstDialogue, CorrectionsGivenGAndAHeldStep) {
  const std::string answers =
      "data.dat\n\nA\n1e-5\nB\n2e-5\nC\n0.5\nE\n24\nG\n2.1\nF\n-150\ny\n-2\n0.5\ny\n-1\n"
      "0.99\n1\n1\n-1\n2\n0\n4\n0.05\n-1\n300\n0\n\n-2\n3\n";
  const e2e::Result r =
      e2e::Run("engine_corrections", answers, {{"data.dat", Example("dnit2.dat")}});
  ExpectSameFit(r, "data.dat");
  const json doc = json::parse(r.File("SUSCEP.JSON"));
  EXPECT_EQ(doc["parameters"][1]["step"], 0.0);
  EXPECT_EQ(doc["parameters"][1]["value"], -2.0);  // held
}

}  // namespace
