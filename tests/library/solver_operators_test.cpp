// Operators that work through the instance's solver and integrator: the reset that closes the
// initial section, restart, and the operators with memory, first with the integrator's flags set
// by hand, then in a complete run of a model y' = 1 that calls them from its derivative section.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "integrators/integrator.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"
#include "support/control_symbols.h"
#include "support/test_model.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

namespace tarn {
namespace {

// Symbols: 1 t, 2 y, 3 its derivative, 4 its initial condition, 5 .. 51 the control block. The
// memory of the operators it calls is kept outside the symbol table.
struct ProbeModel {
  static constexpr uint32_t kControl = 5;
  static constexpr uint32_t kSymbolCount = kControl + 46;

  // What the derivative section saw of its evaluation.
  struct Evaluation {
    uint32_t section;
    bool initializing;
    bool stepStart;
    double y;
  };

  struct Block {
    double t = 0;
    double y = 0;
    double yRate = 0;
    double yInitial = 3;
    test::ControlSymbols control;
    double tstop = 1;
    bool callOperators = false;
    bool throwInDerivative = false;
    std::vector<Evaluation> evaluations;

    // Operator memory, one set per call site.
    double expOutput = 0, expSwitchTime = 0, expValue = 0;
    TarnLogical expPrevious = 0;
    double delayOutput = 0, delayTimes[64] = {}, delayValues[64] = {};
    int32_t delayNewest = 0, delayCursor = 0;
    TarnLogical delayFlag = 0;
    double slopeOutput = 0, slopeX = 0, slopeT = 0, slope = 0;
    double noise = 1, noiseOutput = 0, noiseTime = 0;
  };
  static Block block;

  static uint32_t Bind(uint32_t instance) {
    TarnSimSetVariablePointer(instance, 1, &block.t);
    TarnSimSetVariablePointer(instance, 2, &block.y);
    TarnSimSetVariablePointer(instance, 3, &block.yRate);
    TarnSimSetVariablePointer(instance, 4, &block.yInitial);
    test::BindControlSymbols(instance, kControl, &block.control);
    return instance;
  }

  static void Simulate(uint32_t instance) {
    zznits(instance, "");
    zzrset(instance);
    while (block.control.zzstopflag == 0 && block.control.zzstepstop == 0) {
      if (block.t >= block.tstop - 1e-9) zztrmt(instance, " ");
      TarnSimIntegrate(instance);
    }
  }

  static void Derivative(uint32_t instance, uint32_t section) {
    if (section != TARN_SECTION_DERIVATIVE) return;
    const Integrator* integrator =
        TarnSimRuntime::GetInstance()->GetSystemInstance(instance)->solver->GetIntegrator();
    block.evaluations.push_back(
        {section, integrator->initializing, integrator->inAuxiliaryEvaluation, block.y});
    if (block.throwInDerivative) throw "model failure";
    block.yRate = 1;
    if (!block.callOperators) return;
    Block& b = block;
    zzexp(instance, 1, 0, 1, &b.expPrevious, &b.expOutput, &b.expSwitchTime, &b.expValue);
    zzdlym(instance, b.t, -1, 0.25, 64, 0, &b.delayOutput, b.delayTimes, b.delayValues,
           &b.delayNewest, &b.delayCursor, &b.delayFlag);
    zzxdot(instance, b.t * b.t, 0, &b.slopeOutput, &b.slopeX, &b.slopeT, &b.slope);
    zzou(instance, 0.5, 10, 0, &b.noise, &b.noiseOutput, &b.noiseTime);
  }

  static void Register() {
    block = Block{};
    TarnSimSetSystemInfo(kSymbolCount, 1, 0, 0, 0, 1, 0, Bind, Simulate, Derivative, 0);
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

class SolverOperators : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseModel(ProbeModel::Register);
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_EQ(instance_, 1u);
    record_ = TarnSimRuntime::GetInstance()->GetSystemInstance(instance_);
  }
  void TearDown() override { TarnDestroy(instance_); }

  OdeSolver& Solver() const { return *record_->solver; }
  Integrator& TheIntegrator() const { return *record_->solver->GetIntegrator(); }
  // Sets the evaluation the operators will see.
  void Evaluate(double t, bool initializing, bool stepStart) const {
    block_.t = t;
    Solver().SetInitializationInProgress(initializing);
    TheIntegrator().inAuxiliaryEvaluation = stepStart;
  }

  static constexpr uint32_t kMissing = 98;
  uint32_t instance_ = 0;
  SystemInstance* record_ = nullptr;
  ProbeModel::Block& block_ = ProbeModel::block;
};

TEST_F(SolverOperators, ResetEvaluatesTwiceAndStartsFromTheInitialConditions) {
  zznits(instance_, "");
  block_.y = 99;  // the initial section may have moved the state
  block_.control.zzstopflag = 1;

  zzrset(instance_);

  ASSERT_EQ(block_.evaluations.size(), 2u);
  const ProbeModel::Evaluation& first = block_.evaluations[0];
  EXPECT_EQ(first.section, 500u);
  EXPECT_TRUE(first.initializing);
  EXPECT_FALSE(first.stepStart);
  EXPECT_EQ(first.y, 99.0);  // before the initial conditions were copied
  const ProbeModel::Evaluation& second = block_.evaluations[1];
  EXPECT_EQ(second.section, 500u);
  EXPECT_TRUE(second.initializing);
  EXPECT_TRUE(second.stepStart);
  EXPECT_EQ(second.y, 3.0);

  EXPECT_EQ(block_.y, 3.0);
  EXPECT_EQ(block_.control.zzstopflag, 0);
  EXPECT_EQ(block_.control.zzstepstop, 0);
  EXPECT_FALSE(Solver().GetInitializationInProgress());
  EXPECT_FALSE(TheIntegrator().initializing);
  EXPECT_FALSE(TheIntegrator().inAuxiliaryEvaluation);
}

TEST_F(SolverOperators, ResetTurnsAPendingPreStepIntoAStepStop) {
  zznits(instance_, "");
  record_->preStepPending = true;
  zzrset(instance_);
  EXPECT_EQ(block_.control.zzstepstop, 1);
  EXPECT_FALSE(record_->preStepPending);
}

TEST_F(SolverOperators, FailedResetLeavesInitialisationOver) {
  zznits(instance_, "");
  block_.throwInDerivative = true;
  EXPECT_THROW(zzrset(instance_), const char*);
  EXPECT_FALSE(Solver().GetInitializationInProgress());
  EXPECT_FALSE(TheIntegrator().initializing);
}

TEST_F(SolverOperators, RestartSetsTheNextStepAndDropsHistory) {
  zznits(instance_, "");
  TheIntegrator().restartRequested = false;
  zzrstart(instance_, 0.125);
  EXPECT_EQ(Solver().stepSize, 0.125);
  EXPECT_TRUE(TheIntegrator().restartRequested);
}

TEST_F(SolverOperators, MissingInstancesAndIntegratorsAreIgnored) {
  zzrset(kMissing);
  zzrstart(kMissing, 1);
  double output = 7;
  double x = 0, t = 0, slope = 0;
  zzxdot(kMissing, 1, 2, &output, &x, &t, &slope);
  EXPECT_EQ(output, 7.0);
  // Before run initialisation the solver has no integrator yet.
  ASSERT_EQ(Solver().GetIntegrator(), nullptr);
  zzxdot(instance_, 1, 2, &output, &x, &t, &slope);
  double memory = 0;
  zzbkls(&output, &memory, 5, 1, 0);
  EXPECT_EQ(output, 7.0);
  EXPECT_TRUE(block_.evaluations.empty());
}

TEST_F(SolverOperators, OperatorsWithMemoryReadTheIntegratorsEvaluation) {
  zznits(instance_, "");
  double output = 0, x = 0, t = 0, slope = 0;
  Evaluate(0, true, true);
  zzxdot(instance_, 1, 5, &output, &x, &t, &slope);
  EXPECT_EQ(output, 5.0);
  Evaluate(0.5, false, false);  // an intermediate stage
  zzxdot(instance_, 3, 5, &output, &x, &t, &slope);
  EXPECT_EQ(output, 5.0);
  Evaluate(0.5, false, true);
  zzxdot(instance_, 3, 5, &output, &x, &t, &slope);
  EXPECT_EQ(output, 4.0);

  double position = 0, memory = 0;
  Evaluate(1, true, true);
  zzbkls(&position, &memory, 0, 1, 3);
  EXPECT_EQ(position, 2.0);

  double change = 0, held = 0;
  const double initial = 1;
  zzdlim(instance_, &change, &held, &initial, 0.5, 4, 0, 1);
  EXPECT_EQ(change, 3.0);
}

TEST_F(SolverOperators, OperatorsFollowTheirInputsThroughARun) {
  block_.callOperators = true;
  TarnStartBlocking(instance_);

  EXPECT_NEAR(block_.t, 1.0, 1e-12);
  EXPECT_NEAR(block_.y, 4.0, 1e-12);
  // Evaluated at every call: the last one is the evaluation after the last step, at t = 1.
  EXPECT_NEAR(block_.expOutput, 1 - std::exp(-1.0), 1e-12);
  EXPECT_NEAR(block_.delayOutput, 0.75, 1e-12);
  // Updated at step starts only: the last one was at t = 0.9.
  EXPECT_NEAR(block_.slopeOutput, (0.81 - 0.64) / 0.1, 1e-9);
  EXPECT_NEAR(block_.noiseOutput, 10 + std::exp(-0.9 / 0.5), 1e-12);
}

}  // namespace
}  // namespace tarn
