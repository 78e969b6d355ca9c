// Timings of what follows a fit of expression 24 over 300 points: the whole
// report (console summary and SUSCEP.OUT with its 301-point curve and
// tables) with SUSCEP.JSON, the same with its statistics and the check of
// the minimum made first, and a whole HP-GL plot (the calculated curve, SUSCEP.HGL and the
// SVG picture). The files go to a temporary directory; the console goes
// nowhere.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_util.h"
#include "driver/session.h"
#include "expressions/expressions.h"
#include "format/console.h"
#include "plot/plot.h"
#include "tests/test_util.h"

namespace {

using bench_util::kPoints;

// A session just after a fit of expression 24 with g fitted, over 300
// synthetic points, its files in a directory of its own.
struct FittedSession : bench_util::QuietConsole {
  driver::Session s{console};
  std::filesystem::path dir;
  driver::FitAnalysis found;

  FittedSession() {
    char tmpl[] = "/tmp/suscep_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    s.report_path = (dir / "SUSCEP.OUT").string();
    s.plot_path = (dir / "SUSCEP.HGL").string();
    s.result_path = (dir / "SUSCEP.JSON").string();
    s.data_name = "bench.dat";

    s.fm = test_util::Expression24();
    const double fitted[] = {2.1, -140.0, 0.98};
    for (int j = 0; j < 3; ++j) {
      s.fm.PVAL[j] = fitted[j];
      s.fc.PFIT[j] = fitted[j];
      s.fc.PSTART[j] = 0.97 * fitted[j];
      s.fc.PSTEP0[j] = 0.01 * fitted[j];
      s.fc.SIGMA[j] = 1.0E-3 * std::fabs(fitted[j]);
    }

    s.ev = driver::BoundEvaluation(s);  // the model alone, to make the data
    driver::DataSet& d = s.data;
    d.NDATA = kPoints;
    for (int i = 0; i < kPoints; ++i) {
      d.T[i] = bench_util::Temperature(i);
      d.XRAW[i] = bench_util::Observed(s.ev, fitted, i);
    }
    engine::ApplyCorrections(d, 0.0, 0.0, 1.0);
    s.ev = driver::BoundEvaluation(s);
    s.fc.LSERR = expressions::Objective(s.ev, fitted);
    s.last_fit.fitted = true;
    s.last_fit.budget = 200;
    found = driver::AnalyseFit(s);
  }
  ~FittedSession() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // The report and SUSCEP.JSON, with the statistics found once.
  void Report() {
    Answer("\n");  // the pause before the table of differences
    driver::WriteReport(s, found);
  }
};

void BM_ReportDefault(benchmark::State& state) {
  FittedSession f;
  for (auto _ : state) f.Report();
}
BENCHMARK(BM_ReportDefault)->Unit(benchmark::kMicrosecond);

// The report as the driver writes it after a fit: the statistics and the
// check of the minimum first.
void BM_ReportWithResults(benchmark::State& state) {
  FittedSession f;
  for (auto _ : state) {
    f.found = driver::AnalyseFit(f.s);
    f.Report();
  }
}
BENCHMARK(BM_ReportWithResults)->Unit(benchmark::kMicrosecond);

// SUSCEP.JSON alone, its data and curve evaluated on a copy of the state the
// report leaves; with argument 1 each document has temperatures other than
// the last one's.
void BM_ResultDocument(benchmark::State& state) {
  FittedSession f;
  const double first = f.s.data.T[0];
  int n = 0;
  for (auto _ : state) {
    if (state.range(0) != 0) f.s.data.T[0] = first + 1.0E-3 * (++n % 2);
    expressions::Evaluation e = f.s.ev;
    e.console = nullptr;
    benchmark::DoNotOptimize(driver::ResultText(f.s, e, f.found));
  }
}
BENCHMARK(BM_ResultDocument)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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
