// What the benchmark programs share: a console that goes nowhere and the
// synthetic data they fit.
#ifndef SUSCEP_BENCH_BENCH_UTIL_H_
#define SUSCEP_BENCH_BENCH_UTIL_H_

#include <cmath>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "expressions/expressions.h"
#include "format/console.h"

namespace bench_util {

// Accepts and drops everything, so the progress lines are rendered in full
// but cost nothing to write.
class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// A console whose output goes nowhere and whose answers are set by Answer.
struct QuietConsole {
  NullBuf buf;
  std::ostream out{&buf};
  std::istringstream in;
  format::Console console{in, out};

  // The answers the next step reads.
  void Answer(const std::string& lines) {
    in.clear();
    in.str(lines);
  }
};

constexpr int kPoints = 300;

// The temperature of synthetic point i.
inline double Temperature(int i) { return 2.0 + i; }

// The model at `truth` at point i, with a small ripple.
inline double Observed(expressions::Evaluation& e, const double* truth, int i) {
  return expressions::Evaluate(e, truth, Temperature(i)) * (1.0 + 0.01 * std::sin(0.7 * i));
}

// The 300 synthetic points of the model `e` is bound to at `truth`, in `T`
// and `XOBS`, with `e` pointed at them.
inline void MakePoints(expressions::Evaluation& e, const double* truth, std::vector<double>& T,
                       std::vector<double>& XOBS) {
  for (int i = 0; i < kPoints; ++i) {
    T.push_back(Temperature(i));
    XOBS.push_back(Observed(e, truth, i));
  }
  e.NDATA = kPoints;
  e.T = T.data();
  e.XOBS = XOBS.data();
  e.SXOBS2 = 0.0;
  for (double x : XOBS) e.SXOBS2 += x * x;
}

}  // namespace bench_util

#endif  // SUSCEP_BENCH_BENCH_UTIL_H_
