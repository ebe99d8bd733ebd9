// Operators that reach an instance: run initialisation, the reset that closes the initial
// section, termination, restart and messages, on a model y' = 1; and the operators with memory
// reading the integrator's evaluations in a complete run of that model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "integrators/integrator.h"
#include "library/delay_line.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"
#include "support/control_symbols.h"
#include "support/test_model.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

namespace tarn {
namespace {

// Symbols: 1 t, 2 y, 3 its derivative, 4 its initial condition, 5 .. 51 the control block. The
// memory of the operators it calls lies outside the symbol table.
struct ProbeModel {
  static constexpr uint32_t kControl = 5;

  struct Evaluation {
    bool initializing;
    bool stepStart;
    double y;
  };

  struct Block {
    double t = 0, y = 0, yRate = 0, yInitial = 3;
    test::ControlSymbols control;
    bool callOperators = false;
    bool throwInDerivative = false;
    std::vector<Evaluation> evaluations;  // of section 500

    double expOutput = 0, expSwitchTime = 0, expValue = 0;
    TarnLogical expPrevious = 0;
    double delayOutput = 0, delayTimes[64] = {}, delayValues[64] = {};
    int32_t delayNewest = 0, delayCursor = 0;
    TarnLogical delayFlag = 0;
    double slopeOutput = 0, slopeX = 0, slopeT = 0, slope = 0;
    double noise = 1, noiseOutput = 0, noiseTime = 0;
    double backlash = 0, backlashMemory = 0;
    double change = 0, changeMemory = 0;
  };
  static Block block;

  static uint32_t Bind(uint32_t instance) {
    double* storage[] = {&block.t, &block.y, &block.yRate, &block.yInitial};
    for (uint32_t index = 1; index < kControl; ++index) {
      TarnSimSetVariablePointer(instance, index, storage[index - 1]);
    }
    test::BindControlSymbols(instance, kControl, &block.control);
    return instance;
  }

  // Runs to t = 1, as generated code does.
  static void Simulate(uint32_t instance) {
    zznits(instance, "");
    zzrset(instance);
    while (block.control.zzstopflag == 0 && block.control.zzstepstop == 0) {
      if (block.t >= 1 - 1e-9) zztrmt(instance, " ");
      TarnSimIntegrate(instance);
    }
  }

  static void Derivative(uint32_t instance, uint32_t section) {
    if (section != TARN_SECTION_DERIVATIVE) return;
    const Integrator* integrator =
        TarnSimRuntime::GetInstance()->GetSystemInstance(instance)->solver->GetIntegrator();
    block.evaluations.push_back(
        {integrator->initializing, integrator->inAuxiliaryEvaluation, block.y});
    if (block.throwInDerivative) throw "model failure";
    block.yRate = 1;
    if (!block.callOperators) return;
    Block& b = block;
    zzexp(instance, 1, 0, 1, &b.expPrevious, &b.expOutput, &b.expSwitchTime, &b.expValue);
    zzdlym(instance, b.t, -1, 0.25, 64, 0, &b.delayOutput, b.delayTimes, b.delayValues,
           &b.delayNewest, &b.delayCursor, &b.delayFlag);
    zzxdot(instance, b.t * b.t, 0, &b.slopeOutput, &b.slopeX, &b.slopeT, &b.slope);
    zzou(instance, 0.5, 10, 0, &b.noise, &b.noiseOutput, &b.noiseTime);
    zzbkls(&b.backlash, &b.backlashMemory, 0, 0.2, b.t);
    const double noChange = 0;
    zzdlim(instance, &b.change, &b.changeMemory, &noChange, b.t, b.t, -1, 0.5);
  }

  static void Register() {
    block = Block{};
    TarnSimSetSystemInfo(kControl + 46, 1, 0, 0, 0, 1, 0, Bind, Simulate, Derivative, 0);
    const char* names[] = {"t", "y", "z99999", "z99998"};
    const uint32_t types[] = {TARN_SYMBOL_INDEPENDENT, TARN_SYMBOL_STATE, TARN_SYMBOL_DERIVATIVE,
                              TARN_SYMBOL_INITIAL_CONDITION};
    for (uint32_t index = 1; index < kControl; ++index) {
      TarnSimSetVariableDescriptor(index, names[index - 1], TARN_DATA_DOUBLE, types[index - 1], 0,
                                   0, 0, 0, 0, 0, 0, 0);
      TarnSimSetVariableExtendedInfo(index, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    test::RegisterControlSymbols(kControl);
  }
};
ProbeModel::Block ProbeModel::block;

std::vector<std::string> messages;
std::vector<TarnExecutionState> states;

void CaptureMessage(uint32_t, uint32_t, const char* text) { messages.emplace_back(text); }
void CaptureState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
  states.push_back(next);
}

class InstanceOperators : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseModel(ProbeModel::Register);
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_EQ(instance_, 1u);
    TarnAddStatusCallback(instance_, 0, CaptureMessage);
    TarnAddExecutionStateChangeCallbackFunction(instance_, 0, CaptureState);
    messages.clear();
    states.clear();
    record_ = TarnSimRuntime::GetInstance()->GetSystemInstance(instance_);
  }
  void TearDown() override { TarnDestroy(instance_); }

  OdeSolver& Solver() const { return *record_->solver; }
  Integrator& TheIntegrator() const { return *record_->solver->GetIntegrator(); }

  static constexpr uint32_t kMissing = 98;
  uint32_t instance_ = 0;
  SystemInstance* record_ = nullptr;
  ProbeModel::Block& block_ = ProbeModel::block;
  test::ControlSymbols& control_ = ProbeModel::block.control;
};

TEST_F(InstanceOperators, RunInitialisationPreparesTheInstanceAndReportsStateThree) {
  control_.zzticg = 2.5;
  control_.zzstopflag = control_.zzstepstop = 1;
  control_.zzicon = 1;
  zznits(instance_, "");
  EXPECT_EQ(block_.t, 2.5);
  EXPECT_EQ(control_.zzinstidx, 1);
  EXPECT_EQ(control_.zzstopflag + control_.zzstepstop + control_.zzicon, 0);
  EXPECT_EQ(states, std::vector<TarnExecutionState>{TARN_STATE_INITIALIZED});
  EXPECT_NE(Solver().GetIntegrator(), nullptr);
}

TEST_F(InstanceOperators, TerminationReportsOnlyTheFirstRequestOfARun) {
  zztrmt(instance_, "end of run");
  zztrmt(instance_, "again");
  EXPECT_EQ(control_.zzstopflag, 1);
  zztrmt(instance_, nullptr);
  disstr(instance_, "shown");
  wem(instance_, "written");
  EXPECT_EQ(messages, (std::vector<std::string>{"end of run", "shown", "written"}));
}

TEST_F(InstanceOperators, MissingInstancesAndIntegratorsAreIgnored) {
  zznits(kMissing, "");
  zzrset(kMissing);
  zztrmt(kMissing, "x");
  disstr(0, "x");
  zzrstart(kMissing, 1);
  double output = 7, x = 0, t = 0, slope = 0, memory = 0;
  zzxdot(kMissing, 1, 2, &output, &x, &t, &slope);
  // Before run initialisation the solver has no integrator yet.
  zzxdot(instance_, 1, 2, &output, &x, &t, &slope);
  zzbkls(&output, &memory, 5, 1, 0);
  EXPECT_EQ(output, 7.0);
  EXPECT_EQ(control_.zzstopflag, 0);
  EXPECT_TRUE(messages.empty() && states.empty() && block_.evaluations.empty());
}

TEST_F(InstanceOperators, ResetEvaluatesTwiceAndStartsFromTheInitialConditions) {
  zznits(instance_, "");
  block_.y = 99;  // as the initial section may leave it
  control_.zzstopflag = 1;
  zzrset(instance_);
  ASSERT_EQ(block_.evaluations.size(), 2u);
  EXPECT_TRUE(block_.evaluations[0].initializing);
  EXPECT_FALSE(block_.evaluations[0].stepStart);
  EXPECT_EQ(block_.evaluations[0].y, 99.0);
  EXPECT_TRUE(block_.evaluations[1].initializing);
  EXPECT_TRUE(block_.evaluations[1].stepStart);
  EXPECT_EQ(block_.evaluations[1].y, 3.0);
  EXPECT_EQ(control_.zzstopflag, 0);
  EXPECT_EQ(control_.zzstepstop, 0);
  EXPECT_FALSE(Solver().GetInitializationInProgress());
  EXPECT_FALSE(TheIntegrator().inAuxiliaryEvaluation);

  record_->preStepPending = true;
  zzrset(instance_);
  EXPECT_EQ(control_.zzstepstop, 1);
  EXPECT_FALSE(record_->preStepPending);
}

TEST_F(InstanceOperators, FailedResetLeavesInitialisationOver) {
  zznits(instance_, "");
  block_.throwInDerivative = true;
  EXPECT_THROW(zzrset(instance_), const char*);
  EXPECT_FALSE(Solver().GetInitializationInProgress());
  EXPECT_FALSE(TheIntegrator().initializing);
}

TEST_F(InstanceOperators, RestartSetsTheNextStepAndDropsHistory) {
  zznits(instance_, "");
  TheIntegrator().restartRequested = false;
  zzrstart(instance_, 0.125);
  EXPECT_EQ(Solver().stepSize, 0.125);
  EXPECT_TRUE(TheIntegrator().restartRequested);
}

TEST_F(InstanceOperators, DelayWritesItsMessagesToTheInstance) {
  double times[4] = {}, values[4] = {}, output = 0;
  int32_t newest = 0, cursor = 0;
  TarnLogical flag = 0;
  DelayLine(1, times, values, &newest, &cursor, &flag)
      .Evaluate({instance_, 0, true, true}, 1, 0, 0.5, 0, &output);
  DelayLine ring(4, times, values, &newest, &cursor, &flag);
  ring.Evaluate({instance_, 0, true, true}, 1, 0, -2.5, 0, &output);
  ring.Evaluate({instance_, 0, true, true}, 1, 0, 0.1, 0, &output);
  for (int k = 1; k <= 4; ++k)
    ring.Evaluate({instance_, k / 10.0, false, true}, k, 0, 0.1, 0, &output);
  ring.Evaluate({instance_, 0.5, false, true}, 5, 0, 0.45, 0, &output);
  EXPECT_EQ(messages, (std::vector<std::string>{"Insufficient area for delay function.\n",
                                                "Negative delay value of -2.500000.\n",
                                                "Insufficient area for delay function.\n"}));
}

TEST_F(InstanceOperators, OperatorsFollowTheirInputsThroughARun) {
  block_.callOperators = true;
  TarnStartBlocking(instance_);
  EXPECT_NEAR(block_.t, 1.0, 1e-12);
  EXPECT_NEAR(block_.y, 4.0, 1e-12);
  // Evaluated at every call, the last one after the last step, at t = 1.
  EXPECT_NEAR(block_.expOutput, 1 - std::exp(-1.0), 1e-12);
  EXPECT_NEAR(block_.delayOutput, 0.75, 1e-12);
  // Moved at step starts only, the last one at t = 0.9.
  EXPECT_NEAR(block_.slopeOutput, (0.81 - 0.64) / 0.1, 1e-9);
  EXPECT_NEAR(block_.noiseOutput, 10 + std::exp(-0.9 / 0.5), 1e-12);
  EXPECT_NEAR(block_.backlash, 0.9 - 0.2, 1e-12);
  EXPECT_NEAR(block_.change, 1 - 0.9, 1e-12);  // memory caught up with y while x >= 0.5
}

}  // namespace
}  // namespace tarn
