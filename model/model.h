// The fit model record and parameter table, function selection and the
// model description.
#ifndef SUSCEP_MODEL_MODEL_H_
#define SUSCEP_MODEL_MODEL_H_

#include <array>
#include <string>
#include <vector>

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

// Appends `name` (blank-padded or cut to 8) with `value`, as AddParameter
// does without the console; false, and nothing appended, when the table is
// full.
bool AppendParameter(FitModel& m, const std::string& name, double value);

// The rules of function selection.
// The zero-field spins 1, 3/2, 2 and 5/2 as 1..4, by trunc(2S - 0.9); 0 for
// a spin the dialogue asks again for.
int ZeroFieldIndex(double s);
// Largest dimer spin accepted: beyond it the evaluation would sum so many
// spin states that a fit never ends. Smallest: 0.
constexpr double kMaxDimerSpin = 50.0;
inline bool DimerSpinOk(double s) { return s >= 0.0 && s <= kMaxDimerSpin; }
// The parameters term function `code` (1..10) appends before its
// correction, blank-padded: the zero-field one named by the spin `S1`, those
// of function 9 by the other-functions choice `IOTHER` (1..4). Empty for an
// unknown code or choice.
std::vector<std::string> TermParameterNames(int code, double S1, int IOTHER);
// The correction parameter of a term: "THETA   " for a Curie term,
// "Z*JP    " for the others.
inline const char* CorrectionName(int code) { return code == 1 ? "THETA   " : "Z*JP    "; }

// The expression numbers the corrections menu accepts: 90-99 ask for the
// user's own expression; 1-79 with a units digit that is not 0 are decoded.
inline bool OwnExpression(int MN) { return MN / 10 == 9; }
inline bool StandardExpression(int MN) { return MN >= 1 && MN <= 79 && MN % 10 != 0; }
// The prompt for the expression number, asked again after a refused one.
constexpr char kEnterEquation[] = "Enter S.No. (1-99) for equation";

// The messages of the limits that end the dialogue.
constexpr char kTooManyTerms[] = "No. of terms cannot be more than ";
constexpr char kTooManyParameters[] = "Minimisation parameters should not exceed ";
constexpr char kNoSuchFunction[] = "Function not available in the list (1-10)";

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
