// Worked values of every term routine (g = 2, T = 300 K unless stated) and
// the exponent warnings they write.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "expressions/expressions.h"
#include "expressions/terms.h"
#include "format/console.h"
#include "format/layout.h"
#include "model/model.h"
#include "tests/test_util.h"

namespace {

using namespace expressions;

using test_util::RecordLog;
using test_util::Sig;

class TermTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fm.GVAL = 2.0;
    e.model = &fm;
    e.console = &log;
    SetConstants(e);
  }
  double ZF(double S, double D, double T = 300.0) {
    double chi = -1.0;
    ZeroField(e, S, D, T, chi);
    return chi;
  }

  model::FitModel fm;
  RecordLog log;
  Evaluation e;
};

TEST_F(TermTest, ConstantsForFixedG) {
  EXPECT_TRUE(Sig(e.CG2, 1.5005834));
  EXPECT_EQ(e.HCK, static_cast<double>(1.4387676f));
  EXPECT_EQ(e.BK, 6.7170918E-05);
  EXPECT_EQ(e.NB, 5584.9447);
  EXPECT_EQ(e.GBK, 2.0 * 6.7170918E-05);
  EXPECT_EQ(e.RG2, static_cast<double>(3.8352218f) / 4.0);
}

TEST_F(TermTest, Curie) {
  EXPECT_TRUE(Sig(Curie(e, 0.5, 300.0), 0.0012504862));
  EXPECT_TRUE(Sig(Curie(e, 1.0, 300.0), 0.0033346298));
}

TEST_F(TermTest, ZeroFieldWorkedValues) {
  struct Case {
    double S, D, T, value;
  };
  const Case cases[] = {
      {1.0, 0.0, 300, 0.0033346298}, {1.5, 0.0, 300, 0.0062524309}, {2.0, 0.0, 300, 0.0100038894},
      {2.5, 0.0, 300, 0.0145890054}, {1.0, 5.0, 300, 0.0033345229}, {1.0, -5.0, 300, 0.0033345237},
      {1.0, 5.0, 10, 0.096948847},   {1.5, 5.0, 300, 0.0062519516}, {1.5, -5.0, 300, 0.0062519516},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Sig(ZF(c.S, c.D, c.T), c.value)) << "S=" << c.S << " D=" << c.D << " T=" << c.T;
  }
  EXPECT_TRUE(log.records.empty());
}

TEST_F(TermTest, ZeroFieldSmallDApproachesCurieFromBothSides) {
  for (double S : {1.0, 1.5, 2.0, 2.5}) {
    const double curie = ZF(S, 0.0);
    EXPECT_DOUBLE_EQ(curie, Curie(e, S, 300.0));
    double previous_gap = 1.0;
    for (double D : {1.0E-1, 1.0E-2, 1.0E-3}) {
      for (double sign : {1.0, -1.0}) {
        const double gap = std::fabs(ZF(S, sign * D) - curie) / curie;
        EXPECT_LT(gap, 10.0 * D) << "S=" << S << " D=" << sign * D;
        EXPECT_LT(gap, previous_gap);
      }
      previous_gap = std::fabs(ZF(S, -D) - curie) / curie;
    }
    // At D = 1.0E-9 rounding in (1 - exp(-x))/x limits the agreement.
    EXPECT_TRUE(Sig(ZF(S, 1.0E-9), curie, 4)) << "S=" << S;
    EXPECT_TRUE(Sig(ZF(S, -1.0E-9), curie, 4)) << "S=" << S;
  }
}

TEST_F(TermTest, ZeroFieldSpinIndex) {
  // 1.05 is computed as S = 1, but its D = 0 value uses 1.05 itself.
  EXPECT_EQ(ZF(1.05, 5.0), ZF(1.0, 5.0));
  EXPECT_EQ(ZF(1.05, 0.0), 1.05 * 2.05 * (e.CG2 / 300.0 / 3.0));
  // Spins with no index leave the value alone.
  for (double S : {0.5, 0.9, 3.0, 7.5}) EXPECT_EQ(ZF(S, 5.0), -1.0) << S;
}

TEST_F(TermTest, Ising) {
  EXPECT_TRUE(Sig(Ising(e, 0.0, 300.0) / 2.0, 0.00062524309));
  EXPECT_TRUE(Sig(Ising(e, -100.0, 300.0) / 2.0, 0.00047812231));
  EXPECT_TRUE(Sig(Ising(e, 100.0, 300.0) / 2.0, 0.00077236386));
}

TEST_F(TermTest, BleaneyBower) {
  EXPECT_TRUE(Sig(BleaneyBower(e, 0.0, 300.0) / 2.0, 0.0012504862));
  EXPECT_TRUE(Sig(BleaneyBower(e, -100.0, 300.0) / 2.0, 0.00089168353));
}

TEST_F(TermTest, Magnetization) {
  EXPECT_TRUE(Sig(Magnetization(e, 0.0, 1.0, 300.0), 0.0012504862));
  EXPECT_TRUE(Sig(Magnetization(e, -100.0, 10000.0, 300.0), 0.00089168335));
  EXPECT_TRUE(Sig(Magnetization(e, 0.0, 50000.0, 2.0), 0.10418906));
}

TEST_F(TermTest, MagnetizationZeroFieldIsTheSmallFieldLimit) {
  for (double J : {0.0, -100.0, 50.0}) {
    const double limit = Magnetization(e, J, 0.0, 300.0);
    EXPECT_TRUE(std::isfinite(limit));
    EXPECT_NEAR(limit, Magnetization(e, J, 1.0E-3, 300.0), 1.0E-12 * limit) << J;
  }
}

TEST_F(TermTest, BonnerFisher) {
  EXPECT_TRUE(Sig(BonnerFisher(e, 0.0, 300.0), 0.0012504862));
  EXPECT_TRUE(Sig(BonnerFisher(e, -100.0, 300.0), 0.00070339342));
  EXPECT_TRUE(Sig(BonnerFisher(e, 100.0, 300.0), 0.00070339342));
  EXPECT_TRUE(Sig(BonnerFisher(e, -100.0, 50.0), 0.00060683865));
}

TEST_F(TermTest, ModifiedBF) {
  for (double alfa : {0.0, 0.3, 0.4, 0.41, 1.0}) {
    EXPECT_TRUE(Sig(ModifiedBF(e, 0.0, alfa, 300.0), 0.0012504862)) << alfa;
  }
  struct Case {
    double alfa, T, value;
  };
  const Case cases[] = {
      {0.0, 300, 0.00088823050}, {0.4, 300, 0.00082048834}, {0.41, 300, 0.00082183751},
      {1.0, 300, 0.00068787610}, {0.4, 50, 0.00011081046},  {0.41, 50, 0.00015081403},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Sig(ModifiedBF(e, -100.0, c.alfa, c.T), c.value)) << c.alfa << " " << c.T;
  }
  // The single-precision 0.4 lies above 0.4 and still takes the first set.
  const double boundary = static_cast<double>(0.4f);
  EXPECT_TRUE(Sig(ModifiedBF(e, -100.0, boundary, 50.0), 0.00011081046));
  const double above = ModifiedBF(e, -100.0, std::nextafter(boundary, 1.0), 50.0);
  EXPECT_GT(above, 1.3 * ModifiedBF(e, -100.0, boundary, 50.0));
}

TEST_F(TermTest, ModifiedBFPositiveJUsesSignedX) {
  // x = -J HCK/T < 0: no absolute value, so a ferromagnetic J differs from
  // its antiferromagnetic mirror and nothing traps near a vanishing DEN.
  EXPECT_NE(ModifiedBF(e, 100.0, 0.2, 300.0), ModifiedBF(e, -100.0, 0.2, 300.0));
  for (double J = 1.0; J < 400.0; J += 7.0) (void)ModifiedBF(e, J, 0.2, 10.0);
}

TEST_F(TermTest, Dimer) {
  struct Case {
    double S1, S2, J, T, value;
  };
  const Case cases[] = {
      {0.5, 0.5, -100, 300, 0.00089168353}, {1, 1, 0, 300, 0.0033346298},
      {0.5, 1, 0, 300, 0.0022925580},       {1, 1, -100, 300, 0.0013674116},
      {2.5, 2.5, -10, 300, 0.010614961},    {2.5, 2.5, -10, 20, 0.012920880},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Sig(Dimer(e, c.S1, c.S2, c.J, c.T) / 2.0, c.value))
        << c.S1 << " " << c.S2 << " " << c.J << " " << c.T;
  }
  EXPECT_EQ(Dimer(e, 0.5, 0.5, -100.0, 300.0) / 2.0, Dimer(e, 0.5, 0.5, -100.0, 300.0) * 0.5);
}

TEST_F(TermTest, DimerBeyondTenStatesIsTheMeanCurieValueAtJZero) {
  // S1 = S2 = 5 has 11 states, 50 and 50 have 101.
  const double pairs[][2] = {{5, 5}, {4.5, 7}, {50, 50}, {50, 0.5}, {0.5, 0}};
  for (const auto& p : pairs) {
    const double mean = (Curie(e, p[0], 300.0) + Curie(e, p[1], 300.0)) / 2.0;
    EXPECT_NEAR(Dimer(e, p[0], p[1], 0.0, 300.0) / 2.0, mean, 1.0E-13 * mean)
        << p[0] << " " << p[1];
  }
}

TEST_F(TermTest, UserFunction) {
  EXPECT_TRUE(Sig(UserFunction(e, 0.0, 0.0, 300.0), 0.0033346298));
  EXPECT_TRUE(Sig(UserFunction(e, -100.0, 0.0, 300.0), 0.0013674116));
  EXPECT_TRUE(Sig(UserFunction(e, -100.0, 10.0, 300.0), 0.0013688117));
}

TEST_F(TermTest, Trimer) {
  EXPECT_TRUE(Sig(Trimer(e, 0.0, 300.0) / 3.0, 0.0012504862));
  EXPECT_TRUE(Sig(Trimer(e, -100.0, 300.0) / 3.0, 0.00073651347));
}

TEST_F(TermTest, Tetramer) {
  EXPECT_TRUE(Sig(Tetramer(e, 0, 0, 0, 0, 300.0) / 4.0, 0.0012504862));
  EXPECT_TRUE(Sig(Tetramer(e, -100, -100, -100, -100, 300.0) / 4.0, 0.00062455811));
  EXPECT_TRUE(Sig(Tetramer(e, -100, -50, -20, -10, 300.0) / 4.0, 0.00093266519));
}

TEST_F(TermTest, KahnChain) {
  EXPECT_TRUE(Sig(KahnChain(e, 0.5, 0.5, -100.0, -10.0, 300.0) / 2.0, 0.00086170752));
  const double dimer = Dimer(e, 0.5, 0.5, -100.0, 300.0);
  EXPECT_TRUE(Sig(KahnChain(e, 0.5, 0.5, -100.0, -1.0E-6, 300.0) / 2.0, 0.00089168353));
  // No interchain coupling: the plain dimer value, not 0/0.
  EXPECT_EQ(KahnChain(e, 0.5, 0.5, -100.0, 0.0, 300.0), dimer);
}

TEST_F(TermTest, KahnChainSmallYFollowsTheLangevinSeries) {
  // (1+u)/(1-u) with u = L(y) ~ y/3 is 1 + 2y/3 + 2y^2/9 + O(y^3), on both
  // sides of the switch from the series to the direct formula at 1.0E-4.
  const double T = 300.0;
  const double cd = Dimer(e, 0.5, 0.5, -100.0, T);
  const double X = 3.0 * T * cd / e.CG2;
  for (double y : {1.0E-9, 1.0E-6, 5.0E-5, 0.99E-4, 1.01E-4, 2.0E-4, -0.99E-4, -1.01E-4}) {
    const double JE = y / X * T / e.HCK;
    const double ratio = KahnChain(e, 0.5, 0.5, -100.0, JE, T) / cd;
    EXPECT_NEAR(ratio, 1.0 + 2.0 * y / 3.0 + 2.0 * y * y / 9.0, 1.0E-11) << y;
  }
}

TEST_F(TermTest, OtherFunctionTakesItsChoicePerTerm) {
  fm.IOTHER = {1, 2, 3, 4};
  fm.S1[3] = 0.5;
  fm.S2[3] = 0.5;
  const double P[] = {-100.0, 10.0, -100.0, -100.0, -50.0, -20.0, -10.0, -100.0, -10.0};
  int K = 0;
  EXPECT_EQ(OtherFunction(e, P, K, 300.0, 1), UserFunction(e, -100.0, 10.0, 300.0));
  EXPECT_EQ(K, 2);
  EXPECT_EQ(OtherFunction(e, P, K, 300.0, 2), Trimer(e, -100.0, 300.0) / 3.0);
  EXPECT_EQ(K, 3);
  EXPECT_EQ(OtherFunction(e, P, K, 300.0, 3), Tetramer(e, -100, -50, -20, -10, 300.0) / 4.0);
  EXPECT_EQ(K, 7);
  EXPECT_EQ(OtherFunction(e, P, K, 300.0, 4), KahnChain(e, 0.5, 0.5, -100, -10, 300.0) / 2.0);
  EXPECT_EQ(K, 9);
}

// Exponent warnings: one line per evaluation past EXPLIM, the computation
// going on with the same argument.
class WarningTest : public TermTest {
 protected:
  std::string Free(const char* text, double v) { return format::RenderFree({text, v}); }
};

TEST_F(WarningTest, ZeroFieldUsesItsLayoutAndTheAbsoluteValue) {
  // S = 1, T = 1: v = x = HCK*D.
  ZF(1.0, 500.0, 1.0);
  ZF(1.0, -500.0, 1.0);
  ZF(1.0, 400.0, 1.0);
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records[0], " Exponent Warning in Z-F routine-->  .71938E+03");
  EXPECT_EQ(log.records[1], " Exponent Warning in Z-F routine--> -.71938E+03");
  // The value compared and written is the multiple for the spin in use.
  log.records.clear();
  ZF(2.5, 100.0, 1.0);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0], " Exponent Warning in Z-F routine-->  .86326E+03");
  log.records.clear();
  ZF(2.5, 0.0, 1.0);  // D = 0: no exponentials, no warning
  EXPECT_TRUE(log.records.empty());
}

TEST_F(WarningTest, FreeFormLines) {
  const double T = 1.0;
  const double a = e.HCK * 500.0 / T;
  // Each routine with a value beyond EXPLIM.
  Ising(e, 500.0, T);
  BleaneyBower(e, -250.0, T);
  Magnetization(e, 250.0, 100.0, T);
  Dimer(e, 0.5, 0.5, -250.0, T);
  Trimer(e, 500.0 / 3.0, T);
  Tetramer(e, -200, -200, -200, -200, T);
  UserFunction(e, -500.0 / 6.0, 0.0, T);
  const std::vector<std::string> expected = {
      Free("Exponent Warning in ISING: AJ = ", a),
      Free("Exponent Warning in BB--> X =", e.HCK * -250.0 * 2.0 / T),
      Free("Exponent Warning in MAGN--> X =", -(e.HCK * 250.0 * 2.0 / T)),
      Free("Exponent Warning in DIMER-->, TERM =", 2 * (e.HCK * -250.0 / T)),
      Free("Exponent Warning in TRIMER: AJ*3 = ", 500.0 / 3.0 * e.HCK * 3.0 / T),
      Free("Exponent Warning in HATFLD--> Q =",
           -(2.0 * (2 * e.HCK * -200.0) + 2 * e.HCK * -200.0) / 2.0),
      Free("Exponent Warning in USER--> SJ =", 6.0 * (e.HCK * (-500.0 / 6.0) / T)),
  };
  EXPECT_EQ(log.records, expected);
  EXPECT_EQ(log.records[0].rfind(" Exponent Warning in ISING: AJ = ", 0), 0u);
}

TEST_F(WarningTest, SignedAndAbsoluteTests) {
  const double T = 1.0;
  // Signed: Ising and the trimer only warn for large positive exponents.
  Ising(e, -500.0, T);
  Trimer(e, -500.0, T);
  EXPECT_TRUE(log.records.empty());
  // Absolute: a large negative exponent warns too.
  BleaneyBower(e, 250.0, T);
  Magnetization(e, -250.0, 100.0, T);
  Dimer(e, 0.5, 0.5, 500.0, T);
  Tetramer(e, 200, 200, 200, 200, T);
  UserFunction(e, 500.0 / 6.0, 0.0, T);
  EXPECT_EQ(log.records.size(), 5u);
  // Only Q1 is compared in the tetramer; below the limit nothing is written.
  log.records.clear();
  Tetramer(e, 100, -100, 100, -100, T);
  BleaneyBower(e, -100.0, 300.0);
  EXPECT_TRUE(log.records.empty());
}

TEST_F(WarningTest, DimerWarnsOncePerStatePastTheLimit) {
  // S1 = S2 = 3/2: energy indices 0, 2, 6, 12; with J/kT near -130 the
  // last two pass the limit.
  const double T = 1.0;
  const double J = -130.0 / e.HCK;
  Dimer(e, 1.5, 1.5, J, T);
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records[0], Free("Exponent Warning in DIMER-->, TERM =", 6 * (e.HCK * J / T)));
  EXPECT_EQ(log.records[1], Free("Exponent Warning in DIMER-->, TERM =", 12 * (e.HCK * J / T)));
}

TEST_F(WarningTest, KahnChainWarnsFromItsDimer) {
  KahnChain(e, 0.5, 0.5, -500.0, -1.0, 1.0);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].rfind(" Exponent Warning in DIMER-->, TERM =", 0), 0u);
}

}  // namespace
