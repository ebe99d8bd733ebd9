// ModelSession: library set-up, run configuration and the model's bound arrays.
#include "bench/model_session.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/runtime.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

namespace tarn::bench {
namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "benchmark set-up failed: %s\n", what);
  std::abort();
}

// Perchlorate of the dosed runs: mother's water concentration and daily doses, as in the model's
// own perchlorate scenarios.
constexpr double kDosedConc = 5;
constexpr double kDosedPdose = 0.01;
constexpr double kDosedPdoseInfant = 0.001;

}  // namespace

ModelSession::ModelSession() {
  TarnInitialize();
  instance_ = TarnCreate();
  if (instance_ == 0) Fail("no instance");
  timeIndex_ = Index("t");
  stopTimeIndex_ = Index("tstop");
}

ModelSession::~ModelSession() { TarnFinalize(); }

uint32_t ModelSession::Index(const char* name) {
  const uint32_t index = TarnGetSymbolIndex(name);
  if (index == 0) Fail(name);
  return index;
}

double ModelSession::Get(uint32_t index) const { return TarnGetDouble(instance_, index); }

void ModelSession::Set(const char* name, double value) const {
  TarnSetDouble(instance_, Index(name), value);
}

void ModelSession::Configure(const RunConfiguration& run, int32_t algorithm,
                             int32_t stepsPerInterval) const {
  TarnSetLong(instance_, Index("ialg"), algorithm);
  TarnSetLong(instance_, Index("nstp"), stepsPerInterval);
  Set("cint", run.commInterval);
  Set("tstop", run.stopTime);
  Set("conc", run.perchlorate ? kDosedConc : 0);
  Set("pdose", run.perchlorate ? kDosedPdose : 0);
  Set("pdose_n", run.perchlorate ? kDosedPdoseInfant : 0);
}

void ModelSession::WithdrawDeclaration() const { TarnSimSetSystemProperties(0); }

void ModelSession::Run() const {
  TarnStartBlocking(instance_);
  if (Get(timeIndex_) != Get(stopTimeIndex_)) Fail("the run stopped before tstop");
}

void ModelSession::PreStep() const { TarnPreStep(instance_); }

ModelArrays ModelSession::Arrays() const {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance_);
  if (record == nullptr) Fail("no instance record");
  ModelArrays arrays;
  arrays.instance = instance_;
  arrays.count = record->ode.elementCount;
  arrays.t = record->IndependentVariable();
  arrays.states = record->ode.Values();
  arrays.derivatives = record->ode.Rates();
  if (arrays.t == nullptr || arrays.states == nullptr || arrays.derivatives == nullptr) {
    Fail("the model's arrays are not bound");
  }
  return arrays;
}

}  // namespace tarn::bench
