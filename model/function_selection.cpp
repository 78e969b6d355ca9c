// Function selection: fills one term of the fit model from the console.
#include <array>

#include "format/errors.h"
#include "model/layouts.h"
#include "model/model.h"

namespace model {

namespace {

constexpr char kSpinPrompt[] = "Enter Spin (1.0, 1.5, 2.0, or 2.5)";
constexpr char kDimerPrompt[] = "Enter S1, S2 of dimer";

const std::array<const char*, 4> kZeroFieldNames = {"D-1     ", "D-3/2   ", "D-2     ", "D-5/2   "};

// Appends the parameters of term k, each with its initial value read.
void AddTermParameters(FitModel& m, format::Console& con, int code, int k) {
  for (const std::string& name : TermParameterNames(code, m.S1[k - 1], m.IOTHER[k - 1])) {
    AddParameter(m, con, name);
  }
}

// Reads S1 and S2 of term k until both lie in 0..kMaxDimerSpin, since a
// negative spin leaves the dimer no states at all.
void ReadDimerSpins(FitModel& m, format::Console& con, int k) {
  for (;;) {
    con.Free({kDimerPrompt});
    con.Read({m.S1[k - 1], m.S2[k - 1]});
    const double s1 = m.S1[k - 1];
    const double s2 = m.S2[k - 1];
    if (DimerSpinOk(s1) && DimerSpinOk(s2)) return;
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
  AddTermParameters(m, con, 2, k);
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
        AddTermParameters(m, con, 9, k);
        return;
      case 2:
        con.Free({"Three Spin S1=S2=S3= 1/2 system with single J:"});
        AddTermParameters(m, con, 9, k);
        return;
      case 3:
        con.Free({"Hatfield's 4 spin (S=1/2) system:"});
        AddTermParameters(m, con, 9, k);
        return;
      case 4:
        con.Free({"Kahn's expression for chain of dimers:"});
        ReadDimerSpins(m, con, k);
        AddTermParameters(m, con, 9, k);
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
      AddTermParameters(m, con, 3, k);
      break;
    case 4:
      con.Free({"Bleaney-Bower Eqn. parameters"});
      AddTermParameters(m, con, 4, k);
      break;
    case 5:
      con.Free({"Magnetization eqn. parameters"});
      AddTermParameters(m, con, 5, k);
      con.Free({"Enter Field (B)"});
      m.S2[k - 1] = con.ReadReal(m.S2[k - 1]);
      break;
    case 6:
      con.Free({"Bonner Fisher Eqn. parameters"});
      AddTermParameters(m, con, 6, k);
      break;
    case 7:
      con.Free({"Modified Bonner Fisher Eqn. parameters"});
      AddTermParameters(m, con, 7, k);
      break;
    case 8:
      con.Free({"Dimer Eqn. parameters"});
      ReadDimerSpins(m, con, k);
      AddTermParameters(m, con, 8, k);
      break;
    case 9:
      OtherFunctions(m, con, k);
      break;
    default:  // 10
      AddTermParameters(m, con, 10, k);
      return;
  }
}

}  // namespace

int ZeroFieldIndex(double s) {
  const double v = 2.0 * s - static_cast<double>(0.9f);
  if (!(v >= 1.0 && v < 5.0)) return 0;
  return static_cast<int>(v);
}

std::vector<std::string> TermParameterNames(int code, double S1, int IOTHER) {
  switch (code) {
    case 1:
      return {};
    case 2: {
      const int index = ZeroFieldIndex(S1);
      if (index == 0) return {};
      return {kZeroFieldNames[index - 1]};
    }
    case 3:
      return {"J-Ising "};
    case 4:
      return {"J-BB    "};
    case 5:
      return {"J-MAGN  "};
    case 6:
      return {"J-BF    "};
    case 7:
      return {"J-MBF   ", "ALFA-MBF"};
    case 8:
      return {"J-Dimer "};
    case 9:
      switch (IOTHER) {
        case 1:
          return {"J-1-1   ", "D-1-1   "};
        case 2:
          return {"J-Trimr"};
        case 3:
          return {"J1-Tetra", "J2-Tetra", "J3-Tetra", "J4-Tetra"};
        case 4:
          return {"J-Intra ", "J-Inter "};
        default:
          return {};
      }
    case 10:
      return {"DIM     "};
    default:
      return {};
  }
}

void SelectFunction(FitModel& m, format::Console& con, int code, int k) {
  if (k < 1 || k > MAXTERM) {
    con.Free({kTooManyTerms, MAXTERM});
    throw format::ProgramStop{};
  }
  if (code < 1 || code > 10) {
    con.Free({kNoSuchFunction});
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
    AddParameter(m, con, CorrectionName(code));
  }
}

}  // namespace model
