// The fit outside the dialogue: the methods lm and global, bounds, fixed
// parameters, the temperature window, weights, chi*T, more points than the
// dialogue's, errors in the data file, and the flags and messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;

using test_util::ErrorOf;
using test_util::Example;

// The worked example: a copper dimer with a Curie impurity (expression 24).
engine::ModelDescription Dnit2(const std::string& method) {
  engine::ModelDescription d = engine::Template(24);
  d.corrections.factor = 0.5;
  d.parameters[1].start = -150.0;
  d.parameters[2].start = 0.99;
  d.fit.method = method;
  return d;
}

const engine::Data& Dnit2Data() {
  static const engine::Data data = engine::ReadData(Example("dnit2.dat"));
  return data;
}

// Expression 24 at `p` on `n` temperatures from 2 K to 300 K.
engine::Data Synthetic(const std::vector<double>& p, int n, const std::string& name = "s.dat") {
  engine::Data data;
  data.file = name;
  for (int i = 0; i < n; ++i) data.temperature.push_back(2.0 + 298.0 * i / (n - 1));
  data.chi = engine::Model(engine::Template(24)).Evaluate(data.temperature, p);
  return data;
}

TEST(EngineMethods, SettingsTheModelRefusesNameTheirKey) {
  struct Case {
    std::function<void(engine::ModelDescription&)> change;
    std::string error;
  };
  const Case cases[] = {
      {[](auto& d) { d.fit.method = "newton"; },
       "fit.method 'newton' is not one of 'simplex', 'lm', 'global'"},
      {[](auto& d) { d.fit.weights = "chi2"; },
       "fit.weights 'chi2' is not one of 'none', 'sigma', 'relative'"},
      {[](auto& d) { d.fit.quantity = "mu"; }, "fit.quantity 'mu' is not one of 'chi', 'chiT'"},
      {[](auto& d) {
         d.fit.tmin = 50.0;
         d.fit.tmax = 10.0;
       },
       "fit.tmin (50 K) is above fit.tmax (10 K)"},
      {[](auto& d) {
         d.parameters[1].min = -100.0;
         d.parameters[1].max = -200.0;
       },
       "parameter J-BB: 'min' (-100) is above 'max' (-200)"},
      {[](auto& d) { d.parameters[2].max = 0.9; },
       "parameter COEFF1: the start 0.99 is outside 'min' to 'max' (-inf to 0.9)"},
  };
  for (const Case& c : cases) {
    engine::ModelDescription d = Dnit2("lm");
    c.change(d);
    EXPECT_EQ(ErrorOf<engine::ModelError>([&] { engine::Model{d}; }), c.error);
  }
  // From a model file: the file and the key.
  const std::string text =
      R"({"model": {"expression": 24}, "parameters": [{"name": "g-value", "start": 2},
      {"name": "J-BB", "start": -10, "min": 0}, {"name": "COEFF1", "start": 0.9}]})";
  EXPECT_EQ(ErrorOf<engine::ModelError>(
                [&] { engine::ParseModel(text, engine::Starts::kStart, "model file 'm.json'"); }),
            "model file 'm.json': parameter J-BB: the start -10 is outside 'min' to 'max' (0 to "
            "inf)");
  EXPECT_EQ(ErrorOf<engine::ModelError>([&] {
              engine::ParseModel(R"({"model": {"expression": 24}, "fit": {"method": 3}})",
                                 engine::Starts::kStart, "model file 'm.json'");
            }),
            "model file 'm.json': fit.method: must be a string, not an integer");
}

TEST(EngineMethods, DataTheSettingsCannotFitNameTheFileAndTheKey) {
  engine::Data with_errors = Dnit2Data();
  with_errors.sigma.assign(with_errors.chi.size(), 1e-5);
  struct Case {
    std::function<void(engine::ModelDescription&, engine::Data&)> change;
    std::string error;
  };
  const std::string name = "data '" + Example("dnit2.dat") + "': ";
  const Case cases[] = {
      {[](auto& d, auto&) { d.fit.tmin = 299.0; },
       "the window fit.tmin to fit.tmax (299 to - K) holds 0 points, fewer than the 3 free "
       "parameters"},
      {[](auto& d, auto&) { d.fit.weights = "sigma"; },
       "fit.weights 'sigma' needs each point's error, and the data carry none (a 'sigma' section "
       "in the data file, or sigma=)"},
      {[](auto& d, auto& data) {
         d.fit.weights = "sigma";
         data.sigma[3] = 0.0;
       },
       "point 4 has an error (sigma) of 0: fit.weights 'sigma' needs each above 0"},
      {[](auto& d, auto& data) {
         d.fit.weights = "sigma";
         data.sigma[0] = std::nan("");
       },
       "point 1 has an error (sigma) of nan: fit.weights 'sigma' needs each above 0"},
  };
  // Only a window or weights can refuse data that were read.
  engine::FitSettings plain;
  EXPECT_FALSE(engine::FitChecksData(plain));
  plain.tmax = 300.0;
  EXPECT_TRUE(engine::FitChecksData(plain));
  plain.tmax.reset();
  plain.weights = "relative";
  EXPECT_TRUE(engine::FitChecksData(plain));
  for (const Case& c : cases) {
    engine::ModelDescription d = Dnit2("lm");
    engine::Data data = with_errors;
    c.change(d, data);
    EXPECT_TRUE(engine::FitChecksData(d.fit));
    data = with_errors;
    d = Dnit2("lm");
    if (c.error.find("carry none") != std::string::npos) data.sigma.clear();
    c.change(d, data);
    const engine::Model model(d);
    EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::CheckFit(model, data); }), name + c.error);
    EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::Fit(model, data); }), name + c.error);
  }
}

TEST(EngineMethods, LmAndGlobalReachTheMinimumAndSaySo) {
  const engine::FitResult lm = engine::Fit(Dnit2("lm"), Dnit2Data());
  const engine::FitResult global = engine::Fit(Dnit2("global"), Dnit2Data());
  engine::FitOptions refine;
  refine.refine = true;
  engine::ModelDescription long_simplex = Dnit2("simplex");
  long_simplex.fit.iterations = 5000;
  const engine::FitResult simplex = engine::Fit(long_simplex, Dnit2Data(), refine);
  for (const engine::FitResult* r : {&lm, &global}) {
    EXPECT_TRUE(r->success) << r->message;
    EXPECT_FALSE(r->stopped_short);
    EXPECT_FALSE(r->budget_exhausted);
    EXPECT_NEAR(r->ls_error, simplex.ls_error, 1e-9 * simplex.ls_error);
    EXPECT_TRUE(r->notes.empty()) << r->notes.at(0);
    for (std::size_t j = 0; j < 3; ++j) {
      EXPECT_TRUE(std::isfinite(r->std_error[j]));
      EXPECT_EQ(r->sigma[j], r->std_error[j]);  // the deviations are the standard errors
    }
  }
  EXPECT_EQ(lm.method, "lm");
  EXPECT_EQ(global.method, "global");
  EXPECT_EQ(global.reached_best, global.starts);
  ASSERT_EQ(global.minima.size(), 1u);
  EXPECT_EQ(global.message.substr(0, 64),
            "5 of 5 starts reached the best minimum, 1 distinct minimum found");

  const json doc = json::parse(global.document)["fit"];
  EXPECT_EQ(doc["method"], "global");
  EXPECT_EQ(doc["success"], true);
  EXPECT_EQ(doc["message"], global.message);
  EXPECT_EQ(doc["starts"], 5);
  EXPECT_EQ(doc["reached_best"], 5);
  EXPECT_EQ(doc["screened"], 64);
  EXPECT_EQ(doc["settings"]["screened_on_points"], 29);  // few points: screened on all
  EXPECT_EQ(doc["minima"][0]["starts"], 5);
  EXPECT_EQ(doc["settings"]["ftol"], 1e-12);
  EXPECT_EQ(doc["settings"]["max_iterations"], 200);
  EXPECT_EQ(json::parse(lm.document)["fit"].count("minima"), 0u);
  // The dialogue's simplex from the same starts.
  EXPECT_EQ(json::parse(engine::Fit(Dnit2("simplex"), Dnit2Data()).document)["fit"]["method"],
            "simplex");
}

TEST(EngineMethods, GlobalFindsTheMinimumWhereOneStartDoesNot) {
  // A strongly coupled dimer: from the template's J = -10 the fit goes astray.
  const engine::Data data = Synthetic({2.1, -250.0, 0.97}, 60);
  engine::ModelDescription d = engine::Template(24);
  d.fit.method = "global";
  const engine::FitResult global = engine::Fit(d, data);
  EXPECT_NEAR(global.values[1], -250.0, 1e-5);
  EXPECT_NEAR(global.values[0], 2.1, 1e-8);
  EXPECT_TRUE(global.success) << global.message;
  d.fit.method = "simplex";
  EXPECT_GT(std::fabs(engine::Fit(d, data).values[1] + 250.0), 1.0);
}

TEST(EngineMethods, BoundsFixedParametersAndTheirNotes) {
  for (const char* method : {"lm", "global"}) {
    SCOPED_TRACE(method);
    engine::ModelDescription d = Dnit2(method);
    d.parameters[1].max = -170.0;  // the minimum is at -161.9
    d.parameters[1].start = -180.0;
    d.parameters[2].fixed = true;
    d.parameters[2].start = 0.97 * 1.0000001;
    const engine::FitResult r = engine::Fit(d, Dnit2Data());
    EXPECT_EQ(r.values[1], -170.0);
    EXPECT_EQ(r.at_bound, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(std::isnan(r.std_error[1]));
    EXPECT_TRUE(std::isfinite(r.std_error[0]));
    EXPECT_EQ(r.values[2], 0.97 * 1.0000001);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(r.notes[0],
              "suscep: note: parameter J-BB ended on its bound (-1.7000E+02): its standard error "
              "is null in SUSCEP.JSON");
    const json doc = json::parse(r.document);
    EXPECT_EQ(doc["parameters"][1]["at_bound"], true);
    EXPECT_EQ(doc["parameters"][1]["max"], -170.0);
    EXPECT_EQ(doc["parameters"][1]["std_error"], nullptr);
    EXPECT_EQ(doc["parameters"][2]["fixed"], true);
    EXPECT_EQ(doc["parameters"][2]["value"], 0.97 * 1.0000001);
    // A converged lm is its own check: none is run after it.
    EXPECT_EQ(doc["minimum_check"]["ran"], false);
    EXPECT_EQ(doc["minimum_check"]["values"], nullptr);
    EXPECT_FALSE(r.stopped_short);
    // A model file written from the description keeps them.
    const engine::ModelDescription again = engine::ParseModel(engine::ModelText(d));
    EXPECT_EQ(again.parameters[1].max, -170.0);
    EXPECT_TRUE(again.parameters[2].fixed);
    EXPECT_EQ(again.fit.method, method);
  }
}

// The simplex's centroids and surface leave a held value exactly as it was,
// in the values, the document and the check, refined or not.
TEST(EngineMethods, TheSimplexKeepsAHeldValueExactly) {
  for (bool refine : {false, true}) {
    engine::ModelDescription d = Dnit2("simplex");
    d.parameters[2].fixed = true;
    d.parameters[2].start = 0.97;
    engine::FitOptions options;
    options.refine = refine;
    const engine::FitResult r = engine::Fit(d, Dnit2Data(), options);
    EXPECT_EQ(r.values[2], 0.97) << refine;
    const json doc = json::parse(r.document);
    EXPECT_EQ(doc["parameters"][2]["value"], 0.97);
    EXPECT_EQ(doc["minimum_check"]["values"][2], 0.97);
  }
}

TEST(EngineMethods, TheWindowFitsItsPointsAndKeepsTheOthers) {
  engine::ModelDescription d = Dnit2("lm");
  d.fit.tmin = 20.0;
  d.fit.tmax = 200.0;
  const engine::Data& data = Dnit2Data();
  const engine::FitResult r = engine::Fit(d, data);
  int inside = 0;
  for (double t : data.temperature) inside += t >= 20.0 && t <= 200.0 ? 1 : 0;
  ASSERT_GT(inside, 3);
  ASSERT_LT(inside, static_cast<int>(data.temperature.size()));
  EXPECT_EQ(r.statistics.points, inside);
  EXPECT_EQ(r.points, static_cast<int>(data.temperature.size()));
  const json doc = json::parse(r.document);
  EXPECT_EQ(doc["fit"]["fitted_points"], inside);
  EXPECT_EQ(doc["fit"]["tmin"], 20.0);
  EXPECT_EQ(doc["statistics"]["points"], inside);
  ASSERT_EQ(doc["data"]["excluded"].size(), data.temperature.size());
  for (std::size_t i = 0; i < data.temperature.size(); ++i) {
    const bool out = data.temperature[i] < 20.0 || data.temperature[i] > 200.0;
    EXPECT_EQ(doc["data"]["excluded"][i], out);
    EXPECT_EQ(r.excluded[i], out);
  }
  // The report marks them.
  engine::FitOptions report;
  report.report = true;
  const std::string text = engine::Fit(d, data, report).report;
  std::size_t marked = 0;
  for (std::size_t at = text.find("excluded"); at != std::string::npos;
       at = text.find("excluded", at + 1)) {
    ++marked;
  }
  EXPECT_EQ(marked, data.temperature.size() - inside);
  // The L.S. error is that of the points fitted.
  engine::Data part;
  part.file = data.file;
  for (std::size_t i = 0; i < data.temperature.size(); ++i) {
    if (data.temperature[i] < 20.0 || data.temperature[i] > 200.0) continue;
    part.temperature.push_back(data.temperature[i]);
    part.chi.push_back(data.chi[i]);
  }
  engine::ModelDescription whole = d;
  whole.fit.tmin.reset();
  whole.fit.tmax.reset();
  EXPECT_NEAR(engine::Fit(whole, part).ls_error, r.ls_error, 1e-9 * r.ls_error);
}

TEST(EngineMethods, WeightsAndChiT) {
  const std::vector<double> truth = {2.08, -120.0, 0.96};
  engine::Data data = Synthetic(truth, 80);
  // Each point's error 1 % of its value: chi-square is the relative sum of
  // squares times 1.0E4, at the same values.
  for (std::size_t i = 0; i < data.chi.size(); ++i) {
    data.chi[i] *= 1.0 + 0.003 * std::sin(7.0 * i);
  }
  for (double chi : data.chi) data.sigma.push_back(0.01 * chi);
  engine::ModelDescription d = engine::Template(24);
  d.fit.method = "global";
  d.fit.weights = "relative";
  const engine::FitResult relative = engine::Fit(d, data);
  d.fit.weights = "sigma";
  const engine::FitResult sigma = engine::Fit(d, data);
  for (int j = 0; j < 3; ++j) {
    EXPECT_NEAR(sigma.values[j], relative.values[j], 1e-7 * std::fabs(truth[j]));
  }
  EXPECT_NEAR(sigma.ls_error, 1e4 * relative.ls_error, 1e-6 * sigma.ls_error);
  const json doc = json::parse(sigma.document);
  EXPECT_EQ(doc["fit"]["weights"], "sigma");
  EXPECT_EQ(doc["data"]["chi_error"].size(), data.chi.size());
  // chi*T of noise-free data: the truth.
  d.fit.weights = "none";
  d.fit.quantity = "chiT";
  const engine::FitResult chit = engine::Fit(d, Synthetic(truth, 80));
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(chit.values[j], truth[j], 1e-6 * std::fabs(truth[j]));
  EXPECT_EQ(json::parse(chit.document)["fit"]["quantity"], "chiT");
}

TEST(EngineMethods, MorePointsThanTheDialoguesAndErrorsInTheDataFile) {
  const std::vector<double> truth = {2.05, -60.0, 0.98};
  const engine::Data many = Synthetic(truth, 2000);
  engine::ModelDescription d = engine::Template(24);
  d.fit.method = "lm";
  d.parameters[1].start = -50.0;
  engine::FitOptions options;
  options.report = true;
  const engine::FitResult r = engine::Fit(d, many, options);
  EXPECT_EQ(r.points, 2000);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(r.values[j], truth[j], 1e-6 * std::fabs(truth[j]));
  EXPECT_EQ(json::parse(r.document)["data"]["temperature"].size(), 2000u);
  // global screens many points on an even spread of 32 and still gets there.
  d.fit.method = "global";
  const engine::FitResult g = engine::Fit(d, many);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(g.values[j], truth[j], 1e-6 * std::fabs(truth[j]));
  EXPECT_EQ(json::parse(g.document)["fit"]["settings"]["screened_on_points"], 32);
  EXPECT_GT(json::parse(g.document)["fit"]["lm_iterations"], 0);

  // A "sigma" line after the pairs, then one error per point; other lines
  // after the pairs are ignored, as the dialogue ignores them.
  const auto dir = std::filesystem::temp_directory_path() / "suscep_methods_test";
  std::filesystem::create_directories(dir);
  struct Case {
    std::string text;
    std::vector<double> sigma;
  };
  const Case cases[] = {
      {"2\n10 1e-3\n20 5e-4\n  Sigma\n1e-5 2e-5\n", {1e-5, 2e-5}},
      {"2\n10 1e-3\n20 5e-4\n\nsigma\n1e-5\n2e-5\n", {1e-5, 2e-5}},
      {"2\n10 1e-3\n20 5e-4\nmeasured on the VSM\n", {}},
      {"2\n10 1e-3 20 5e-4\n", {}},
  };
  for (const Case& c : cases) {
    const std::string path = (dir / "e.dat").string();
    std::ofstream(path) << c.text;
    const engine::Data data = engine::ReadData(path);
    EXPECT_EQ(data.temperature, (std::vector<double>{10.0, 20.0}));
    EXPECT_EQ(data.sigma, c.sigma) << c.text;
  }
  std::ofstream((dir / "e.dat").string()) << "2\n10 1e-3\n20 5e-4\nsigma\n1e-5\n";
  EXPECT_NE(ErrorOf<engine::DataError>([&] { engine::ReadData((dir / "e.dat").string()); }), "");
  std::filesystem::remove_all(dir);
}

TEST(EngineMethods, HonestFlags) {
  // Z*JP started at 1.0E-8 with the default step is determined, its
  // standard error as from a start of -1.
  engine::ModelDescription d = engine::Template(24);
  d.terms[0].correction = true;  // Bleaney-Bower with Z*JP
  engine::Data data = Synthetic({2.1, -100.0, 0.97}, 60);
  d.parameters.clear();
  engine::ModelDescription tiny = d;
  const engine::Model built(d);
  for (std::size_t j = 0; j < built.parameter_names().size(); ++j) {
    engine::ParameterDescription p;
    p.name = built.parameter_names()[j];
    p.start = built.starts()[j];
    tiny.parameters.push_back(p);
  }
  ASSERT_EQ(tiny.parameters[2].name, "Z*JP");
  for (std::size_t i = 0; i < data.chi.size(); ++i) {
    data.chi[i] *= 1.0 + 0.005 * std::sin(3.0 * i);
  }
  engine::ModelDescription reference = tiny;
  reference.fit.method = "lm";
  reference.parameters[1].start = -100.0;
  reference.parameters[2].start = -1.0;
  tiny.fit.method = "lm";
  tiny.parameters[1].start = -100.0;
  tiny.parameters[2].start = 1e-8;
  const engine::FitResult a = engine::Fit(tiny, data);
  const engine::FitResult b = engine::Fit(reference, data);
  EXPECT_FALSE(a.statistics.undetermined[2]);
  EXPECT_NEAR(a.std_error[2], b.std_error[2], 0.02 * b.std_error[2]);
  EXPECT_NEAR(a.std_error[0], b.std_error[0], 0.02 * b.std_error[0]);

  // An exact fit with as many points as parameters is not flagged.
  engine::ModelDescription exact = engine::Template(24);
  const engine::Data three = Synthetic({2.0, -30.0, 0.9}, 3);
  for (const char* method : {"simplex", "lm"}) {
    exact.fit.method = method;
    const engine::FitResult r = engine::Fit(exact, three);
    EXPECT_FALSE(r.stopped_short) << method;
  }

  // Progress about once an iteration from every method; false stops it.
  for (const char* method : {"simplex", "lm", "global"}) {
    SCOPED_TRACE(method);
    std::vector<int> seen;
    engine::FitOptions options;
    options.on_progress = [&seen](int iteration, double ls_error) {
      EXPECT_TRUE(std::isfinite(ls_error));
      seen.push_back(iteration);
      return iteration < 3;
    };
    const engine::FitResult r = engine::Fit(Dnit2(method), Dnit2Data(), options);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(r.interrupted);
    EXPECT_FALSE(r.success);
  }
}

}  // namespace
