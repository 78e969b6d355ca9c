// The term routines. The short decimal literals of the formulas are held in
// single precision and computed with in double, so each is written as the
// double value of its float; the order of every sum and product is kept,
// since the results are compared to the last printed digit.
#include "expressions/terms.h"

#include "format/console.h"

namespace expressions {

namespace {

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

// Modified Bonner-Fisher: boundary between the two coefficient sets.
constexpr double kAlfaBoundary = Single(0.4f);

// The loop of TermPlan::At for a term whose value at T is value(T).
template <class Value>
void Fill(const TermPlan& t, const Constants& c, const double* T, int n, double scale, double* out,
          Value value) {
  switch (t.correction) {
    case TermPlan::Correction::kNone:
      for (int i = 0; i < n; ++i) out[i] = scale * value(T[i]);
      break;
    case TermPlan::Correction::kCurieWeiss:
      for (int i = 0; i < n; ++i) {
        double tv = value(T[i]);
        // Left uncorrected where THETA meets the temperature.
        if (t.THETA != T[i]) tv = tv * T[i] / (T[i] - t.THETA);
        out[i] = scale * tv;
      }
      break;
    case TermPlan::Correction::kMolecularField:
      for (int i = 0; i < n; ++i) {
        double tv = value(T[i]);
        tv = tv / (1.0 - t.ZJP4 * tv * c.RG2);
        out[i] = scale * tv;
      }
      break;
  }
}

// The correction of a term of function `code` when `iopt` is 1: its
// parameter from P at K+1, advancing `K`.
void TakeCorrection(TermPlan& t, int code, int iopt, const double* P, int& K) {
  t.correction = TermPlan::Correction::kNone;
  if (iopt == 1) {
    K = K + 1;
    if (code == 1) {
      t.correction = TermPlan::Correction::kCurieWeiss;
      t.THETA = P[K - 1];
    } else {
      t.correction = TermPlan::Correction::kMolecularField;
      t.ZJP4 = 4.0 * P[K - 1];
    }
  }
}

}  // namespace

Constants ConstantsOf(const Evaluation& e) {
  return {e.HCK, e.CG2, e.RG2, e.GBK, e.GNB, e.EXPLIM, e.console};
}

void Warn(const Constants& c, Warning w, double value) {
  if (c.console == nullptr) return;
  const char* text = nullptr;
  switch (w) {
    case Warning::kZeroField:
      format::Write(*c.console, kZeroFieldWarning, {value});
      return;
    case Warning::kIsing:
      text = kIsingWarning;
      break;
    case Warning::kBleaneyBower:
      text = kBleaneyBowerWarning;
      break;
    case Warning::kMagnetization:
      text = kMagnetizationWarning;
      break;
    case Warning::kDimer:
      text = kDimerWarning;
      break;
    case Warning::kTrimer:
      text = kTrimerWarning;
      break;
    case Warning::kTetramer:
      text = kTetramerWarning;
      break;
    case Warning::kUser:
      text = kUserWarning;
      break;
  }
  format::WriteFree(*c.console, {text, value});
}

ZeroFieldTerm ZeroFieldTerm::For(const Constants& c, double S, double D) {
  return {static_cast<int>(2.0 * S - kSpinIndexOffset), (S + 1.0) * S, D, c.HCK * D};
}

ModifiedBFTerm ModifiedBFTerm::For(const Constants& c, double J, double ALFA) {
  const double a = ALFA;
  const double a2 = a * a;
  const double a3 = a2 * a;
  const double a4 = a3 * a;
  ModifiedBFTerm t{};
  t.A = 0.25;
  if (a <= kAlfaBoundary) {
    t.B = Single(-0.12587f) + Single(0.22752f) * a;
    t.C = Single(0.019111f) - Single(0.13307f) * a + Single(0.509f) * a2 - Single(1.3167f) * a3 +
          Single(1.0081f) * a4;
    t.D = Single(0.10772f) + Single(1.4192f) * a;
    t.E = Single(-0.0028521f) - Single(0.42346f) * a + Single(2.1953f) * a2 - Single(0.82412f) * a3;
    t.F = Single(0.37754f) - Single(0.06702201f) * a + Single(6.9805f) * a2 - Single(21.678f) * a3 +
          Single(15.838f) * a4;
  } else {
    t.B = Single(-0.13695f) + Single(0.26387f) * a;
    t.C = Single(0.017025f) - Single(0.12668f) * a + Single(0.49113f) * a2 - Single(1.1977f) * a3 +
          Single(0.87257f) * a4;
    t.D = Single(0.070509f) + Single(1.3042f) * a;
    t.E = Single(-0.0035767f) - Single(0.40837f) * a + Single(3.4862f) * a2 - Single(0.73888f) * a3;
    t.F = Single(0.36184f) - Single(0.065528f) * a + Single(6.65875f) * a2 - Single(20.945f) * a3 +
          Single(15.42504f) * a4;
  }
  t.mJH = -J * c.HCK;
  return t;
}

DimerTerm DimerTerm::For(const Constants& c, double S1, double S2, double J) {
  return {static_cast<int>(2.0 * S1 + kSpinDoubling), static_cast<int>(2.0 * S2 + kSpinDoubling),
          c.HCK * J, c.CG2 / 12.0};
}

double Curie(const Evaluation& e, double S, double T) {
  return CurieTerm::For(S).At(ConstantsOf(e), T);
}

void ZeroField(const Evaluation& e, double S, double D, double T, double& chi) {
  const Constants c = ConstantsOf(e);
  ZeroFieldTerm::For(c, S, D).At(c, T, chi);
}

double Ising(const Evaluation& e, double J, double T) {
  const Constants c = ConstantsOf(e);
  return IsingTerm::For(c, J).At(c, T);
}

double BleaneyBower(const Evaluation& e, double J, double T) {
  const Constants c = ConstantsOf(e);
  return BleaneyBowerTerm::For(c, J).At(c, T);
}

double Magnetization(const Evaluation& e, double J, double B, double T) {
  const Constants c = ConstantsOf(e);
  return MagnetizationTerm::For(c, J, B).At(c, T);
}

double BonnerFisher(const Evaluation& e, double J, double T) {
  const Constants c = ConstantsOf(e);
  return BonnerFisherTerm::For(c, J).At(c, T);
}

double ModifiedBF(const Evaluation& e, double J, double ALFA, double T) {
  const Constants c = ConstantsOf(e);
  return ModifiedBFTerm::For(c, J, ALFA).At(c, T);
}

double Dimer(const Evaluation& e, double S1, double S2, double J, double T) {
  const Constants c = ConstantsOf(e);
  return DimerTerm::For(c, S1, S2, J).At(c, T);
}

double UserFunction(const Evaluation& e, double J, double D, double T) {
  const Constants c = ConstantsOf(e);
  return UserTerm::For(c, J, D).At(c, T);
}

double Trimer(const Evaluation& e, double J, double T) {
  const Constants c = ConstantsOf(e);
  return TrimerTerm::For(c, J).At(c, T);
}

double Tetramer(const Evaluation& e, double J1, double J2, double J3, double J4, double T) {
  const Constants c = ConstantsOf(e);
  return TetramerTerm::For(c, J1, J2, J3, J4).At(c, T);
}

double KahnChain(const Evaluation& e, double S1, double S2, double JA, double JE, double T) {
  const Constants c = ConstantsOf(e);
  return KahnChainTerm::For(c, S1, S2, JA, JE).At(c, T);
}

TermPlan TermPlan::For(const Constants& c, const model::FitModel& m, int k, const double* P,
                       int& K) {
  const int code = m.IFN[k - 1];
  TermPlan t{};
  switch (code) {
    case 2:
      K = K + 1;
      t.kind = Kind::kZeroField;
      t.zero_field = ZeroFieldTerm::For(c, m.S1[k - 1], P[K - 1]);
      break;
    case 3:
      K = K + 1;
      t.kind = Kind::kIsing;
      t.ising = IsingTerm::For(c, P[K - 1]);
      break;
    case 4:
      K = K + 1;
      t.kind = Kind::kBleaneyBower;
      t.bleaney_bower = BleaneyBowerTerm::For(c, P[K - 1]);
      break;
    case 5:
      K = K + 1;
      t.kind = Kind::kMagnetization;
      t.magnetization = MagnetizationTerm::For(c, P[K - 1], m.S2[k - 1]);
      break;
    case 6:
      K = K + 1;
      t.kind = Kind::kBonnerFisher;
      t.bonner_fisher = BonnerFisherTerm::For(c, P[K - 1]);
      break;
    case 7:
      K = K + 2;
      t.kind = Kind::kModifiedBF;
      t.modified_bf = ModifiedBFTerm::For(c, P[K - 2], P[K - 1]);
      break;
    case 8:
      K = K + 1;
      t.kind = Kind::kDimer;
      t.dimer = DimerTerm::For(c, m.S1[k - 1], m.S2[k - 1], P[K - 1]);
      break;
    case 9:
      t = Other(c, m, k, P, K);
      break;
    case 10:
      K = K + 1;
      t.kind = Kind::kConstant;
      t.constant = P[K - 1];
      break;
    default:  // 1, and any code the dialogue would have refused
      t.kind = Kind::kCurie;
      t.curie = CurieTerm::For(m.S1[k - 1]);
      break;
  }
  TakeCorrection(t, code, m.IOPT[k - 1], P, K);
  return t;
}

TermPlan TermPlan::Other(const Constants& c, const model::FitModel& m, int k, const double* P,
                         int& K) {
  TermPlan t{};
  switch (m.IOTHER[k - 1]) {
    case 2:
      K = K + 1;
      t.kind = Kind::kTrimer;
      t.trimer = TrimerTerm::For(c, P[K - 1]);
      break;
    case 3:
      K = K + 4;
      t.kind = Kind::kTetramer;
      t.tetramer = TetramerTerm::For(c, P[K - 4], P[K - 3], P[K - 2], P[K - 1]);
      break;
    case 4:
      K = K + 2;
      t.kind = Kind::kKahnChain;
      t.kahn_chain = KahnChainTerm::For(c, m.S1[k - 1], m.S2[k - 1], P[K - 2], P[K - 1]);
      break;
    default:
      K = K + 2;
      t.kind = Kind::kUser;
      t.user = UserTerm::For(c, P[K - 2], P[K - 1]);
      break;
  }
  t.correction = Correction::kNone;
  return t;
}

void TermPlan::At(const Constants& c, const double* T, int n, double scale, double& last,
                  double* out) const {
  switch (kind) {
    case Kind::kCurie:
      Fill(*this, c, T, n, scale, out, [&](double t) { return curie.At(c, t); });
      break;
    case Kind::kZeroField:
      // Point by point: an unlisted spin's value is the one before.
      for (int i = 0; i < n; ++i) {
        double chi = last;
        zero_field.At(c, T[i], chi);
        Fill(*this, c, T + i, 1, scale, &last, [chi](double) { return chi; });
        out[i] = last;
      }
      return;
    case Kind::kIsing:
      Fill(*this, c, T, n, scale, out, [&](double t) { return ising.At(c, t) / 2.0; });
      break;
    case Kind::kBleaneyBower:
      Fill(*this, c, T, n, scale, out, [&](double t) { return bleaney_bower.At(c, t) / 2.0; });
      break;
    case Kind::kMagnetization:
      Fill(*this, c, T, n, scale, out, [&](double t) { return magnetization.At(c, t); });
      break;
    case Kind::kBonnerFisher:
      Fill(*this, c, T, n, scale, out, [&](double t) { return bonner_fisher.At(c, t); });
      break;
    case Kind::kModifiedBF:
      Fill(*this, c, T, n, scale, out, [&](double t) { return modified_bf.At(c, t); });
      break;
    case Kind::kDimer:
      Fill(*this, c, T, n, scale, out, [&](double t) { return dimer.At(c, t) / 2.0; });
      break;
    case Kind::kUser:
      Fill(*this, c, T, n, scale, out, [&](double t) { return user.At(c, t); });
      break;
    case Kind::kTrimer:
      Fill(*this, c, T, n, scale, out, [&](double t) { return trimer.At(c, t) / 3.0; });
      break;
    case Kind::kTetramer:
      Fill(*this, c, T, n, scale, out, [&](double t) { return tetramer.At(c, t) / 4.0; });
      break;
    case Kind::kKahnChain:
      Fill(*this, c, T, n, scale, out, [&](double t) { return kahn_chain.At(c, t) / 2.0; });
      break;
    case Kind::kConstant:
      Fill(*this, c, T, n, scale, out, [&](double) { return constant; });
      break;
  }
  if (n > 0) last = out[n - 1];
}

double OtherFunction(const Evaluation& e, const double* P, int& K, double T, int k) {
  const Constants c = ConstantsOf(e);
  double last = 0.0, value = 0.0;
  TermPlan::Other(c, *e.model, k, P, K).At(c, &T, 1, 1.0, last, &value);
  return value;
}

}  // namespace expressions
