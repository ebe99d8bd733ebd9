// The algebraic-state iteration: scaling, residual Jacobian and its inverse, Broyden updates and
// the damped blended step.
#include "integrators/algebraic_state_solver.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

#include "integrators/integrator.h"
#include "integrators/integrator_messages.h"

namespace tarn {
namespace msg = integrator_messages;

namespace {

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
constexpr size_t kWorkVectorCount = 3;

double SquaredNorm(const double* values, uint32_t count) {
  double sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += values[i] * values[i];
  return sum;
}

}  // namespace

// Per-call state of Solve.
struct AlgebraicStateSolver::Iteration {
  int32_t iteration = 0;
  int32_t mu = 0;  // damping exponent: the step is scaled by 2^-mu
  double previousRms = DBL_MAX;
  double previousScaledResidual = DBL_MAX;
  double scaledResidual = DBL_MAX;  // of the last residual evaluation
  bool fresh = false;               // the Jacobian has had no secant update since evaluation
};

void AlgebraicStateSolver::Allocate(uint32_t count) {
  jacobian_.Allocate(count, count);
  inverse_.Allocate(count, count);
  pivots_.assign(count, 0);
  work_.Allocate(kWorkVectorCount, count);
  for (std::vector<double>* values :
       {&columnScale_, &rowScale_, &x_, &r_, &xTrial_, &rTrial_, &dx_, &dr_}) {
    values->assign(count, 0.0);
  }
  scalesComputed_ = false;
}

void AlgebraicStateSolver::Release() {
  jacobian_.Release();
  inverse_.Release();
  pivots_ = {};
  work_.Release();
  for (std::vector<double>* values :
       {&columnScale_, &rowScale_, &x_, &r_, &xTrial_, &rTrial_, &dx_, &dr_}) {
    *values = {};
  }
  scalesComputed_ = false;
}

// The iteration works on scaled variables: algebraic state j is multiplied by columnScale_[j] and
// residual i divided by rowScale_[i], the Euclidean norms of the columns and rows of the first
// residual Jacobian of a run. It keeps the scaled Jacobian J and its inverse B, refreshes both by
// finite differences at the start of an initialising call and whenever progress stalls, and
// otherwise improves them with Broyden rank-one updates from each pair of points. Each step blends
// the Newton step -B·r with the steepest-descent step -Jᵀ·r (Cauchy length) and is damped by
// 2^-mu, mu growing while the scaled residual fails to decrease. Rank-one updates after Broyden
// (Math. Comp. 19, 1965); Newton and steepest-descent blend after Powell's hybrid method (1970).

void AlgebraicStateSolver::UpdateWeights() {
  for (uint32_t i = 0; i < integrator_.numAlgStates; ++i) {
    const uint32_t s = integrator_.numStates + i;
    integrator_.maxErrors[s] =
        std::max(integrator_.maxAbsErrors[s],
                 std::fabs(integrator_.algStates[i]) * integrator_.maxRelErrors[s]);
  }
}

bool AlgebraicStateSolver::Solve() {
  if (integrator_.numAlgStates == 0) return true;
  Iteration state;
  // The scales come from the first Jacobian of a run, which an initialising call evaluates; a
  // call that finds no scales yet evaluates it too rather than divide by nothing.
  Phase phase = integrator_.initializing || !scalesComputed_ ? Phase::kJacobian : Phase::kResiduals;
  for (;;) {
    switch (phase) {
      case Phase::kJacobian:
        if (!EvaluateJacobian(state)) return false;
        state.fresh = true;
        phase = state.iteration == 0 ? Phase::kResiduals : Phase::kStep;
        break;
      case Phase::kResiduals:
        phase = EvaluateResiduals(state);
        break;
      case Phase::kStep:
        phase = ComputeStep(state) ? Phase::kSolved : Phase::kResiduals;
        break;
      case Phase::kSolved:
        return true;
      case Phase::kFailed:
        return false;
    }
  }
}

AlgebraicStateSolver::Phase AlgebraicStateSolver::EvaluateResiduals(Iteration& state) {
  const uint32_t n = integrator_.numAlgStates;
  const double* x = integrator_.algStates;
  const double* r = integrator_.residuals;
  const double* wt = integrator_.maxErrors.data() + integrator_.numStates;
  UpdateWeights();
  ++state.iteration;
  if (state.iteration > kMaxAlgebraicIterations) {
    integrator_.WriteMessage(msg::kTooManyIterations);
    return Phase::kFailed;
  }
  integrator_.CalculateAuxiliaryDerivatives();

  for (uint32_t i = 0; i < n; ++i) rTrial_[i] = r[i] / rowScale_[i];
  if (state.iteration == 1) {
    r_ = rTrial_;
    for (uint32_t i = 0; i < n; ++i) x_[i] = xTrial_[i] = columnScale_[i] * x[i];
  }
  double weightedSum = 0;
  double weightSum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const double ratio = r[i] / wt[i];
    weightedSum += ratio * ratio;
    weightSum += 1.0 / (wt[i] * wt[i]);
  }
  const double rms = std::sqrt(weightedSum / weightSum);
  const double scaled = std::sqrt(SquaredNorm(rTrial_.data(), n) / n);
  state.scaledResidual = scaled;

  if (integrator_.writeNormalData) {
    integrator_.WriteFormattedMessage(msg::kStateVectorIteration,
                                      static_cast<long>(state.iteration));
    integrator_.WriteStates();
    integrator_.WriteFormattedMessage(msg::kResidualVector, rms, state.previousRms);
    integrator_.WriteFormattedMessage(msg::kScaledResidual, scaled, state.previousScaledResidual);
  }
  if (integrator_.settings.GetStopFlag() || scaled == 0) return Phase::kSolved;
  return Progress(state, scaled, rms);
}

AlgebraicStateSolver::Phase AlgebraicStateSolver::Progress(Iteration& state, double scaled,
                                                           double rms) {
  bool refresh = state.iteration == kJacobianRefreshIteration && !state.fresh;
  if (!refresh) {
    if (!(scaled < state.previousScaledResidual)) {
      ++state.mu;
      if (!state.fresh) {
        refresh = state.mu > kMaxDampingWithoutProgress;
        if (!refresh) ApplySecantUpdate();
      }
    } else {
      state.previousScaledResidual = scaled;
      state.previousRms = rms;
      if (state.iteration != 1) {
        state.fresh = false;
        state.mu = std::max(state.mu - 1, 0);
        std::swap(x_, xTrial_);
        std::swap(r_, rTrial_);
      }
      if (!state.fresh) ApplySecantUpdate();
    }
  }
  if (!refresh) return Phase::kStep;
  // Back to the last accepted point and a new Jacobian there.
  for (uint32_t i = 0; i < integrator_.numAlgStates; ++i) {
    integrator_.algStates[i] = x_[i] / columnScale_[i];
  }
  return Phase::kJacobian;
}

bool AlgebraicStateSolver::EvaluateJacobian(const Iteration& state) {
  const uint32_t n = integrator_.numAlgStates;
  UpdateWeights();
  integrator_.CalculateJacobian(JacobianType::AlgebraicStateJacobian, jacobian_.data());
  if (integrator_.writeExtraData) {
    integrator_.WriteMessage(msg::kNewJacobianMatrix);
    integrator_.WriteMatrix(jacobian_.data(), n, n);
  }

  if (state.iteration == 0 && (integrator_.initializing || !scalesComputed_)) {
    // Column norms, then row norms of the column-scaled matrix; a zero norm is stored as -1.
    for (uint32_t j = 0; j < n; ++j) {
      const double norm = std::sqrt(SquaredNorm(jacobian_[j], n));
      columnScale_[j] = norm != 0 ? norm : -1;
      for (uint32_t i = 0; i < n; ++i) jacobian_[j][i] /= columnScale_[j];
    }
    for (uint32_t i = 0; i < n; ++i) {
      double sum = 0;
      for (uint32_t j = 0; j < n; ++j) sum += jacobian_[j][i] * jacobian_[j][i];
      const double norm = std::sqrt(sum);
      rowScale_[i] = norm != 0 ? norm : -1;
    }
    scalesComputed_ = true;
  } else {
    for (uint32_t j = 0; j < n; ++j) {
      for (uint32_t i = 0; i < n; ++i) jacobian_[j][i] /= columnScale_[j];
    }
  }
  for (uint32_t j = 0; j < n; ++j) {
    for (uint32_t i = 0; i < n; ++i) jacobian_[j][i] /= rowScale_[i];
  }

  bool singular = false;
  for (uint32_t k = 0; k < n; ++k) {
    if (columnScale_[k] == -1) {
      integrator_.WriteFormattedMessage(msg::kNoResidualDependsOnVariable, static_cast<long>(k));
      singular = true;
    }
    if (rowScale_[k] == -1) {
      integrator_.WriteFormattedMessage(msg::kNoVariableAffectsResidual, static_cast<long>(k));
      singular = true;
    }
  }
  if (singular) return false;

  // Linpack addresses rows: hand it J itself, element (i, j) at [i][j].
  double** inverse = inverse_.data();
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j) inverse[i][j] = jacobian_[j][i];
  }
  double rcond = 0;
  const int size = static_cast<int>(n);
  Linpack::GaussCond(inverse, size, size, pivots_.data(), rcond, dx_.data());
  if (integrator_.writeExtraData || rcond / kConditionWarningFactor + 1 == 1) {
    integrator_.WriteFormattedMessage(msg::kJacobianCondition,
                                      state.iteration > 0 ? msg::kNewPrefix : "", rcond);
  }
  if (rcond + 1 == 1) {
    integrator_.WriteFormattedMessage(msg::kConditionTooLow, rcond);
    return false;
  }
  double determinant[2];
  Linpack::GaussInvert(inverse, size, size, pivots_.data(), determinant, dr_.data(), 1);
  // Back to the column layout of jacobian_: inverse[j][i] is element (i, j).
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = i + 1; j < n; ++j) std::swap(inverse[i][j], inverse[j][i]);
  }
  return true;
}

void AlgebraicStateSolver::ApplySecantUpdate() {
  const uint32_t n = integrator_.numAlgStates;
  double* dx = dx_.data();
  double* dr = dr_.data();
  for (uint32_t i = 0; i < n; ++i) {
    dx[i] = xTrial_[i] - x_[i];
    dr[i] = rTrial_[i] - r_[i];
  }
  // u = dr - J·dx, v = dx - B·dr, t = dxᵀ·B.
  double* u = work_[0];
  double* v = work_[1];
  double* t = work_[2];
  std::copy(dr, dr + n, u);
  std::copy(dx, dx + n, v);
  for (uint32_t j = 0; j < n; ++j) {
    const double* jColumn = jacobian_[j];
    const double* bColumn = inverse_[j];
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
    double* jColumn = jacobian_[j];
    double* bColumn = inverse_[j];
    for (uint32_t i = 0; i < n; ++i) {
      jColumn[i] += theta * u[i] * dx[j] / d;
      bColumn[i] += theta * v[i] * t[j] / inverseUpdateDenominator;
    }
  }
}

bool AlgebraicStateSolver::ComputeStep(Iteration& state) {
  const uint32_t n = integrator_.numAlgStates;
  const double* wt = integrator_.maxErrors.data() + integrator_.numStates;
  // Newton step p = -B·r and steepest-descent direction q = -Jᵀ·r at the accepted point.
  double* p = dx_.data();
  double* q = dr_.data();
  double* jq = work_[0];
  std::fill(p, p + n, 0.0);
  for (uint32_t j = 0; j < n; ++j) {
    const double* jColumn = jacobian_[j];
    const double* bColumn = inverse_[j];
    double dot = 0;
    for (uint32_t i = 0; i < n; ++i) {
      p[i] += bColumn[i] * r_[j];
      dot += jColumn[i] * r_[i];
    }
    q[j] = -dot;
  }
  for (uint32_t i = 0; i < n; ++i) p[i] = -p[i];
  std::fill(jq, jq + n, 0.0);
  for (uint32_t j = 0; j < n; ++j) {
    const double* jColumn = jacobian_[j];
    for (uint32_t i = 0; i < n; ++i) jq[i] += jColumn[i] * q[j];
  }
  // Cauchy length: the minimiser of |r + α·J·q| along q.
  const double alpha = SquaredNorm(q, n) / (SquaredNorm(jq, n) + DBL_MIN);

  if (integrator_.initializing && state.iteration < 2) {
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
    xTrial_[i] = x_[i] + d;
    const double relative = d / (wt[i] * columnScale_[i]);
    relativeStep += relative * relative;
  }
  relativeStep = std::sqrt(relativeStep);

  if (integrator_.writeNormalData) {
    double newton = 0;
    double steepest = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const double pi = p[i] / columnScale_[i];
      const double qi = alpha * q[i] / columnScale_[i];
      newton += pi * pi;
      steepest += qi * qi;
    }
    integrator_.WriteFormattedMessage(msg::kNewtonStep, std::sqrt(newton), std::sqrt(steepest));
    integrator_.WriteFormattedMessage(msg::kRelativeStep, relativeStep,
                                      static_cast<long>(state.mu));
  }
  for (uint32_t i = 0; i < n; ++i) integrator_.algStates[i] = xTrial_[i] / columnScale_[i];
  // With mu = 0 this never holds: an undamped step is always checked by one more evaluation.
  return std::pow(2 * relativeStep, state.mu) < kConvergedStep;
}

}  // namespace tarn
