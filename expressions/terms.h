// The term routines: one susceptibility term at one temperature. Each takes
// the constants (HCK, CG2, GBK, GNB, EXPLIM) and the console for its
// exponent warnings from the Evaluation, and returns the routine's own
// result, before any division the evaluator applies.
#ifndef SUSCEP_EXPRESSIONS_TERMS_H_
#define SUSCEP_EXPRESSIONS_TERMS_H_

#include "expressions/expressions.h"

namespace expressions {

// Code 1: S(S+1) g^2 N beta^2 / 3kT.
double Curie(const Evaluation& e, double S, double T);

// Code 2: axial zero-field splitting D of a spin 1, 3/2, 2 or 5/2, powder
// average. Writes `chi`; for any other spin leaves `chi` as it was.
void ZeroField(const Evaluation& e, double S, double D, double T, double& chi);

// Code 3; the evaluator halves it.
double Ising(const Evaluation& e, double J, double T);

// Code 4, S = 1/2 pair with singlet-triplet gap 2J; the evaluator halves it.
double BleaneyBower(const Evaluation& e, double J, double T);

// Code 5: magnetization per ion of an S = 1/2 pair in the field B, over B.
// B = 0 gives the limit for a vanishing field.
double Magnetization(const Evaluation& e, double J, double B, double T);

// Code 6: uniform S = 1/2 chain.
double BonnerFisher(const Evaluation& e, double J, double T);

// Code 7: alternating S = 1/2 chain with alternation ALFA.
double ModifiedBF(const Evaluation& e, double J, double ALFA, double T);

// Code 8: isotropic pair of spins S1, S2, summed over the total-spin states;
// the evaluator halves it, the Kahn chain uses it as it is.
double Dimer(const Evaluation& e, double S1, double S2, double J, double T);

// Other function 1: S1 = S2 = 1 pair with single-ion D, already per ion.
double UserFunction(const Evaluation& e, double J, double D, double T);

// Other function 2: S = 1/2 trimer; the dispatcher divides by 3.
double Trimer(const Evaluation& e, double J, double T);

// Other function 3: Hatfield's S = 1/2 tetramer; the dispatcher divides by 4.
double Tetramer(const Evaluation& e, double J1, double J2, double J3, double J4, double T);

// Other function 4: Kahn's chain of S1-S2 dimers; the dispatcher divides
// by 2.
double KahnChain(const Evaluation& e, double S1, double S2, double JA, double JE, double T);

// Code 9 for term k (1-based): takes the parameters of the term's
// other-functions choice from P at K+1, K+2, ... (advancing `K`) and
// returns the value per ion.
double OtherFunction(const Evaluation& e, const double* P, int& K, double T, int k);

}  // namespace expressions

#endif  // SUSCEP_EXPRESSIONS_TERMS_H_
