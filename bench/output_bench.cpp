// Timings of what follows a fit of the default model over 300 points: the
// whole report (console summary and SUSCEP.OUT with its 301-point curve and
// tables) and a whole HP-GL plot (the calculated curve, SUSCEP.HGL and the
// SVG picture). The files go to a temporary directory; the console goes
// nowhere.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>

#include "driver/session.h"
#include "expressions/expressions.h"
#include "format/console.h"
#include "model/model.h"
#include "plot/plot.h"

namespace {

class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

constexpr int kPoints = 300;

// A session just after a fit of expression 24 with g fitted, over 300
// synthetic points, its files in a directory of its own.
struct FittedSession {
  NullBuf buf;
  std::ostream out{&buf};
  std::istringstream in;
  format::Console console{in, out};
  driver::Session s{console};
  std::filesystem::path dir;

  FittedSession() {
    char tmpl[] = "/tmp/suscep_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    s.report_path = (dir / "SUSCEP.OUT").string();
    s.plot_path = (dir / "SUSCEP.HGL").string();

    model::FitModel& m = s.fm;
    m.GVAL = 0.0;
    m.ITYPE = 2;
    m.NTERM = 2;
    m.IFN[0] = 4;
    m.IFN[1] = 1;
    m.S1[1] = 0.5;
    m.NPAR = 3;
    const char* names[] = {"g-value ", "J-BB    ", "COEFF1  "};
    const double fitted[] = {2.1, -140.0, 0.98};
    for (int j = 0; j < 3; ++j) {
      m.PNAME[j] = names[j];
      m.PVAL[j] = fitted[j];
      s.fc.PFIT[j] = fitted[j];
      s.fc.PSTART[j] = 0.97 * fitted[j];
      s.fc.PSTEP0[j] = 0.01 * fitted[j];
      s.fc.SIGMA[j] = 1.0E-3 * std::fabs(fitted[j]);
    }

    expressions::Evaluation& e = s.ev;
    e.model = &m;
    e.console = &console;
    expressions::SetConstants(e);
    driver::DataSet& d = s.data;
    d.NDATA = kPoints;
    for (int i = 0; i < kPoints; ++i) {
      d.T[i] = 2.0 + i;
      d.XRAW[i] = expressions::Evaluate(e, fitted, d.T[i]) * (1.0 + 0.01 * std::sin(0.7 * i));
    }
    driver::ApplyCorrections(d, 0.0, 0.0, 1.0);
    e.NDATA = d.NDATA;
    e.T = d.T.data();
    e.XOBS = d.XOBS.data();
    e.SXOBS2 = d.SXOBS2;
    e.TIPADD = d.TIPADD;
    s.fc.LSERR = expressions::Objective(e, fitted);
  }
  ~FittedSession() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // The answers the next step reads.
  void Answer(const std::string& lines) {
    in.clear();
    in.str(lines);
  }
};

void BM_ReportDefault(benchmark::State& state) {
  FittedSession f;
  for (auto _ : state) {
    f.Answer("\n");  // the pause before the table of differences
    driver::WriteReport(f.s);
  }
}
BENCHMARK(BM_ReportDefault)->Unit(benchmark::kMicrosecond);

// What the driver does for plot type 3: the curve at the plot temperatures,
// the plot quantities, the range dialogue, SUSCEP.HGL and SUSCEP.SVG.
void BM_PlotHpglDefault(benchmark::State& state) {
  FittedSession f;
  plot::PlotState& ps = f.s.ps;
  ps.IPLOT = 1;
  ps.IPTYPE = 3;
  plot::PrepareAbscissae(ps, f.s.data.T.data(), f.s.data.NDATA);
  for (auto _ : state) {
    for (int i = 0; i < ps.NCAL; ++i) {
      ps.CHICAL[i] = expressions::Evaluate(f.s.ev, f.s.fc.PFIT.data(), ps.TCAL[i]);
    }
    plot::PrepareOrdinates(ps, f.s.data.T.data(), f.s.data.XOBS.data(), f.s.data.NDATA);
    f.Answer("0 300 50\n0 0.002 0.001\n");
    plot::HpglPlot(ps, f.console, f.s.plot_path);
  }
}
BENCHMARK(BM_PlotHpglDefault)->Unit(benchmark::kMicrosecond);

}  // namespace
