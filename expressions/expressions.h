// Physical constants, evaluation of the fit model at one temperature, and
// the L.S. error over the data points.
#ifndef SUSCEP_EXPRESSIONS_EXPRESSIONS_H_
#define SUSCEP_EXPRESSIONS_EXPRESSIONS_H_

#include <array>
#include <memory>

#include "format/console.h"
#include "model/model.h"

namespace expressions {

// The progress line of the L.S. error, "(I5,(7F10.4))": its layout, parsed
// once, and its items and records, kept from one evaluation to the next so
// that writing the line allocates nothing.
class ProgressLine {
 public:
  ProgressLine();
  void Write(format::RecordSink& sink, int NCALL, const double* P, int NPAR, double error);

 private:
  format::PreparedLayout layout_;
  format::Items items_;
};

// Evaluation state. The driver points it at the fit model, the console and
// the corrected data, and calls SetConstants after every build. A copy is a
// whole, independent evaluation state over the same model and data; with a
// null console it writes nothing.
struct Evaluation {
  const model::FitModel* model = nullptr;
  format::RecordSink* console = nullptr;  // progress and warning lines

  int NDATA = 0;
  const double* T = nullptr;     // NDATA temperatures
  const double* XOBS = nullptr;  // NDATA corrected observed values
  double SXOBS2 = 0.0;
  double TIPADD = 0.0;

  double EXPLIM = 706.893623549172;  // ln(1.0E307), set at start-up
  double HCK = 0.0, NB2K = 0.0, RNB2 = 0.0, BK = 0.0, NB = 0.0;
  // Those of a fixed g; an evaluation with g fitted works out its own from
  // P[0] and leaves these alone.
  double CG2 = 0.0, RG2 = 0.0, GBK = 0.0, GNB = 0.0;

  int NCALL = 0;
  std::array<double, model::MAXTERM> TV{};  // the term values of the last point

  ProgressLine progress;
};

// Model preparation: the physical constants and, for a fixed g, CG2, RG2,
// GBK and GNB from model->GVAL.
void SetConstants(Evaluation& e);

// The calculated susceptibility of the whole fit model at temperature T
// for the parameter vector P[0..NPAR-1]; TIPADD included. The model has at
// most MAXTERM terms (the dialogue refuses more; terms past it are ignored).
double Evaluate(Evaluation& e, const double* P, double T);

// Evaluate at T[0..n-1] in turn into calc[0..n-1]: the values (and the
// warnings and term values left behind) of n calls of Evaluate, with the
// work that does not depend on the temperature done once.
void EvaluateAll(Evaluation& e, const double* P, const double* T, int n, double* calc);

// Each term's values at the temperatures of the last evaluation made
// through it, kept for the next: a term whose plan (its parameters and the
// g in force) is unchanged is not worked out again, and gives the same bits.
// For the residuals of a fit, whose difference quotients move one parameter
// at a time. A copy starts empty.
class TermCache {
 public:
  TermCache();
  ~TermCache();
  TermCache(const TermCache&);
  TermCache& operator=(const TermCache&);

  struct State;

 private:
  friend void EvaluateAll(Evaluation& e, const double* P, const double* T, int n, double* calc,
                          TermCache& cache);
  std::unique_ptr<State> state_;
};

// EvaluateAll through `cache`: the same values and term values left
// behind. Evaluations with a console (warnings), and models whose values
// depend on the evaluations before, pass it by.
void EvaluateAll(Evaluation& e, const double* P, const double* T, int n, double* calc,
                 TermCache& cache);

// Whether a value at P can depend on the evaluations before it: only a
// zero-field term reads the term value left behind (an unlisted spin keeps
// it). When none can, evaluations made only for the state they leave may be
// skipped.
bool CarriesState(const Evaluation& e, const double* P);

// Each term's contribution at T[0..n-1], its equation-type factor applied:
// term k's value at T[i] into terms[k * n + i], for the model's terms. They
// are the values EvaluateAll adds up (with TIPADD); warnings are written as
// they come.
void EvaluateTerms(Evaluation& e, const double* P, const double* T, int n, double* terms);

// The L.S. error of P over the data points; increments NCALL and writes the
// progress line.
double Objective(Evaluation& e, const double* P);

}  // namespace expressions

#endif  // SUSCEP_EXPRESSIONS_EXPRESSIONS_H_
