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
  if (integrator_) integrator_->Finalize();
}

bool OdeSolver::IsSupportedAlgorithm(IntegrationAlgorithm algorithm) {
  return IsRunnableAlgorithm(algorithm);
}

bool OdeSolver::Initialize(IntegrationAlgorithm algorithm, const StateBindings& bindings) {
  settings.SetStopFlag(false);
  stepCount_ = 0;
  lastCommInterval_ = -1.0;
  timeScale_ = 1.0;
  stepsPerCommInterval = 10;
  commInterval = 0.1;
  scaledCommInterval_ = 0;
  scaledTime_ = 0;
  intervalEnd_ = 0;
  stepStartTime_ = 0;
  fixedStepEnd_ = std::numeric_limits<double>::quiet_NaN();
  stepSize = 0.01;
  stateEventsDeclared_ = false;
  firstInterval = true;
  modelTouched_ = true;
  postStepEvaluationLeftOut_ = false;
  integrationAlgorithm_ = algorithm;
  stepRegime_ = GetStepRegime(algorithm);
  static_cast<StateBindings&>(*this) = bindings;

  if (!stateStorage_.Initialize()) return false;

  // Saved in this order: the independent variable, then each state group that is present.
  checkPoint_.Initialize(kCheckPointId, &stateStorage_, nullptr, nullptr);
  const auto registerBlock = [this](double* values, uint32_t count) {
    if (values != nullptr && count != 0) {
      checkPoint_.AddCheckedBlock(values, count * sizeof(double), StateStorageType::kPrimary);
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
  if (integrator_) {
    integrator_->Finalize();
    integrator_.reset();
  }
  integrator_ = CreateIntegrator(integrationAlgorithm_);
  if (!integrator_) return true;
  integrator_->settings.Copy(&settings);
  integrator_->derivArg1 = derivArg1_;
  integrator_->derivArg2 = derivArg2_;
  return integrator_->Initialize(*this);
}

void OdeSolver::Finalize() {
  if (integrator_) {
    integrator_->Finalize();
    integrator_.reset();
  }
  delayStateKeys.clear();
  checkPoint_.Finalize();
  stateStorage_.Finalize();
}

void OdeSolver::SetDerivativeFunction(TarnSimDerivativeFunction function) {
  derivativeFunction = function;
  if (integrator_) integrator_->SetDerivativeFunction(function);
}

void OdeSolver::SetDerivFuncArg1(uint32_t arg) {
  derivArg1_ = arg;
  if (integrator_) integrator_->derivArg1 = arg;
}

void OdeSolver::SetDerivFuncArg2(uint32_t arg) {
  derivArg2_ = arg;
  if (integrator_) integrator_->derivArg2 = arg;
}

void OdeSolver::SetInitializationInProgress(bool inProgress) {
  initializationInProgress_ = inProgress;
  if (integrator_) integrator_->initializing = inProgress;
}

void OdeSolver::CopyInitCondsToStates() {
  modelTouched_ = true;
  if (delayStates != nullptr && delayNextValues != nullptr && delayInitConds != nullptr) {
    for (uint32_t i = 0; i < numDelayStates; ++i) {
      delayStates[i] = delayNextValues[i] = delayInitConds[i];
    }
  }
  if (integrator_) integrator_->CopyInitCondsToStates();
}

void OdeSolver::CopyStatesToInitConds() {
  if (delayStates != nullptr && delayInitConds != nullptr) {
    std::copy(delayStates, delayStates + numDelayStates, delayInitConds);
  }
  if (integrator_) integrator_->CopyStatesToInitConds();
}

void OdeSolver::KeepInitCondsForNextReset() {
  auto copy = [](const double* values, uint32_t count) {
    return values != nullptr ? std::vector<double>(values, values + count) : std::vector<double>();
  };
  keptInitConds_ = {copy(initConds, numStates), copy(algInitConds, numAlgStates),
                    copy(delayInitConds, numDelayStates)};
}

void OdeSolver::RestoreKeptInitConds() {
  if (!keptInitConds_) return;
  const auto& [kept, keptAlgebraic, keptDelays] = *keptInitConds_;
  std::copy(kept.begin(), kept.end(), initConds);
  std::copy(keptAlgebraic.begin(), keptAlgebraic.end(), algInitConds);
  std::copy(keptDelays.begin(), keptDelays.end(), delayInitConds);
  keptInitConds_.reset();
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
  modelTouched_ = true;
  if (integrator_) integrator_->restartRequested = true;
}

double OdeSolver::TimeTolerance() const {
  return kTimeTolerance * std::max(std::fabs(*indVar), commInterval);
}

bool OdeSolver::ReachesIntervalEnd(double t) const {
  return intervalEnd_ - t <= kTimeTolerance * std::max(std::fabs(t), commInterval);
}

bool OdeSolver::Step() {
  settings.communicationPointReached = false;
  if (!integrator_) {
    WriteFormattedMessage(msg::kNoIntegrator, static_cast<long>(integrationAlgorithm_));
    RaiseStopFlag();
    return false;
  }
  assert(indVar != nullptr);
  integrator_->computeJacobValidity = settings.GetComputeJacobValidity();
  integrator_->maxOrder = settings.GetMaxIntegOrder();
  integrator_->jacobNonlinThresh = settings.GetJacobNonlinThresh();
  integrator_->twoSidedMatrixEval = settings.GetTwoSidedMatrixEval();
  integrator_->writeNormalData = settings.GetWriteNormalData();
  integrator_->writeExtraData = settings.GetWriteExtraData();

  // A NaN or infinite interval would never let the clock find a scale or reach its end.
  if (!(commInterval > 0) || !std::isfinite(commInterval)) {
    WriteMessage(msg::kCommIntervalNotPositive);
    RaiseStopFlag();
    return false;
  }
  firstInterval = false;
  // A continued run: the host may have changed anything since the last interval.
  if (rescaleInterval) modelTouched_ = true;
  CalcIntervalEnd();
  stepCount_ = 0;

  while (!settings.GetStopFlag()) {
    if (!CalcStepSize()) {
      RaiseStopFlag();
      return false;
    }
    stepStartTime_ = *indVar;
    if (stateEventsDeclared_ && !SaveState()) {
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
      if (settings.GetCommIntOnEvent() || nextCommTime_ - *indVar <= TimeTolerance()) {
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
  settings.SetCurrIntegrationOrder(integrator_->currentOrder);
  settings.SetCurrActualStepSize(integrator_->stepSize);
  return true;
}

void OdeSolver::CalcIntervalEnd() {
  const double t = *indVar;
  if (commInterval != lastCommInterval_ || rescaleInterval) {
    rescaleInterval = false;
    // The smallest power of ten that makes the interval a whole number (or, for an interval
    // without a short decimal form, one so large that the remainder is below the tolerance).
    double scale = 1;
    for (;;) {
      scaledCommInterval_ = scale * commInterval;
      const bool whole =
          std::fabs(scaledCommInterval_ - std::round(scaledCommInterval_)) <= kTimeTolerance &&
          scaledCommInterval_ > 0.5;
      if (whole || kTimeTolerance * scaledCommInterval_ > 1) break;
      scale *= 10;
    }
    scaledCommInterval_ = std::round(scaledCommInterval_);
    timeScale_ = scale;
    lastCommInterval_ = commInterval;
    // Anchor the clock at the present time, on the whole count when the time is one within the
    // tolerance, so that later points stay exact multiples.
    scaledTime_ = scale * t;
    const double count = std::round(scaledTime_);
    if (std::fabs(scaledTime_ - count) <=
        kTimeTolerance * std::max(std::fabs(scaledTime_), scaledCommInterval_)) {
      scaledTime_ = count;
    }
  }
  scaledNextCommTime_ = scaledTime_ + scaledCommInterval_;
  nextCommTime_ = scaledNextCommTime_ / timeScale_;

  double earliest = 0;
  if (CheckForIndependentVarEvents(&earliest) &&
      nextCommTime_ - earliest > kTimeTolerance * std::max(std::fabs(earliest), commInterval)) {
    intervalEnd_ = earliest;  // the communication point stays ahead
  } else {
    intervalEnd_ = nextCommTime_;
    scaledTime_ = scaledNextCommTime_;
  }
}

bool OdeSolver::CheckForIndependentVarEvents(double* time) {
  const double t = *indVar;
  double earliest = DBL_MAX;
  bool found = false;
  // A synchronisation point within the tolerance of the present time has been reached already.
  const auto sync = std::upper_bound(syncPoints_.begin(), syncPoints_.end(), t + TimeTolerance());
  if (sync != syncPoints_.end() && *sync < DBL_MAX) {
    earliest = *sync;
    found = true;
  }
  for (EventQueue* queue : {&timeEvents_, &intervalEvents_}) {
    for (auto it = queue->GetListStart(); !queue->IsListEnd(it); ++it) {
      found = true;
      earliest = std::min(earliest, static_cast<const OdeEvent*>(*it)->value);
    }
  }
  *time = earliest;
  return found;
}

bool OdeSolver::CalcStepSize() {
  const double remaining = intervalEnd_ - *indVar;
  switch (stepRegime_) {
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
  const uint64_t writes = hostWrites_.load(std::memory_order_relaxed);
  const bool unchanged = memorylessDerivatives && numAlgStates == 0 && !modelTouched_ &&
                         writes == hostWritesSeen_ && !integrator_->restartRequested &&
                         !integrator_->writeNormalData && !integrator_->writeExtraData;
  modelTouched_ = false;
  hostWritesSeen_ = writes;
  if (!unchanged && postStepEvaluationLeftOut_) integrator_->restartRequested = true;
  integrator_->modelUnchangedSinceLastStep = unchanged;
  return unchanged;
}

bool OdeSolver::StepEndUnobserved() const {
  return memorylessDerivatives && numAlgStates == 0 && !stateEventsDeclared_ && !debugRun &&
         !integrator_->UsesPostStepDerivatives() && !integrator_->writeNormalData &&
         !integrator_->writeExtraData;
}

void OdeSolver::FitVariableStep(double remaining) {
  // The integrator's proposal, spread evenly over the rest of the stretch.
  stepSize = std::min(stepSize, maxStepSize);
  if (stepSize <= 0) return;
  requestedStepSize_ = stepSize;
  const double count = std::trunc(remaining / requestedStepSize_ + kStepCountRoundUp);
  stepSize = count >= 1 ? remaining / count : remaining;
}

bool OdeSolver::PassOverInterpolatingSteps() {
  double reach = 0;
  double nextStepSize = 0;
  if (!integrator_->GetInterpolationWindow(&reach, &nextStepSize)) return false;
  double t = *indVar;
  if (t + stepSize > reach) return false;
  // Each step as Step and the stepping loop would take it, without the rest of the loop. A stop
  // raised meanwhile is honoured at the next step the loop takes: nothing computed here could be
  // saved by it.
  double passedStepSize = stepSize;
  for (;;) {
    stepStartTime_ = t;
    t = t + stepSize;
    ++stepCount_;
    passedStepSize = stepSize;
    if (nextStepSize == stepSize) stepSize = requestedStepSize_;
    if (hostWrites_.load(std::memory_order_relaxed) != hostWritesSeen_ ||
        !(std::min(stepSize, maxStepSize) > 0)) {
      break;
    }
    const double proposal = stepSize;
    const double request = requestedStepSize_;
    FitVariableStep(intervalEnd_ - t);
    const double end = t + stepSize;
    if (ReachesIntervalEnd(end) || end > reach) {
      // The stepping loop takes this step, from the same proposal.
      stepSize = proposal;
      requestedStepSize_ = request;
      break;
    }
  }
  *indVar = t;
  integrator_->stepSize = passedStepSize;
  integrator_->stepSizeChanged = nextStepSize != passedStepSize;
  return true;
}

void OdeSolver::IntegratorStep() {
  assert(integrator_);
  const double start = *indVar;
  const bool unobserved =
      ConsumeModelUnchanged() && StepEndUnobserved() && !ReachesIntervalEnd(start + stepSize);
  switch (stepRegime_) {
    case StepRegime::kVariable:
      integrator_->stepSize = stepSize;
      // Inside the stretch the integrator forms the end as start + stepSize, like the test above.
      if (unobserved && PassOverInterpolatingSteps()) {
        postStepEvaluationLeftOut_ = true;
        return;
      }
      integrator_->Step();
      stepSize = integrator_->stepSizeChanged ? integrator_->stepSize : requestedStepSize_;
      break;
    case StepRegime::kFixed:
      integrator_->stepSize = stepSize;
      integrator_->Step();
      if (*indVar != start) CountFixedStep(start);
      break;
    case StepRegime::kBoundsOnly:
    case StepRegime::kNone:
      break;
  }
  // The integrator forms t0 + h, which may miss the end by a rounding error; the run of steps
  // ends exactly on the communication point, sync point or event time.
  if (std::fabs(intervalEnd_ - *indVar) <= TimeTolerance()) *indVar = intervalEnd_;
  ++stepCount_;
  postStepEvaluationLeftOut_ = unobserved;
  if (unobserved) return;
  {
    ScopedFlag postStep(integrator_->inPostStepEvaluation);
    integrator_->CalculateDerivatives();
  }
  if (numAlgStates != 0 && !integrator_->CalculateAlgebraicStates()) RaiseStopFlag();
}

void OdeSolver::CountFixedStep(double start) {
  if (start != fixedStepEnd_ || stepSize != fixedStepSize_) {
    fixedStepAnchor_ = start;
    fixedStepSize_ = stepSize;
    fixedStepCount_ = 0;
  }
  ++fixedStepCount_;
  *indVar = fixedStepAnchor_ + fixedStepCount_ * fixedStepSize_;
  fixedStepEnd_ = *indVar;
}

void OdeSolver::AddSyncPoints(int32_t count, const double* times) {
  if (count <= 0 || times == nullptr) return;
  syncPoints_.reserve(syncPoints_.size() + static_cast<std::size_t>(count));
  std::copy_if(times, times + count, std::back_inserter(syncPoints_),
               [](double time) { return !std::isnan(time); });
  std::sort(syncPoints_.begin(), syncPoints_.end());
  syncPoints_.erase(std::unique(syncPoints_.begin(), syncPoints_.end()), syncPoints_.end());
}

void OdeSolver::ClearSyncPoints() { syncPoints_.clear(); }

bool OdeSolver::SaveState() {
  stateStorage_.SetPosition(0);
  if (checkPoint_.Save()) return true;
  WriteMessage(msg::kUnableToCheckpoint);
  return false;
}

bool OdeSolver::RestoreState() {
  stateStorage_.SetPosition(0);
  if (!checkPoint_.Restore()) {
    WriteMessage(msg::kUnableToRestore);
    return false;
  }
  if (integrator_) integrator_->restartRequested = true;
  modelTouched_ = true;
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
  std::printf(msg::kDumpAlgorithm, static_cast<long>(integrationAlgorithm_));
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
