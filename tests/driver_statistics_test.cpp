// The statistics and the check of the minimum behind SUSCEP.JSON, on the
// program's own models: held parameters, parameters near 0, degenerate
// models, and a stop request.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "driver/session.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;

// A session with model `m` over 60 points made from `truth` with a 1 %
// ripple, fitted at `fitted`: started there with steps of one hundredth (0
// for a parameter at 0, as the dialogue gives it).
struct Fitted {
  std::istringstream in;
  std::ostringstream out;
  format::Console con{in, out};
  driver::Session s{con};

  Fitted(const model::FitModel& m, const std::vector<double>& truth,
         const std::vector<double>& fitted) {
    s.fm = m;
    s.ev = driver::BoundEvaluation(s);
    s.data.NDATA = 60;
    for (int i = 0; i < 60; ++i) {
      s.data.T[i] = 2.0 + 5.0 * i;
      s.data.XRAW[i] =
          expressions::Evaluate(s.ev, truth.data(), s.data.T[i]) * (1.0 + 0.01 * std::sin(i));
    }
    driver::ApplyCorrections(s.data, 0.0, 0.0, 1.0);
    s.ev = driver::BoundEvaluation(s);
    s.ev.console = nullptr;
    for (int j = 0; j < m.NPAR; ++j) {
      s.fc.PSTART[j] = fitted[j];
      s.fc.PSTEP0[j] = 0.01 * fitted[j];
      s.fc.PFIT[j] = fitted[j];
    }
    s.fc.LSERR = expressions::Objective(s.ev, fitted.data());
    s.last_fit.fitted = true;
  }

  json Result(const driver::FitAnalysis& found) {
    expressions::Evaluation e = s.ev;
    return json::parse(driver::ResultText(s, e, found));
  }
};

model::FitModel Terms(int type, std::initializer_list<int> codes,
                      std::initializer_list<const char*> names) {
  model::FitModel m;
  m.ITYPE = type;
  for (int code : codes) {
    m.IFN[m.NTERM] = code;
    m.S1[m.NTERM] = 0.5;
    ++m.NTERM;
  }
  for (const char* name : names) m.PNAME[m.NPAR++] = name;
  return m;
}

// Expression 24 with a correction held at 0 by its step of 0 gives the other
// parameters the errors of the same fit without that correction; the held
// one has none, and the check does not move it.
TEST(DriverStatistics, HeldCorrectionIsLeftOut) {
  const std::vector<double> plain = {2.1, -140.0, 0.98};
  Fitted without(test_util::Expression24(), plain, plain);
  const driver::FitAnalysis reference = driver::AnalyseFit(without.s);

  // Z*JP after J-BB; THETA after the Curie term.
  for (int term : {0, 1}) {
    model::FitModel m = test_util::Expression24();
    m.IOPT[term] = 1;
    m.PNAME = {"g-value ", "J-BB    ", term == 0 ? "Z*JP    " : "THETA   ", "COEFF1  "};
    m.NPAR = 4;
    const std::vector<double> with = {2.1, -140.0, 0.0, 0.98};
    Fitted held(m, with, with);
    ASSERT_EQ(held.s.fc.PSTEP0[2], 0.0);
    const driver::FitAnalysis found = driver::AnalyseFit(held.s);
    const analysis::Statistics& st = found.statistics;
    EXPECT_EQ(st.held, (std::vector<bool>{false, false, true, false})) << term;
    EXPECT_EQ(st.dof, reference.statistics.dof) << term;
    const int others[][2] = {{0, 0}, {1, 1}, {3, 2}};
    for (const auto& k : others) {
      EXPECT_NEAR(st.std_error[k[0]] / reference.statistics.std_error[k[1]], 1.0, 1e-6)
          << term << " " << k[0];
    }
    EXPECT_EQ(found.check.values[2], 0.0) << term;

    const json j = held.Result(found);
    const json& p = j["parameters"][2];
    EXPECT_EQ(p["held"], true);
    EXPECT_EQ(p["undetermined"], false);
    EXPECT_TRUE(p["std_error"].is_null());
    EXPECT_TRUE(p["ci95"].is_null());
    EXPECT_EQ(j["parameters"][1]["held"], false);
    EXPECT_EQ(j["statistics"]["free"], 3);
    EXPECT_EQ(j["statistics"]["rank"], 3);
    EXPECT_EQ(j["statistics"]["dof"], 57);
    EXPECT_EQ(j["minimum_check"]["values"][2], 0.0);
    EXPECT_TRUE(j["statistics"]["covariance"][2][0].is_null());
  }
}

// A zero-field D near 0, reached from a D of 5: its step follows its
// typical size, and widens where the model's rounding drowns it, so its error
// is that of a reference whose step is chosen by hand (on the plateau where
// the step does not matter), not the tiny one a step of cbrt(eps) |D| gives.
TEST(DriverStatistics, SmallZeroFieldDAgreesWithAStepRobustReference) {
  model::FitModel m;
  m.ITYPE = 1;
  m.NTERM = 1;
  m.IFN[0] = 2;
  m.S1[0] = 1.0;
  m.PNAME[0] = "g-value ";
  m.PNAME[1] = "D-1     ";
  m.NPAR = 2;
  const auto analysed = [&m](double d) {
    auto f =
        std::make_unique<Fitted>(m, std::vector<double>{2.05, 5.0}, std::vector<double>{2.05, d});
    f->s.fc.PSTART[1] = 5.0;
    f->s.fc.PSTEP0[1] = 0.05;
    return f;
  };
  // The reference at D = 1e-4: steps of 1e-7 in g and 1e-4 in D, covariance
  // s^2 (J^T J)^-1 in closed form.
  const auto f = analysed(1e-4);
  const int n = f->s.data.NDATA;
  const double p[2] = {2.05, 1e-4}, h[2] = {1e-7, 1e-4};
  std::vector<double> col[2];
  double rss = 0.0;
  for (int i = 0; i < n; ++i) {
    const double T = f->s.data.T[i];
    const double r = f->s.data.XOBS[i] - expressions::Evaluate(f->s.ev, p, T);
    rss += r * r;
    for (int j = 0; j < 2; ++j) {
      double up[2] = {p[0], p[1]}, down[2] = {p[0], p[1]};
      up[j] += h[j];
      down[j] -= h[j];
      col[j].push_back(
          (expressions::Evaluate(f->s.ev, up, T) - expressions::Evaluate(f->s.ev, down, T)) /
          (up[j] - down[j]));
    }
  }
  double a = 0, b = 0, c = 0;
  for (int i = 0; i < n; ++i) {
    a += col[0][i] * col[0][i];
    b += col[0][i] * col[1][i];
    c += col[1][i] * col[1][i];
  }
  const double s2 = rss / (n - 2), det = a * c - b * b;
  const double se_g = std::sqrt(s2 * c / det), se_d = std::sqrt(s2 * a / det);

  const analysis::Statistics st = driver::AnalyseFit(f->s).statistics;
  ASSERT_FALSE(st.undetermined[1]);
  EXPECT_NEAR(st.std_error[1] / se_d, 1.0, 0.02);
  EXPECT_NEAR(st.std_error[0] / se_g, 1.0, 0.02);

  // At D = 1e-6 the slope in D is a hundredth of that at 1e-4 (it is
  // proportional to D): its error a hundred times as large, or no error at
  // all where the column cannot be told from rounding.
  const auto tiny = analysed(1e-6);
  const analysis::Statistics at_tiny = driver::AnalyseFit(tiny->s).statistics;
  if (!at_tiny.undetermined[1]) {
    EXPECT_NEAR(at_tiny.std_error[1] / (100.0 * se_d), 1.0, 0.5);
    EXPECT_NEAR(at_tiny.std_error[0] / se_g, 1.0, 0.1);
  } else {
    EXPECT_TRUE(std::isnan(at_tiny.std_error[1]));
  }
}

// x Curie + (1-x) Curie, and y [x Curie + (1-x) Curie] + (1-y) Curie: the
// coefficients change nothing but rounding. They are undetermined, with no
// condition number, and g has the error of a single Curie term.
TEST(DriverStatistics, CoefficientsOfIdenticalTermsAreUndetermined) {
  const std::vector<double> g = {2.05};
  Fitted single(Terms(1, {1}, {"g-value "}), g, g);
  const driver::FitAnalysis one = driver::AnalyseFit(single.s);
  ASSERT_FALSE(one.statistics.undetermined[0]);

  Fitted two(Terms(2, {1, 1}, {"g-value ", "COEFF1  "}), {2.05, 0.4}, {2.05, 0.4});
  Fitted three(Terms(3, {1, 1, 1}, {"g-value ", "COEFF1  ", "COEFF2  "}), {2.05, 0.4, 0.7},
               {2.05, 0.4, 0.7});
  for (Fitted* f : {&two, &three}) {
    const driver::FitAnalysis found = driver::AnalyseFit(f->s);
    const analysis::Statistics& st = found.statistics;
    const int npar = f->s.fm.NPAR;
    EXPECT_FALSE(st.undetermined[0]) << npar;
    for (int j = 1; j < npar; ++j) {
      EXPECT_TRUE(st.undetermined[j]) << npar << " " << j;
      EXPECT_EQ(found.check.values[j], f->s.fc.PFIT[j]) << npar << " " << j;
    }
    EXPECT_NEAR(st.std_error[0] / one.statistics.std_error[0], 1.0, 1e-6) << npar;
    EXPECT_EQ(st.dof, one.statistics.dof) << npar;

    const json j = f->Result(found);
    EXPECT_TRUE(j["statistics"]["condition_number"].is_null()) << npar;
    EXPECT_TRUE(j["parameters"][1]["std_error"].is_null()) << npar;
    EXPECT_EQ(j["parameters"][1]["undetermined"], true) << npar;
    EXPECT_EQ(j["statistics"]["undetermined_index"][0], 1) << npar;
    EXPECT_EQ(j["statistics"]["undetermined"][0], "COEFF1") << npar;
    EXPECT_EQ(j["minimum_check"]["values"][1], f->s.fc.PFIT[1]) << npar;
  }
}

// Ctrl-C during the analysis: nothing of it is known, and the result file
// and the note say so.
TEST(DriverStatistics, AStoppedAnalysisIsNullAndNoted) {
  const std::vector<double> plain = {2.1, -140.0, 0.98};
  Fitted f(test_util::Expression24(), plain, {2.2, -130.0, 0.9});
  for (int allowed : {0, 5, 40}) {
    int asked = 0;
    const driver::FitAnalysis found =
        driver::AnalyseFit(f.s, [&asked, allowed] { return ++asked > allowed; });
    EXPECT_TRUE(found.interrupted) << allowed;
    EXPECT_FALSE(found.stopped_short) << allowed;
    const json j = f.Result(found);
    EXPECT_EQ(j["statistics"]["interrupted"], true) << allowed;
    EXPECT_EQ(j["minimum_check"]["interrupted"], true) << allowed;
    EXPECT_EQ(j["minimum_check"]["ran"], false) << allowed;
    EXPECT_TRUE(j["statistics"]["aic"].is_null()) << allowed;
    EXPECT_TRUE(j["parameters"][0]["std_error"].is_null()) << allowed;
    EXPECT_TRUE(j["parameters"][0]["ci95"].is_null()) << allowed;
    std::ostringstream notes;
    f.s.notes = &notes;
    driver::WriteNotes(f.s, found);
    EXPECT_EQ(notes.str(),
              "suscep: note: the statistics and the check of the minimum were stopped by Ctrl-C: "
              "they are null in SUSCEP.JSON\n");
  }
  // Unstopped, the same start is found short of the minimum.
  const driver::FitAnalysis whole = driver::AnalyseFit(f.s, [] { return false; });
  EXPECT_FALSE(whole.interrupted);
  EXPECT_TRUE(whole.stopped_short);
}

// Ctrl-C during the Std. devn. estimate ends it: no deviations, the fitted
// values kept, and the failure shown as for any failed estimate.
TEST(DriverStatistics, AStoppedEstimateKeepsTheFit) {
  const std::vector<double> plain = {2.1, -140.0, 0.98};
  Fitted f(test_util::Expression24(), plain, plain);
  // The simplex a fit leaves, and its best point.
  double start[3] = {2.0, -120.0, 0.95}, step[3], best[3], lserr = 0.0;
  for (int j = 0; j < 3; ++j) step[j] = 0.01 * start[j];
  int budget = 400;
  fit::Minimise([&f](const double* p) { return expressions::Objective(f.s.ev, p); }, f.s.store, 3,
                start, best, lserr, 1.0E-16, step, 1, budget);
  const std::array<double, model::MAXPAR> fitted = {best[0], best[1], best[2]};
  f.s.fc.PFIT = fitted;
  const fit::SimplexStore store = f.s.store;
  driver::EstimateDeviations(f.s);
  ASSERT_EQ(f.s.fc.SIGFLAG, 0);
  EXPECT_FALSE(f.s.last_fit.sigma_stopped);
  EXPECT_GT(f.s.fc.SIGMA[0], 0.0);

  for (int allowed : {0, 3}) {
    f.s.store = store;
    f.s.fc.PFIT = fitted;
    f.s.fc.SIGMA.fill(7.0);
    int asked = 0;
    driver::EstimateDeviations(f.s, [&asked, allowed] { return ++asked > allowed; });
    EXPECT_EQ(f.s.fc.SIGFLAG, 1) << allowed;
    EXPECT_TRUE(f.s.last_fit.sigma_stopped) << allowed;
    EXPECT_EQ(f.s.fc.SIGMA[0], 0.0) << allowed;
    EXPECT_EQ(f.s.fc.PFIT, fitted) << allowed;
    const json j = f.Result(driver::AnalyseFit(f.s));
    EXPECT_EQ(j["fit"]["sigma_interrupted"], true);
    EXPECT_EQ(j["fit"]["sigma_estimated"], false);
    std::ostringstream notes;
    f.s.notes = &notes;
    driver::WriteNotes(f.s, driver::AnalyseFit(f.s));
    EXPECT_NE(notes.str().find("the Std. devn. estimate was stopped by Ctrl-C"), std::string::npos)
        << notes.str();
  }
}

}  // namespace
