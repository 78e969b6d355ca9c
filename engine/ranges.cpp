// The default range of each kind of parameter, by its name: where the
// global search spreads its starts, and the typical size that sets the
// difference steps. docs/model-format.md has the table.
#include <cmath>
#include <string>

#include "engine/internal.h"

namespace engine {
namespace {

using fit::Spacing;

// Matched in order: the first whose prefix begins the name.
const ParameterKind kKinds[] = {
    {"g-value", "g", {1.0, 3.0, Spacing::kLinear, 1.0}, 1.0},
    {"COEFF", "coefficient (fraction)", {0.0, 1.0, Spacing::kLinear, 1.0}, 1.0},
    {"ALFA", "alternation", {0.0, 1.0, Spacing::kLinear, 1.0}, 1.0},
    {"THETA", "Weiss temperature THETA (K)", {-100.0, 100.0, Spacing::kAsinh, 1.0}, 1.0},
    {"Z*JP", "intermolecular Z*JP (cm-1)", {-50.0, 50.0, Spacing::kAsinh, 0.1}, 1.0},
    {"DIM", "constant (cm3/mol)", {-0.01, 0.01, Spacing::kAsinh, 1.0E-5}, 1.0E-4},
    {"D-", "zero-field splitting D (cm-1)", {-100.0, 100.0, Spacing::kAsinh, 1.0}, 1.0},
    {"J", "exchange constant (cm-1)", {-1000.0, 1000.0, Spacing::kAsinh, 1.0}, 10.0},
};
const ParameterKind kOther = {"", "other", {-100.0, 100.0, Spacing::kAsinh, 1.0}, 1.0};

}  // namespace

const ParameterKind& KindOf(const std::string& name) {
  for (const ParameterKind& k : kKinds) {
    if (name.rfind(k.prefix, 0) == 0) return k;
  }
  return kOther;
}

double TypicalSize(const std::string& name, double start, double step) {
  return std::fmax(std::fmax(std::fabs(start), 100.0 * std::fabs(step)),
                   0.01 * KindOf(name).typical);
}

}  // namespace engine
