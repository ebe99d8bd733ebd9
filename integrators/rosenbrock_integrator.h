// RosenbrockIntegrator: a fourth-order linearly implicit (Rosenbrock) method with an embedded
// third-order error estimate and step-size control, for stiff models.
#ifndef TARN_INTEGRATORS_ROSENBROCK_INTEGRATOR_H
#define TARN_INTEGRATORS_ROSENBROCK_INTEGRATOR_H

#include <vector>

#include "integrators/integrator.h"
#include "integrators/linpack.h"

namespace tarn {

// Kaps-Rentrop fourth-order Rosenbrock method, Shampine's coefficients (ACM TOMS 8, 1982). Each
// step forms the finite-difference Jacobian J of the ODE derivatives and their derivative with
// respect to the independent variable once; each attempt factors (1/(γh))·I - J and solves four
// linear systems for the stage increments g1..g4. The error of an attempt is the largest
// |stepError[i]| / maxErrors[i] (weights over the ODE and algebraic states); an attempt with error
// at most 1 is taken. Then the next step is 0.9·h·error^-1/4, or 1.5·h when the error is at most
// 0.1296 (where that formula would exceed 1.5). A failed attempt retries with 0.9·h·error^-1/3,
// never less than h/2; after 40 failed attempts the run stops.
//
// Each step begins with an evaluation at (t0, y0), the one that records the step's starting values
// of state-event functions; the stage evaluations inside the attempts are not recorded.
class RosenbrockIntegrator final : public Integrator {
 public:
  RosenbrockIntegrator();
  ~RosenbrockIntegrator() override = default;

  // The base Initialize, then the work arrays below for numStates ODE states.
  bool Initialize(const StateBindings& bindings) override;
  // Releases the work arrays, then everything the base allocated.
  void Finalize() override;
  // One accepted step from t0 = *indVar with h = stepSize, or a stop: on success *indVar = t0 + h
  // for the h taken, `states` hold the solution, stepSize the proposal for the next step and
  // stepSizeChanged is set when that differs from the step given. When 40 attempts fail, or the
  // stop flag is found raised before an attempt, the states, their derivatives and *indVar are
  // put back to the start of the step, the stop flag is raised and `messages` says why.
  void Step() override;

  // Work arrays, n = numStates.
  std::vector<double> savedStates;       // [n] states at the start of the step
  std::vector<double> savedDerivatives;  // [n] derivatives at the start of the step
  PointerMatrix stateJacobian;           // n columns: stateJacobian[j][i] = ∂f_i/∂y_j
  std::vector<double> timeDerivatives;   // [n] ∂f/∂t at the start of the step
  PointerMatrix iterationMatrix;         // n rows of (1/(γh))·I - J, then its LU factors
  std::vector<int32_t> pivots;           // [n] the pivots of those factors
  std::vector<double> conditionWork;     // [n] work vector of the condition estimate
  // Stage increments [n] each.
  std::vector<double> g1, g2, g3, g4;
  std::vector<double> stepError;  // [n] embedded error estimate of the last attempt
 private:
  // One attempt from the saved start t0 with step h: factors the iteration matrix, computes the
  // four stages, and leaves the solution in `states`, *indVar = t0 + h and the error estimate in
  // stepError.
  void Attempt(double t0, double h);
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_ROSENBROCK_INTEGRATOR_H
