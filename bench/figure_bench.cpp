// The figure: one fit's SVG (data, dense curve, residuals, values), and the
// overview of many fits.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/engine.h"

namespace {

engine::FitResult Dnit2() {
  engine::ModelDescription d = engine::Template(24);
  d.corrections.factor = 0.5;
  engine::FitOptions o;
  o.report = false;
  return engine::Fit(d, engine::ReadData(SUSCEP_SOURCE_DIR "/examples/dnit2.dat"), o);
}

void BM_FigureOfAFit(benchmark::State& state) {
  const engine::FitResult r = Dnit2();
  engine::FigureOptions o;
  o.residuals = true;
  for (auto _ : state) benchmark::DoNotOptimize(engine::Figure(r, o));
}
BENCHMARK(BM_FigureOfAFit)->Unit(benchmark::kMicrosecond);

void BM_OverviewOf100Fits(benchmark::State& state) {
  const engine::FitResult r = Dnit2();
  const std::vector<const engine::FitResult*> many(100, &r);
  for (auto _ : state) benchmark::DoNotOptimize(engine::Overview(many));
}
BENCHMARK(BM_OverviewOf100Fits)->Unit(benchmark::kMillisecond);

}  // namespace
