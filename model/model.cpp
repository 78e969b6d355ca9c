// The parameter table and the decoding of the expression number.
#include "model/model.h"

#include <string>

#include "format/errors.h"

namespace model {

namespace {

// Parameter names are stored blank-padded or cut to eight characters.
std::string PadName(const std::string& name) {
  std::string padded = name.substr(0, 8);
  padded.resize(8, ' ');
  return padded;
}

}  // namespace

void AddParameter(FitModel& m, format::Console& con, const std::string& name) {
  // Refuse before touching `NPAR`, so the record never claims a 13th entry.
  if (m.NPAR >= MAXPAR) {
    con.Free({kTooManyParameters, MAXPAR});
    throw format::ProgramStop{};
  }
  const int j = m.NPAR;
  m.NPAR = j + 1;
  m.PNAME[j] = PadName(name);
  con.Free({"Enter Initial value for " + m.PNAME[j]});
  m.PVAL[j] = con.ReadReal(m.PVAL[j]);
}

bool AppendParameter(FitModel& m, const std::string& name, double value) {
  if (m.NPAR >= MAXPAR) return false;
  const int j = m.NPAR;
  m.NPAR = j + 1;
  m.PNAME[j] = PadName(name);
  m.PVAL[j] = value;
  return true;
}

void Decode(FitModel& m, int M, int N) {
  m.IFN[0] = N;
  switch (M) {
    case 1:
      m.ITYPE = 1;
      m.NTERM = 2;
      m.IFN[1] = 10;
      return;
    case 2:
      m.ITYPE = 2;
      m.NTERM = 2;
      m.IFN[1] = 1;
      return;
    case 3:
      m.ITYPE = 2;
      m.NTERM = 2;
      m.IFN[1] = 2;
      return;
    case 5:
      m.ITYPE = 2;
      m.NTERM = 3;
      m.IFN[1] = 2;
      m.IFN[2] = 10;
      return;
    default:
      break;
  }
  if (M <= 0) {
    // A negative expression number decodes as a single term; its negative
    // function code is refused later by function selection.
    m.ITYPE = 1;
    m.NTERM = 1;
    return;
  }
  // M = 4, and 6 and 7, which the table does not list but the check accepts.
  m.ITYPE = 2;
  m.NTERM = 3;
  m.IFN[1] = 1;
  m.IFN[2] = 10;
}

}  // namespace model
