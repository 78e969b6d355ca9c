// Model preparation, evaluation of the fit model and the L.S. error.
#include "expressions/expressions.h"

#include "expressions/terms.h"
#include "format/console.h"

namespace expressions {

namespace {

constexpr char kProgressLine[] = "(I5,(7F10.4))";
constexpr char kTooManyTerms[] = "Number of terms exceed ";

// Physical constants; the first three are single-precision literals.
constexpr double kHCK = static_cast<double>(1.4387676f);
constexpr double kNB2K = static_cast<double>(0.37514585f);
constexpr double kRNB2 = static_cast<double>(3.8352218f);
constexpr double kBK = 6.7170918E-05;
constexpr double kNB = 5584.9447;

}  // namespace

void SetConstants(Evaluation& e) {
  e.HCK = kHCK;
  e.NB2K = kNB2K;
  e.RNB2 = kRNB2;
  e.BK = kBK;
  e.NB = kNB;
  const double g = e.model->GVAL;
  if (!model::GFitted(g)) {
    e.CG2 = e.NB2K * g * g;
    e.RG2 = e.RNB2 / g / g;
    e.GBK = g * e.BK;
    e.GNB = g * e.NB;
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
  if (m.NTERM > model::MAXTERM) {
    if (e.console != nullptr) format::WriteFree(*e.console, {kTooManyTerms, model::MAXTERM});
    throw format::ProgramStop{};
  }

  auto& TV = e.TV;
  for (int k = 1; k <= m.NTERM; ++k) {
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
  for (int k = 0; k < m.NTERM; ++k) sum = sum + TV[k];
  return e.TIPADD + sum;
}

double Objective(Evaluation& e, const double* P) {
  e.NCALL = e.NCALL + 1;
  double S = 0.0;
  for (int i = 0; i < e.NDATA; ++i) {
    const double r = e.XOBS[i] - Evaluate(e, P, e.T[i]);
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
    format::Write(*e.console, kProgressLine, items);
  }
  return error;
}

}  // namespace expressions
