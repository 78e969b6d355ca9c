// The fit model record and parameter table, function selection and the
// model description.
#ifndef SUSCEP_MODEL_MODEL_H_
#define SUSCEP_MODEL_MODEL_H_

#include <array>
#include <string>

#include "format/console.h"

namespace model {

constexpr int MAXPAR = 12;
constexpr int MAXTERM = 10;

// g is a fit parameter when |GVAL| <= 1.0E-6; the one test used everywhere.
inline bool GFitted(double gval) { return gval <= 1.0E-6 && gval >= -1.0E-6; }

// The fit model. Arrays are 0-based: term k (1..NTERM) is at [k-1],
// parameter j (1..NPAR) at [j-1].
struct FitModel {
  double GVAL = 0.0;  // copied from the driver's setting at every build
  int ITYPE = 1;
  int NTERM = 0;
  std::array<int, MAXTERM> IFN{};
  std::array<double, MAXTERM> S1{};
  std::array<double, MAXTERM> S2{};
  std::array<int, MAXTERM> IOPT{};
  std::array<int, MAXTERM> IOTHER{};  // the other-functions choice, per term
  int NPAR = 0;
  std::array<std::string, MAXPAR> PNAME{};  // 8 characters, blank-padded
  std::array<double, MAXPAR> PVAL{};
  std::array<double, MAXPAR> PSTEP{};
};

// Appends `name` (blank-padded or cut to 8) and reads its initial value with
// the prompt "Enter Initial value for <name>". A 13th entry writes
// "Minimisation parameters should not exceed 12" and throws ProgramStop.
void AddParameter(FitModel& m, format::Console& con, const std::string& name);

// Sets ITYPE, NTERM and IFN from the digits M (0..7, or below 0) and N.
void Decode(FitModel& m, int M, int N);

// Function selection for term k (1-based) with function code `code`:
// writes the term's lines, reads its constants, appends its parameters and
// asks the correction question. Stops the program (ProgramStop) for k
// outside 1..MAXTERM or a code outside 1..10, after the message.
void SelectFunction(FitModel& m, format::Console& con, int code, int k);

// Writes the model description lines to `sink` (the report file).
void Describe(const FitModel& m, format::RecordSink& sink);

}  // namespace model

#endif  // SUSCEP_MODEL_MODEL_H_
