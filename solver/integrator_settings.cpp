// IntegratorSettings: getters and setters through the setting pointers, defaults, Copy.
#include "solver/integrator_settings.h"

#include <atomic>

namespace tarn {
namespace {

// Default of each setting; also what a getter returns when the setting is unbound.
constexpr double kDefaultCommInterval = 0.1;
constexpr IntegrationAlgorithm kDefaultAlgoritm = IntegrationAlgorithm::AlgRungeKutta4;
constexpr int32_t kDefaultStepsPerCint = 10;
constexpr double kDefaultMaxStepSize = 1e9;
constexpr double kDefaultMinStepSize = 1e-9;
constexpr bool kDefaultMinStepSizeViolation = false;
constexpr bool kDefaultStopFlag = false;
constexpr int32_t kDefaultNumCommIntsPerOuput = 1;
constexpr int32_t kDefaultCurrIntegrationOrder = 0;
constexpr bool kDefaultComputeJacobValidity = true;
constexpr double kDefaultCurrActualStepSize = 0;
constexpr bool kDefaultDoublePrecStates = false;
constexpr bool kDefaultErrsBasedOnCurrState = false;
constexpr bool kDefaultForceExtraDerivEval = false;
constexpr int32_t kDefaultMaxIntegOrder = 6;
constexpr bool kDefaultNoExtraEvals = false;
constexpr double kDefaultJacobNonlinThresh = 0.2;
constexpr bool kDefaultTwoSidedMatrixEval = false;
constexpr bool kDefaultWriteEventDescription = true;
constexpr bool kDefaultWriteErrorSummary = true;
constexpr bool kDefaultWriteNormalData = false;
constexpr bool kDefaultWriteExtraData = false;
constexpr int32_t kDefaultNumDebugDumps = 0;
constexpr double kDefaultIndVarInitVal = 0;
// Fallbacks of the four settings that SetDefaultValues leaves alone.
constexpr bool kFallbackCommIntOnEvent = true;
constexpr int32_t kFallbackJacUpperBandwidth = -1;
constexpr int32_t kFallbackJacLowerBandwidth = -1;
constexpr int32_t kFallbackOdepackMethodFlag = 222;

template <typename T>
T Read(const T* setting, T fallback) {
  return setting != nullptr ? *setting : fallback;
}

bool ReadLogical(const TarnLogical* setting, bool fallback) {
  return setting != nullptr ? *setting != 0 : fallback;
}

template <typename T>
void Write(T* setting, T value) {
  if (setting != nullptr) *setting = value;
}

void WriteLogical(TarnLogical* setting, bool value) {
  if (setting != nullptr) *setting = value ? 1 : 0;
}

}  // namespace

IntegratorSettings::IntegratorSettings()
    : commInterval(&own_.commInterval),
      algoritm(&own_.algoritm),
      stepsPerCint(&own_.stepsPerCint),
      maxStepSize(&own_.maxStepSize),
      minStepSize(&own_.minStepSize),
      minStepSizeViolation(&own_.minStepSizeViolation),
      stopFlag(&own_.stopFlag),
      numCommIntsPerOuput(&own_.numCommIntsPerOuput),
      currIntegrationOrder(&own_.currIntegrationOrder),
      computeJacobValidity(&own_.computeJacobValidity),
      currActualStepSize(&own_.currActualStepSize),
      doublePrecStates(&own_.doublePrecStates),
      errsBasedOnCurrState(&own_.errsBasedOnCurrState),
      forceExtraDerivEval(&own_.forceExtraDerivEval),
      maxIntegOrder(&own_.maxIntegOrder),
      noExtraEvals(&own_.noExtraEvals),
      jacobNonlinThresh(&own_.jacobNonlinThresh),
      twoSidedMatrixEval(&own_.twoSidedMatrixEval),
      writeEventDescription(&own_.writeEventDescription),
      writeErrorSummary(&own_.writeErrorSummary),
      writeNormalData(&own_.writeNormalData),
      writeExtraData(&own_.writeExtraData),
      numDebugDumps(&own_.numDebugDumps),
      indVarInitVal(&own_.indVarInitVal),
      commIntOnEvent(&own_.commIntOnEvent),
      jacUpperBandwidth(&own_.jacUpperBandwidth),
      jacLowerBandwidth(&own_.jacLowerBandwidth),
      odepackMethodFlag(&own_.odepackMethodFlag) {
  SetDefaultValues();
}

void IntegratorSettings::SetDefaultValues() {
  SetCommInterval(kDefaultCommInterval);
  SetAlgoritm(kDefaultAlgoritm);
  SetStepsPerCint(kDefaultStepsPerCint);
  SetMaxStepSize(kDefaultMaxStepSize);
  SetMinStepSize(kDefaultMinStepSize);
  SetMinStepSizeViolation(kDefaultMinStepSizeViolation);
  SetStopFlag(kDefaultStopFlag);
  SetNumCommIntsPerOuput(kDefaultNumCommIntsPerOuput);
  SetCurrIntegrationOrder(kDefaultCurrIntegrationOrder);
  SetComputeJacobValidity(kDefaultComputeJacobValidity);
  SetCurrActualStepSize(kDefaultCurrActualStepSize);
  SetDoublePrecStates(kDefaultDoublePrecStates);
  SetErrsBasedOnCurrState(kDefaultErrsBasedOnCurrState);
  SetForceExtraDerivEval(kDefaultForceExtraDerivEval);
  SetMaxIntegOrder(kDefaultMaxIntegOrder);
  SetNoExtraEvals(kDefaultNoExtraEvals);
  SetJacobNonlinThresh(kDefaultJacobNonlinThresh);
  SetTwoSidedMatrixEval(kDefaultTwoSidedMatrixEval);
  SetWriteEventDescription(kDefaultWriteEventDescription);
  SetWriteErrorSummary(kDefaultWriteErrorSummary);
  SetWriteNormalData(kDefaultWriteNormalData);
  SetWriteExtraData(kDefaultWriteExtraData);
  SetNumDebugDumps(kDefaultNumDebugDumps);
  SetIndVarInitVal(kDefaultIndVarInitVal);
  communicationPointReached = false;
}

void IntegratorSettings::Copy(const IntegratorSettings* other) {
  commInterval = other->commInterval;
  algoritm = other->algoritm;
  stepsPerCint = other->stepsPerCint;
  maxStepSize = other->maxStepSize;
  minStepSize = other->minStepSize;
  minStepSizeViolation = other->minStepSizeViolation;
  stopFlag = other->stopFlag;
  numCommIntsPerOuput = other->numCommIntsPerOuput;
  currIntegrationOrder = other->currIntegrationOrder;
  computeJacobValidity = other->computeJacobValidity;
  currActualStepSize = other->currActualStepSize;
  doublePrecStates = other->doublePrecStates;
  errsBasedOnCurrState = other->errsBasedOnCurrState;
  forceExtraDerivEval = other->forceExtraDerivEval;
  maxIntegOrder = other->maxIntegOrder;
  noExtraEvals = other->noExtraEvals;
  jacobNonlinThresh = other->jacobNonlinThresh;
  twoSidedMatrixEval = other->twoSidedMatrixEval;
  writeEventDescription = other->writeEventDescription;
  writeErrorSummary = other->writeErrorSummary;
  writeNormalData = other->writeNormalData;
  writeExtraData = other->writeExtraData;
  numDebugDumps = other->numDebugDumps;
  indVarInitVal = other->indVarInitVal;
  commIntOnEvent = other->commIntOnEvent;
  jacUpperBandwidth = other->jacUpperBandwidth;
  jacLowerBandwidth = other->jacLowerBandwidth;
  odepackMethodFlag = other->odepackMethodFlag;
}

double IntegratorSettings::GetCommInterval() const {
  return Read(commInterval, kDefaultCommInterval);
}
void IntegratorSettings::SetCommInterval(double value) { Write(commInterval, value); }

IntegrationAlgorithm IntegratorSettings::GetAlgoritm() const {
  return algoritm != nullptr ? static_cast<IntegrationAlgorithm>(*algoritm) : kDefaultAlgoritm;
}
void IntegratorSettings::SetAlgoritm(IntegrationAlgorithm value) {
  Write(algoritm, static_cast<int32_t>(value));
}

int32_t IntegratorSettings::GetStepsPerCint() const {
  return Read(stepsPerCint, kDefaultStepsPerCint);
}
void IntegratorSettings::SetStepsPerCint(int32_t value) { Write(stepsPerCint, value); }

double IntegratorSettings::GetMaxStepSize() const { return Read(maxStepSize, kDefaultMaxStepSize); }
void IntegratorSettings::SetMaxStepSize(double value) { Write(maxStepSize, value); }

double IntegratorSettings::GetMinStepSize() const { return Read(minStepSize, kDefaultMinStepSize); }
void IntegratorSettings::SetMinStepSize(double value) { Write(minStepSize, value); }

bool IntegratorSettings::GetMinStepSizeViolation() const {
  return ReadLogical(minStepSizeViolation, kDefaultMinStepSizeViolation);
}
void IntegratorSettings::SetMinStepSizeViolation(bool value) {
  WriteLogical(minStepSizeViolation, value);
}

// The stop flag is accessed atomically: the host's thread sets it while the worker polls it.
bool IntegratorSettings::GetStopFlag() const {
  if (stopFlag == nullptr) return kDefaultStopFlag;
  return std::atomic_ref<TarnLogical>(*stopFlag).load(std::memory_order_relaxed) != 0;
}
void IntegratorSettings::SetStopFlag(bool value) {
  if (stopFlag != nullptr) {
    std::atomic_ref<TarnLogical>(*stopFlag).store(value ? 1 : 0, std::memory_order_relaxed);
  }
}

int32_t IntegratorSettings::GetNumCommIntsPerOuput() const {
  return Read(numCommIntsPerOuput, kDefaultNumCommIntsPerOuput);
}
void IntegratorSettings::SetNumCommIntsPerOuput(int32_t value) {
  Write(numCommIntsPerOuput, value);
}

int32_t IntegratorSettings::GetCurrIntegrationOrder() const {
  return Read(currIntegrationOrder, kDefaultCurrIntegrationOrder);
}
void IntegratorSettings::SetCurrIntegrationOrder(int32_t value) {
  Write(currIntegrationOrder, value);
}

bool IntegratorSettings::GetComputeJacobValidity() const {
  return ReadLogical(computeJacobValidity, kDefaultComputeJacobValidity);
}
void IntegratorSettings::SetComputeJacobValidity(bool value) {
  WriteLogical(computeJacobValidity, value);
}

double IntegratorSettings::GetCurrActualStepSize() const {
  return Read(currActualStepSize, kDefaultCurrActualStepSize);
}
void IntegratorSettings::SetCurrActualStepSize(double value) { Write(currActualStepSize, value); }

bool IntegratorSettings::GetDoublePrecStates() const {
  return ReadLogical(doublePrecStates, kDefaultDoublePrecStates);
}
void IntegratorSettings::SetDoublePrecStates(bool value) { WriteLogical(doublePrecStates, value); }

bool IntegratorSettings::GetErrsBasedOnCurrState() const {
  return ReadLogical(errsBasedOnCurrState, kDefaultErrsBasedOnCurrState);
}
void IntegratorSettings::SetErrsBasedOnCurrState(bool value) {
  WriteLogical(errsBasedOnCurrState, value);
}

bool IntegratorSettings::GetForceExtraDerivEval() const {
  return ReadLogical(forceExtraDerivEval, kDefaultForceExtraDerivEval);
}
void IntegratorSettings::SetForceExtraDerivEval(bool value) {
  WriteLogical(forceExtraDerivEval, value);
}

int32_t IntegratorSettings::GetMaxIntegOrder() const {
  return Read(maxIntegOrder, kDefaultMaxIntegOrder);
}
void IntegratorSettings::SetMaxIntegOrder(int32_t value) { Write(maxIntegOrder, value); }

bool IntegratorSettings::GetNoExtraEvals() const {
  return ReadLogical(noExtraEvals, kDefaultNoExtraEvals);
}
void IntegratorSettings::SetNoExtraEvals(bool value) { WriteLogical(noExtraEvals, value); }

double IntegratorSettings::GetJacobNonlinThresh() const {
  return Read(jacobNonlinThresh, kDefaultJacobNonlinThresh);
}
void IntegratorSettings::SetJacobNonlinThresh(double value) { Write(jacobNonlinThresh, value); }

bool IntegratorSettings::GetTwoSidedMatrixEval() const {
  return ReadLogical(twoSidedMatrixEval, kDefaultTwoSidedMatrixEval);
}
void IntegratorSettings::SetTwoSidedMatrixEval(bool value) {
  WriteLogical(twoSidedMatrixEval, value);
}

bool IntegratorSettings::GetWriteEventDescription() const {
  return ReadLogical(writeEventDescription, kDefaultWriteEventDescription);
}
void IntegratorSettings::SetWriteEventDescription(bool value) {
  WriteLogical(writeEventDescription, value);
}

bool IntegratorSettings::GetWriteErrorSummary() const {
  return ReadLogical(writeErrorSummary, kDefaultWriteErrorSummary);
}
void IntegratorSettings::SetWriteErrorSummary(bool value) {
  WriteLogical(writeErrorSummary, value);
}

bool IntegratorSettings::GetWriteNormalData() const {
  return ReadLogical(writeNormalData, kDefaultWriteNormalData);
}
void IntegratorSettings::SetWriteNormalData(bool value) { WriteLogical(writeNormalData, value); }

bool IntegratorSettings::GetWriteExtraData() const {
  return ReadLogical(writeExtraData, kDefaultWriteExtraData);
}
void IntegratorSettings::SetWriteExtraData(bool value) { WriteLogical(writeExtraData, value); }

int32_t IntegratorSettings::GetNumDebugDumps() const {
  return Read(numDebugDumps, kDefaultNumDebugDumps);
}
void IntegratorSettings::SetNumDebugDumps(int32_t value) { Write(numDebugDumps, value); }

double IntegratorSettings::GetIndVarInitVal() const {
  return Read(indVarInitVal, kDefaultIndVarInitVal);
}
void IntegratorSettings::SetIndVarInitVal(double value) { Write(indVarInitVal, value); }

bool IntegratorSettings::GetCommIntOnEvent() const {
  return ReadLogical(commIntOnEvent, kFallbackCommIntOnEvent);
}
void IntegratorSettings::SetCommIntOnEvent(bool value) { WriteLogical(commIntOnEvent, value); }

int32_t IntegratorSettings::GetJacUpperBandwidth() const {
  return Read(jacUpperBandwidth, kFallbackJacUpperBandwidth);
}
void IntegratorSettings::SetJacUpperBandwidth(int32_t value) { Write(jacUpperBandwidth, value); }

int32_t IntegratorSettings::GetJacLowerBandwidth() const {
  return Read(jacLowerBandwidth, kFallbackJacLowerBandwidth);
}
void IntegratorSettings::SetJacLowerBandwidth(int32_t value) { Write(jacLowerBandwidth, value); }

int32_t IntegratorSettings::GetOdepackMethodFlag() const {
  return Read(odepackMethodFlag, kFallbackOdepackMethodFlag);
}
void IntegratorSettings::SetOdepackMethodFlag(int32_t value) { Write(odepackMethodFlag, value); }

}  // namespace tarn
