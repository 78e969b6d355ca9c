// The L.S. error and the evaluator against a straightforward evaluation kept
// here: every formula written out in full and evaluated point by point, term
// by term, with the g constants worked out into the state at every point.
// Over many random models, parameter vectors and data sets the two must agree
// to the last bit, and write the same lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "expressions/expressions.h"
#include "format/console.h"
#include "model/model.h"
#include "tests/test_util.h"

namespace {

namespace straight {

using expressions::Evaluation;

constexpr char kZeroFieldWarning[] = "(' Exponent Warning in Z-F routine-->',E12.5)";
constexpr char kIsingWarning[] = "Exponent Warning in ISING: AJ = ";
constexpr char kBleaneyBowerWarning[] = "Exponent Warning in BB--> X =";
constexpr char kMagnetizationWarning[] = "Exponent Warning in MAGN--> X =";
constexpr char kDimerWarning[] = "Exponent Warning in DIMER-->, TERM =";
constexpr char kTrimerWarning[] = "Exponent Warning in TRIMER: AJ*3 = ";
constexpr char kTetramerWarning[] = "Exponent Warning in HATFLD--> Q =";
constexpr char kUserWarning[] = "Exponent Warning in USER--> SJ =";

constexpr double Single(float v) { return static_cast<double>(v); }

// Zero-field spin index: trunc(2S - 0.9).
constexpr double kSpinIndexOffset = Single(0.9f);
// Dimer spin doubling: trunc(2S + 0.01).
constexpr double kSpinDoubling = Single(0.01f);
constexpr double kFourThirds = 1.3333333333333333;
// S = 5/2 perpendicular coefficient: 2.5 makes the small-D value meet the
// Curie value, as an exact diagonalisation gives.
constexpr double kC5 = 2.5;

// Bonner-Fisher coefficients.
constexpr double kBF1 = Single(0.149445f);
constexpr double kBF2 = Single(0.30094f);
constexpr double kBF3 = Single(1.9862f);
constexpr double kBF4 = Single(0.68854f);
constexpr double kBF5 = Single(6.0626f);

// Modified Bonner-Fisher: boundary between the two coefficient sets.
constexpr double kAlfaBoundary = Single(0.4f);

// Kahn chain: below this |y| the Langevin function is taken from its series,
// where 1/tanh(y) - 1/y loses every digit to cancellation.
constexpr double kLangevinSeries = 1.0E-4;

// Free-form warning: the text, then the value.
void Warn(const Evaluation& e, const char* text, double value) {
  if (e.console != nullptr) format::WriteFree(*e.console, {text, value});
}

double Curie(const Evaluation& e, double S, double T) { return e.CG2 / T * (S + 1.0) * S / 3.0; }

void ZeroField(const Evaluation& e, double S, double D, double T, double& chi) {
  const int n = static_cast<int>(2.0 * S - kSpinIndexOffset);
  if (n < 1 || n > 4) return;
  const double A = e.CG2 / T / 3.0;
  if (D == 0.0) {
    chi = (S + 1.0) * S * A;
    return;
  }
  const double x = e.HCK * D / T;
  double v = 0.0;
  switch (n) {
    case 1:
      v = x;
      break;
    case 2:
      v = 2.0 * x;
      break;
    case 3:
      v = 4.0 * x;
      break;
    default:
      v = 6.0 * x;
      break;
  }
  if (std::fabs(v) > e.EXPLIM && e.console != nullptr) {
    format::Write(*e.console, kZeroFieldWarning, {v});
  }
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

double Ising(const Evaluation& e, double J, double T) {
  const double a = e.HCK * J / T;
  if (a > e.EXPLIM) Warn(e, kIsingWarning, a);
  const double E = std::exp(a);
  return e.CG2 / (2.0 * T) * E / (E + 1.0);
}

double BleaneyBower(const Evaluation& e, double J, double T) {
  const double x = e.HCK * J * 2.0 / T;
  if (std::fabs(x) > e.EXPLIM) Warn(e, kBleaneyBowerWarning, x);
  return 2.0 * e.CG2 / T / (std::exp(-x) + 3.0);
}

double Magnetization(const Evaluation& e, double J, double B, double T) {
  const double x = -(e.HCK * J * 2.0 / T);
  if (std::fabs(x) > e.EXPLIM) Warn(e, kMagnetizationWarning, x);
  if (B == 0.0) {
    // sinh(y)/B -> GBK/T and cosh(y) -> 1 as B -> 0.
    return e.GNB * e.GBK / T / (3.0 + std::exp(x));
  }
  const double y = e.GBK * B / T;
  const double M = e.GNB * std::sinh(y);
  const double Z = 2.0 * std::cosh(y) + std::exp(x) + 1.0;
  return M / Z / B;
}

double BonnerFisher(const Evaluation& e, double J, double T) {
  const double x = std::fabs(J) * e.HCK / T;
  const double NUM = 0.25 + kBF1 * x + kBF2 * (x * x);
  const double DEN = 1.0 + kBF3 * x + kBF4 * (x * x) + kBF5 * (x * x * x);
  return e.CG2 / T * NUM / DEN;
}

double ModifiedBF(const Evaluation& e, double J, double ALFA, double T) {
  const double a = ALFA;
  const double a2 = a * a;
  const double a3 = a2 * a;
  const double a4 = a3 * a;
  double A = 0.25, B, C, D, E, F;
  if (a <= kAlfaBoundary) {
    B = Single(-0.12587f) + Single(0.22752f) * a;
    C = Single(0.019111f) - Single(0.13307f) * a + Single(0.509f) * a2 - Single(1.3167f) * a3 +
        Single(1.0081f) * a4;
    D = Single(0.10772f) + Single(1.4192f) * a;
    E = Single(-0.0028521f) - Single(0.42346f) * a + Single(2.1953f) * a2 - Single(0.82412f) * a3;
    F = Single(0.37754f) - Single(0.06702201f) * a + Single(6.9805f) * a2 - Single(21.678f) * a3 +
        Single(15.838f) * a4;
  } else {
    B = Single(-0.13695f) + Single(0.26387f) * a;
    C = Single(0.017025f) - Single(0.12668f) * a + Single(0.49113f) * a2 - Single(1.1977f) * a3 +
        Single(0.87257f) * a4;
    D = Single(0.070509f) + Single(1.3042f) * a;
    E = Single(-0.0035767f) - Single(0.40837f) * a + Single(3.4862f) * a2 - Single(0.73888f) * a3;
    F = Single(0.36184f) - Single(0.065528f) * a + Single(6.65875f) * a2 - Single(20.945f) * a3 +
        Single(15.42504f) * a4;
  }
  // Signed: a ferromagnetic J gives a negative x, and DEN may then vanish;
  // the IEEE result of the division stands.
  const double x = -J * e.HCK / T;
  const double NUM = A + B * x + C * (x * x);
  const double DEN = 1.0 + D * x + E * (x * x) + F * (x * x * x);
  return e.CG2 / T * NUM / DEN;
}

double Dimer(const Evaluation& e, double S1, double S2, double J, double T) {
  const double a = e.HCK * J / T;
  const int I1 = static_cast<int>(2.0 * S1 + kSpinDoubling);
  const int I2 = static_cast<int>(2.0 * S2 + kSpinDoubling);
  // States from the lowest total spin up, summed as they are formed.
  double SUM1 = 0.0, SUM2 = 0.0;
  int energy = 0;
  bool first = true;
  for (int m = std::abs(I1 - I2) + 1; m <= I1 + I2 + 1; m += 2) {
    const int t = m - 1;
    if (first) {
      first = false;
    } else {
      energy += t;
    }
    const double v = energy * a;
    if (std::fabs(v) > e.EXPLIM) Warn(e, kDimerWarning, v);
    const double w = m * std::exp(v);
    SUM1 = SUM1 + t * (t + 2) * w;
    SUM2 = SUM2 + w;
  }
  return e.CG2 / 12.0 / T * SUM1 / SUM2;
}

double UserFunction(const Evaluation& e, double J, double D, double T) {
  const double s = e.HCK * J / T;
  const double d = e.HCK * D / T;
  const double A = e.CG2 / T / 3.0;
  const double b6 = 6.0 * s;
  const double b2 = 2.0 * s;
  if (std::fabs(b6) > e.EXPLIM) Warn(e, kUserWarning, b6);
  const double E1 = std::exp(b2 - 2.0 * d / 3.0);
  const double E2 = std::exp(d / 3.0 + b2);
  const double E3 = std::exp(b6 - 2.0 * d);
  const double E4 = std::exp(b6 - d);
  const double E5 = std::exp(2.0 * d + b6);
  const double NUM = 12.0 * (E5 + E4) + 6.0 * E3 + 2.0 * E1 + 4.0 * E2;
  const double Z = 2.0 * (E5 + E4 + E2) + E3 + E1 + 1.0;
  return NUM * A / Z / 2.0;
}

double Trimer(const Evaluation& e, double J, double T) {
  const double a3 = J * e.HCK * 3.0 / T;
  if (a3 > e.EXPLIM) Warn(e, kTrimerWarning, a3);
  const double E = std::exp(a3);
  return e.CG2 / (4.0 * T) * (5.0 * E + 1.0) / (E + 1.0);
}

double Tetramer(const Evaluation& e, double J1, double J2, double J3, double J4, double T) {
  const double a1 = e.HCK * J1 / T;
  const double a2 = e.HCK * J2 / T;
  const double a3 = e.HCK * J3 / T;
  const double a4 = e.HCK * J4 / T;
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
  if (std::fabs(Q1) > e.EXPLIM) Warn(e, kTetramerWarning, Q1);
  const double E1 = std::exp(-Q1);
  const double E2 = std::exp(-Q2);
  const double E3 = std::exp(-Q3);
  const double E4 = std::exp(-Q4);
  const double E5 = std::exp(-Q5);
  const double E6 = std::exp(-Q6);
  const double NUM = 5.0 * E1 + E4 + E3 + E2;
  const double Z = 3.0 * (E4 + E3 + E2) + 5.0 * E1 + E6 + E5;
  return 2.0 * e.CG2 / T * NUM / Z;
}

double KahnChain(const Evaluation& e, double S1, double S2, double JA, double JE, double T) {
  const double ae = e.HCK * JE / T;
  const double cd = Dimer(e, S1, S2, JA, T);
  const double X = 3.0 * T * cd / e.CG2;
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

double OtherFunction(const Evaluation& e, const double* P, int& K, double T, int k) {
  const model::FitModel& m = *e.model;
  switch (m.IOTHER[k - 1]) {
    case 2: {
      K = K + 1;
      return Trimer(e, P[K - 1], T) / 3.0;
    }
    case 3: {
      K = K + 4;
      return Tetramer(e, P[K - 4], P[K - 3], P[K - 2], P[K - 1], T) / 4.0;
    }
    case 4: {
      K = K + 2;
      return KahnChain(e, m.S1[k - 1], m.S2[k - 1], P[K - 2], P[K - 1], T) / 2.0;
    }
    default: {
      K = K + 2;
      return UserFunction(e, P[K - 2], P[K - 1], T);
    }
  }
}

double Evaluate(Evaluation& e, const double* P, double T) {
  const model::FitModel& m = *e.model;
  int K = 0;
  if (model::GFitted(m.GVAL)) {
    K = 1;
    e.CG2 = P[0] * P[0] * e.NB2K;
    e.RG2 = e.RNB2 / P[0] / P[0];
    e.GBK = P[0] * e.BK;
    e.GNB = P[0] * e.NB;
  }

  auto& TV = e.TV;
  for (int k = 1; k <= m.NTERM && k <= model::MAXTERM; ++k) {
    double& tv = TV[k - 1];
    const int code = m.IFN[k - 1];
    switch (code) {
      case 2:
        K = K + 1;
        // An unlisted spin leaves the previous value in place.
        ZeroField(e, m.S1[k - 1], P[K - 1], T, tv);
        break;
      case 3:
        K = K + 1;
        tv = Ising(e, P[K - 1], T) / 2.0;
        break;
      case 4:
        K = K + 1;
        tv = BleaneyBower(e, P[K - 1], T) / 2.0;
        break;
      case 5:
        K = K + 1;
        tv = Magnetization(e, P[K - 1], m.S2[k - 1], T);
        break;
      case 6:
        K = K + 1;
        tv = BonnerFisher(e, P[K - 1], T);
        break;
      case 7:
        K = K + 2;
        tv = ModifiedBF(e, P[K - 2], P[K - 1], T);
        break;
      case 8:
        K = K + 1;
        tv = Dimer(e, m.S1[k - 1], m.S2[k - 1], P[K - 1], T) / 2.0;
        break;
      case 9:
        tv = OtherFunction(e, P, K, T, k);
        break;
      case 10:
        K = K + 1;
        tv = P[K - 1];
        break;
      default:  // 1, and any code the dialogue would have refused
        tv = Curie(e, m.S1[k - 1], T);
        break;
    }
    if (m.IOPT[k - 1] == 1) {
      K = K + 1;
      const double c = P[K - 1];
      if (code == 1) {
        // Curie-Weiss; left uncorrected where THETA meets the temperature.
        if (c != T) tv = tv * T / (T - c);
      } else {
        tv = tv / (1.0 - 4.0 * c * tv * e.RG2);
      }
    }
  }

  const int NPAR = m.NPAR;
  if (m.ITYPE == 2) {
    const double x = P[NPAR - 1];
    TV[0] = x * TV[0];
    TV[1] = (1.0 - x) * TV[1];
  } else if (m.ITYPE == 3) {
    const double x = P[NPAR - 2];
    const double y = P[NPAR - 1];
    TV[0] = x * y * TV[0];
    TV[1] = (1.0 - x) * y * TV[1];
    TV[2] = (1.0 - y) * TV[2];
  }

  double sum = 0.0;
  for (int k = 0; k < m.NTERM && k < model::MAXTERM; ++k) sum = sum + TV[k];
  return e.TIPADD + sum;
}

double Objective(Evaluation& e, const double* P) {
  e.NCALL = e.NCALL + 1;
  double S = 0.0;
  for (int i = 0; i < e.NDATA; ++i) {
    const double r = e.XOBS[i] - straight::Evaluate(e, P, e.T[i]);
    S = S + r * r;
  }
  const double error = S / e.SXOBS2;

  if (e.console != nullptr) {
    const int NPAR = e.model->NPAR;
    format::Items items;
    items.reserve(static_cast<std::size_t>(NPAR) + 2);
    items.emplace_back(e.NCALL);
    for (int j = 0; j < NPAR; ++j) items.emplace_back(P[j]);
    items.emplace_back(error);
    format::Write(*e.console, "(I5,(7F10.4))", items);
  }
  return error;
}

}  // namespace straight

// The same double, bit for bit (a NaN included).
bool SameBits(double a, double b) {
  std::uint64_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// One random fit model with a parameter vector and a data set.
struct Case {
  model::FitModel fm;
  std::vector<double> P;
  std::vector<double> T, XOBS;
  double SXOBS2 = 0.0;
  double TIPADD = 0.0;
};

class Random {
 public:
  explicit Random(std::uint64_t seed) : rng_(seed) {}
  double Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(double p) { return Uniform(0.0, 1.0) < p; }
  template <class T>
  T Pick(std::initializer_list<T> values) {
    return values.begin()[Int(0, static_cast<int>(values.size()) - 1)];
  }

 private:
  std::mt19937_64 rng_;
};

// Exchange constants and splittings, now and then large enough at the lowest
// temperatures to pass the exponent limit.
double Energy(Random& r, bool strong) {
  return strong ? r.Uniform(-450.0, 450.0) : r.Uniform(-150.0, 150.0);
}

Case RandomCase(Random& r) {
  Case c;
  model::FitModel& m = c.fm;
  const bool strong = r.Chance(0.2);
  m.GVAL = r.Chance(0.5) ? 0.0 : r.Uniform(1.8, 2.3);
  if (model::GFitted(m.GVAL)) c.P.push_back(r.Uniform(1.9, 2.2));
  m.ITYPE = r.Int(1, 3);
  m.NTERM = r.Int(0, 6);
  for (int k = 0; k < m.NTERM; ++k) {
    const int code = r.Chance(0.05) ? r.Pick({0, 11}) : r.Int(1, 10);
    m.IFN[k] = code;
    m.IOPT[k] = r.Chance(0.3) ? 1 : 0;
    m.IOTHER[k] = r.Int(1, 4);
    m.S1[k] = r.Pick({0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0});
    m.S2[k] = r.Pick({0.0, 0.5, 1.0, 1.5, 2.0, 2.5});
    switch (code) {
      case 2:  // mostly a listed spin, now and then one that keeps its value
        m.S1[k] = r.Chance(0.85) ? r.Pick({1.0, 1.5, 2.0, 2.5}) : r.Pick({0.5, 3.0});
        c.P.push_back(r.Chance(0.1) ? 0.0 : r.Uniform(-20.0, 20.0) * (strong ? 20.0 : 1.0));
        break;
      case 5:
        m.S2[k] = r.Pick({0.0, 1000.0, 50000.0});
        c.P.push_back(Energy(r, strong));
        break;
      case 7:
        c.P.push_back(Energy(r, strong));
        c.P.push_back(r.Chance(0.1) ? static_cast<double>(0.4f) : r.Uniform(0.0, 1.0));
        break;
      case 9:
        switch (m.IOTHER[k]) {
          case 2:
            c.P.push_back(Energy(r, strong));
            break;
          case 3:
            for (int j = 0; j < 4; ++j) c.P.push_back(Energy(r, strong));
            break;
          default:
            c.P.push_back(Energy(r, strong));
            c.P.push_back(r.Uniform(-20.0, 20.0));
            break;
        }
        break;
      case 10:
        c.P.push_back(r.Uniform(-1.0E-3, 1.0E-3));
        break;
      case 3:
      case 4:
      case 6:
      case 8:
        c.P.push_back(Energy(r, strong));
        break;
      default:  // Curie
        break;
    }
    // THETA, now and then equal to a temperature of the data; or Z*JP.
    if (m.IOPT[k] == 1) c.P.push_back(code == 1 && r.Chance(0.3) ? 10.0 : r.Uniform(-10.0, 10.0));
  }
  if (m.ITYPE >= 2) c.P.push_back(r.Uniform(0.0, 1.0));
  if (m.ITYPE == 3) c.P.push_back(r.Uniform(0.0, 1.0));
  m.NPAR = static_cast<int>(c.P.size());

  // Across the block boundaries of the evaluator as well as within one.
  const int n = r.Pick({1, 2, 5, 63, 64, 65, 129, 200, 300});
  for (int i = 0; i < n; ++i) {
    const double t = r.Chance(0.05) ? 10.0 : r.Uniform(strong ? 0.5 : 2.0, 350.0);
    c.T.push_back(t);
    c.XOBS.push_back(r.Uniform(1.0E-4, 2.0E-2) / t);
    c.SXOBS2 = c.SXOBS2 + c.XOBS.back() * c.XOBS.back();
  }
  c.TIPADD = r.Chance(0.5) ? 0.0 : r.Uniform(-1.0E-4, 1.0E-4);
  return c;
}

void Bind(expressions::Evaluation& e, const Case& c, format::RecordSink* console) {
  e.model = &c.fm;
  e.console = console;
  e.NDATA = static_cast<int>(c.T.size());
  e.T = c.T.data();
  e.XOBS = c.XOBS.data();
  e.SXOBS2 = c.SXOBS2;
  e.TIPADD = c.TIPADD;
  expressions::SetConstants(e);
}

TEST(ObjectiveAgainstStraightEvaluation, SameBitsAndSameLinesForRandomModels) {
  Random r(20261208);
  int warned = 0;
  for (int n = 0; n < 1500; ++n) {
    const Case c = RandomCase(r);
    test_util::RecordLog fast_log, straight_log;
    expressions::Evaluation fast, reference;
    Bind(fast, c, &fast_log);
    Bind(reference, c, &straight_log);
    // What a zero-field term of an unlisted spin keeps from before.
    for (int k = 0; k < model::MAXTERM; ++k) fast.TV[k] = reference.TV[k] = r.Uniform(0.0, 1.0E-3);
    expressions::Evaluation quiet = fast;
    quiet.console = nullptr;

    std::vector<double> P = c.P;
    for (int vertex = 0; vertex < 3; ++vertex) {
      const double got = expressions::Objective(fast, P.data());
      const double want = straight::Objective(reference, P.data());
      ASSERT_TRUE(SameBits(got, want))
          << "case " << n << " vertex " << vertex << ": " << got << " against " << want;
      ASSERT_TRUE(SameBits(expressions::Objective(quiet, P.data()), want)) << "case " << n;
      for (int k = 0; k < model::MAXTERM; ++k) {
        ASSERT_TRUE(SameBits(fast.TV[k], reference.TV[k])) << "case " << n << " TV " << k;
      }
      const double t = r.Uniform(1.0, 300.0);
      ASSERT_TRUE(SameBits(expressions::Evaluate(fast, P.data(), t),
                           straight::Evaluate(reference, P.data(), t)))
          << "case " << n << " T " << t;
      // Many temperatures at once: point by point, term values carried along.
      std::vector<double> many(fast.NDATA);
      expressions::EvaluateAll(fast, P.data(), fast.T, fast.NDATA, many.data());
      for (int i = 0; i < fast.NDATA; ++i) {
        ASSERT_TRUE(SameBits(many[i], straight::Evaluate(reference, P.data(), fast.T[i])))
            << "case " << n << " point " << i;
      }
      quiet.TV = fast.TV;
      for (double& p : P) p = p * r.Uniform(0.97, 1.03);
    }
    ASSERT_EQ(fast_log.records, straight_log.records) << "case " << n;
    EXPECT_EQ(fast.NCALL, 3);
    if (fast_log.records.size() > 3) ++warned;
  }
  // The exponent warnings, and their order, were put to the test too.
  EXPECT_GT(warned, 20);
}

// Through a term cache, as a fit's residuals are evaluated: each parameter
// moved alone, then all, then the first vector again on other temperatures.
// One cache serves every case, so a new model must not take an old one's
// values. Every value and term value left behind has the straight bits;
// with a console (every other case), every warning too.
TEST(ObjectiveAgainstStraightEvaluation, ATermCacheChangesNoBit) {
  Random r(20261209);
  expressions::TermCache cache;
  int warned = 0;
  for (int n = 0; n < 500; ++n) {
    const Case c = RandomCase(r);
    test_util::RecordLog cached_log, reference_log;
    const bool logged = n % 2 == 1;
    expressions::Evaluation cached, reference;
    Bind(cached, c, logged ? &cached_log : nullptr);
    Bind(reference, c, logged ? &reference_log : nullptr);
    for (int k = 0; k < model::MAXTERM; ++k) {
      cached.TV[k] = reference.TV[k] = r.Uniform(0.0, 1.0E-3);
    }
    std::vector<std::vector<double>> vectors = {c.P};
    for (std::size_t j = 0; j < c.P.size(); ++j) {
      vectors.push_back(c.P);
      vectors.back()[j] *= 1.0 + 1.0E-6;
    }
    vectors.push_back(c.P);
    for (double& p : vectors.back()) p *= r.Uniform(0.97, 1.03);
    vectors.push_back(c.P);
    std::vector<double> T = c.T, out(T.size());
    for (std::size_t v = 0; v < vectors.size(); ++v) {
      if (v + 1 == vectors.size()) {
        for (double& t : T) t *= 1.01;
      }
      const double* P = vectors[v].data();
      expressions::EvaluateAll(cached, P, T.data(), static_cast<int>(T.size()), out.data(), cache);
      for (std::size_t i = 0; i < T.size(); ++i) {
        ASSERT_TRUE(SameBits(out[i], straight::Evaluate(reference, P, T[i])))
            << "case " << n << " vector " << v << " point " << i;
      }
      for (int k = 0; k < model::MAXTERM; ++k) {
        ASSERT_TRUE(SameBits(cached.TV[k], reference.TV[k])) << "case " << n << " TV " << k;
      }
    }
    ASSERT_EQ(cached_log.records, reference_log.records) << "case " << n;
    if (!cached_log.records.empty()) ++warned;
  }
  EXPECT_GT(warned, 10);  // the warnings were put to the test
}

}  // namespace
