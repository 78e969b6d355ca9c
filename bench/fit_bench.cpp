// Timings of the L.S. error over 300 points (progress line included) and of a
// whole fit of the default model, with the console going nowhere.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_util.h"
#include "expressions/expressions.h"
#include "fit/fit.h"
#include "format/console.h"
#include "model/model.h"
#include "tests/test_util.h"

namespace {

using bench_util::kPoints;

// One model, 300 synthetic points made from `truth` with a small ripple, and
// the evaluation state pointed at them.
struct Setup : bench_util::QuietConsole {
  model::FitModel m;
  std::vector<double> T, XOBS;
  expressions::Evaluation e;

  Setup(const model::FitModel& model, const std::vector<double>& truth) : m(model) {
    e.model = &m;
    e.console = &console;
    expressions::SetConstants(e);
    e.TIPADD = 0.0;
    bench_util::MakePoints(e, truth.data(), T, XOBS);
  }
};

// One term of `function` (9: `other` chooses which) of spins `spin`, with
// `parameters` parameters: g and the exchange constants.
model::FitModel OneTerm(int function, int other, int parameters, double spin = 0.0) {
  model::FitModel m;
  m.ITYPE = 1;
  m.NTERM = 1;
  m.IFN[0] = function;
  m.IOTHER[0] = other;
  m.S1[0] = spin;
  m.S2[0] = spin;
  m.NPAR = parameters;
  return m;
}

void RunObjective(benchmark::State& state, const model::FitModel& m, std::vector<double> p) {
  Setup s(m, p);
  p[1] *= 1.01;  // not the exact data-generating point
  for (auto _ : state) {
    benchmark::DoNotOptimize(expressions::Objective(s.e, p.data()));
  }
  state.counters["points"] = kPoints;
}

void BM_ObjectiveDefault(benchmark::State& state) {
  RunObjective(state, test_util::Expression24(), {2.1, -140.0, 0.98});
}
BENCHMARK(BM_ObjectiveDefault)->Unit(benchmark::kMicrosecond);

// The same without a console: no progress line is rendered.
void BM_ObjectiveDefaultQuiet(benchmark::State& state) {
  Setup s(test_util::Expression24(), {2.1, -140.0, 0.98});
  s.e.console = nullptr;
  const double p[] = {2.1, -140.0 * 1.01, 0.98};
  for (auto _ : state) {
    benchmark::DoNotOptimize(expressions::Objective(s.e, p));
  }
}
BENCHMARK(BM_ObjectiveDefaultQuiet)->Unit(benchmark::kMicrosecond);

void BM_ObjectiveDimer52(benchmark::State& state) {
  RunObjective(state, OneTerm(8, 0, 2, 2.5), {2.0, -10.0});  // g, J-Dimer
}
BENCHMARK(BM_ObjectiveDimer52)->Unit(benchmark::kMicrosecond);

void BM_ObjectiveTetramer(benchmark::State& state) {
  RunObjective(state, OneTerm(9, 3, 5), {2.0, -100.0, -50.0, -20.0, -10.0});  // g, J1..J4
}
BENCHMARK(BM_ObjectiveTetramer)->Unit(benchmark::kMicrosecond);

// What the driver does for one fit: Minimise from a start away from the
// data's parameters with steps of one hundredth, then EstimateSigma.
void BM_FitDefault(benchmark::State& state) {
  Setup s(test_util::Expression24(), {2.1, -140.0, 0.98});
  std::int64_t calls = 0;
  int sigflag = 0;
  for (auto _ : state) {
    double PVAL[3] = {2.0, -120.0, 0.95}, PSTEP[3], PFIT[3], SIGMA[3], LSERR = 0.0;
    for (int j = 0; j < 3; ++j) PSTEP[j] = 0.01 * PVAL[j];
    fit::SimplexStore store;
    s.e.NCALL = 0;
    const fit::ObjectiveFn objective = [&s](const double* p) {
      return expressions::Objective(s.e, p);
    };
    int NITER = 200;
    fit::Minimise(objective, store, 3, PVAL, PFIT, LSERR, 1.0E-16, PSTEP, 1, NITER);
    fit::EstimateSigma(objective, store, PFIT, SIGMA, 3, kPoints, sigflag);
    benchmark::DoNotOptimize(PFIT);
    calls += s.e.NCALL;
  }
  state.counters["objective_calls"] =
      benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
  state.counters["sigflag"] = sigflag;
}
BENCHMARK(BM_FitDefault)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
