// Integrator base: bindings, guarded derivative evaluation, error weights, finite-difference
// Jacobian and time derivative, and the diagnostic writers.
#include "integrators/integrator.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "integrators/integrator_messages.h"
#include "integrators/scoped_flag.h"
#include "runtime/floating_point_status.h"
#include "solver/message_buffer.h"

namespace tarn {
namespace msg = integrator_messages;

namespace {

constexpr double kDefaultErrorBound = 1e-4;
constexpr size_t kStageVectorCount = 7;
constexpr size_t kJacobianWorkVectorCount = 3;  // derivatives at x - δ, x, x + δ

// Finite-difference perturbation: relative part 2^-26 = sqrt(epsilon), balancing truncation
// against rounding error (Dennis and Schnabel, Numerical Methods for Unconstrained Optimization,
// 1983), and absolute floor 2^-52 (the double epsilon).
constexpr double kRelativePerturbation = 1.4901161193847656e-8;
constexpr double kMinimumPerturbation = 2.220446049250313e-16;
// A finite-difference spread below this fraction of the base value counts as no spread at all.
constexpr double kNegligibleSpread = 1e-15;

// A group of model values seen as one vector: the first `firstCount` values in `first`, the rest
// in `second`. Lets the all-state Jacobian address ODE and algebraic states as one sequence
// whether or not the model stores them side by side.
struct StateSequence {
  double* first;
  uint32_t firstCount;
  double* second;

  double& operator[](uint32_t k) const {
    return k < firstCount ? first[k] : second[k - firstCount];
  }
};

// What a Jacobian differences: the perturbed variables x, the differenced equations g, the
// perturbation floors and their count n.
struct JacobianGroups {
  StateSequence x{};
  StateSequence g{};
  const double* floors = nullptr;
  uint32_t n = 0;

  // The groups are complete: every group of the count has its values and its equations.
  bool Complete() const {
    const bool secondMissing = n > x.firstCount && (x.second == nullptr || g.second == nullptr);
    const bool firstMissing = x.firstCount > 0 && (x.first == nullptr || g.first == nullptr);
    return !firstMissing && !secondMissing;
  }
};

JacobianGroups SelectJacobianGroups(const Integrator& integrator, JacobianType type) {
  const double* weights = integrator.maxErrors.data();
  const uint32_t numStates = integrator.numStates;
  const uint32_t numAlgStates = integrator.numAlgStates;
  switch (type) {
    case JacobianType::OdeStateJacobian:
      return {{integrator.states, numStates, nullptr},
              {integrator.derivatives, numStates, nullptr},
              weights,
              numStates};
    case JacobianType::AlgebraicStateJacobian:
      return {{integrator.algStates, numAlgStates, nullptr},
              {integrator.residuals, numAlgStates, nullptr},
              weights + numStates,
              numAlgStates};
    case JacobianType::AllStateJacobian:
      return {{integrator.states, numStates, integrator.algStates},
              {integrator.derivatives, numStates, integrator.residuals},
              weights,
              integrator.totalStates};
  }
  return {};
}

}  // namespace

bool Integrator::Initialize(const StateBindings& bindings) {
  static_cast<StateBindings&>(*this) = bindings;
  totalStates = numStates + numAlgStates;

  const uint32_t n = totalStates;
  stageValues.Allocate(kStageVectorCount, n);
  currentErrors.assign(n, 0.0);
  errorControlledCount.assign(n, 0);
  relativeErrorDominant.assign(n, 0);
  maxErrors.assign(n, 0.0);
  maxAbsErrors.assign(n, kDefaultErrorBound);
  maxRelErrors.assign(n, kDefaultErrorBound);
  jacobianWork.Allocate(kJacobianWorkVectorCount, n);
  nonRepeatableReported.assign(n, 0);
  algebraicStateSolver_.Allocate(numAlgStates);
  return true;
}

void Integrator::Finalize() {
  stageValues.Release();
  jacobianWork.Release();
  algebraicStateSolver_.Release();
  for (std::vector<double>* values : {&currentErrors, &maxErrors, &maxAbsErrors, &maxRelErrors}) {
    *values = {};
  }
  errorControlledCount = {};
  relativeErrorDominant = {};
  nonRepeatableReported = {};
}

void Integrator::CalculateDerivatives() {
  if (derivativeFunction == nullptr) return;
  if (initializing) {
    derivativeFunction(derivArg1, derivArg2);
    return;
  }
  ClearFloatingPointStatus();
  try {
    derivativeFunction(derivArg1, derivArg2);
  } catch (const char*) {
    throw;
  } catch (...) {
    throw msg::kUnknownException;
  }
  if (FloatingPointFaultRaised()) throw msg::kFloatingPointError;
}

void Integrator::CalculateAuxiliaryDerivatives() {
  ScopedFlag auxiliary(inAuxiliaryEvaluation);
  CalculateDerivatives();
}

bool Integrator::GetInterpolationWindow(double*, double*) const { return false; }

bool Integrator::ConsumeRestart(std::vector<double>& lastStates) {
  bool restart = restartRequested;
  restartRequested = false;
  for (uint32_t i = 0; i < numStates; ++i) {
    if (states[i] != lastStates[i]) {
      lastStates[i] = states[i];
      restart = true;
    }
  }
  return restart;
}

bool Integrator::CalculateAlgebraicStates() { return algebraicStateSolver_.Solve(); }

void Integrator::CalculateAlgebraicStatesOrStop() {
  if (numAlgStates == 0) return;
  const bool solved = CalculateAlgebraicStates();
  settings.SetStopFlag(settings.GetStopFlag() || !solved);
}

void Integrator::UpdateMaxErrorVector(bool includeAlgebraic) {
  const uint32_t end = includeAlgebraic ? totalStates : numStates;
  for (uint32_t i = 0; i < end; ++i) {
    const double value = i < numStates ? states[i] : algStates[i - numStates];
    const double relative = std::fabs(value * maxRelErrors[i]);
    if (relative > maxAbsErrors[i]) {
      maxErrors[i] = relative;
      relativeErrorDominant[i] = 1;
    } else {
      maxErrors[i] = maxAbsErrors[i];
    }
  }
}

bool Integrator::CalculateJacobian(JacobianType type, double** columns) {
  const JacobianGroups groups = SelectJacobianGroups(*this, type);
  const StateSequence& x = groups.x;
  const StateSequence& g = groups.g;
  const double* floors = groups.floors;
  const uint32_t n = groups.n;
  if (n == 0 || columns == nullptr || !groups.Complete()) return true;

  double* minus = jacobianWork[0];
  double* base = jacobianWork[1];
  double* plus = jacobianWork[2];
  std::fill(nonRepeatableReported.begin(), nonRepeatableReported.begin() + n, 0);
  const bool stopOnEntry = settings.GetStopFlag();
  ScopedFlag jacobianEvaluation(inJacobianEvaluation);

  CalculateDerivatives();
  for (uint32_t i = 0; i < n; ++i) base[i] = g[i];

  const bool central = twoSidedMatrixEval || computeJacobValidity;
  bool suspicious = false;
  for (uint32_t k = 0; k < n; ++k) {
    const double e = x[k];
    const double delta =
        std::max({std::fabs(e) * kRelativePerturbation, floors[k], kMinimumPerturbation});
    const double up = e + delta;
    const double down = e - delta;
    // The steps as the perturbed values actually represent them.
    double deltaPlus = 0;
    if (central) {
      x[k] = up;
      deltaPlus = up - e;
      CalculateDerivatives();
      for (uint32_t i = 0; i < n; ++i) plus[i] = g[i];
    }
    x[k] = down;
    const double deltaMinus = e - down;
    CalculateDerivatives();
    if (x[k] != down) WriteFormattedMessage(msg::kStateChangedInJacobian, static_cast<long>(k));
    for (uint32_t i = 0; i < n; ++i) minus[i] = g[i];

    if (computeJacobValidity) {
      x[k] = up;
      CalculateDerivatives();
      for (uint32_t i = 0; i < n; ++i) {
        if (CheckJacobianEntry(i, k, g[i])) suspicious = true;
      }
    }

    double* column = columns[k];
    if (central) {
      const double width = deltaPlus + deltaMinus;
      for (uint32_t i = 0; i < n; ++i) column[i] = (plus[i] - minus[i]) / width;
    } else {
      for (uint32_t i = 0; i < n; ++i) column[i] = (base[i] - minus[i]) / deltaMinus;
    }
    x[k] = e;
  }
  if (suspicious) WriteFormattedMessage(msg::kIndependentVariableValue, *indVar);

  // Leave the model evaluated at the unperturbed point; a stop raised by the perturbed
  // evaluations is not the model's verdict on it.
  CalculateDerivatives();
  settings.SetStopFlag(stopOnEntry);
  return true;
}

bool Integrator::CheckJacobianEntry(uint32_t i, uint32_t k, double repeated) {
  const double fm = jacobianWork[0][i];
  const double f0 = jacobianWork[1][i];
  const double fp = jacobianWork[2][i];
  bool suspicious = false;
  const double curvature = (fm + fp) / 2 - f0;
  const double spread = std::fabs(fp - fm);
  if (std::fabs(curvature) >= jacobNonlinThresh * spread &&
      spread > std::fabs(f0) * kNegligibleSpread && (f0 - fm) * (fp - f0) > 0) {
    WriteFormattedMessage(msg::kJacobianNonLinear, static_cast<long>(i), static_cast<long>(k),
                          curvature / (fp - fm + DBL_MIN));
    suspicious = true;
  }
  if (nonRepeatableReported[i] == 0 && repeated != fp) {
    nonRepeatableReported[i] = 1;
    WriteFormattedMessage(msg::kEvaluationNotRepeatable, static_cast<long>(i));
    suspicious = true;
  }
  return suspicious;
}

void Integrator::CalculateSecondDerivatives(double* out) {
  const double t = *indVar;
  CalculateDerivatives();
  double* saved = jacobianWork[0];
  std::copy(derivatives, derivatives + numStates, out);
  std::copy(derivatives, derivatives + numStates, saved);
  const double delta = std::max(std::fabs(t) * kRelativePerturbation, kMinimumPerturbation);
  // A backward difference, except at the start of the run: there the model would be evaluated
  // before its initial time, where it need not be defined, so the difference looks forward.
  const bool forward = t - delta < settings.GetIndVarInitVal();
  *indVar = forward ? t + delta : t - delta;
  CalculateDerivatives();
  for (uint32_t i = 0; i < numStates; ++i) {
    out[i] = forward ? (derivatives[i] - out[i]) / delta : (out[i] - derivatives[i]) / delta;
  }
  *indVar = t;
  std::copy(saved, saved + numStates, derivatives);
}

// ---- Bindings --------------------------------------------------------------------------------

void Integrator::SetDerivativeFunction(TarnSimDerivativeFunction function) {
  derivativeFunction = function;
}

void Integrator::CopyInitCondsToStates() {
  if (initConds != nullptr && states != nullptr) {
    std::copy(initConds, initConds + numStates, states);
  }
  if (algInitConds != nullptr && algStates != nullptr) {
    std::copy(algInitConds, algInitConds + numAlgStates, algStates);
  }
}

void Integrator::CopyStatesToInitConds() {
  if (initConds != nullptr && states != nullptr) {
    std::copy(states, states + numStates, initConds);
  }
  if (algInitConds != nullptr && algStates != nullptr) {
    std::copy(algStates, algStates + numAlgStates, algInitConds);
  }
}

void Integrator::SetMaxAbsoluteError(uint32_t index, double value) {
  if (index < maxAbsErrors.size()) maxAbsErrors[index] = value;
}

void Integrator::SetMaxRelativeError(uint32_t index, double value) {
  if (index < maxRelErrors.size()) maxRelErrors[index] = value;
}

// ---- Diagnostics -------------------------------------------------------------------------------

void Integrator::WriteMessage(const char* text) {
  AppendMessageLine(messages, messagesLeftOut, text);
}

void Integrator::WriteFormattedMessage(const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  va_list retry;
  va_copy(retry, arguments);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (length >= 0 && static_cast<size_t>(length) >= sizeof buffer) {
    // "%lf" of a large value can run to hundreds of digits.
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, retry);
    WriteMessage(text.c_str());
  } else if (length >= 0) {
    WriteMessage(buffer);
  }
  va_end(retry);
}

void Integrator::AppendValues(std::string& line, const double* values, uint32_t count) {
  // "%12.6lf" of any double fits: at most 309 integer digits, sign, point and 6 decimals.
  char buffer[400];
  for (uint32_t i = 0; i < count; ++i) {
    if (i > 0) line += msg::kValueSeparator;
    std::snprintf(buffer, sizeof buffer, msg::kValue, values[i]);
    line += buffer;
  }
}

void Integrator::WriteStates() {
  assert(indVar != nullptr);
  WriteFormattedMessage(msg::kIndependentVariable, *indVar);
  const struct {
    const char* heading;
    uint32_t count;
    const double* values;
    const double* rates;
  } groups[] = {{msg::kOdeStatesHeading, numStates, states, derivatives},
                {msg::kDaeStatesHeading, numAlgStates, algStates, residuals}};
  for (const auto& group : groups) {
    if (group.count == 0) continue;
    WriteMessage(group.heading);
    std::string line = msg::kStatesPrefix;
    AppendValues(line, group.values, group.count);
    WriteMessage(line.c_str());
    line = msg::kDerivativesPrefix;
    AppendValues(line, group.rates, group.count);
    WriteMessage(line.c_str());
  }
}

void Integrator::WriteDerivatives() {}

void Integrator::WriteCurrentErrors() {
  if (totalStates == 0) return;
  WriteMessage(msg::kCurrentErrorsHeading);
  std::string line;
  AppendValues(line, currentErrors.data(), totalStates);
  WriteMessage(line.c_str());
}

void Integrator::WriteMatrix(double** m, uint32_t rows, uint32_t columns) {
  char buffer[400];
  for (uint32_t i = 0; i < rows; ++i) {
    std::string line;
    for (uint32_t j = 0; j < columns; ++j) {
      std::snprintf(buffer, sizeof buffer, msg::kMatrixValue, m[j][i]);
      line += buffer;
    }
    WriteMessage(line.c_str());
  }
}

void Integrator::WriteStatistics() {
  if (algorithm != IntegrationAlgorithm::AlgRungeKuttaFehlberg2 &&
      algorithm != IntegrationAlgorithm::AlgRungeKuttaFehlberg5) {
    return;
  }
  WriteMessage(msg::kStatisticsHeading);
  for (uint32_t i = 0; i < totalStates; ++i) {
    WriteFormattedMessage(msg::kErrorControlledCount, static_cast<long>(i),
                          static_cast<long>(errorControlledCount[i]));
  }
}

void Integrator::TraceEvaluation(const char* label) {
  if (!writeNormalData) return;
  WriteMessage(label);
  WriteStates();
  WriteDerivatives();
}

}  // namespace tarn
