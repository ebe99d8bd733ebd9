// AlgebraicStateSolver: solves the model's algebraic states, residuals(algStates) = 0, for the
// integrator that owns it, with a damped quasi-Newton iteration on scaled variables.
#ifndef TARN_INTEGRATORS_ALGEBRAIC_STATE_SOLVER_H
#define TARN_INTEGRATORS_ALGEBRAIC_STATE_SOLVER_H

#include <cstdint>
#include <vector>

#include "integrators/linpack.h"

namespace tarn {

class Integrator;

// The iteration evaluates the model, forms residual Jacobians and writes its trace through the
// integrator it belongs to, and keeps the error weights of the algebraic states in the
// integrator's maxErrors[numStates..]. Its factorisations and their pivots are its own, so a method
// may solve the algebraic states between two solves with a factorisation it keeps (the Rosenbrock
// stages do).
class AlgebraicStateSolver {
 public:
  explicit AlgebraicStateSolver(Integrator& integrator) : integrator_(integrator) {}
  AlgebraicStateSolver(const AlgebraicStateSolver&) = delete;
  AlgebraicStateSolver& operator=(const AlgebraicStateSolver&) = delete;

  // Work arrays for `count` algebraic states, zero; the scales are to be computed again.
  void Allocate(uint32_t count);
  // Releases the work arrays.
  void Release();

  // Solves for the integrator's algStates. True when there are no algebraic states or the
  // iteration converged (or the stop flag was raised during it); false, with a message, on a
  // singular structure, a condition too low or 50 iterations.
  bool Solve();

 private:
  struct Iteration;
  // Where the iteration goes next.
  enum class Phase { kJacobian, kResiduals, kStep, kSolved, kFailed };

  // Weights max(maxAbsErrors, |z|·maxRelErrors) into the integrator's maxErrors[numStates..].
  void UpdateWeights();
  // Residuals at the present point, their norms and the trace; kSolved when they vanish or the
  // stop flag is raised, kFailed after too many iterations, else what Progress decides.
  Phase EvaluateResiduals(Iteration& iteration);
  // With the scaled residual norm `scaled` (and the weighted `rms`): accepts the trial point when
  // it improved on the accepted one, adjusts the damping, updates the Jacobian by a secant step
  // (kStep), or goes back to the accepted point for a new Jacobian (kJacobian) when progress
  // stalls.
  Phase Progress(Iteration& iteration, double scaled, double rms);
  // Scaled residual Jacobian at the present point, its condition and inverse; false, with a
  // message, when it is singular or too badly conditioned.
  bool EvaluateJacobian(const Iteration& iteration);
  // Broyden rank-one update of jacobian_ and inverse_ from the last two points.
  void ApplySecantUpdate();
  // Damped step from the accepted point into the model's algStates; true when it is small enough
  // to stop.
  bool ComputeStep(Iteration& iteration);

  Integrator& integrator_;
  // Scaled residual Jacobian and its inverse, one column vector per algebraic state:
  // jacobian_[j][i] = d(residual i)/d(algebraic state j), likewise the inverse.
  PointerMatrix jacobian_;
  PointerMatrix inverse_;
  std::vector<int32_t> pivots_;      // LU pivots of the Jacobian's factorisation
  std::vector<double> columnScale_;  // scale of each algebraic state
  std::vector<double> rowScale_;     // scale of each residual
  // Accepted scaled point and its scaled residuals, trial point and its scaled residuals, secant
  // differences of points and residuals.
  std::vector<double> x_, r_, xTrial_, rTrial_, dx_, dr_;
  PointerMatrix work_;  // 3 work vectors of the secant update and the step
  // Whether columnScale_ and rowScale_ hold the scales of a residual Jacobian.
  bool scalesComputed_ = false;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_ALGEBRAIC_STATE_SOLVER_H
