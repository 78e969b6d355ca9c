// Function selection: fills one term of the fit model from the console.
#include <array>

#include "format/errors.h"
#include "model/layouts.h"
#include "model/model.h"

namespace model {

namespace {

constexpr char kSpinPrompt[] = "Enter Spin (1.0, 1.5, 2.0, or 2.5)";
constexpr char kDimerPrompt[] = "Enter S1, S2 of dimer";

// Largest dimer spin accepted: beyond it the evaluation would sum so many
// spin states that a fit never ends.
constexpr double kMaxDimerSpin = 50.0;

const std::array<const char*, 4> kZeroFieldNames = {"D-1     ", "D-3/2   ", "D-2     ", "D-5/2   "};

// trunc(2S - 0.9) with 0.9 as a single; 0 for anything outside 1..4, NaN
// included, so the caller asks again.
int ZeroFieldIndex(double s) {
  const double v = 2.0 * s - static_cast<double>(0.9f);
  if (!(v >= 1.0 && v < 5.0)) return 0;
  return static_cast<int>(v);
}

// Reads S1 and S2 of term k until both lie in 0..kMaxDimerSpin, since a
// negative spin leaves the dimer no states at all.
void ReadDimerSpins(FitModel& m, format::Console& con, int k) {
  for (;;) {
    con.Free({kDimerPrompt});
    con.Read({m.S1[k - 1], m.S2[k - 1]});
    const double s1 = m.S1[k - 1];
    const double s2 = m.S2[k - 1];
    if (s1 >= 0.0 && s1 <= kMaxDimerSpin && s2 >= 0.0 && s2 <= kMaxDimerSpin) return;
    con.Reason("S1 and S2 must lie between 0 and " +
               std::to_string(static_cast<int>(kMaxDimerSpin)));
  }
}

void ZeroField(FitModel& m, format::Console& con, int k) {
  con.Free({"Zero-field Equations:"});
  int index = 0;
  while (index == 0) {
    con.Free({kSpinPrompt});
    m.S1[k - 1] = con.ReadReal(m.S1[k - 1]);
    index = ZeroFieldIndex(m.S1[k - 1]);
    if (index == 0) con.Reason("The Zero-field terms are for S = 1.0, 1.5, 2.0 or 2.5 only");
  }
  AddParameter(m, con, kZeroFieldNames[index - 1]);
}

// The code-9 sub-menu; the choice is kept per term so that each code-9 term
// evaluates and reports the function whose parameters it appended.
void OtherFunctions(FitModel& m, format::Console& con, int k) {
  for (;;) {
    con.Out(kOtherFunctionsMenu);
    con.Free({"             Enter Option number: "});
    const int choice = con.ReadInt(m.IOTHER[k - 1]);
    m.IOTHER[k - 1] = choice;
    switch (choice) {
      case 1:
        con.Free({"User defined function"});
        con.Free({"S1=1, S2=1 dimer eq. including D"});
        AddParameter(m, con, "J-1-1   ");
        AddParameter(m, con, "D-1-1   ");
        return;
      case 2:
        con.Free({"Three Spin S1=S2=S3= 1/2 system with single J:"});
        AddParameter(m, con, "J-Trimr");
        return;
      case 3:
        con.Free({"Hatfield's 4 spin (S=1/2) system:"});
        AddParameter(m, con, "J1-Tetra");
        AddParameter(m, con, "J2-Tetra");
        AddParameter(m, con, "J3-Tetra");
        AddParameter(m, con, "J4-Tetra");
        return;
      case 4:
        con.Free({"Kahn's expression for chain of dimers:"});
        ReadDimerSpins(m, con, k);
        AddParameter(m, con, "J-Intra ");
        AddParameter(m, con, "J-Inter ");
        return;
      default:
        break;
    }
  }
}

// The constants and parameters of term k with function `code` (1 to 10).
void TermParameters(FitModel& m, format::Console& con, int code, int k) {
  switch (code) {
    case 1:
      con.Free({"Enter Spin (S) for Curie term"});
      m.S1[k - 1] = con.ReadReal(m.S1[k - 1]);
      break;
    case 2:
      ZeroField(m, con, k);
      break;
    case 3:
      con.Free({"Ising Eqn. parameters"});
      AddParameter(m, con, "J-Ising ");
      break;
    case 4:
      con.Free({"Bleaney-Bower Eqn. parameters"});
      AddParameter(m, con, "J-BB    ");
      break;
    case 5:
      con.Free({"Magnetization eqn. parameters"});
      AddParameter(m, con, "J-MAGN  ");
      con.Free({"Enter Field (B)"});
      m.S2[k - 1] = con.ReadReal(m.S2[k - 1]);
      break;
    case 6:
      con.Free({"Bonner Fisher Eqn. parameters"});
      AddParameter(m, con, "J-BF    ");
      break;
    case 7:
      con.Free({"Modified Bonner Fisher Eqn. parameters"});
      AddParameter(m, con, "J-MBF   ");
      AddParameter(m, con, "ALFA-MBF");
      break;
    case 8:
      con.Free({"Dimer Eqn. parameters"});
      ReadDimerSpins(m, con, k);
      AddParameter(m, con, "J-Dimer ");
      break;
    case 9:
      OtherFunctions(m, con, k);
      break;
    default:  // 10
      AddParameter(m, con, "DIM     ");
      return;
  }
}

}  // namespace

void SelectFunction(FitModel& m, format::Console& con, int code, int k) {
  if (k < 1 || k > MAXTERM) {
    con.Free({"No. of terms cannot be more than ", MAXTERM});
    throw format::ProgramStop{};
  }
  if (code < 1 || code > 10) {
    con.Free({"Function not available in the list (1-10)"});
    throw format::ProgramStop{};
  }
  TermParameters(m, con, code, k);
  m.IOPT[k - 1] = 0;
  if (code == 10) return;  // a constant never carries a correction

  con.Free({code == 1 ? "Include Weiss constant (theta) (Y/N)?"
                      : "Include Neighboring interaction Z*JP  (Y/N)?"});
  const char answer = con.ReadLetter();
  if (answer == 'Y' || answer == 'y') {
    m.IOPT[k - 1] = 1;
    AddParameter(m, con, code == 1 ? "THETA   " : "Z*JP    ");
  }
}

}  // namespace model
