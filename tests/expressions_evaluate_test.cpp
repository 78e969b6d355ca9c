// Evaluation of whole fit models: parameter consumption, the THETA and Z*JP
// corrections, the equation types, and the L.S. error with its progress line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "expressions/expressions.h"
#include "expressions/terms.h"
#include "format/console.h"
#include "model/model.h"
#include "tests/test_util.h"

namespace {

using namespace expressions;

using test_util::RecordLog;
using test_util::Sig;

struct Term {
  int IFN;
  int IOPT = 0;
  double S1 = 0.0;
  double S2 = 0.0;
  int IOTHER = 1;
};

class EvaluateTest : public ::testing::Test {
 protected:
  void Build(double gval, int itype, const std::vector<Term>& terms, std::vector<double> p) {
    fm = model::FitModel{};
    fm.GVAL = gval;
    fm.ITYPE = itype;
    fm.NTERM = static_cast<int>(terms.size());
    for (std::size_t k = 0; k < terms.size(); ++k) {
      fm.IFN[k] = terms[k].IFN;
      fm.IOPT[k] = terms[k].IOPT;
      fm.S1[k] = terms[k].S1;
      fm.S2[k] = terms[k].S2;
      fm.IOTHER[k] = terms[k].IOTHER;
    }
    fm.NPAR = static_cast<int>(p.size());
    for (std::size_t j = 0; j < p.size(); ++j) fm.PVAL[j] = p[j];
    P = std::move(p);
    e = Evaluation{};
    e.model = &fm;
    e.console = &log;
    SetConstants(e);
  }
  double Eval(double T) { return Evaluate(e, P.data(), T); }

  model::FitModel fm;
  RecordLog log;
  Evaluation e;
  std::vector<double> P;
};

// Expression number 24: x (Bleaney-Bower) + (1-x) Curie.
TEST_F(EvaluateTest, DefaultExpressionWorkedValues) {
  Build(2.0, 2, {{4}, {1, 0, 0.5}}, {-100.0, 0.9});
  EXPECT_TRUE(Sig(Eval(300.0), 0.00092756380));

  Build(2.0, 2, {{4, 1}, {1, 1, 0.5}}, {-100.0, -1.0, -5.0, 0.9});
  const double corrected = Eval(300.0);
  EXPECT_TRUE(Sig(corrected, 0.00092277873));
  EXPECT_TRUE(Sig(e.TV[0] / 0.9, 0.00088864454, 7));
  EXPECT_TRUE(Sig(e.TV[1] / 0.1, 0.0012299864, 7));

  e.TIPADD = 1.0E-4;
  EXPECT_EQ(Eval(300.0), 1.0E-4 + corrected);
}

TEST_F(EvaluateTest, FittedGMatchesFixedG) {
  Build(2.0, 2, {{4, 1}, {1, 1, 0.5}}, {-100.0, -1.0, -5.0, 0.9});
  const double fixed = Eval(300.0);
  Build(0.0, 2, {{4, 1}, {1, 1, 0.5}}, {2.0, -100.0, -1.0, -5.0, 0.9});
  EXPECT_EQ(Eval(300.0), fixed);
  // The g test is inclusive at 1.0E-6: P(1) is then g.
  Build(1.0E-6, 1, {{1, 0, 0.5}}, {2.0});
  EXPECT_TRUE(Sig(Eval(300.0), 0.0012504862));
  Build(-1.0E-6, 1, {{1, 0, 0.5}}, {2.0});
  EXPECT_TRUE(Sig(Eval(300.0), 0.0012504862));
  // A fitted g works out its constants at every evaluation, from P(1), and
  // leaves the state's fixed-g constants alone.
  Build(2.0, 1, {{1, 1, 0.5}}, {-5.0});
  const double fixed2 = Eval(300.0);
  Build(0.0, 1, {{1, 1, 0.5}}, {3.0, -5.0});
  const double g3 = Eval(300.0);
  P[0] = 2.0;
  EXPECT_EQ(Eval(300.0), fixed2);
  P[0] = 3.0;
  EXPECT_EQ(Eval(300.0), g3);
  EXPECT_EQ(e.CG2, 0.0);
  EXPECT_EQ(e.RG2, 0.0);
}

TEST_F(EvaluateTest, CorrectionsOfZeroChangeNothing) {
  Build(2.0, 1, {{1, 0, 1.0}, {4}}, {-50.0});
  const double plain = Eval(123.0);
  Build(2.0, 1, {{1, 1, 1.0}, {4, 1}}, {0.0, -50.0, 0.0});
  EXPECT_DOUBLE_EQ(Eval(123.0), plain);
}

TEST_F(EvaluateTest, CurieWeissAndMolecularField) {
  const double T = 40.0;
  Build(2.0, 1, {{1, 1, 1.0}}, {-5.0});
  const double curie = Curie(e, 1.0, T);
  EXPECT_EQ(Eval(T), curie * T / (T + 5.0));
  // THETA equal to the temperature: left uncorrected, not divided by zero.
  P[0] = T;
  EXPECT_EQ(Eval(T), curie);

  Build(2.0, 1, {{6, 1}}, {-20.0, -2.0});
  const double bf = BonnerFisher(e, -20.0, T);
  EXPECT_EQ(Eval(T), bf / (1.0 - 4.0 * -2.0 * bf * e.RG2));
  // A code-10 term takes Z*JP as well when asked.
  Build(2.0, 1, {{10, 1}}, {1.0E-3, 3.0});
  EXPECT_EQ(Eval(T), 1.0E-3 / (1.0 - 4.0 * 3.0 * 1.0E-3 * e.RG2));
}

TEST_F(EvaluateTest, EquationTypes) {
  const double T = 80.0;
  // Four constants make the combination visible term by term.
  Build(2.0, 1, {{10}, {10}, {10}, {10}}, {1.0, 10.0, 100.0, 1000.0});
  EXPECT_EQ(Eval(T), 1111.0);
  Build(2.0, 2, {{10}, {10}, {10}, {10}}, {1.0, 10.0, 100.0, 1000.0, 0.25});
  EXPECT_EQ(Eval(T), 0.25 * 1.0 + 0.75 * 10.0 + 100.0 + 1000.0);
  Build(2.0, 3, {{10}, {10}, {10}, {10}}, {1.0, 10.0, 100.0, 1000.0, 0.25, 0.5});
  EXPECT_EQ(Eval(T), 0.25 * 0.5 * 1.0 + 0.75 * 0.5 * 10.0 + 0.5 * 100.0 + 1000.0);
  // ITYPE 2 with one term: the second value is scaled but not summed.
  Build(2.0, 2, {{10}}, {8.0, 0.25});
  e.TIPADD = 0.5;
  EXPECT_EQ(Eval(T), 0.5 + 2.0);
  // No terms: TIPADD alone.
  Build(2.0, 1, {}, {});
  e.TIPADD = 3.0E-4;
  EXPECT_EQ(Eval(1.0), 3.0E-4);
  EXPECT_EQ(Eval(300.0), 3.0E-4);
}

TEST_F(EvaluateTest, SumFormedFromZeroThenTipAdded) {
  Build(2.0, 1, {{10}, {10}, {10}}, {1.0E16, 1.0, -1.0E16});
  e.TIPADD = 1.0;
  // In term order from 0 the 1 is lost against 1e16, so only TIPADD is left.
  EXPECT_EQ(Eval(10.0), 1.0);
}

// Every code in two models that use up the whole table: each term must take
// exactly its own parameters, in order.
TEST_F(EvaluateTest, ParameterConsumptionOrderTypeThree) {
  const double T = 150.0;
  Build(0.0, 3, {{7, 1}, {9, 0, 0, 0, 2}, {2, 0, 2.0}, {9, 0, 0.5, 1.0, 4}, {10}},
        {2.05, -30.0, 0.3, -0.5, -40.0, 3.0, -60.0, -2.0, 2.0E-4, 0.7, 0.8});
  const double g = 2.05;
  ASSERT_TRUE(fm.NPAR == 11);
  Evaluation r = e;
  r.CG2 = g * g * r.NB2K;
  r.RG2 = r.RNB2 / g / g;
  r.GBK = g * r.BK;
  r.GNB = g * r.NB;
  double tv1 = ModifiedBF(r, -30.0, 0.3, T);
  tv1 = tv1 / (1.0 - 4.0 * -0.5 * tv1 * r.RG2);
  const double tv2 = Trimer(r, -40.0, T) / 3.0;
  double tv3 = 0.0;
  ZeroField(r, 2.0, 3.0, T, tv3);
  const double tv4 = KahnChain(r, 0.5, 1.0, -60.0, -2.0, T) / 2.0;
  const double x = 0.7, y = 0.8;
  const double expected = 0.0 + x * y * tv1 + (1.0 - x) * y * tv2 + (1.0 - y) * tv3 + tv4 + 2.0E-4;
  EXPECT_EQ(Eval(T), expected);
}

TEST_F(EvaluateTest, ParameterConsumptionOrderTypeOne) {
  const double T = 75.0;
  Build(2.0, 1,
        {{9, 0, 0, 0, 3},
         {1, 1, 1.5},
         {9, 0, 0, 0, 1},
         {8, 1, 1.0, 1.5},
         {5, 0, 0, 5000.0},
         {3},
         {6}},
        {-10.0, -20.0, -30.0, -40.0, -3.0, -25.0, 4.0, -15.0, -0.25, -35.0, 12.0, -45.0});
  ASSERT_TRUE(fm.NPAR == 12);
  const double tv1 = Tetramer(e, -10.0, -20.0, -30.0, -40.0, T) / 4.0;
  const double tv2 = Curie(e, 1.5, T) * T / (T - -3.0);
  const double tv3 = UserFunction(e, -25.0, 4.0, T);
  double tv4 = Dimer(e, 1.0, 1.5, -15.0, T) / 2.0;
  tv4 = tv4 / (1.0 - 4.0 * -0.25 * tv4 * e.RG2);
  const double tv5 = Magnetization(e, -35.0, 5000.0, T);
  const double tv6 = Ising(e, 12.0, T) / 2.0;
  const double tv7 = BonnerFisher(e, -45.0, T);
  EXPECT_EQ(Eval(T), 0.0 + (((((0.0 + tv1) + tv2) + tv3) + tv4) + tv5 + tv6 + tv7));
}

TEST_F(EvaluateTest, CodeOutsideTheListIsCurie) {
  Build(2.0, 1, {{0, 0, 0.5}, {11, 0, 1.0}}, {});
  EXPECT_EQ(Eval(300.0), Curie(e, 0.5, 300.0) + Curie(e, 1.0, 300.0));
}

TEST_F(EvaluateTest, ZeroFieldWithoutAnIndexKeepsItsLastValue) {
  Build(2.0, 1, {{2, 0, 0.5}}, {5.0});
  e.TV[0] = 7.0;
  EXPECT_EQ(Eval(300.0), 7.0);
}

// The dialogue never builds more terms than the capacity; a record that
// claims more is evaluated over the capacity's terms, without a word.
TEST_F(EvaluateTest, TermsBeyondTheCapacityAreLeftOut) {
  std::vector<Term> terms(model::MAXTERM, Term{10});
  std::vector<double> p;
  for (int k = 0; k < model::MAXTERM; ++k) p.push_back(k + 1.0);
  Build(2.0, 1, terms, p);
  fm.NTERM = model::MAXTERM + 1;
  EXPECT_EQ(Eval(300.0), 55.0);
  EXPECT_TRUE(log.records.empty());
}

class ObjectiveTest : public EvaluateTest {
 protected:
  void Data(const std::vector<double>& t, const std::vector<double>& x) {
    temps = t;
    xobs = x;
    e.NDATA = static_cast<int>(t.size());
    e.T = temps.data();
    e.XOBS = xobs.data();
    e.SXOBS2 = 0.0;
    for (double v : xobs) e.SXOBS2 = e.SXOBS2 + v * v;
  }
  std::vector<double> temps, xobs;
};

TEST_F(ObjectiveTest, PerfectFitIsZeroAndOneRecordForThreeParameters) {
  Build(0.0, 2, {{4}, {1, 0, 0.5}}, {2.1, -140.0, 0.98});
  std::vector<double> t, x;
  for (double T = 5.0; T <= 300.0; T += 7.5) {
    t.push_back(T);
    x.push_back(Eval(T));
  }
  Data(t, x);
  EXPECT_EQ(Objective(e, P.data()), 0.0);
  EXPECT_EQ(e.NCALL, 1);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0], "    1    2.1000 -140.0000     .9800     .0000");
  // A count of 10000 or more puts its first digit in the control position.
  e.NCALL = 12344;
  Objective(e, P.data());
  EXPECT_EQ(log.records[1], "12345    2.1000 -140.0000     .9800     .0000");
}

TEST_F(ObjectiveTest, ZeroModelIsOneAndSevenParametersTakeTwoRecords) {
  Build(2.0, 1, {{10}, {10}, {10}, {10}, {10}, {10}, {10}}, {1.0, -2.0, 3.0, -4.0, 5.0, -6.0, 7.0});
  e.TIPADD = -4.0;  // cancels the seven constants exactly
  Data({10.0, 20.0, 30.0}, {1.0E-3, -2.5E-4, 3.3E-5});
  e.NCALL = 41;
  EXPECT_EQ(Objective(e, P.data()), 1.0);
  EXPECT_EQ(e.NCALL, 42);
  const std::vector<std::string> expected = {
      "   42    1.0000   -2.0000    3.0000   -4.0000    5.0000   -6.0000    7.0000", "    1.0000"};
  EXPECT_EQ(log.records, expected);
}

TEST_F(ObjectiveTest, OneWarningPerPointPerEvaluation) {
  Build(2.0, 1, {{4}}, {-250.0});
  Data({1.0, 1.0, 0.999}, {1.0, 2.0, 3.0});
  Objective(e, P.data());
  ASSERT_EQ(log.records.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(log.records[i].rfind(" Exponent Warning in BB--> X =", 0), 0u);
  }
  EXPECT_EQ(log.records[3].substr(0, 5), "    1");
}

// Expression 24 with g fitted over a measured data set: the first progress
// lines of a fit of it.
TEST_F(ObjectiveTest, MeasuredDataProgressLines) {
  const double data[][2] = {{5.00, 8.782251e-04},   {12.56, 3.500542e-04},  {20.13, 2.155263e-04},
                            {27.69, 1.553724e-04},  {35.26, 1.219705e-04},  {42.82, 1.036264e-04},
                            {50.38, 9.369849e-05},  {57.95, 9.548459e-05},  {65.51, 1.110838e-04},
                            {73.08, 1.365923e-04},  {80.64, 1.732158e-04},  {88.21, 2.144733e-04},
                            {95.77, 2.665827e-04},  {103.33, 3.200218e-04}, {110.90, 3.695960e-04},
                            {118.46, 4.320985e-04}, {126.03, 4.839583e-04}, {133.59, 5.447869e-04},
                            {141.15, 5.792540e-04}, {148.72, 6.191243e-04}, {156.28, 6.658294e-04},
                            {163.85, 6.925506e-04}, {171.41, 7.270575e-04}, {178.97, 7.431921e-04},
                            {186.54, 7.693396e-04}, {194.10, 7.940803e-04}, {201.67, 8.068843e-04},
                            {209.23, 8.148303e-04}, {216.79, 8.148336e-04}, {224.36, 8.351661e-04},
                            {231.92, 8.378211e-04}, {239.49, 8.471773e-04}, {247.05, 8.453147e-04},
                            {254.62, 8.536758e-04}, {262.18, 8.438378e-04}, {269.74, 8.447056e-04},
                            {277.31, 8.464181e-04}, {284.87, 8.287139e-04}, {292.44, 8.307848e-04},
                            {300.00, 8.257031e-04}};
  std::vector<double> t, x;
  for (const auto& d : data) {
    t.push_back(d[0]);
    x.push_back(d[1]);
  }
  Build(0.0, 2, {{4}, {1, 0, 0.5}}, {2.1, -140.0, 0.98});
  Data(t, x);
  const std::vector<std::vector<double>> vertices = {
      {2.1, -140.0, 0.98}, {2.121, -140.0, 0.98}, {2.1, -141.4, 0.98}, {2.1, -140.0, 0.9898}};
  for (const auto& v : vertices) Objective(e, v.data());
  const std::vector<std::string> expected = {"    1    2.1000 -140.0000     .9800     .0526",
                                             "    2    2.1210 -140.0000     .9800     .0583",
                                             "    3    2.1000 -141.4000     .9800     .0518",
                                             "    4    2.1000 -140.0000     .9898     .0005"};
  EXPECT_EQ(log.records, expected);
  // At the reported minimum.
  const double best[] = {2.14938, -144.753, 0.989888};
  EXPECT_NEAR(Objective(e, best), 0.4691E-04, 0.0005E-04);
}

}  // namespace
