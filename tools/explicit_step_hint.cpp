// The hint tarn-sim gives when a run of an explicit fixed-step method fails on the stiff model:
// the step the method needs, from the fastest mode of the states' Jacobian at the start of the
// run.
#include "explicit_step_hint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "symbol_catalog.h"
#include "tarn/tarn.h"

namespace tarn::sim {
namespace {

// Explicit fixed-step methods: code, name, and the length of the stability interval on the
// negative real axis (Hairer and Wanner, Solving ODEs II, IV.2): a step h is stable on a decay
// rate r only when h r stays below it.
struct ExplicitMethod {
  int32_t code;
  const char* name;
  double stability;
};
constexpr std::array<ExplicitMethod, 4> kExplicitMethods{
    {{3, "Euler", 2.0}, {4, "RK2", 2.0}, {5, "RK4", 2.785}, {13, "AB2", 1.0}}};
constexpr double kDifferenceQuotientStep = 1e-7;  // relative perturbation of a state
constexpr uint32_t kDerivativeSection = 500;      // the model's derivative section
constexpr int kPowerIterations = 300;

// The largest eigenvalue magnitude (per hour) of the states' Jacobian at the present state: a
// forward difference-quotient Jacobian of the derivative section, then power iteration.
double FastestRate(uint32_t instance) {
  std::vector<uint32_t> states;
  std::vector<uint32_t> derivatives;
  for (uint32_t index = 1; index <= TarnGetNumberSymbols(); ++index) {
    TarnSymbolInfo info;
    if (Describe(index, &info) && info.symbolType == TARN_SYMBOL_STATE) {
      states.push_back(index);
      derivatives.push_back(info.derivativeIndex);
    }
  }
  const auto count = static_cast<uint32_t>(states.size());
  auto rates = [&](const std::vector<double>& values) {
    TarnSetDoubles(instance, count, states.data(), values.data());
    TarnCalcDeriv(instance, kDerivativeSection);
    std::vector<double> result(count);
    TarnGetDoubles(instance, count, derivatives.data(), result.data());
    return result;
  };
  std::vector<double> start(count);
  TarnGetDoubles(instance, count, states.data(), start.data());
  const std::vector<double> atStart = rates(start);
  std::vector<double> jacobian(static_cast<size_t>(count) * count);  // column after column
  for (uint32_t column = 0; column < count; ++column) {
    std::vector<double> shifted = start;
    shifted[column] += kDifferenceQuotientStep * std::max(std::fabs(start[column]), 1e-3);
    const double delta = shifted[column] - start[column];
    const std::vector<double> moved = rates(shifted);
    for (uint32_t row = 0; row < count; ++row) {
      jacobian[column * count + row] = (moved[row] - atStart[row]) / delta;
    }
  }
  rates(start);
  // Power iteration from a unit vector: the norm of the product converges to the magnitude of
  // the dominant eigenvalue.
  std::vector<double> vector(count, 1.0 / std::sqrt(static_cast<double>(count)));
  double rate = 0;
  for (int iteration = 0; iteration < kPowerIterations; ++iteration) {
    std::vector<double> product(count, 0.0);
    for (uint32_t column = 0; column < count; ++column) {
      for (uint32_t row = 0; row < count; ++row) {
        product[row] += jacobian[column * count + row] * vector[column];
      }
    }
    double norm = 0;
    for (const double value : product) norm += value * value;
    rate = std::sqrt(norm);
    if (!(rate > 0) || !std::isfinite(rate)) return 0;
    for (uint32_t row = 0; row < count; ++row) vector[row] = product[row] / rate;
  }
  return rate;
}

}  // namespace

std::string ExplicitStepHint(uint32_t instance) {
  const int32_t algorithm = TarnGetLong(instance, TarnGetSymbolIndex("ialg"));
  const auto method = std::find_if(kExplicitMethods.begin(), kExplicitMethods.end(),
                                   [&](const ExplicitMethod& m) { return m.code == algorithm; });
  if (method == kExplicitMethods.end()) return "";
  const double cint = TarnGetDouble(instance, TarnGetSymbolIndex("cint"));
  const double step = cint / TarnGetLong(instance, TarnGetSymbolIndex("nstp"));
  TarnPreStep(instance);
  const double rate = FastestRate(instance);
  if (!(rate > 0)) return "";
  const double largest = method->stability / rate;
  const double needed = std::ceil(cint / largest);
  char hint[512];
  std::snprintf(hint, sizeof hint,
                "Hint: %s is an explicit method with a fixed step, %g h here (cint/nstp). This "
                "model is stiff: its fastest mode at the start of the run decays at %.3g per "
                "hour, and %s is stable on it only with steps below about %.2g h. Raise nstp to "
                "at least %.0f (--set nstp=%.0f), or use a stiff method: dlsodes (the default), "
                "cvode, gear or rosenbrock.",
                method->name, step, rate, method->name, largest, needed, needed);
  return hint;
}

}  // namespace tarn::sim
