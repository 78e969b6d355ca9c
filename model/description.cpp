// The plain-language description of the fit model in the report.
#include <string>

#include "format/layout.h"
#include "model/layouts.h"
#include "model/model.h"

namespace model {

namespace {

// Ten 3-character labels, one per possible term.
constexpr char kLabels[] = "A. B. C. D. E. F. G. H. I. J. ";

std::string Label(int k) { return std::string(kLabels).substr(3 * (k - 1), 3); }

void DescribeTerm(const FitModel& m, format::RecordSink& sink, int k) {
  const std::string label = Label(k);
  const double s1 = m.S1[k - 1];
  const double s2 = m.S2[k - 1];
  switch (m.IFN[k - 1]) {
    case 1:
      format::Write(sink, kSpinTerm, {label, "Curie term", s1});
      break;
    case 2:
      format::Write(sink, kSpinTerm, {label, "Zero field term of", s1});
      break;
    case 3:
      format::WriteFree(sink, {label, "Ising term"});
      break;
    case 4:
      format::WriteFree(sink, {label, "Bleaney-Bower term"});
      break;
    case 5:
      format::WriteFree(sink, {label, "Magnetization term"});
      break;
    case 6:
      format::WriteFree(sink, {label, "Bonner Fisher term"});
      break;
    case 7:
      format::WriteFree(sink, {label, "Modified Bonner Fisher term"});
      break;
    case 8:
      format::Write(sink, kTwoSpinTerm, {label, "Intradimer term", s1, s2});
      break;
    case 9:
      switch (m.IOTHER[k - 1]) {
        case 1:
          format::WriteFree(sink, {label, "User defined term"});
          break;
        case 2:
          format::WriteFree(sink, {label, "S=1/2 trimer term"});
          break;
        case 3:
          format::WriteFree(sink, {label, "Hatfield's S=1/2 tetramer term"});
          break;
        case 4:
          format::Write(sink, kTwoSpinTerm, {label, "Kahn's dimer chain term", s1, s2});
          break;
        default:
          break;
      }
      break;
    case 10:
      format::WriteFree(sink, {label, "DIM term"});
      break;
    default:
      break;
  }
  if (m.IOPT[k - 1] == 1) {
    format::WriteFree(sink, {m.IFN[k - 1] == 1 ? "Weiss correction (theta) applied"
                                               : "Neighbor correction applied"});
  }
}

}  // namespace

void Describe(const FitModel& m, format::RecordSink& sink) {
  format::WriteFree(sink, {"Equation type used for fitting of data:"});
  switch (m.ITYPE) {
    case 1:
      format::WriteFree(sink, {" A + B + ..."});
      format::WriteFree(sink, {"Where,"});
      break;
    case 2:
      format::WriteFree(sink, {" x(A) + (1-x)(B) + C + ..."});
      format::WriteFree(sink, {"Where, x is coefficient and"});
      break;
    case 3:
      format::WriteFree(sink, {" y [ x(A) + (1-x)(B) ] + (1-y) (C) + D + ..."});
      format::WriteFree(sink, {"Where, x and y are coefficients and"});
      break;
    default:
      break;
  }
  // `NTERM` is bounded by the record's capacity; clamp so a stale count
  // cannot index past the labels.
  const int nterm = m.NTERM < MAXTERM ? m.NTERM : MAXTERM;
  for (int k = 1; k <= nterm; ++k) DescribeTerm(m, sink, k);
  format::WriteFree(sink, {GFitted(m.GVAL) ? "g-value varied" : "g-value fixed"});
}

}  // namespace model
