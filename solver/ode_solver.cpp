// The ODE solver driver: run initialisation, the scaled communication clock, interval ends, step
// sizes, the stepping loop of one communication interval, synchronisation points, checkpointing
// and the message buffer.
#include "solver/ode_solver.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <limits>

#include "integrators/scoped_flag.h"
#include "solver/integrator_factory.h"
#include "solver/message_buffer.h"
#include "solver/ode_solver_messages.h"

namespace tarn {
namespace {

namespace msg = ode_solver_messages;

// Relative tolerance of every time comparison: two times are equal when they differ by no more
// than kTimeTolerance · max(|t|, commInterval).
constexpr double kTimeTolerance = 1e-15;
// Added to rem / h before truncation when a variable-step stretch is divided into steps: the
// count is rounded up unless the stretch exceeds a whole number of proposed steps by less than a
// millionth of a step.
constexpr double kStepCountRoundUp = 0.999999;
// Identifier of the solver's checkpoint.
constexpr uint32_t kCheckPointId = 1;

}  // namespace

OdeSolver::~OdeSolver() {
  ClearEventQueues();
  if (integrator) integrator->Finalize();
}

bool OdeSolver::IsSupportedAlgorithm(IntegrationAlgorithm algorithm) {
  return IsRunnableAlgorithm(algorithm);
}

bool OdeSolver::Initialize(IntegrationAlgorithm algorithm, const StateBindings& bindings) {
  settings.SetStopFlag(false);
  stepCount = 0;
  lastCommInterval = -1.0;
  timeScale = 1.0;
  stepsPerCommInterval = 10;
  commInterval = 0.1;
  scaledCommInterval = 0;
  scaledTime = 0;
  intervalEnd = 0;
  stepStartTime = 0;
  fixedStepEnd = std::numeric_limits<double>::quiet_NaN();
  stepSize = 0.01;
  stateEventsDeclared = false;
  firstInterval = true;
  modelTouched = true;
  postStepEvaluationLeftOut = false;
  integrationAlgorithm = algorithm;
  stepRegime = GetStepRegime(algorithm);
  static_cast<StateBindings&>(*this) = bindings;

  if (!stateStorage.Initialize()) return false;

  // Saved in this order: the independent variable, then each state group that is present.
  checkPoint.Initialize(kCheckPointId, &stateStorage, nullptr, nullptr);
  const auto registerBlock = [this](double* values, uint32_t count) {
    if (values != nullptr && count != 0) {
      checkPoint.AddCheckedBlock(values, count * sizeof(double), StateStorageType::kPrimary);
    }
  };
  registerBlock(indVar, 1);
  registerBlock(states, numStates);
  registerBlock(algStates, numAlgStates);
  registerBlock(delayStates, numDelayStates);

  delayStateKeys.assign(delayStates != nullptr ? numDelayStates : 0, 0);

  InitializeIntegrator();
  CopyInitCondsToStates();
  return true;
}

bool OdeSolver::InitializeIntegrator() {
  if (integrator) {
    integrator->Finalize();
    integrator.reset();
  }
  integrator = CreateIntegrator(integrationAlgorithm);
  if (!integrator) return true;
  integrator->settings.Copy(&settings);
  integrator->derivArg1 = derivArg1;
  integrator->derivArg2 = derivArg2;
  return integrator->Initialize(*this);
}

void OdeSolver::Finalize() {
  if (integrator) {
    integrator->Finalize();
    integrator.reset();
  }
  delayStateKeys.clear();
  checkPoint.Finalize();
  stateStorage.Finalize();
}

void OdeSolver::SetDerivativeFunction(TarnSimDerivativeFunction function) {
  derivativeFunction = function;
  if (integrator) integrator->SetDerivativeFunction(function);
}

void OdeSolver::SetDerivFuncArg1(uint32_t arg) {
  derivArg1 = arg;
  if (integrator) integrator->derivArg1 = arg;
}

void OdeSolver::SetDerivFuncArg2(uint32_t arg) {
  derivArg2 = arg;
  if (integrator) integrator->derivArg2 = arg;
}

void OdeSolver::SetInitializationInProgress(bool inProgress) {
  initializationInProgress = inProgress;
  if (integrator) integrator->initializing = inProgress;
}

void OdeSolver::CopyInitCondsToStates() {
  modelTouched = true;
  if (delayStates != nullptr && delayNextValues != nullptr && delayInitConds != nullptr) {
    for (uint32_t i = 0; i < numDelayStates; ++i) {
      delayStates[i] = delayNextValues[i] = delayInitConds[i];
    }
  }
  if (integrator) integrator->CopyInitCondsToStates();
}

void OdeSolver::CopyStatesToInitConds() {
  if (delayStates != nullptr && delayInitConds != nullptr) {
    std::copy(delayStates, delayStates + numDelayStates, delayInitConds);
  }
  if (integrator) integrator->CopyStatesToInitConds();
}

void OdeSolver::KeepInitCondsForNextReset() {
  auto copy = [](const double* values, uint32_t count) {
    return values != nullptr ? std::vector<double>(values, values + count) : std::vector<double>();
  };
  keptInitConds = {copy(initConds, numStates), copy(algInitConds, numAlgStates),
                   copy(delayInitConds, numDelayStates)};
}

void OdeSolver::RestoreKeptInitConds() {
  if (!keptInitConds) return;
  const auto& [kept, keptAlgebraic, keptDelays] = *keptInitConds;
  std::copy(kept.begin(), kept.end(), initConds);
  std::copy(keptAlgebraic.begin(), keptAlgebraic.end(), algInitConds);
  std::copy(keptDelays.begin(), keptDelays.end(), delayInitConds);
  keptInitConds.reset();
}

void OdeSolver::UpdateDelayStates(uint32_t key) {
  if (delayStates == nullptr || delayNextValues == nullptr) return;
  const auto count = std::min<std::size_t>(numDelayStates, delayStateKeys.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (delayStateKeys[i] == key) delayStates[i] = delayNextValues[i];
  }
}

void OdeSolver::Restart(double newStepSize) {
  stepSize = newStepSize;
  modelTouched = true;
  if (integrator) integrator->restartRequested = true;
}

double OdeSolver::TimeTolerance() const {
  return kTimeTolerance * std::max(std::fabs(*indVar), commInterval);
}

bool OdeSolver::ReachesIntervalEnd(double t) const {
  return intervalEnd - t <= kTimeTolerance * std::max(std::fabs(t), commInterval);
}

bool OdeSolver::Step() {
  settings.communicationPointReached = false;
  if (!integrator) {
    WriteFormattedMessage(msg::kNoIntegrator, static_cast<long>(integrationAlgorithm));
    RaiseStopFlag();
    return false;
  }
  assert(indVar != nullptr);
  integrator->computeJacobValidity = settings.GetComputeJacobValidity();
  integrator->maxOrder = settings.GetMaxIntegOrder();
  integrator->jacobNonlinThresh = settings.GetJacobNonlinThresh();
  integrator->twoSidedMatrixEval = settings.GetTwoSidedMatrixEval();
  integrator->writeNormalData = settings.GetWriteNormalData();
  integrator->writeExtraData = settings.GetWriteExtraData();

  // A NaN or infinite interval would never let the clock find a scale or reach its end.
  if (!(commInterval > 0) || !std::isfinite(commInterval)) {
    WriteMessage(msg::kCommIntervalNotPositive);
    RaiseStopFlag();
    return false;
  }
  firstInterval = false;
  // A continued run: the host may have changed anything since the last interval.
  if (rescaleInterval) modelTouched = true;
  CalcIntervalEnd();
  stepCount = 0;

  while (!settings.GetStopFlag()) {
    if (!CalcStepSize()) {
      RaiseStopFlag();
      return false;
    }
    stepStartTime = *indVar;
    if (stateEventsDeclared && !SaveState()) {
      RaiseStopFlag();
      return false;
    }
    IntegratorStep();
    if (!HandleStateEvents()) {
      RaiseStopFlag();
      return false;
    }
    if (ReachesIntervalEnd(*indVar)) {
      HandleIndependentVarEvents();
      if (settings.GetCommIntOnEvent() || nextCommTime - *indVar <= TimeTolerance()) {
        settings.communicationPointReached = true;
        break;
      }
      CalcIntervalEnd();
    }
    if (settings.communicationPointReached) {
      // A serviced state event ended the interval.
      HandleIndependentVarEvents();
      break;
    }
  }
  settings.SetCurrIntegrationOrder(integrator->currentOrder);
  settings.SetCurrActualStepSize(integrator->stepSize);
  return true;
}

void OdeSolver::CalcIntervalEnd() {
  const double t = *indVar;
  if (commInterval != lastCommInterval || rescaleInterval) {
    rescaleInterval = false;
    // The smallest power of ten that makes the interval a whole number (or, for an interval
    // without a short decimal form, one so large that the remainder is below the tolerance).
    double scale = 1;
    for (;;) {
      scaledCommInterval = scale * commInterval;
      const bool whole =
          std::fabs(scaledCommInterval - std::round(scaledCommInterval)) <= kTimeTolerance &&
          scaledCommInterval > 0.5;
      if (whole || kTimeTolerance * scaledCommInterval > 1) break;
      scale *= 10;
    }
    scaledCommInterval = std::round(scaledCommInterval);
    timeScale = scale;
    lastCommInterval = commInterval;
    // Anchor the clock at the present time, on the whole count when the time is one within the
    // tolerance, so that later points stay exact multiples.
    scaledTime = scale * t;
    const double count = std::round(scaledTime);
    if (std::fabs(scaledTime - count) <=
        kTimeTolerance * std::max(std::fabs(scaledTime), scaledCommInterval)) {
      scaledTime = count;
    }
  }
  scaledNextCommTime = scaledTime + scaledCommInterval;
  nextCommTime = scaledNextCommTime / timeScale;

  double earliest = 0;
  if (CheckForIndependentVarEvents(&earliest) &&
      nextCommTime - earliest > kTimeTolerance * std::max(std::fabs(earliest), commInterval)) {
    intervalEnd = earliest;  // the communication point stays ahead
  } else {
    intervalEnd = nextCommTime;
    scaledTime = scaledNextCommTime;
  }
}

bool OdeSolver::CheckForIndependentVarEvents(double* time) {
  const double t = *indVar;
  double earliest = DBL_MAX;
  bool found = false;
  // A synchronisation point within the tolerance of the present time has been reached already.
  const auto sync = std::upper_bound(syncPoints.begin(), syncPoints.end(), t + TimeTolerance());
  if (sync != syncPoints.end() && *sync < DBL_MAX) {
    earliest = *sync;
    found = true;
  }
  for (EventQueue* queue : {&timeEvents, &intervalEvents}) {
    for (auto it = queue->GetListStart(); !queue->IsListEnd(it); ++it) {
      found = true;
      earliest = std::min(earliest, static_cast<const OdeEvent*>(*it)->value);
    }
  }
  *time = earliest;
  return found;
}

bool OdeSolver::CalcStepSize() {
  const double remaining = intervalEnd - *indVar;
  switch (stepRegime) {
    case StepRegime::kFixed:
      stepSize = std::min({commInterval / stepsPerCommInterval, maxStepSize, remaining});
      break;
    case StepRegime::kVariable:
      FitVariableStep(remaining);
      break;
    case StepRegime::kBoundsOnly:
      stepSize = std::max(minStepSize, maxStepSize);
      break;
    case StepRegime::kNone:
      break;
  }
  if (stepSize > 0) return true;
  WriteFormattedMessage(msg::kStepSizeNotPositive, stepSize, *indVar);
  return false;
}

bool OdeSolver::ConsumeModelUnchanged() {
  const uint64_t writes = hostWrites.load(std::memory_order_relaxed);
  const bool unchanged = memorylessDerivatives && numAlgStates == 0 && !modelTouched &&
                         writes == hostWritesSeen && !integrator->restartRequested &&
                         !integrator->writeNormalData && !integrator->writeExtraData;
  modelTouched = false;
  hostWritesSeen = writes;
  if (!unchanged && postStepEvaluationLeftOut) integrator->restartRequested = true;
  integrator->modelUnchangedSinceLastStep = unchanged;
  return unchanged;
}

bool OdeSolver::StepEndUnobserved() const {
  return memorylessDerivatives && numAlgStates == 0 && !stateEventsDeclared && !debugRun &&
         !integrator->UsesPostStepDerivatives() && !integrator->writeNormalData &&
         !integrator->writeExtraData;
}

void OdeSolver::FitVariableStep(double remaining) {
  // The integrator's proposal, spread evenly over the rest of the stretch.
  stepSize = std::min(stepSize, maxStepSize);
  if (stepSize <= 0) return;
  requestedStepSize = stepSize;
  const double count = std::trunc(remaining / requestedStepSize + kStepCountRoundUp);
  stepSize = count >= 1 ? remaining / count : remaining;
}

bool OdeSolver::PassOverInterpolatingSteps() {
  double reach = 0;
  double nextStepSize = 0;
  if (!integrator->GetInterpolationWindow(&reach, &nextStepSize)) return false;
  double t = *indVar;
  if (t + stepSize > reach) return false;
  // Each step as Step and the stepping loop would take it, without the rest of the loop. A stop
  // raised meanwhile is honoured at the next step the loop takes: nothing computed here could be
  // saved by it.
  double passedStepSize = stepSize;
  for (;;) {
    stepStartTime = t;
    t = t + stepSize;
    ++stepCount;
    passedStepSize = stepSize;
    if (nextStepSize == stepSize) stepSize = requestedStepSize;
    if (hostWrites.load(std::memory_order_relaxed) != hostWritesSeen ||
        !(std::min(stepSize, maxStepSize) > 0)) {
      break;
    }
    const double proposal = stepSize;
    const double request = requestedStepSize;
    FitVariableStep(intervalEnd - t);
    const double end = t + stepSize;
    if (ReachesIntervalEnd(end) || end > reach) {
      // The stepping loop takes this step, from the same proposal.
      stepSize = proposal;
      requestedStepSize = request;
      break;
    }
  }
  *indVar = t;
  integrator->stepSize = passedStepSize;
  integrator->stepSizeChanged = nextStepSize != passedStepSize;
  return true;
}

void OdeSolver::IntegratorStep() {
  assert(integrator);
  const double start = *indVar;
  const bool unobserved =
      ConsumeModelUnchanged() && StepEndUnobserved() && !ReachesIntervalEnd(start + stepSize);
  switch (stepRegime) {
    case StepRegime::kVariable:
      integrator->stepSize = stepSize;
      // Inside the stretch the integrator forms the end as start + stepSize, like the test above.
      if (unobserved && PassOverInterpolatingSteps()) {
        postStepEvaluationLeftOut = true;
        return;
      }
      integrator->Step();
      stepSize = integrator->stepSizeChanged ? integrator->stepSize : requestedStepSize;
      break;
    case StepRegime::kFixed:
      integrator->stepSize = stepSize;
      integrator->Step();
      if (*indVar != start) CountFixedStep(start);
      break;
    case StepRegime::kBoundsOnly:
    case StepRegime::kNone:
      break;
  }
  // The integrator forms t0 + h, which may miss the end by a rounding error; the run of steps
  // ends exactly on the communication point, sync point or event time.
  if (std::fabs(intervalEnd - *indVar) <= TimeTolerance()) *indVar = intervalEnd;
  ++stepCount;
  postStepEvaluationLeftOut = unobserved;
  if (unobserved) return;
  {
    ScopedFlag postStep(integrator->inPostStepEvaluation);
    integrator->CalculateDerivatives();
  }
  if (numAlgStates != 0 && !integrator->CalculateAlgebraicStates()) RaiseStopFlag();
}

void OdeSolver::CountFixedStep(double start) {
  if (start != fixedStepEnd || stepSize != fixedStepSize) {
    fixedStepAnchor = start;
    fixedStepSize = stepSize;
    fixedStepCount = 0;
  }
  ++fixedStepCount;
  *indVar = fixedStepAnchor + fixedStepCount * fixedStepSize;
  fixedStepEnd = *indVar;
}

void OdeSolver::AddSyncPoints(int32_t count, const double* times) {
  if (count <= 0 || times == nullptr) return;
  syncPoints.reserve(syncPoints.size() + static_cast<std::size_t>(count));
  std::copy_if(times, times + count, std::back_inserter(syncPoints),
               [](double time) { return !std::isnan(time); });
  std::sort(syncPoints.begin(), syncPoints.end());
  syncPoints.erase(std::unique(syncPoints.begin(), syncPoints.end()), syncPoints.end());
}

void OdeSolver::ClearSyncPoints() { syncPoints.clear(); }

bool OdeSolver::SaveState() {
  stateStorage.SetPosition(0);
  if (checkPoint.Save()) return true;
  WriteMessage(msg::kUnableToCheckpoint);
  return false;
}

bool OdeSolver::RestoreState() {
  stateStorage.SetPosition(0);
  if (!checkPoint.Restore()) {
    WriteMessage(msg::kUnableToRestore);
    return false;
  }
  if (integrator) integrator->restartRequested = true;
  modelTouched = true;
  return true;
}

void OdeSolver::WriteMessage(const char* text) {
  AppendMessageLine(messages, messagesLeftOut, text != nullptr ? text : "");
}

void OdeSolver::WriteFormattedMessage(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  AppendMessageLine(messages, messagesLeftOut, text);
}

void OdeSolver::DebugDump(const char* label) const {
  std::puts(msg::kDumpRule);
  std::printf(msg::kDumpBegin, label != nullptr ? label : "");
  std::printf(msg::kDumpAlgorithm, static_cast<long>(integrationAlgorithm));
  std::printf(msg::kDumpIndVar, indVar != nullptr ? *indVar : 0.0);
  std::printf(msg::kDumpNumStates, static_cast<long>(numStates));
  std::printf(msg::kDumpNumAlgStates, static_cast<long>(numAlgStates));
  std::printf(msg::kDumpNumDelayStates, static_cast<long>(numDelayStates));
  std::printf(msg::kDumpCommInterval, commInterval);
  std::printf(msg::kDumpStepsPerCommInterval, static_cast<long>(stepsPerCommInterval));
  std::printf(msg::kDumpStepSize, stepSize);
  std::printf(msg::kDumpMinStepSize, minStepSize);
  std::printf(msg::kDumpMaxStepSize, maxStepSize);
  std::puts(msg::kDumpEnd);
  std::puts(msg::kDumpRule);
}

}  // namespace tarn
