// Integrator base: bindings, guarded derivative evaluation, error weights, finite-difference
// Jacobian and time derivative, the algebraic-state iteration and the diagnostic writers.
#include "integrators/integrator.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "integrators/integrator_messages.h"
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

// Algebraic iteration.
constexpr int32_t kMaxAlgebraicIterations = 50;
constexpr int32_t kJacobianRefreshIteration = 10;  // refresh a secant-updated Jacobian here
constexpr int32_t kMaxDampingWithoutProgress = 4;  // more damping than this forces a refresh
constexpr double kConditionWarningFactor = 50;     // warn when rcond/50 is lost against 1
constexpr double kConvergedStep = 0.33;            // (2·relative step)^mu below this: done
constexpr double kSecantDampingRange = 0.1;        // |dxᵀ·B·dr| within this of dxᵀdx ...
constexpr double kSecantDamping = 0.8;             // ... damps the rank-one update to this
// 2^-1100 is already zero, so a larger damping exponent changes nothing; the cap keeps the
// conversion of an enormous first estimate to an integer defined.
constexpr double kMaxDampingExponent = 1100;

// Raises a flag for the lifetime of the guard.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
};

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

double SquaredNorm(const double* values, uint32_t count) {
  double sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += values[i] * values[i];
  return sum;
}

}  // namespace

// Per-call state of CalculateAlgebraicStates.
struct Integrator::AlgebraicIteration {
  int32_t iteration = 0;
  int32_t mu = 0;  // damping exponent: the step is scaled by 2^-mu
  double previousRms = DBL_MAX;
  double previousScaledResidual = DBL_MAX;
  double scaledResidual = DBL_MAX;  // of the last residual evaluation
  bool fresh = false;               // the Jacobian has had no secant update since evaluation
};

bool Integrator::Initialize(double* indVarIn, uint32_t numStatesIn, double* statesIn,
                            double* derivativesIn, double* initCondsIn, uint32_t numAlgStatesIn,
                            double* algStatesIn, double* residualsIn, double* algInitCondsIn,
                            TarnSimDerivativeFunction function) {
  indVar = indVarIn;
  numStates = numStatesIn;
  states = statesIn;
  derivatives = derivativesIn;
  initConds = initCondsIn;
  numAlgStates = numAlgStatesIn;
  algStates = algStatesIn;
  residuals = residualsIn;
  algInitConds = algInitCondsIn;
  derivativeFunction = function;
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
  pivots.assign(n, 0);
  columnScale.assign(n, 0.0);
  rowScale.assign(n, 0.0);

  const uint32_t m = numAlgStates;
  algJacobian.Allocate(m, m);
  algJacobianInverse.Allocate(m, m);
  for (std::vector<double>* work : {&iterX, &iterR, &iterXTrial, &iterRTrial, &iterDx, &iterDr}) {
    work->assign(m, 0.0);
  }
  algebraicScalesComputed = false;
  return true;
}

void Integrator::Finalize() {
  stageValues.Release();
  jacobianWork.Release();
  algJacobian.Release();
  algJacobianInverse.Release();
  for (std::vector<double>* values :
       {&currentErrors, &maxErrors, &maxAbsErrors, &maxRelErrors, &columnScale, &rowScale, &iterX,
        &iterR, &iterXTrial, &iterRTrial, &iterDx, &iterDr}) {
    *values = {};
  }
  errorControlledCount = {};
  relativeErrorDominant = {};
  pivots = {};
  nonRepeatableReported = {};
  algebraicScalesComputed = false;
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

bool Integrator::DerivativesChangedSinceLastStep() {
  if (modelUnchangedSinceLastStep) return false;
  // The derivatives as the solver's evaluation after the last step left them, at this point.
  double* stepEndDerivatives = stageValues[0];
  std::copy(derivatives, derivatives + numStates, stepEndDerivatives);
  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(integrator_messages::kStageEvaluations[0]);
  bool changed = false;
  for (uint32_t i = 0; i < numStates; ++i) {
    if (derivatives[i] != stepEndDerivatives[i]) changed = true;
  }
  return changed;
}

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
  StateSequence x{};
  StateSequence g{};
  const double* floors = maxErrors.data();
  uint32_t n = 0;
  switch (type) {
    case JacobianType::OdeStateJacobian:
      x = {states, numStates, nullptr};
      g = {derivatives, numStates, nullptr};
      n = numStates;
      break;
    case JacobianType::AlgebraicStateJacobian:
      x = {algStates, numAlgStates, nullptr};
      g = {residuals, numAlgStates, nullptr};
      floors = maxErrors.data() + numStates;
      n = numAlgStates;
      break;
    case JacobianType::AllStateJacobian:
      x = {states, numStates, algStates};
      g = {derivatives, numStates, residuals};
      n = totalStates;
      break;
  }
  const bool secondGroupMissing = n > x.firstCount && (x.second == nullptr || g.second == nullptr);
  const bool firstGroupMissing = x.firstCount > 0 && (x.first == nullptr || g.first == nullptr);
  if (n == 0 || columns == nullptr || firstGroupMissing || secondGroupMissing) return true;

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
        const double fm = minus[i];
        const double f0 = base[i];
        const double fp = plus[i];
        const double curvature = (fm + fp) / 2 - f0;
        const double spread = std::fabs(fp - fm);
        if (std::fabs(curvature) >= jacobNonlinThresh * spread &&
            spread > std::fabs(f0) * kNegligibleSpread && (f0 - fm) * (fp - f0) > 0) {
          WriteFormattedMessage(msg::kJacobianNonLinear, static_cast<long>(i), static_cast<long>(k),
                                curvature / (fp - fm + DBL_MIN));
          suspicious = true;
        }
        if (nonRepeatableReported[i] == 0 && g[i] != fp) {
          nonRepeatableReported[i] = 1;
          WriteFormattedMessage(msg::kEvaluationNotRepeatable, static_cast<long>(i));
          suspicious = true;
        }
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

// ---- Algebraic states ----------------------------------------------------------------------
//
// The iteration works on scaled variables: algebraic state j is multiplied by columnScale[j] and
// residual i divided by rowScale[i], the Euclidean norms of the columns and rows of the first
// residual Jacobian of a run. It keeps the scaled Jacobian J and its inverse B, refreshes both by
// finite differences at the start of an initialising call and whenever progress stalls, and
// otherwise improves them with Broyden rank-one updates from each pair of points. Each step blends
// the Newton step -B·r with the steepest-descent step -Jᵀ·r (Cauchy length) and is damped by
// 2^-mu, mu growing while the scaled residual fails to decrease. Rank-one updates after Broyden
// (Math. Comp. 19, 1965); Newton and steepest-descent blend after Powell's hybrid method (1970).

void Integrator::UpdateAlgebraicWeights() {
  for (uint32_t i = 0; i < numAlgStates; ++i) {
    const uint32_t s = numStates + i;
    maxErrors[s] = std::max(maxAbsErrors[s], std::fabs(algStates[i]) * maxRelErrors[s]);
  }
}

bool Integrator::CalculateAlgebraicStates() {
  const uint32_t n = numAlgStates;
  if (n == 0) return true;
  double* x = algStates;
  const double* r = residuals;
  const double* wt = maxErrors.data() + numStates;

  AlgebraicIteration state;
  enum class Phase { kJacobian, kResiduals, kStep };
  // The scales come from the first Jacobian of a run, which an initialising call evaluates; a
  // call that finds no scales yet evaluates it too rather than divide by nothing.
  Phase phase = initializing || !algebraicScalesComputed ? Phase::kJacobian : Phase::kResiduals;

  for (;;) {
    switch (phase) {
      case Phase::kJacobian:
        if (!EvaluateAlgebraicJacobian(state)) return false;
        state.fresh = true;
        phase = state.iteration == 0 ? Phase::kResiduals : Phase::kStep;
        break;

      case Phase::kResiduals: {
        UpdateAlgebraicWeights();
        ++state.iteration;
        if (state.iteration > kMaxAlgebraicIterations) {
          WriteMessage(msg::kTooManyIterations);
          return false;
        }
        CalculateAuxiliaryDerivatives();

        for (uint32_t i = 0; i < n; ++i) iterRTrial[i] = r[i] / rowScale[i];
        if (state.iteration == 1) {
          iterR = iterRTrial;
          for (uint32_t i = 0; i < n; ++i) iterX[i] = iterXTrial[i] = columnScale[i] * x[i];
        }
        double weightedSum = 0;
        double weightSum = 0;
        for (uint32_t i = 0; i < n; ++i) {
          const double ratio = r[i] / wt[i];
          weightedSum += ratio * ratio;
          weightSum += 1.0 / (wt[i] * wt[i]);
        }
        const double rms = std::sqrt(weightedSum / weightSum);
        const double scaled = std::sqrt(SquaredNorm(iterRTrial.data(), n) / n);
        state.scaledResidual = scaled;

        if (writeNormalData) {
          WriteFormattedMessage(msg::kStateVectorIteration, static_cast<long>(state.iteration));
          WriteStates();
          WriteFormattedMessage(msg::kResidualVector, rms, state.previousRms);
          WriteFormattedMessage(msg::kScaledResidual, scaled, state.previousScaledResidual);
        }
        if (settings.GetStopFlag() || scaled == 0) return true;

        bool restart = state.iteration == kJacobianRefreshIteration && !state.fresh;
        if (!restart) {
          if (!(scaled < state.previousScaledResidual)) {
            ++state.mu;
            if (!state.fresh) {
              restart = state.mu > kMaxDampingWithoutProgress;
              if (!restart) ApplySecantUpdate();
            }
          } else {
            state.previousScaledResidual = scaled;
            state.previousRms = rms;
            if (state.iteration != 1) {
              state.fresh = false;
              state.mu = std::max(state.mu - 1, 0);
              std::swap(iterX, iterXTrial);
              std::swap(iterR, iterRTrial);
            }
            if (!state.fresh) ApplySecantUpdate();
          }
        }
        if (restart) {
          // Back to the last accepted point and a new Jacobian there.
          for (uint32_t i = 0; i < n; ++i) x[i] = iterX[i] / columnScale[i];
          phase = Phase::kJacobian;
        } else {
          phase = Phase::kStep;
        }
        break;
      }

      case Phase::kStep:
        if (ComputeAlgebraicStep(state)) return true;
        phase = Phase::kResiduals;
        break;
    }
  }
}

bool Integrator::EvaluateAlgebraicJacobian(const AlgebraicIteration& state) {
  const uint32_t n = numAlgStates;
  UpdateAlgebraicWeights();
  CalculateJacobian(JacobianType::AlgebraicStateJacobian, algJacobian.data());
  if (writeExtraData) {
    WriteMessage(msg::kNewJacobianMatrix);
    WriteMatrix(algJacobian.data(), n, n);
  }

  if (state.iteration == 0 && (initializing || !algebraicScalesComputed)) {
    // Column norms, then row norms of the column-scaled matrix; a zero norm is stored as -1.
    for (uint32_t j = 0; j < n; ++j) {
      const double norm = std::sqrt(SquaredNorm(algJacobian[j], n));
      columnScale[j] = norm != 0 ? norm : -1;
      for (uint32_t i = 0; i < n; ++i) algJacobian[j][i] /= columnScale[j];
    }
    for (uint32_t i = 0; i < n; ++i) {
      double sum = 0;
      for (uint32_t j = 0; j < n; ++j) sum += algJacobian[j][i] * algJacobian[j][i];
      const double norm = std::sqrt(sum);
      rowScale[i] = norm != 0 ? norm : -1;
    }
    algebraicScalesComputed = true;
  } else {
    for (uint32_t j = 0; j < n; ++j) {
      for (uint32_t i = 0; i < n; ++i) algJacobian[j][i] /= columnScale[j];
    }
  }
  for (uint32_t j = 0; j < n; ++j) {
    for (uint32_t i = 0; i < n; ++i) algJacobian[j][i] /= rowScale[i];
  }

  bool singular = false;
  for (uint32_t k = 0; k < n; ++k) {
    if (columnScale[k] == -1) {
      WriteFormattedMessage(msg::kNoResidualDependsOnVariable, static_cast<long>(k));
      singular = true;
    }
    if (rowScale[k] == -1) {
      WriteFormattedMessage(msg::kNoVariableAffectsResidual, static_cast<long>(k));
      singular = true;
    }
  }
  if (singular) return false;

  // Linpack addresses rows: hand it J itself, element (i, j) at [i][j].
  double** inverse = algJacobianInverse.data();
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j) inverse[i][j] = algJacobian[j][i];
  }
  double rcond = 0;
  const int size = static_cast<int>(n);
  Linpack::GaussCond(inverse, size, size, pivots.data(), rcond, iterDx.data());
  if (writeExtraData || rcond / kConditionWarningFactor + 1 == 1) {
    WriteFormattedMessage(msg::kJacobianCondition, state.iteration > 0 ? msg::kNewPrefix : "",
                          rcond);
  }
  if (rcond + 1 == 1) {
    WriteFormattedMessage(msg::kConditionTooLow, rcond);
    return false;
  }
  double determinant[2];
  Linpack::GaussInvert(inverse, size, size, pivots.data(), determinant, iterDr.data(), 1);
  // Back to the column layout of algJacobian: inverse[j][i] is element (i, j).
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = i + 1; j < n; ++j) std::swap(inverse[i][j], inverse[j][i]);
  }
  return true;
}

void Integrator::ApplySecantUpdate() {
  const uint32_t n = numAlgStates;
  double* dx = iterDx.data();
  double* dr = iterDr.data();
  for (uint32_t i = 0; i < n; ++i) {
    dx[i] = iterXTrial[i] - iterX[i];
    dr[i] = iterRTrial[i] - iterR[i];
  }
  // u = dr - J·dx, v = dx - B·dr, t = dxᵀ·B (in the Jacobian work vectors, free here).
  double* u = jacobianWork[0];
  double* v = jacobianWork[1];
  double* t = jacobianWork[2];
  std::copy(dr, dr + n, u);
  std::copy(dx, dx + n, v);
  for (uint32_t j = 0; j < n; ++j) {
    const double* jColumn = algJacobian[j];
    const double* bColumn = algJacobianInverse[j];
    double dot = 0;
    for (uint32_t i = 0; i < n; ++i) {
      u[i] -= jColumn[i] * dx[j];
      v[i] -= bColumn[i] * dr[j];
      dot += dx[i] * bColumn[i];
    }
    t[j] = dot;
  }
  double a = 0;
  for (uint32_t i = 0; i < n; ++i) a += t[i] * dr[i];
  const double d = SquaredNorm(dx, n);
  if (d == 0) return;
  const double theta = std::fabs(a) <= kSecantDampingRange * d ? kSecantDamping : 1.0;
  const double inverseUpdateDenominator = (1 - theta) * d + theta * a;
  for (uint32_t j = 0; j < n; ++j) {
    double* jColumn = algJacobian[j];
    double* bColumn = algJacobianInverse[j];
    for (uint32_t i = 0; i < n; ++i) {
      jColumn[i] += theta * u[i] * dx[j] / d;
      bColumn[i] += theta * v[i] * t[j] / inverseUpdateDenominator;
    }
  }
}

bool Integrator::ComputeAlgebraicStep(AlgebraicIteration& state) {
  const uint32_t n = numAlgStates;
  const double* wt = maxErrors.data() + numStates;
  // Newton step p = -B·r and steepest-descent direction q = -Jᵀ·r at the accepted point.
  double* p = iterDx.data();
  double* q = iterDr.data();
  double* jq = jacobianWork[0];
  std::fill(p, p + n, 0.0);
  for (uint32_t j = 0; j < n; ++j) {
    const double* jColumn = algJacobian[j];
    const double* bColumn = algJacobianInverse[j];
    double dot = 0;
    for (uint32_t i = 0; i < n; ++i) {
      p[i] += bColumn[i] * iterR[j];
      dot += jColumn[i] * iterR[i];
    }
    q[j] = -dot;
  }
  for (uint32_t i = 0; i < n; ++i) p[i] = -p[i];
  std::fill(jq, jq + n, 0.0);
  for (uint32_t j = 0; j < n; ++j) {
    const double* jColumn = algJacobian[j];
    for (uint32_t i = 0; i < n; ++i) jq[i] += jColumn[i] * q[j];
  }
  // Cauchy length: the minimiser of |r + α·J·q| along q.
  const double alpha = SquaredNorm(q, n) / (SquaredNorm(jq, n) + DBL_MIN);

  if (initializing && state.iteration < 2) {
    // First damping from how far the Newton step reaches relative to the residual.
    const double exponent =
        std::trunc(std::log(SquaredNorm(p, n) / (state.scaledResidual * state.scaledResidual)) /
                   std::log(2.0));
    state.mu = exponent > 0 ? static_cast<int32_t>(std::min(exponent, kMaxDampingExponent)) : 0;
  }

  const double damping = std::ldexp(1.0, -state.mu);
  double relativeStep = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const double d = damping * (p[i] + state.mu * alpha * q[i]);
    iterXTrial[i] = iterX[i] + d;
    const double relative = d / (wt[i] * columnScale[i]);
    relativeStep += relative * relative;
  }
  relativeStep = std::sqrt(relativeStep);

  if (writeNormalData) {
    double newton = 0;
    double steepest = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const double pi = p[i] / columnScale[i];
      const double qi = alpha * q[i] / columnScale[i];
      newton += pi * pi;
      steepest += qi * qi;
    }
    WriteFormattedMessage(msg::kNewtonStep, std::sqrt(newton), std::sqrt(steepest));
    WriteFormattedMessage(msg::kRelativeStep, relativeStep, static_cast<long>(state.mu));
  }
  for (uint32_t i = 0; i < n; ++i) algStates[i] = iterXTrial[i] / columnScale[i];
  // With mu = 0 this never holds: an undamped step is always checked by one more evaluation.
  return std::pow(2 * relativeStep, state.mu) < kConvergedStep;
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
