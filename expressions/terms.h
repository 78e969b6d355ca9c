// The term routines: one susceptibility term at one temperature. Each term
// comes in two pieces: `For` works out, once per parameter vector, every
// quantity of the formula that does not depend on the temperature, and `At`
// finishes the formula at one temperature. The split only moves whole
// leading subexpressions out of the per-point work, so every value is the one
// the formula gives when written out in full, to the last bit.
//
// The routines named after the terms (Curie, ZeroField, ...) do both at once
// with the constants of an Evaluation, and return the routine's own result,
// before any division the evaluator applies.
#ifndef SUSCEP_EXPRESSIONS_TERMS_H_
#define SUSCEP_EXPRESSIONS_TERMS_H_

#include <cmath>
#include <cstdlib>

#include "expressions/expressions.h"
#include "format/console.h"

namespace expressions {

// What the term formulas read besides their own constants and parameters:
// the fixed constants, those of the g-value in force, the exponent limit and
// the console for exponent warnings (none when null).
struct Constants {
  double HCK = 0.0;
  double CG2 = 0.0, RG2 = 0.0, GBK = 0.0, GNB = 0.0;
  double EXPLIM = 0.0;
  format::RecordSink* console = nullptr;
};

// The constants of `e` as they stand (for a fitted g, whatever CG2, RG2,
// GBK and GNB hold).
Constants ConstantsOf(const Evaluation& e);

// The exponent warnings; Warn writes one line for `value`, nothing without a
// console.
enum class Warning {
  kZeroField,
  kIsing,
  kBleaneyBower,
  kMagnetization,
  kDimer,
  kTrimer,
  kTetramer,
  kUser
};
[[gnu::cold]] void Warn(const Constants& c, Warning w, double value);

// Code 1: S(S+1) g^2 N beta^2 / 3kT.
struct CurieTerm {
  double S, S1;  // S and S + 1
  static CurieTerm For(double S) { return {S, S + 1.0}; }
  double At(const Constants& c, double T) const { return c.CG2 / T * S1 * S / 3.0; }
};

// Code 2: axial zero-field splitting D of a spin 1, 3/2, 2 or 5/2, powder
// average. `At` writes `chi`; for any other spin it leaves `chi` as it was.
struct ZeroFieldTerm {
  int n;      // trunc(2S - 0.9): 1 to 4 for the listed spins
  double SS;  // (S + 1) S, the D = 0 value's factor
  double D, HD;
  static ZeroFieldTerm For(const Constants& c, double S, double D);
  void At(const Constants& c, double T, double& chi) const {
    if (n < 1 || n > 4) return;
    const double A = c.CG2 / T / 3.0;
    if (D == 0.0) {
      chi = SS * A;
      return;
    }
    const double x = HD / T;
    const double v = n == 1 ? x : n == 2 ? 2.0 * x : n == 3 ? 4.0 * x : 6.0 * x;
    if (std::fabs(v) > c.EXPLIM) Warn(c, Warning::kZeroField, v);
    double PAR = 0.0, PERP = 0.0, Z = 0.0;
    switch (n) {
      case 1: {
        const double E1 = std::exp(-x);
        PAR = 2.0 * E1;
        PERP = 2.0 / x * (1.0 - E1);
        Z = 2.0 * E1 + 1.0;
        break;
      }
      case 2: {
        const double E2 = std::exp(-2.0 * x);
        PAR = 9.0 * E2 + 1.0;
        PERP = 3.0 / x * (1.0 - E2) + 4.0;
        Z = 4.0 * (E2 + 1.0);
        break;
      }
      case 3: {
        const double E1 = std::exp(-x);
        const double E4 = std::exp(-4.0 * x);
        PAR = 2.0 * E1 + 8.0 * E4;
        PERP = kFourThirds / x * (E1 - E4) + 6.0 / x * (1.0 - E1);
        Z = 2.0 * (E1 + E4) + 1.0;
        break;
      }
      default: {
        const double E2 = std::exp(-2.0 * x);
        const double E6 = std::exp(-6.0 * x);
        PAR = 25.0 * E6 + 9.0 * E2 + 1.0;
        PERP = kC5 / x * (E2 - E6) + 8.0 / x * (1.0 - E2) + 9.0;
        Z = 4.0 * (E6 + E2 + 1.0);
        break;
      }
    }
    chi = (PERP + PERP + PAR) * A / Z;
  }

 private:
  static constexpr double kFourThirds = 1.3333333333333333;
  // S = 5/2 perpendicular coefficient: 2.5 makes the small-D value meet the
  // Curie value, as an exact diagonalisation gives.
  static constexpr double kC5 = 2.5;
};

// Code 3; the evaluator halves it.
struct IsingTerm {
  double HJ;  // HCK J
  static IsingTerm For(const Constants& c, double J) { return {c.HCK * J}; }
  double At(const Constants& c, double T) const {
    const double a = HJ / T;
    if (a > c.EXPLIM) Warn(c, Warning::kIsing, a);
    const double E = std::exp(a);
    return c.CG2 / (2.0 * T) * E / (E + 1.0);
  }
};

// Code 4, S = 1/2 pair with singlet-triplet gap 2J; the evaluator halves it.
struct BleaneyBowerTerm {
  double HJ2, CG2x2;  // HCK J 2, 2 CG2
  static BleaneyBowerTerm For(const Constants& c, double J) {
    return {c.HCK * J * 2.0, 2.0 * c.CG2};
  }
  double At(const Constants& c, double T) const {
    const double x = HJ2 / T;
    if (std::fabs(x) > c.EXPLIM) Warn(c, Warning::kBleaneyBower, x);
    return CG2x2 / T / (std::exp(-x) + 3.0);
  }
};

// Code 5: magnetization per ion of an S = 1/2 pair in the field B, over B.
// B = 0 gives the limit for a vanishing field.
struct MagnetizationTerm {
  double HJ2;  // HCK J 2
  double B;
  double GG;  // GNB GBK, for B = 0
  double GB;  // GBK B
  static MagnetizationTerm For(const Constants& c, double J, double B) {
    return {c.HCK * J * 2.0, B, c.GNB * c.GBK, c.GBK * B};
  }
  double At(const Constants& c, double T) const {
    const double x = -(HJ2 / T);
    if (std::fabs(x) > c.EXPLIM) Warn(c, Warning::kMagnetization, x);
    if (B == 0.0) {
      // sinh(y)/B -> GBK/T and cosh(y) -> 1 as B -> 0.
      return GG / T / (3.0 + std::exp(x));
    }
    const double y = GB / T;
    const double M = c.GNB * std::sinh(y);
    const double Z = 2.0 * std::cosh(y) + std::exp(x) + 1.0;
    return M / Z / B;
  }
};

// Code 6: uniform S = 1/2 chain.
struct BonnerFisherTerm {
  double JH;  // |J| HCK
  static BonnerFisherTerm For(const Constants& c, double J) { return {std::fabs(J) * c.HCK}; }
  double At(const Constants& c, double T) const {
    const double x = JH / T;
    const double NUM = 0.25 + kBF1 * x + kBF2 * (x * x);
    const double DEN = 1.0 + kBF3 * x + kBF4 * (x * x) + kBF5 * (x * x * x);
    return c.CG2 / T * NUM / DEN;
  }

 private:
  // The coefficients are single-precision literals.
  static constexpr double kBF1 = static_cast<double>(0.149445f);
  static constexpr double kBF2 = static_cast<double>(0.30094f);
  static constexpr double kBF3 = static_cast<double>(1.9862f);
  static constexpr double kBF4 = static_cast<double>(0.68854f);
  static constexpr double kBF5 = static_cast<double>(6.0626f);
};

// Code 7: alternating S = 1/2 chain with alternation ALFA.
struct ModifiedBFTerm {
  double A, B, C, D, E, F;  // the coefficients for ALFA
  double mJH;               // -J HCK
  static ModifiedBFTerm For(const Constants& c, double J, double ALFA);
  double At(const Constants& c, double T) const {
    // Signed: a ferromagnetic J gives a negative x, and DEN may then vanish;
    // the IEEE result of the division stands.
    const double x = mJH / T;
    const double NUM = A + B * x + C * (x * x);
    const double DEN = 1.0 + D * x + E * (x * x) + F * (x * x * x);
    return c.CG2 / T * NUM / DEN;
  }
};

// Code 8: isotropic pair of spins S1, S2, summed over the total-spin states;
// the evaluator halves it, the Kahn chain uses it as it is.
struct DimerTerm {
  int I1, I2;     // twice the spins
  double HJ;      // HCK J
  double CG2_12;  // CG2 / 12
  static DimerTerm For(const Constants& c, double S1, double S2, double J);
  double At(const Constants& c, double T) const {
    const double a = HJ / T;
    // States from the lowest total spin up, summed as they are formed.
    double SUM1 = 0.0, SUM2 = 0.0;
    int energy = 0;
    const int first = std::abs(I1 - I2) + 1;
    for (int m = first; m <= I1 + I2 + 1; m += 2) {
      const int t = m - 1;
      if (m != first) energy += t;
      const double v = energy * a;
      if (std::fabs(v) > c.EXPLIM) Warn(c, Warning::kDimer, v);
      const double w = m * std::exp(v);
      SUM1 = SUM1 + t * (t + 2) * w;
      SUM2 = SUM2 + w;
    }
    return CG2_12 / T * SUM1 / SUM2;
  }
};

// Other function 1: S1 = S2 = 1 pair with single-ion D, already per ion.
struct UserTerm {
  double HJ, HD;  // HCK J, HCK D
  static UserTerm For(const Constants& c, double J, double D) { return {c.HCK * J, c.HCK * D}; }
  double At(const Constants& c, double T) const {
    const double s = HJ / T;
    const double d = HD / T;
    const double A = c.CG2 / T / 3.0;
    const double b6 = 6.0 * s;
    const double b2 = 2.0 * s;
    if (std::fabs(b6) > c.EXPLIM) Warn(c, Warning::kUser, b6);
    const double E1 = std::exp(b2 - 2.0 * d / 3.0);
    const double E2 = std::exp(d / 3.0 + b2);
    const double E3 = std::exp(b6 - 2.0 * d);
    const double E4 = std::exp(b6 - d);
    const double E5 = std::exp(2.0 * d + b6);
    const double NUM = 12.0 * (E5 + E4) + 6.0 * E3 + 2.0 * E1 + 4.0 * E2;
    const double Z = 2.0 * (E5 + E4 + E2) + E3 + E1 + 1.0;
    return NUM * A / Z / 2.0;
  }
};

// Other function 2: S = 1/2 trimer; the dispatcher divides by 3.
struct TrimerTerm {
  double JH3;  // J HCK 3
  static TrimerTerm For(const Constants& c, double J) { return {J * c.HCK * 3.0}; }
  double At(const Constants& c, double T) const {
    const double a3 = JH3 / T;
    if (a3 > c.EXPLIM) Warn(c, Warning::kTrimer, a3);
    const double E = std::exp(a3);
    return c.CG2 / (4.0 * T) * (5.0 * E + 1.0) / (E + 1.0);
  }
};

// Other function 3: Hatfield's S = 1/2 tetramer; the dispatcher divides by 4.
struct TetramerTerm {
  double HJ1, HJ2, HJ3, HJ4;  // HCK Ji
  static TetramerTerm For(const Constants& c, double J1, double J2, double J3, double J4) {
    return {c.HCK * J1, c.HCK * J2, c.HCK * J3, c.HCK * J4};
  }
  double At(const Constants& c, double T) const {
    const double a1 = HJ1 / T;
    const double a2 = HJ2 / T;
    const double a3 = HJ3 / T;
    const double a4 = HJ4 / T;
    const double S12 = a1 + a2;
    const double D12 = a1 - a2;
    const double S34 = a3 + a4;
    const double D34 = a3 - a4;
    const double U = 2.0 * S34 + S12;
    const double Q1 = -U / 2.0;
    const double Q2 = -(S12 - 2.0 * S34) / 2.0;
    const double R1 = 2.0 * std::sqrt(D34 * D34 + D12 * D12);
    const double Q3 = (R1 + S12) / 2.0;
    const double Q4 = (S12 - R1) / 2.0;
    const double d = S12 - S34;
    const double R2 = 2.0 * std::sqrt(d * d + 3.0 * (D34 * D34));
    const double Q5 = (R2 + U) / 2.0;
    const double Q6 = (U - R2) / 2.0;
    if (std::fabs(Q1) > c.EXPLIM) Warn(c, Warning::kTetramer, Q1);
    const double E1 = std::exp(-Q1);
    const double E2 = std::exp(-Q2);
    const double E3 = std::exp(-Q3);
    const double E4 = std::exp(-Q4);
    const double E5 = std::exp(-Q5);
    const double E6 = std::exp(-Q6);
    const double NUM = 5.0 * E1 + E4 + E3 + E2;
    const double Z = 3.0 * (E4 + E3 + E2) + 5.0 * E1 + E6 + E5;
    return 2.0 * c.CG2 / T * NUM / Z;
  }
};

// Other function 4: Kahn's chain of S1-S2 dimers; the dispatcher divides
// by 2.
struct KahnChainTerm {
  DimerTerm dimer;  // with J-Intra
  double HJE;       // HCK J-Inter
  static KahnChainTerm For(const Constants& c, double S1, double S2, double JA, double JE) {
    return {DimerTerm::For(c, S1, S2, JA), c.HCK * JE};
  }
  double At(const Constants& c, double T) const {
    const double ae = HJE / T;
    const double cd = dimer.At(c, T);
    const double X = 3.0 * T * cd / c.CG2;
    const double y = X * ae;
    double u = 0.0;
    if (y == 0.0) {
      u = 0.0;  // the limit of the Langevin function
    } else if (std::fabs(y) < kLangevinSeries) {
      u = y / 3.0 - y * y * y / 45.0;
    } else {
      u = 1.0 / std::tanh(y) - 1.0 / y;
    }
    return cd * (1.0 + u) / (1.0 - u);
  }

 private:
  // Below this |y| the Langevin function is taken from its series, where
  // 1/tanh(y) - 1/y loses every digit to cancellation.
  static constexpr double kLangevinSeries = 1.0E-4;
};

// One term of the fit model for one parameter vector: the term of its
// function code with its parameters, the divisor the evaluator applies, and
// its THETA or Z*JP correction.
struct TermPlan {
  enum class Kind : unsigned char {
    kCurie,
    kZeroField,
    kIsing,
    kBleaneyBower,
    kMagnetization,
    kBonnerFisher,
    kModifiedBF,
    kDimer,
    kUser,
    kTrimer,
    kTetramer,
    kKahnChain,
    kConstant,
  };
  enum class Correction : unsigned char { kNone, kCurieWeiss, kMolecularField };

  Kind kind;
  Correction correction;
  double THETA;  // the Curie-Weiss correction's
  double ZJP4;   // 4 Z*JP, the molecular-field correction's
  union {
    CurieTerm curie;
    ZeroFieldTerm zero_field;
    IsingTerm ising;
    BleaneyBowerTerm bleaney_bower;
    MagnetizationTerm magnetization;
    BonnerFisherTerm bonner_fisher;
    ModifiedBFTerm modified_bf;
    DimerTerm dimer;
    UserTerm user;
    TrimerTerm trimer;
    TetramerTerm tetramer;
    KahnChainTerm kahn_chain;
    double constant;
  };

  // Term k (1-based) of `m`, taking its parameters from P at K+1, K+2, ...
  // and advancing `K`, as the evaluator does.
  static TermPlan For(const Constants& c, const model::FitModel& m, int k, const double* P, int& K);
  // The code-9 part of For: term k's other-functions choice.
  static TermPlan Other(const Constants& c, const model::FitModel& m, int k, const double* P,
                        int& K);

  // The term's values at the n temperatures T[0..n-1] into out[0..n-1]:
  // divided, corrected and then multiplied by `scale` (the equation type's
  // factor, 1 for a term it leaves alone). `last` holds the value at the
  // point before, which a zero-field term of an unlisted spin keeps (and
  // corrects and scales again), and receives the value at the last point.
  void At(const Constants& c, const double* T, int n, double scale, double& last,
          double* out) const;
};

double Curie(const Evaluation& e, double S, double T);
void ZeroField(const Evaluation& e, double S, double D, double T, double& chi);
double Ising(const Evaluation& e, double J, double T);
double BleaneyBower(const Evaluation& e, double J, double T);
double Magnetization(const Evaluation& e, double J, double B, double T);
double BonnerFisher(const Evaluation& e, double J, double T);
double ModifiedBF(const Evaluation& e, double J, double ALFA, double T);
double Dimer(const Evaluation& e, double S1, double S2, double J, double T);
double UserFunction(const Evaluation& e, double J, double D, double T);
double Trimer(const Evaluation& e, double J, double T);
double Tetramer(const Evaluation& e, double J1, double J2, double J3, double J4, double T);
double KahnChain(const Evaluation& e, double S1, double S2, double JA, double JE, double T);

// Code 9 for term k (1-based): takes the parameters of the term's
// other-functions choice from P at K+1, K+2, ... (advancing `K`) and
// returns the value per ion.
double OtherFunction(const Evaluation& e, const double* P, int& K, double T, int k);

}  // namespace expressions

#endif  // SUSCEP_EXPRESSIONS_TERMS_H_
