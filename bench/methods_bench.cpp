// Whole fits through the engine, as `suscep fit` and the Python module make
// them: expression 24 on the 300 synthetic points, from a start away from the
// data's parameters, by each method; no report and no result document.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/engine.h"

namespace {

const char* const kMethodNames[] = {"simplex", "lm", "global"};

// chi of expression 24 at g 2.1, J -140, x 0.98 with a 1 % ripple, as
// bench/lmfit_fit.py makes it.
engine::Data Points(const engine::Model& model) {
  engine::Data data;
  data.file = "synthetic";
  for (int i = 0; i < 300; ++i) data.temperature.push_back(2.0 + i);
  data.chi = model.Evaluate(data.temperature, {2.1, -140.0, 0.98});
  for (int i = 0; i < 300; ++i) data.chi[i] *= 1.0 + 0.01 * std::sin(0.7 * i);
  return data;
}

void BM_EngineFit(benchmark::State& state) {
  engine::ModelDescription d = engine::Template(24);
  d.terms = {{}, {}};
  d.terms[0].function = 4;
  d.terms[1].function = 1;
  d.terms[1].S = 0.5;
  const std::vector<double> start = {2.0, -120.0, 0.95};
  d.parameters.clear();
  const engine::Model plain(d);
  for (std::size_t j = 0; j < start.size(); ++j) {
    engine::ParameterDescription p;
    p.name = plain.parameter_names()[j];
    p.start = start[j];
    d.parameters.push_back(p);
  }
  d.fit.method = kMethodNames[state.range(0)];
  const engine::Model model(d);
  const engine::Data data = Points(model);
  engine::FitOptions options;
  options.report = false;
  options.document = false;
  options.curves = false;
  int evaluations = 0;
  for (auto _ : state) {
    engine::FitResult r = engine::Fit(model, data, options);
    evaluations = r.evaluations;
    benchmark::DoNotOptimize(r.values.data());
  }
  state.SetLabel(kMethodNames[state.range(0)]);
  state.counters["evaluations"] = evaluations;
}
BENCHMARK(BM_EngineFit)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
