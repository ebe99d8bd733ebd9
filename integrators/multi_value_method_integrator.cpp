// Multi-value (Nordsieck) predictor-corrector step with error test, step and order selection,
// restarts and the elimination of algebraic states.
#include "integrators/multi_value_method_integrator.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cfloat>
#include <cmath>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace msg = integrator_messages;

namespace {

// Coefficient tables of Gear's multi-value method as his DIFSUB holds them (C. W. Gear,
// Algorithm 407, Comm. ACM 14, 1971). Row or block 0 is the Adams-Moulton family, 1 the
// backward-differentiation (Gear) family.

// Rows of the tables indexed by order.
constexpr int kTableOrders = 10;

// Nordsieck corrector vectors l_0 .. l_q, stored negated, for each family and order; the vector
// of order q of family g starts at kCorrectorStart[kTableOrders·g + q - 1].
// clang-format off
constexpr std::array<double, 64> kCorrectorCoefficients = {
    // Adams orders 1 to 7
    -1, -1,
    -0.5, -1, -0.5,
    -0.416666666666667, -1, -0.75, -0.166666666666667,
    -0.375, -1, -0.916666666666667, -0.333333333333333, -0.041666666666667,
    -0.348611111111111, -1, -1.041666666666667, -0.486111111111111, -0.104166666666667,
        -0.008333333333333,
    -0.329861111111111, -1, -1.141666666666667, -0.625, -0.17708333333333, -0.025,
        -0.001388888888889,
    -0.315591931216931, -1, -1.225, -0.751851851851852, -0.255208333333333, -0.04861111111111,
        -0.004861111111111, -0.0001984126984127,
    // Gear orders 1 to 6
    -1, -1,
    -0.666666666666667, -1, -0.333333333333333,
    -0.545454545454545, -1, -0.545454545454545, -0.090909090909091,
    -0.48, -1, -0.7, -0.2, -0.02,
    -0.437956204379562, -1, -0.821167883211679, -0.31021897810219, -0.054744525547445,
        -0.003649635036496,
    -0.408163265306122, -1, -0.920634920634921, -0.416666666666667, -0.09920634920635,
        -0.01190476190476, -0.0005668934240363,
    // unused slots
    0, 0,
};
constexpr std::array<int32_t, 2 * kTableOrders> kCorrectorStart = {
    0,  2,  5,  9,  14, 20, 27, 0, 0, 0,  // Adams
    35, 37, 40, 44, 49, 55, 62, 0, 0, 0,  // Gear
};
// clang-format on

// Error-test constants by order: the scaled correction |Σe|/w of an order-q step must not exceed
// kErrorTestConstants[g][q].
constexpr std::array<std::array<double, kTableOrders>, 2> kErrorTestConstants = {{
    {1.7976931348623157e308, 2, 12, 24, 37.89, 53.33, 70.08, 87.97, 0, 0},
    {1.7976931348623157e308, 2, 4.5, 7.33, 10.42, 13.7, 17.5, 21.3, 0, 0},
}};

// Factor of the correction that starts the new highest Nordsieck column when the order goes up
// to q, at index q - 1.
constexpr std::array<std::array<double, kTableOrders>, 2> kOrderUpCoefficients = {{
    {1, 0.5, 0.16667, 0.04147, 0.008333, 0.001389, 0.0001984, 2.48e-05, 0, 0},
    {1, 0.5, 0.11111, 0.02272, 0.004, 0.0006083, 8.098e-05, 0, 0, 0},
}};

// Corrector convergence bound of order q at index q - 1: every |e|/w at most this.
constexpr std::array<double, kTableOrders> kConvergenceBounds = {0.33, 0.25, 0.2, 0.17, 0.14,
                                                                 0.13, 0.11, 0.1, 0.09, 0.08};

// q! at index q - 1.
constexpr std::array<double, kTableOrders> kFactorials = {1,   2,    6,     24,     120,
                                                          720, 5040, 40320, 362880, 3628800};

// Smallest step increase worth a change of step size, per family.
constexpr std::array<double, 2> kSmallestUsefulIncrease = {1.1, 1.3};

// Highest order the tables hold per family; order q needs Nordsieck columns 0 to q.
constexpr std::array<int32_t, 2> kHighestOrder = {7, 6};
static_assert(kHighestOrder[0] + 1 <=
              static_cast<int32_t>(MultiValueMethodIntegrator::kNordsieckColumns));

constexpr int32_t kCorrectorIterations = 3;
constexpr double kConvergenceFailureCut = 0.25;  // step factor after a convergence failure
constexpr double kForcedHalving = 0.5;           // step factor when giving up at an order
constexpr double kSmallestReduction = 0.5;       // outside restarts a step never shrinks more
// Weights of the step factors of the lower, the same and the higher order (the higher order's
// estimate is the least reliable).
constexpr double kOrderDownWeight = 0.7;
constexpr double kSameOrderWeight = 0.8;
constexpr double kOrderUpWeight = 0.6;
constexpr double kMaxStepFactor = 10000;
constexpr int32_t kErrorTestFailuresBeforeGiveUp = 6;
// Scale of stepChangeTolerance in the test whether the step size changed.
constexpr double kStepChangeScale = 1e-15;

// The largest ratio numerator[i]/weight[i] of a group of states: its index, numerator and weight.
// A zero numerator counts as the ratio 0 whatever its weight; a NaN ratio is the largest; among
// equal ratios the later index wins.
struct LargestRatio {
  uint32_t index = 0;
  double numerator = 0;
  double weight = 1;
  double ratio = 0;
};

template <class Numerator>
LargestRatio FindLargestRatio(uint32_t count, const double* weights, Numerator numerator) {
  LargestRatio largest;
  for (uint32_t i = 0; i < count; ++i) {
    const double value = numerator(i);
    const double ratio = value == 0 ? 0 : value / weights[i];
    if (ratio >= largest.ratio || std::isnan(ratio)) largest = {i, value, weights[i], ratio};
  }
  return largest;
}

}  // namespace

MultiValueMethodIntegrator::MultiValueMethodIntegrator(IntegrationAlgorithm code) {
  algorithm = code;
  currentOrder = 1;
  maxOrder = 6;
}

int MultiValueMethodIntegrator::Family() const {
  return algorithm == IntegrationAlgorithm::AlgGearStiff ? 1 : 0;
}

bool MultiValueMethodIntegrator::IsStiff() const { return Family() == 1; }

int32_t MultiValueMethodIntegrator::OrderLimit() const {
  return std::clamp(maxOrder, 1, kHighestOrder[Family()]);
}

double MultiValueMethodIntegrator::Coefficient(int32_t order, int32_t j) const {
  return kCorrectorCoefficients[kCorrectorStart[kTableOrders * Family() + order - 1] + j];
}

bool MultiValueMethodIntegrator::Initialize(const StateBindings& bindings) {
  if (!Integrator::Initialize(bindings)) return false;
  const uint32_t n = numStates;
  const uint32_t all = totalStates;
  const uint32_t m = numAlgStates;
  nordsieck.Allocate(kNordsieckColumns, n);
  nordsieckWork.Allocate(kNordsieckColumns, n);
  generalJacobian.Allocate(all, all);
  newtonMatrix.Allocate(all, all);
  algebraicBlock.Allocate(m, m);
  for (std::vector<double>* work : {&correctionSum, &relativeErrors, &previousCorrection}) {
    work->assign(all, 0.0);
  }
  predictorCorrectorResets.assign(all, 0);
  newtonPivots.assign(all, 0);
  algebraicPivots.assign(m, 0);
  algebraicWork.assign(m, 0.0);
  // A fresh binding has no history.
  stepsUntilOrderChange = -2;
  return true;
}

void MultiValueMethodIntegrator::Finalize() {
  for (PointerMatrix* matrix :
       {&nordsieck, &nordsieckWork, &generalJacobian, &newtonMatrix, &algebraicBlock}) {
    matrix->Release();
  }
  for (std::vector<double>* work :
       {&correctionSum, &relativeErrors, &previousCorrection, &algebraicWork}) {
    *work = {};
  }
  predictorCorrectorResets = {};
  newtonPivots = {};
  algebraicPivots = {};
  Integrator::Finalize();
}

// ---- Linear algebra ---------------------------------------------------------------------------

bool MultiValueMethodIntegrator::CalculateJacobianGeneralMatrix() {
  CalculateJacobian(JacobianType::AllStateJacobian, generalJacobian.data());
  const uint32_t n = numStates;
  const uint32_t m = numAlgStates;
  if (m == 0) return true;
  double** jacobian = generalJacobian.data();

  // Columns of J_zz: Linpack sees the transpose, and inverting that leaves J_zz⁻¹ in the same
  // column layout (algebraicBlock[k][l] = element (l, k) of the inverse).
  for (uint32_t j = 0; j < m; ++j) {
    std::copy(jacobian[n + j] + n, jacobian[n + j] + n + m, algebraicBlock[j]);
  }
  const int size = static_cast<int>(m);
  int info = 0;
  Linpack::GaussFactor(algebraicBlock.data(), size, size, algebraicPivots.data(), info);
  if (info != 0) {
    WriteMessage(msg::kSingularAlgebraicBlock);
    return false;
  }
  double determinant[2];
  Linpack::GaussInvert(algebraicBlock.data(), size, size, algebraicPivots.data(), determinant,
                       algebraicWork.data(), 1);

  // The algebraic columns become J_yz·J_zz⁻¹, one row at a time.
  double* row = algebraicWork.data();
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t k = 0; k < m; ++k) {
      double sum = 0;
      for (uint32_t l = 0; l < m; ++l) sum += jacobian[n + l][i] * algebraicBlock[k][l];
      row[k] = sum;
    }
    for (uint32_t k = 0; k < m; ++k) jacobian[n + k][i] = row[k];
  }
  // J_yy - (J_yz·J_zz⁻¹)·J_zy.
  for (uint32_t j = 0; j < n; ++j) {
    for (uint32_t i = 0; i < n; ++i) {
      double sum = 0;
      for (uint32_t k = 0; k < m; ++k) sum += jacobian[n + k][i] * jacobian[j][n + k];
      jacobian[j][i] -= sum;
    }
  }
  return true;
}

bool MultiValueMethodIntegrator::CalculateInverseTransitionMatrix(double h) {
  const uint32_t n = numStates;
  const double l0 = Coefficient(currentOrder, 0);
  // Row addressing for Linpack: row i holds ∂(equation i)/∂(variable j) at [i][j].
  for (uint32_t i = 0; i < n; ++i) {
    double* row = newtonMatrix[i];
    for (uint32_t j = 0; j < n; ++j) row[j] = l0 * h * generalJacobian[j][i];
    row[i] += 1;
  }
  const int size = static_cast<int>(n);
  int info = 0;
  Linpack::GaussFactor(newtonMatrix.data(), size, size, newtonPivots.data(), info);
  return info == 0;
}

// ---- Nordsieck array --------------------------------------------------------------------------

void MultiValueMethodIntegrator::ChangeBasis(double h) {
  const uint32_t n = numStates;
  std::copy(nordsieck[0], nordsieck[0] + n, nordsieckWork[0]);
  const double ratio = h / nordsieckStep;
  double scale = 1;
  for (int32_t j = 1; j <= currentOrder; ++j) {
    scale *= ratio;
    const double* from = nordsieck[j];
    double* to = nordsieckWork[j];
    for (uint32_t i = 0; i < n; ++i) to[i] = from[i] * scale;
  }
}

void MultiValueMethodIntegrator::UpdateNordsieckVector() {
  const uint32_t n = numStates;
  const int32_t q = currentOrder;
  for (int32_t k = 0; k < q; ++k) {
    for (int32_t j = q - 1; j >= k; --j) {
      double* low = nordsieckWork[j];
      const double* high = nordsieckWork[j + 1];
      for (uint32_t i = 0; i < n; ++i) low[i] += high[i];
    }
  }
}

void MultiValueMethodIntegrator::ClearWorkAreas() {
  for (uint32_t j = 0; j < kNordsieckColumns; ++j) {
    std::fill(nordsieck[j], nordsieck[j] + numStates, 0.0);
    std::fill(nordsieckWork[j], nordsieckWork[j] + numStates, 0.0);
  }
}

// ---- Step ---------------------------------------------------------------------------------------

void MultiValueMethodIntegrator::EvaluateModel() {
  CalculateAlgebraicStatesOrStop();
  CalculateDerivatives();
}

bool MultiValueMethodIntegrator::EvaluateJacobian() {
  const bool formed = CalculateJacobianGeneralMatrix();
  ++jacobianEvaluations;
  if (!formed) WriteMessage(msg::kJacobianCalculationFailed);
  return formed;
}

void MultiValueMethodIntegrator::AbandonStep(double t0) {
  std::copy(nordsieck[0], nordsieck[0] + numStates, states);
  *indVar = t0;
  settings.SetStopFlag(true);
  // The working array and the factors may belong to an unfinished attempt.
  stepsUntilOrderChange = -2;
}

bool MultiValueMethodIntegrator::StartStep(bool& restarted) {
  const uint32_t n = numStates;
  bool restart = stepsUntilOrderChange < 0;
  double* history = nordsieck[0];
  for (uint32_t i = 0; i < n; ++i) {
    if (states[i] != history[i]) {
      restart = true;
      history[i] = states[i];
    }
  }
  if (restartRequested) {
    restart = true;
    restartRequested = false;
  }
  restarted = restart;
  if (!restart) return true;

  ClearWorkAreas();
  UpdateMaxErrorVector(true);
  if (!EvaluateJacobian()) {
    settings.SetStopFlag(true);
    stepsUntilOrderChange = -2;  // the history is gone: a continued run restarts again
    return false;
  }
  EvaluateModel();
  // z[1] = y' is the history scaled to the unit step.
  std::copy(states, states + n, nordsieck[0]);
  std::copy(derivatives, derivatives + n, nordsieck[1]);
  nordsieckStep = 1.0;
  currentOrder = 1;
  stepsUntilOrderChange = 1;
  return true;
}

MultiValueMethodIntegrator::Correction MultiValueMethodIntegrator::Correct(double h, int32_t fail,
                                                                           uint32_t& lastFailing) {
  const uint32_t n = numStates;
  const int32_t q = currentOrder;
  const double l0 = Coefficient(q, 0);
  const double l1 = Coefficient(q, 1);
  const double bound = kConvergenceBounds[q - 1];
  const double* w = maxErrors.data();
  double* e = currentErrors.data();
  double* z0 = nordsieckWork[0];
  double* z1 = nordsieckWork[1];

  for (int32_t k = 0; k < kCorrectorIterations; ++k) {
    std::copy(z0, z0 + n, states);
    EvaluateModel();
    if (settings.GetStopFlag()) return Correction::kStopped;

    for (uint32_t i = 0; i < n; ++i) e[i] = z1[i] - h * derivatives[i];
    if (IsStiff()) {
      const int size = static_cast<int>(n);
      Linpack::GaussSolve(newtonMatrix.data(), size, size, newtonPivots.data(), e, 0);
    }
    bool converged = true;
    for (uint32_t i = 0; i < n; ++i) {
      z0[i] += l0 * e[i];
      z1[i] += l1 * e[i];
      correctionSum[i] += e[i];
      // A NaN correction fails the test.
      if (!(std::fabs(e[i]) <= bound * w[i])) {
        converged = false;
        lastFailing = i;
      }
    }

    if (writeNormalData) {
      WriteFormattedMessage(msg::kCorrectorIteration, static_cast<long>(fail),
                            static_cast<long>(k));
      WriteMessage(msg::kCurrentErrorRelative);
      for (uint32_t i = 0; i < n; ++i) relativeErrors[i] = e[i] / w[i];
      double* column = relativeErrors.data();
      WriteMatrix(&column, n, 1);
      if (!converged) {
        WriteFormattedMessage(msg::kStateHasLargestError, static_cast<long>(lastFailing));
      }
    }
    if (converged) return Correction::kConverged;
  }
  return Correction::kNotConverged;
}

double MultiValueMethodIntegrator::ChooseStepAndOrder(int32_t fail, double errorNumerator,
                                                      double errorWeight) {
  const uint32_t n = numStates;
  const int g = Family();
  const int32_t q = currentOrder;
  const double* w = maxErrors.data();
  const std::array<double, kTableOrders>& errorTest = kErrorTestConstants[g];

  // Each factor divides the weight by the estimate times the error constant of its order, while
  // the error test accepts the correction up to the constant times the weight: the steps chosen
  // aim at errors well inside what the test accepts.
  double down = 0;
  if (q > 1) {
    const double* z = nordsieckWork[q];
    const LargestRatio last = FindLargestRatio(n, w, [&](uint32_t i) { return std::fabs(z[i]); });
    const double d = last.numerator > DBL_MIN ? last.numerator : DBL_MIN;
    down = kOrderDownWeight *
           std::pow(d * kFactorials[q - 1] * errorTest[q - 1] / last.weight, -1.0 / q);
  }
  const double same =
      errorNumerator > DBL_MIN
          ? kSameOrderWeight *
                std::pow(errorWeight / (errorNumerator * errorTest[q]), 1.0 / (q + 1))
          : DBL_MIN;
  double up = 0;
  if (q < OrderLimit() && fail == 0 && n > 0) {
    const LargestRatio change = FindLargestRatio(
        n, w, [&](uint32_t i) { return std::fabs(correctionSum[i] - previousCorrection[i]); });
    up = change.numerator > DBL_MIN
             ? kOrderUpWeight *
                   std::pow(change.weight / (change.numerator * errorTest[q + 1]), 1.0 / (q + 2))
             : DBL_MAX;
  }

  double best = same;
  if (down > same && down > up) {
    best = down;
  } else if (up >= same) {
    best = up;
  }
  double r = fail == 0 ? std::max(best, 1.0) : best;
  if (writeNormalData) {
    WriteMessage(msg::kStepChangeFactors);
    WriteFormattedMessage(msg::kBestFactor, r, same);
    WriteFormattedMessage(msg::kNeighbourOrderFactors, down, up);
  }

  if ((fail > 0 || r > kSmallestUsefulIncrease[g]) && r != same) {
    if (r == down) {
      --currentOrder;
      if (fail != 0) r = std::min(r, 1.0);
    } else {
      assert(q < OrderLimit());
      ++currentOrder;
      const double factor = kOrderUpCoefficients[g][currentOrder - 1];
      double* z = nordsieckWork[currentOrder];
      for (uint32_t i = 0; i < n; ++i) z[i] = -factor * correctionSum[i];
    }
    stepsUntilOrderChange = currentOrder + 1;
  }
  return r;
}

void MultiValueMethodIntegrator::Step() {
  StepState step;
  step.t0 = *indVar;
  if (!StartStep(step.restarted)) return;
  currentOrder = std::min(currentOrder, OrderLimit());
  UpdateMaxErrorVector(true);
  step.h = stepSize;
  step.changedOnEntry =
      step.restarted || std::fabs(step.h - nordsieckStep) > stepChangeTolerance * kStepChangeScale;

  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(msg::kStageEvaluations[0]);

  for (;; step.firstAttempt = false) {
    Outcome outcome = Attempt(step);
    if (outcome.verdict == Verdict::kGiveUp) outcome = GiveUp(step, outcome.controlling);
    switch (outcome.verdict) {
      case Verdict::kRetry:
        continue;
      case Verdict::kAbandoned:
        AbandonStep(step.t0);
        return;
      case Verdict::kEndedAtMinimumStep:
        return;
      case Verdict::kAccepted:
      case Verdict::kRejected:
      case Verdict::kGiveUp:  // not left: GiveUp turned it into kRejected or kEndedAtMinimumStep
        break;
    }
    const bool sizeChanged = UpdateStepSize(step, outcome.factor);
    if (outcome.verdict == Verdict::kAccepted) {
      stepSizeChanged = sizeChanged || step.earlierAttemptFailed;
      std::copy(nordsieck[0], nordsieck[0] + numStates, states);
      return;
    }
    stepSizeChanged = sizeChanged;
  }
}

MultiValueMethodIntegrator::Outcome MultiValueMethodIntegrator::Attempt(StepState& step) {
  // The first attempt of a step of unchanged size works on the accepted array as it stands and
  // reuses the factors of the previous step.
  if (!step.firstAttempt || step.changedOnEntry) {
    ChangeBasis(step.h);
    if (IsStiff()) {
      ++luDecompositions;
      if (!CalculateInverseTransitionMatrix(step.h)) {
        WriteMessage(msg::kZeroDeterminantStiff);
        return {Verdict::kAbandoned};
      }
    }
  }
  if (settings.GetStopFlag()) return {Verdict::kAbandoned};
  const int32_t q = currentOrder;
  *indVar = step.t0 + step.h;
  UpdateNordsieckVector();
  std::fill(correctionSum.begin(), correctionSum.end(), 0.0);

  uint32_t lastFailing = 0;
  const Correction correction = Correct(step.h, step.fail, lastFailing);
  if (correction == Correction::kStopped) return {Verdict::kAbandoned};
  if (correction == Correction::kNotConverged) {
    return HandleConvergenceFailure(step, q, lastFailing);
  }
  return TestError(step, q);
}

MultiValueMethodIntegrator::Outcome MultiValueMethodIntegrator::HandleConvergenceFailure(
    StepState& step, int32_t q, uint32_t lastFailing) {
  ++predictorCorrectorResets[lastFailing];
  step.earlierAttemptFailed = true;
  if (IsStiff() && step.fail >= 0) {
    if (!RefreshJacobianAtPrediction(step.h)) return {Verdict::kAbandoned};
  } else if (step.h > minStepSize) {
    step.h = std::max(step.h * kConvergenceFailureCut, minStepSize);
  } else {
    return {Verdict::kGiveUp, 1, lastFailing};
  }
  stepsUntilOrderChange = q + 1;
  step.fail = std::min(step.fail, 0) - 1;
  return {Verdict::kRetry};
}

bool MultiValueMethodIntegrator::RefreshJacobianAtPrediction(double h) {
  // Linearise at the prediction: a diverged iterate gives a Jacobian so large that the next
  // corrections look converged while they barely move the prediction.
  ChangeBasis(h);
  UpdateNordsieckVector();
  std::copy(nordsieckWork[0], nordsieckWork[0] + numStates, states);
  CalculateAlgebraicStatesOrStop();
  if (settings.GetStopFlag() || !EvaluateJacobian()) return false;
  if (writeExtraData) {
    WriteMessage(msg::kNewJacobianMatrix);
    WriteMatrix(generalJacobian.data(), totalStates, totalStates);
  }
  return true;
}

MultiValueMethodIntegrator::Outcome MultiValueMethodIntegrator::TestError(StepState& step,
                                                                          int32_t q) {
  const uint32_t n = numStates;
  const LargestRatio error = FindLargestRatio(
      n, maxErrors.data(), [&](uint32_t i) { return std::fabs(correctionSum[i]); });
  if (step.fail == 0 && n > 0) ++errorControlledCount[error.index];
  const double limit = kErrorTestConstants[Family()][q];
  if (writeNormalData) {
    WriteMessage(msg::kCorrectorConverged);
    WriteMessage(msg::kSumOfDerivativeDifferences);
    double* column = correctionSum.data();
    WriteMatrix(&column, n, 1);
    WriteFormattedMessage(msg::kStateLargestRelativeError, static_cast<long>(error.index),
                          error.ratio);
    WriteFormattedMessage(msg::kScaledErrorBelowUnity, error.ratio / limit);
  }
  // A NaN error fails the test.
  if (error.ratio <= limit) {
    return {Verdict::kAccepted, CompleteStep(step, q, error.numerator, error.weight)};
  }
  step.earlierAttemptFailed = true;
  if (step.fail == kErrorTestFailuresBeforeGiveUp) return {Verdict::kGiveUp, 1, error.index};
  step.fail = std::max(step.fail, 0) + 1;
  return {Verdict::kRejected, ChooseStepAndOrder(step.fail, error.numerator, error.weight)};
}

double MultiValueMethodIntegrator::CompleteStep(StepState& step, int32_t q, double errorNumerator,
                                                double errorWeight) {
  const uint32_t n = numStates;
  step.fail = 0;
  for (int32_t j = 2; j <= q; ++j) {
    const double l = Coefficient(q, j);
    double* z = nordsieckWork[j];
    for (uint32_t i = 0; i < n; ++i) z[i] += l * correctionSum[i];
  }
  if (stepsUntilOrderChange == 1) previousCorrection = correctionSum;
  double r = 1;
  if (stepsUntilOrderChange == 0) {
    stepsUntilOrderChange = q + 1;
    r = ChooseStepAndOrder(step.fail, errorNumerator, errorWeight);
  }
  for (int32_t j = 0; j <= currentOrder; ++j) {
    std::copy(nordsieckWork[j], nordsieckWork[j] + n, nordsieck[j]);
  }
  nordsieckStep = step.h;
  lastStepSize = step.h;
  --stepsUntilOrderChange;
  return r;
}

MultiValueMethodIntegrator::Outcome MultiValueMethodIntegrator::GiveUp(StepState& step,
                                                                       uint32_t controlling) {
  if (currentOrder > 1 || step.h > minStepSize) {
    step.fail = 1;
    if (currentOrder > 1) {
      --currentOrder;
      stepsUntilOrderChange = currentOrder + 1;
    }
    return {Verdict::kRejected, kForcedHalving};
  }
  minStepViolated = true;
  settings.SetMinStepSizeViolation(true);
  EvaluateModel();
  stepsUntilOrderChange = -2;
  WriteFormattedMessage(msg::kCannotSatisfyErrorCriterionMultiValue,
                        static_cast<long>(controlling));
  stepSize = step.h;
  stepSizeChanged = true;
  return {Verdict::kEndedAtMinimumStep};
}

bool MultiValueMethodIntegrator::UpdateStepSize(StepState& step, double r) {
  if (!step.restarted) r = std::max(r, kSmallestReduction);
  bool sizeChanged = false;
  if (r >= kSmallestUsefulIncrease[Family()] || r < 1) {
    sizeChanged = true;
    const double scaled = std::min(r, kMaxStepFactor) * step.h;
    // A reduction never lengthens a step the solver had already cut below minStepSize.
    step.h = r < 1 ? std::min(step.h, std::max(scaled, minStepSize))
                   : std::min(std::max(scaled, minStepSize), maxStepSize);
  }
  stepSize = step.h;
  return sizeChanged;
}

void MultiValueMethodIntegrator::WriteStatistics() {
  WriteMessage(msg::kStatisticsHeading);
  if (totalStates == 0) return;
  WriteFormattedMessage(msg::kJacobianEvaluationCount, static_cast<long>(jacobianEvaluations));
  WriteFormattedMessage(msg::kLuDecompositionCount, static_cast<long>(luDecompositions));
  for (uint32_t i = 0; i < totalStates; ++i) {
    WriteFormattedMessage(msg::kMultiValueStateStatistics, static_cast<long>(i),
                          static_cast<long>(predictorCorrectorResets[i]),
                          static_cast<long>(errorControlledCount[i]));
  }
}

}  // namespace tarn
