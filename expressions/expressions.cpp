// Model preparation, evaluation of the fit model and the L.S. error.
#include "expressions/expressions.h"

#include <cstring>
#include <vector>

#include "expressions/terms.h"
#include "format/console.h"

namespace expressions {

namespace {

constexpr char kProgressLine[] = "(I5,(7F10.4))";

// Physical constants; the first three are single-precision literals.
constexpr double kHCK = static_cast<double>(1.4387676f);
constexpr double kNB2K = static_cast<double>(0.37514585f);
constexpr double kRNB2 = static_cast<double>(3.8352218f);
constexpr double kBK = 6.7170918E-05;
constexpr double kNB = 5584.9447;

// Points evaluated together, term by term.
constexpr int kBlock = 64;

// Takes the place of the console while the terms are evaluated ahead of
// their turn: notes that a warning was due and drops it.
class HeldWarnings : public format::RecordSink {
 public:
  void Record(std::string_view) override { raised_ = true; }
  bool raised() const { return raised_; }

 private:
  bool raised_ = false;
};

// The fit model for one parameter vector: everything that does not depend on
// the temperature (the constants of the g in force, each term's plan, the
// factors of the equation type) worked out once, so that a point costs only
// what depends on its temperature.
class Plan {
 public:
  Plan(const Evaluation& e, const double* P) : TIPADD_(e.TIPADD) {
    const model::FitModel& m = *e.model;
    c_ = ConstantsOf(e);
    int K = 0;
    if (model::GFitted(m.GVAL)) {
      K = 1;
      c_.CG2 = P[0] * P[0] * e.NB2K;
      c_.RG2 = e.RNB2 / P[0] / P[0];
      c_.GBK = P[0] * e.BK;
      c_.GNB = P[0] * e.NB;
    }
    nterm_ = m.NTERM < model::MAXTERM ? m.NTERM : model::MAXTERM;
    for (double& f : scale_) f = 1.0;
    for (int k = 1; k <= nterm_; ++k) terms_[k - 1] = TermPlan::For(c_, m, k, P, K);

    // The first two (ITYPE 2) or three (ITYPE 3) term values are scaled,
    // whether the model has those terms or not.
    const int NPAR = m.NPAR;
    if (m.ITYPE == 2) {
      const double x = P[NPAR - 1];
      scaled_ = 2;
      scale_[0] = x;
      scale_[1] = 1.0 - x;
    } else if (m.ITYPE == 3) {
      const double x = P[NPAR - 2];
      const double y = P[NPAR - 1];
      scaled_ = 3;
      scale_[0] = x * y;
      scale_[1] = (1.0 - x) * y;
      scale_[2] = 1.0 - y;
    }
  }

  // At through `cache`, for a console-less evaluation of a model without a
  // zero-field term: each term's values unscaled (a factor 1 is exact), so
  // that scaling them here gives the bits of a term scaled as it is worked
  // out; the sums then as At forms them.
  void At(const double* T, int n, std::array<double, model::MAXTERM>& TV, double* calc,
          TermCache::State& cache) const;

  bool HasZeroField() const {
    for (int k = 0; k < nterm_; ++k) {
      if (terms_[k].kind == TermPlan::Kind::kZeroField) return true;
    }
    return false;
  }

  // The calculated susceptibility at T; TV holds the term values of the
  // point before and receives those of this one.
  double At(double T, std::array<double, model::MAXTERM>& TV) const {
    double sum = 0.0;
    for (int k = 0; k < nterm_; ++k) {
      double v = 0.0;
      terms_[k].At(c_, &T, 1, scale_[k], TV[k], &v);
      sum = sum + v;
    }
    for (int k = nterm_; k < scaled_; ++k) TV[k] = scale_[k] * TV[k];
    return TIPADD_ + sum;
  }

  // At for the n (at most kBlock) temperatures T[0..n-1] into calc[0..n-1],
  // term by term. A term's value depends only on its own value at the point
  // before, so the order changes no value; only exponent warnings would come
  // out in another order, so when one is due the block is done again point
  // by point.
  void At(const double* T, int n, std::array<double, model::MAXTERM>& TV, double* calc) const {
    const std::array<double, model::MAXTERM> before = TV;
    HeldWarnings held;
    Constants quiet = c_;
    if (quiet.console != nullptr) quiet.console = &held;
    double values[model::MAXTERM][kBlock];
    for (int k = 0; k < nterm_; ++k) terms_[k].At(quiet, T, n, scale_[k], TV[k], values[k]);
    if (held.raised()) {
      TV = before;
      for (int i = 0; i < n; ++i) calc[i] = At(T[i], TV);
      return;
    }
    for (int k = nterm_; k < scaled_; ++k) {
      for (int i = 0; i < n; ++i) TV[k] = scale_[k] * TV[k];
    }
    if (nterm_ == 0) {
      for (int i = 0; i < n; ++i) calc[i] = TIPADD_ + 0.0;
      return;
    }
    // The sums in calc, from 0.0 up as At forms them.
    for (int i = 0; i < n; ++i) calc[i] = 0.0 + values[0][i];
    for (int k = 1; k < nterm_; ++k) {
      for (int i = 0; i < n; ++i) calc[i] = calc[i] + values[k][i];
    }
    for (int i = 0; i < n; ++i) calc[i] = TIPADD_ + calc[i];
  }

  // Each term's values at the n (at most kBlock) temperatures T[0..n-1]:
  // term k's into out[k * stride ...].
  void Terms(const double* T, int n, std::array<double, model::MAXTERM>& TV, double* out,
             int stride) const {
    for (int k = 0; k < nterm_; ++k) terms_[k].At(c_, T, n, scale_[k], TV[k], out + k * stride);
  }

 private:
  Constants c_;
  double TIPADD_;
  int nterm_ = 0;
  int scaled_ = 0;
  double scale_[model::MAXTERM];
  TermPlan terms_[model::MAXTERM];
};

}  // namespace

ProgressLine::ProgressLine() : layout_(kProgressLine) {}

void ProgressLine::Write(format::RecordSink& sink, int NCALL, const double* P, int NPAR,
                         double error) {
  items_.clear();
  items_.emplace_back(NCALL);
  for (int j = 0; j < NPAR; ++j) items_.emplace_back(P[j]);
  items_.emplace_back(error);
  format::Write(sink, layout_, items_);
}

void SetConstants(Evaluation& e) {
  e.HCK = kHCK;
  e.NB2K = kNB2K;
  e.RNB2 = kRNB2;
  e.BK = kBK;
  e.NB = kNB;
  const double g = e.model->GVAL;
  if (!model::GFitted(g)) {
    e.CG2 = e.NB2K * g * g;
    e.RG2 = e.RNB2 / g / g;
    e.GBK = g * e.BK;
    e.GNB = g * e.NB;
  }
}

double Evaluate(Evaluation& e, const double* P, double T) { return Plan(e, P).At(T, e.TV); }

void EvaluateAll(Evaluation& e, const double* P, const double* T, int n, double* calc) {
  const Plan plan(e, P);
  for (int first = 0; first < n; first += kBlock) {
    plan.At(T + first, n - first < kBlock ? n - first : kBlock, e.TV, calc + first);
  }
}

void EvaluateTerms(Evaluation& e, const double* P, const double* T, int n, double* terms) {
  const Plan plan(e, P);
  for (int first = 0; first < n; first += kBlock) {
    plan.Terms(T + first, n - first < kBlock ? n - first : kBlock, e.TV, terms + first, n);
  }
}

struct TermCache::State {
  std::vector<double> T;  // the temperatures
  Constants c{};          // the constants the values were worked out with
  int known = 0;          // terms with values
  TermPlan plans[model::MAXTERM];
  std::vector<double> values[model::MAXTERM];
};

TermCache::TermCache() : state_(std::make_unique<State>()) {}
TermCache::~TermCache() = default;
TermCache::TermCache(const TermCache&) : TermCache() {}
TermCache& TermCache::operator=(const TermCache& other) {
  if (this != &other) state_ = std::make_unique<State>();
  return *this;
}

void Plan::At(const double* T, int n, std::array<double, model::MAXTERM>& TV, double* calc,
              TermCache::State& cache) const {
  const auto bytes = static_cast<std::size_t>(n) * sizeof(double);
  if (cache.T.size() != static_cast<std::size_t>(n) || std::memcmp(cache.T.data(), T, bytes) != 0) {
    cache.T.assign(T, T + n);
    cache.known = 0;
  }
  // Same bytes, same plan: the same operations on the same numbers.
  const bool same_constants = std::memcmp(&cache.c, &c_, sizeof c_) == 0;
  for (int k = 0; k < nterm_; ++k) {
    std::vector<double>& values = cache.values[k];
    if (same_constants && k < cache.known &&
        std::memcmp(&cache.plans[k], &terms_[k], sizeof(TermPlan)) == 0) {
      continue;
    }
    values.resize(static_cast<std::size_t>(n));
    double last = TV[k];
    terms_[k].At(c_, T, n, 1.0, last, values.data());
    cache.plans[k] = terms_[k];
  }
  cache.c = c_;
  cache.known = nterm_;
  for (int k = 0; k < nterm_; ++k) TV[k] = scale_[k] * cache.values[k][n - 1];
  for (int k = nterm_; k < scaled_; ++k) {
    for (int i = 0; i < n; ++i) TV[k] = scale_[k] * TV[k];
  }
  if (nterm_ == 0) {
    for (int i = 0; i < n; ++i) calc[i] = TIPADD_ + 0.0;
    return;
  }
  const double* first = cache.values[0].data();
  for (int i = 0; i < n; ++i) calc[i] = 0.0 + scale_[0] * first[i];
  for (int k = 1; k < nterm_; ++k) {
    const double* v = cache.values[k].data();
    for (int i = 0; i < n; ++i) calc[i] = calc[i] + scale_[k] * v[i];
  }
  for (int i = 0; i < n; ++i) calc[i] = TIPADD_ + calc[i];
}

void EvaluateAll(Evaluation& e, const double* P, const double* T, int n, double* calc,
                 TermCache& cache) {
  const Plan plan(e, P);
  if (e.console != nullptr || n <= 0 || plan.HasZeroField()) {
    cache.state_->known = 0;
    for (int first = 0; first < n; first += kBlock) {
      plan.At(T + first, n - first < kBlock ? n - first : kBlock, e.TV, calc + first);
    }
    return;
  }
  plan.At(T, n, e.TV, calc, *cache.state_);
}

bool CarriesState(const Evaluation& e, const double* P) { return Plan(e, P).HasZeroField(); }

double Objective(Evaluation& e, const double* P) {
  e.NCALL = e.NCALL + 1;
  const Plan plan(e, P);
  double S = 0.0;
  double calc[kBlock];
  for (int first = 0; first < e.NDATA; first += kBlock) {
    const int n = e.NDATA - first < kBlock ? e.NDATA - first : kBlock;
    plan.At(e.T + first, n, e.TV, calc);
    for (int i = 0; i < n; ++i) {
      const double r = e.XOBS[first + i] - calc[i];
      S = S + r * r;
    }
  }
  const double error = S / e.SXOBS2;
  if (e.console != nullptr) e.progress.Write(*e.console, e.NCALL, P, e.model->NPAR, error);
  return error;
}

}  // namespace expressions
