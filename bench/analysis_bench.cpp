// Timings of what SUSCEP.JSON adds to a report: the statistics at the fitted
// values and the check of the minimum, on 300 points, for the default model
// and for a heavy one (ten dimer terms of S1 = S2 = 20).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/analysis.h"
#include "bench/bench_util.h"
#include "expressions/expressions.h"
#include "fit/fit.h"
#include "model/model.h"
#include "tests/test_util.h"

namespace {

using bench_util::kPoints;

// 300 synthetic points of `m` at `truth`, and the residual problem the
// driver builds for them, with no console and every evaluation counted.
struct Analysed {
  model::FitModel m;
  std::vector<double> T, XOBS;
  expressions::Evaluation e;
  std::int64_t evaluations = 0;
  analysis::Problem problem;

  Analysed(const model::FitModel& model, const std::vector<double>& truth) : m(model) {
    e.model = &m;
    expressions::SetConstants(e);
    bench_util::MakePoints(e, truth.data(), T, XOBS);
    problem.model_size = std::sqrt(e.SXOBS2);
    problem.points = kPoints;
    problem.residuals = [this](const double* p, double* r) {
      ++evaluations;
      expressions::EvaluateAll(e, p, e.T, e.NDATA, r);
      for (int i = 0; i < e.NDATA; ++i) r[i] = e.XOBS[i] - r[i];
    };
    for (double v : truth) problem.scale.push_back(std::fabs(v));
  }
};

model::FitModel HeavyModel() {
  model::FitModel m;
  m.ITYPE = 1;
  m.NTERM = 10;
  m.NPAR = 1 + 10;  // g, ten J-Dimer
  for (int k = 0; k < 10; ++k) {
    m.IFN[k] = 8;
    m.S1[k] = 20.0;
    m.S2[k] = 20.0;
  }
  return m;
}

std::vector<double> HeavyTruth() {
  std::vector<double> p = {2.0};
  for (int k = 0; k < 10; ++k) p.push_back(-0.2 * (k + 1));
  return p;
}

// Where a fit of 200 evaluations from a start 10 % off the data's
// parameters, with steps of one hundredth, ends.
std::vector<double> FitEnd(Analysed& a, const std::vector<double>& truth) {
  const int n = static_cast<int>(truth.size());
  std::vector<double> start, step, best(n);
  for (double v : truth) {
    start.push_back(1.1 * v);
    step.push_back(0.011 * v);
  }
  fit::SimplexStore store;
  const fit::ObjectiveFn objective = [&a](const double* p) {
    return expressions::Objective(a.e, p);
  };
  double lserr = 0.0;
  int budget = 200;
  fit::Minimise(objective, store, n, start.data(), best.data(), lserr, 1.0E-16, step.data(), 1,
                budget);
  return best;
}

// The statistics at a point and the check of the minimum from there, as the
// driver makes them: a point a little off the data's parameters, or where a
// fit ends.
void RunAnalysis(benchmark::State& state, const model::FitModel& m,
                 const std::vector<double>& truth, bool after_fit = false) {
  Analysed a(m, truth);
  std::vector<double> p = truth;
  p[1] *= 1.01;
  if (after_fit) p = FitEnd(a, truth);
  a.evaluations = 0;
  int iterations = 0;
  for (auto _ : state) {
    const analysis::Statistics st = analysis::Analyse(a.problem, p);
    const analysis::MinimumCheck check = analysis::CheckMinimum(a.problem, p, st);
    iterations = check.iterations;
    benchmark::DoNotOptimize(check);
  }
  state.counters["check_iterations"] = iterations;
  state.counters["evaluations"] =
      benchmark::Counter(static_cast<double>(a.evaluations), benchmark::Counter::kAvgIterations);
}

void BM_AnalysisDefault(benchmark::State& state) {
  RunAnalysis(state, test_util::Expression24(), {2.1, -140.0, 0.98});
}
BENCHMARK(BM_AnalysisDefault)->Unit(benchmark::kMillisecond);

void BM_AnalysisHeavy(benchmark::State& state) { RunAnalysis(state, HeavyModel(), HeavyTruth()); }
BENCHMARK(BM_AnalysisHeavy)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AnalysisHeavyAfterFit(benchmark::State& state) {
  RunAnalysis(state, HeavyModel(), HeavyTruth(), true);
}
BENCHMARK(BM_AnalysisHeavyAfterFit)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AnalysisDefaultAfterFit(benchmark::State& state) {
  RunAnalysis(state, test_util::Expression24(), {2.1, -140.0, 0.98}, true);
}
BENCHMARK(BM_AnalysisDefaultAfterFit)->Unit(benchmark::kMillisecond);

// One evaluation of the heavy model, for scale.
void BM_EvaluationHeavy(benchmark::State& state) {
  Analysed a(HeavyModel(), HeavyTruth());
  std::vector<double> p = HeavyTruth(), r(kPoints);
  for (auto _ : state) {
    a.problem.residuals(p.data(), r.data());
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_EvaluationHeavy)->Unit(benchmark::kMicrosecond);

}  // namespace
