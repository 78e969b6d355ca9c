// A whole report of expression 24 on 300 points, with and without the result
// file and its analysis (statistics and the check of the minimum).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>

#include "driver/session.h"

namespace {

class DropBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// A session just after a fit of x (Bleaney-Bower) + (1-x) Curie, g fitted,
// to 300 points made from it with a small ripple.
struct Reported {
  DropBuf buf;
  std::ostream out{&buf};
  std::istringstream in;
  format::Console con{in, out};
  driver::Session s{con};

  Reported() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    s.report_path = (dir / "suscep_bench.out").string();
    s.result_path = (dir / "suscep_bench.json").string();
    s.data_name = "bench.dat";
    model::FitModel& m = s.fm;
    m.ITYPE = 2;
    m.NTERM = 2;
    m.IFN[0] = 4;
    m.IFN[1] = 1;
    m.S1[1] = 0.5;
    m.NPAR = 3;
    m.PNAME = {"g-value ", "J-BB    ", "COEFF1  "};
    s.ev.model = &m;
    expressions::SetConstants(s.ev);
    const double truth[3] = {2.1, -140.0, 0.98};
    driver::DataSet& d = s.data;
    d.NDATA = 300;
    for (int i = 0; i < d.NDATA; ++i) {
      d.T[i] = 2.0 + i;
      d.XRAW[i] = expressions::Evaluate(s.ev, truth, d.T[i]) * (1.0 + 0.01 * std::sin(0.7 * i));
    }
    driver::ApplyCorrections(d, 0.0, 0.0, 1.0);
    s.ev.NDATA = d.NDATA;
    s.ev.T = d.T.data();
    s.ev.XOBS = d.XOBS.data();
    s.ev.SXOBS2 = d.SXOBS2;
    s.ev.TIPADD = d.TIPADD;
    for (int j = 0; j < 3; ++j) {
      s.fc.PFIT[j] = truth[j] * (1.0 + 1.0E-4);
      s.fc.PSTART[j] = truth[j] * 0.95;
      s.fc.PSTEP0[j] = 0.01 * s.fc.PSTART[j];
      s.fc.SIGMA[j] = 1.0E-3;
    }
    s.fc.LSERR = expressions::Objective(s.ev, s.fc.PFIT.data());
    s.last_fit.fitted = true;
    s.last_fit.budget = 200;
  }
  ~Reported() {
    std::error_code ec;
    std::filesystem::remove(s.report_path, ec);
    std::filesystem::remove(s.result_path, ec);
  }
  void Report() {
    in.clear();
    in.str("\n");  // the report's pause
    driver::WriteReport(s);
  }
};

void BM_ReportAlone(benchmark::State& state) {
  Reported r;
  for (auto _ : state) r.Report();
}
BENCHMARK(BM_ReportAlone)->Unit(benchmark::kMillisecond);

void BM_ReportWithResults(benchmark::State& state) {
  Reported r;
  for (auto _ : state) {
    r.Report();
    driver::WriteResults(r.s);
  }
}
BENCHMARK(BM_ReportWithResults)->Unit(benchmark::kMillisecond);

}  // namespace
