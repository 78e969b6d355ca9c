// SUSCEP.JSON and the notes on standard error, run end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "driver/session.h"
#include "tests/driver_e2e_util.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;

constexpr char kNote[] = "suscep: note: ";
constexpr char kEnd[] = "-2\n3\n";

std::string Example(const std::string& name) {
  return e2e::ReadFile(std::filesystem::path(SUSCEP_SOURCE_DIR) / "examples" / name);
}

json Result(const e2e::Result& r) { return json::parse(r.File("SUSCEP.JSON")); }

// Expression 16 (Bonner-Fisher chain and a constant) on the chain data from
// starting g, J-BF and DIM, with `iterate` answered at the step prompt.
e2e::Result ChainFit(const std::string& name, const std::string& start,
                     const std::string& iterate = "0\n") {
  const std::string input =
      "chain.dat\n\nE\n16\nF\n" + start + "1\n1\n-1\n" + iterate + "\n" + kEnd;
  return e2e::Run(name, input, {{"chain.dat", e2e::TestData("results/bf_chain.dat")}});
}

// The worked example: every section, and the numbers agree with each other.
TEST(DriverResults, WorkedExampleFile) {
  const e2e::Result r = e2e::Run("results_example", Example("dnit2-answers.txt"),
                                 {{"dnit2.dat", Example("dnit2.dat")}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(r.HasTemporaryFile());
  const json j = Result(r);
  EXPECT_EQ(j["format"], "suscep-result");
  EXPECT_EQ(j["version"], 1);
  EXPECT_EQ(j["program"]["name"], "suscep");
  EXPECT_EQ(j["program"]["version"], SUSCEP_VERSION);

  const json& d = j["data"];
  EXPECT_EQ(d["file"], "dnit2.dat");
  ASSERT_EQ(d["points"], 29);
  for (const char* key :
       {"temperature", "chi_raw", "chi_corrected", "chi_calculated", "residual"}) {
    EXPECT_EQ(d[key].size(), 29u) << key;
  }
  for (int i = 0; i < 29; ++i) {
    EXPECT_EQ(d["residual"][i].get<double>(),
              d["chi_corrected"][i].get<double>() - d["chi_calculated"][i].get<double>());
    EXPECT_NEAR(d["chi_corrected"][i].get<double>(), 0.5 * d["chi_raw"][i].get<double>(), 1e-15);
  }
  EXPECT_EQ(j["corrections"]["factor"], 0.5);
  // What is added to the calculated values is TIP times the factor.
  EXPECT_EQ(j["corrections"]["tip_added"].get<double>(),
            0.5 * j["corrections"]["tip"].get<double>());
  EXPECT_EQ(j["model"]["expression"], 24);
  EXPECT_EQ(j["model"]["equation_type"], 2);
  EXPECT_TRUE(j["model"]["g"].is_null());
  EXPECT_EQ(j["model"]["terms"][1]["S"], 0.5);
  EXPECT_EQ(j["curve"]["temperature"].size(), 301u);
  EXPECT_EQ(j["curve"]["chi"].size(), 301u);

  ASSERT_EQ(j["parameters"].size(), 3u);
  const char* names[] = {"g-value", "J-BB", "COEFF1"};
  for (int k = 0; k < 3; ++k) {
    const json& p = j["parameters"][k];
    EXPECT_EQ(p["name"], names[k]);
    const double value = p["value"], se = p["std_error"], sigma = p["sigma"];
    // The quadratic surface and the Jacobian agree on this converged fit.
    EXPECT_NEAR(sigma / se, 1.0, 0.05) << names[k];
    EXPECT_NEAR(p["ci95"][1].get<double>() - value, j["statistics"]["t95"].get<double>() * se,
                1e-9 * std::fabs(value));
    EXPECT_NEAR(j["minimum_check"]["values"][k].get<double>(), value, 3e-3 * se) << names[k];
  }
  const json& st = j["statistics"];
  EXPECT_EQ(st["dof"], 26);
  EXPECT_TRUE(st["undetermined"].empty());
  EXPECT_NEAR(st["rss"].get<double>() / (j["fit"]["ls_error"].get<double>()),
              st["rss"].get<double>() / j["minimum_check"]["ls_error"].get<double>(), 1e-12);
  EXPECT_EQ(j["fit"]["iterations"], 200);
  EXPECT_FALSE(j["fit"]["budget_exhausted"]);
  EXPECT_TRUE(j["fit"]["sigma_estimated"]);
  EXPECT_FALSE(j["minimum_check"]["stopped_short"]);
}

// From these starts the simplex stops at 5 times the least L.S. error: the
// check finds it, the note says so, and nothing else changes.
TEST(DriverResults, StoppedShortFitGivesNote) {
  const e2e::Result r = ChainFit("results_short", "2.0\n-8\nn\n1e-4\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind(kNote, 0), 0u) << r.err;
  EXPECT_NE(r.err.find("stopped short"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("SUSCEP.JSON"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("note"), std::string::npos);
  const json j = Result(r);
  const json& c = j["minimum_check"];
  EXPECT_TRUE(c["stopped_short"]);
  EXPECT_GT(c["relative_improvement"].get<double>(), 0.5);
  EXPECT_NEAR(c["values"][0].get<double>(), 2.0494, 1e-3);
  EXPECT_NEAR(c["values"][1].get<double>(), -14.991, 1e-2);
  EXPECT_NEAR(c["values"][2].get<double>(), 2.013e-4, 1e-6);
  EXPECT_FALSE(j["fit"]["budget_exhausted"]);
}

TEST(DriverResults, ConvergedFitGivesNoNote) {
  const e2e::Result r = ChainFit("results_converged", "2.5\n-40\nn\n1e-3\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const json j = Result(r);
  EXPECT_FALSE(j["minimum_check"]["stopped_short"]);
  EXPECT_LT(std::fabs(j["minimum_check"]["relative_improvement"].get<double>()), 1e-6);
}

TEST(DriverResults, BudgetRunOutGivesNote) {
  const e2e::Result r = ChainFit("results_budget", "2.5\n-40\nn\n1e-3\n", "-1\n30\n0\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(std::string(kNote) + "the fit stopped when its budget ran out"),
            std::string::npos)
      << r.err;
  const json j = Result(r);
  EXPECT_EQ(j["fit"]["iterations"], 30);
  EXPECT_TRUE(j["fit"]["budget_exhausted"]);
  EXPECT_GT(j["fit"]["evaluations"].get<int>(), 30);
}

// A zero-iteration report writes the file but no note; its exact fit has no
// logarithm of the rss.
TEST(DriverResults, ZeroIterationReport) {
  const std::string input =
      "t.dat\n\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n3\n1\n-1\n-1\n0\n\n" + std::string(kEnd);
  const e2e::Result r =
      e2e::Run("results_zero", input, {{"t.dat", "3\n10 0.01\n20 0.01\n30 0.01\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const json j = Result(r);
  EXPECT_EQ(j["fit"]["iterations"], 0);
  EXPECT_EQ(j["fit"]["evaluations"], 0);
  EXPECT_FALSE(j["fit"]["sigma_estimated"]);
  EXPECT_TRUE(j["parameters"][0]["sigma"].is_null());
  EXPECT_EQ(j["model"]["g"], 2.0);
  EXPECT_TRUE(j["statistics"]["aic"].is_null());
  EXPECT_EQ(j["statistics"]["rss"], 0.0);
}

// What is added to the calculated values is TIP times the factor, as the
// report says.
TEST(DriverResults, TipAddedIsTipTimesFactor) {
  const std::string input =
      "t.dat\n\nB\n1e-4\nC\n0.5\nE\n99\nG\n2\nF\n1\n10\n1\n0.01\n1\n1\n-1\n-1\n0\n\n" +
      std::string(kEnd);
  const e2e::Result r =
      e2e::Run("results_tip", input, {{"t.dat", "3\n10 0.01\n20 0.01\n30 0.01\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = Result(r);
  EXPECT_EQ(j["corrections"]["tip"], 1e-4);
  EXPECT_EQ(j["corrections"]["tip_added"], 0.5 * 1e-4);
  EXPECT_NE(r.File("SUSCEP.OUT").find("TIP added to X-cald. =  5.000000000000000E-005"),
            std::string::npos);
}

// Degenerate sessions: the file is still written, with null where no number
// can be given.
TEST(DriverResults, BadCasesStillWriteTheFile) {
  const std::string three = "3\n10 0.01\n20 0.012\n30 0.011\n";
  struct Case {
    const char* name;
    std::string data;
    std::string model_and_iteration;
  } cases[] = {
      // One point, one parameter: no degrees of freedom.
      {"one_point", "1\n10 0.01\n", "E\n99\nG\n2\nF\n1\n10\n1\n0.02\n1\n1\n-1\n0\n"},
      // A Curie term with g fixed: no parameters at all.
      {"no_parameters", three, "E\n99\nG\n2\nF\n1\n1\n1\n0.5\nn\n1\n1\n-1\n0\n"},
      // g, J-BB and COEFF1 on three points.
      {"npar_ndata", three, "F\n2.0\n-100\nn\n0.5\nn\n0.9\n1\n1\n-1\n0\n"},
      // g of 0 with Z*JP: the model is not a number.
      {"nan", three, "F\n2.0\n-100\ny\n1\n0.5\nn\n0.9\n1\n1\n1\n0\n-1\n-1\n0\n"},
  };
  for (const Case& c : cases) {
    const e2e::Result r =
        e2e::Run(std::string("results_") + c.name,
                 "t.dat\n\n" + c.model_and_iteration + "\n" + kEnd, {{"t.dat", c.data}});
    ASSERT_EQ(r.status, 0) << c.name << r.err;
    EXPECT_EQ(r.err.find("run-time error"), std::string::npos) << c.name << r.err;
    const json j = Result(r);
    const json& st = j["statistics"];
    const std::string name = c.name;
    if (name == "one_point" || name == "npar_ndata") {
      EXPECT_EQ(st["dof"], 0) << c.name;
      EXPECT_TRUE(st["residual_variance"].is_null()) << c.name;
      for (const json& p : j["parameters"]) {
        EXPECT_TRUE(p["std_error"].is_null()) << c.name;
        EXPECT_TRUE(p["ci95"].is_null()) << c.name;
      }
    } else if (name == "no_parameters") {
      EXPECT_TRUE(j["parameters"].empty());
      EXPECT_TRUE(st["covariance"].empty());
      EXPECT_EQ(st["dof"], 3);
      EXPECT_FALSE(j["minimum_check"]["ran"]);
    }
    if (name == "no_parameters") {
      // Nothing to iterate or estimate: no budget ran out, no deviations.
      EXPECT_FALSE(j["fit"]["budget_exhausted"]);
      EXPECT_FALSE(j["fit"]["sigma_estimated"]);
      EXPECT_EQ(r.err, "");
    } else if (name == "nan") {
      EXPECT_TRUE(j["data"]["chi_calculated"][0].is_null());
      EXPECT_TRUE(j["fit"]["ls_error"].is_null());
      EXPECT_TRUE(st["rss"].is_null());
      EXPECT_TRUE(j["minimum_check"]["values"].is_null());
      EXPECT_EQ(r.err, "");  // a report with 0 iterations: no notes
    }
  }
}

// Two points, two parameters: the check gains nearly all of a tiny L.S.
// error, within what the simplex was asked to converge to. Not stopped short.
TEST(DriverResults, ExactFitIsNotStoppedShort) {
  const std::string input =
      "t.dat\n\nE\n99\nF\n2.0\n2\n1 10\n1\n0.5\nn\n0.001\n1\n1\n-1\n0\n\n" + std::string(kEnd);
  const e2e::Result r = e2e::Run("results_exact", input, {{"t.dat", "2\n10 0.01\n20 0.006\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = Result(r);
  const double fitted = j["fit"]["ls_error"], checked = j["minimum_check"]["ls_error"];
  EXPECT_GT(fitted, 1e-9);
  EXPECT_LT(fitted, 1e-7);
  EXPECT_LT(checked, 0.01 * fitted);
  EXPECT_FALSE(j["minimum_check"]["stopped_short"]) << j["minimum_check"].dump();
  EXPECT_EQ(j["statistics"]["dof"], 0);
  EXPECT_EQ(r.err, "");
}

// A factor of 0 makes every observed value 0: residuals, but no L.S. error.
// No statistics, no intervals, and a note that says why instead of blaming
// the budget.
TEST(DriverResults, ZeroFactorGivesNoStatistics) {
  const std::string input =
      "t.dat\n\nC\n0\nF\n2.0\n-100\nn\n0.5\nn\n0.9\n1\n1\n-1\n0\n\n" + std::string(kEnd);
  const e2e::Result r =
      e2e::Run("results_zero_factor", input, {{"t.dat", "3\n10 0.01\n20 0.012\n30 0.011\n"}});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = Result(r);
  EXPECT_TRUE(j["fit"]["ls_error"].is_null());
  for (const json& p : j["parameters"]) {
    EXPECT_TRUE(p["std_error"].is_null());
    EXPECT_TRUE(p["ci95"].is_null());
  }
  EXPECT_TRUE(j["statistics"]["residual_variance"].is_null());
  EXPECT_TRUE(j["statistics"]["t95"].is_null());
  EXPECT_FALSE(j["minimum_check"]["ran"]);
  EXPECT_FALSE(j["minimum_check"]["stopped_short"]);
  EXPECT_EQ(r.err,
            "suscep: note: the L.S. error is not a finite number (every observed value is 0): no "
            "statistics or check of the minimum in SUSCEP.JSON\n");
}

// A file that cannot be replaced is a run-time error, and no temporary
// file is left behind.
TEST(DriverResults, UnwritableFileIsRunTimeError) {
  const std::string input = Example("dnit2-answers.txt");
  e2e::Result r = e2e::Run("results_blocked", "", {});
  std::filesystem::create_directory(r.dir / "SUSCEP.JSON");
  e2e::WriteFile(r.dir / "SUSCEP.JSON" / "keep", "x");
  e2e::WriteFile(r.dir / "dnit2.dat", Example("dnit2.dat"));
  e2e::WriteFile(r.dir / "input.txt", input);
  const std::string command =
      "cd '" + r.dir.string() + "' && '" SUSCEP_BINARY "' < input.txt > stdout.txt 2> stderr.txt";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  const std::string err = e2e::ReadFile(r.dir / "stderr.txt");
  EXPECT_NE(err.find("run-time error"), std::string::npos) << err;
  EXPECT_NE(err.find("SUSCEP.JSON"), std::string::npos) << err;
  EXPECT_FALSE(r.HasTemporaryFile());
  EXPECT_TRUE(r.Has("SUSCEP.JSON/keep"));
}

// The analysis works on copies: the console gets nothing, and the state a
// later fit, report or plot reads is as it was.
TEST(DriverResults, AnalysisLeavesTheSessionAlone) {
  std::istringstream in;
  std::ostringstream out;
  format::Console con(in, out);
  driver::Session s(con);
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  s.result_path = (dir / "suscep_results_alone.json").string();
  std::ostringstream notes;
  s.notes = &notes;
  s.fm = test_util::Expression24();
  const model::FitModel& m = s.fm;
  s.ev = driver::BoundEvaluation(s);  // the model alone, to make the data
  const double truth[3] = {2.1, -140.0, 0.98};
  s.data.NDATA = 20;
  for (int i = 0; i < 20; ++i) {
    s.data.T[i] = 5.0 + 15.0 * i;
    s.data.XRAW[i] = expressions::Evaluate(s.ev, truth, s.data.T[i]) * (1.0 + 0.01 * std::sin(i));
  }
  engine::ApplyCorrections(s.data, 0.0, 0.0, 1.0);
  s.ev = driver::BoundEvaluation(s);
  for (int j = 0; j < 3; ++j) {
    s.fc.PSTART[j] = truth[j];
    s.fc.PSTEP0[j] = 0.01 * truth[j];
    s.fc.PFIT[j] = 1.05 * truth[j];  // short of the minimum
  }
  s.fc.LSERR = expressions::Objective(s.ev, s.fc.PFIT.data());
  out.str("");        // its progress line
  s.ev.EXPLIM = 1.0;  // every evaluation at a low temperature warns
  s.ev.NCALL = 41;
  s.store.SIMPLEX[2][1] = 3.5;
  s.ev.TV[0] = 0.25;
  s.last_fit.fitted = true;
  const driver::Session before = s;

  const driver::FitAnalysis found = driver::AnalyseFit(s);
  EXPECT_TRUE(found.stopped_short);
  driver::WriteNotes(s, found);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(notes.str().find("stopped short"), std::string::npos) << notes.str();
  EXPECT_EQ(s.ev.NCALL, 41);
  EXPECT_EQ(s.ev.TV, before.ev.TV);
  EXPECT_EQ(s.ev.CG2, before.ev.CG2);
  EXPECT_EQ(s.fc.PFIT, before.fc.PFIT);
  EXPECT_EQ(s.fc.SIGMA, before.fc.SIGMA);
  EXPECT_EQ(s.fc.LSERR, before.fc.LSERR);
  EXPECT_EQ(std::memcmp(&s.store, &before.store, sizeof s.store), 0);
  EXPECT_EQ(m.PVAL, before.fm.PVAL);
  std::filesystem::remove(s.result_path);
}

}  // namespace
