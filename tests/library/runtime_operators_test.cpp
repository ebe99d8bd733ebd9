// Operators that reach the runtime: run initialisation, termination, model messages, and the
// delay's status messages, on an instance of a model that has only a clock and its control block.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "library/delay_line.h"
#include "support/control_symbols.h"
#include "support/test_model.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

namespace tarn {
namespace {

// Symbol 1 is the clock t; symbols 2 .. 48 are the control block.
struct ClockModel {
  static constexpr uint32_t kControl = 2;
  static constexpr uint32_t kSymbolCount = kControl + 46;

  struct Block {
    double t = 0;
    test::ControlSymbols control;
  };
  static Block block;

  static uint32_t Bind(uint32_t instance) {
    TarnSimSetVariablePointer(instance, 1, &block.t);
    test::BindControlSymbols(instance, kControl, &block.control);
    return instance;
  }

  static void Register() {
    block = Block{};
    TarnSimSetSystemInfo(kSymbolCount, 0, 0, 0, 0, 1, 0, Bind, nullptr, nullptr, 0);
    TarnSimSetVariableDescriptor(1, "t", TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT, 0, 0, 0, 0, 0,
                                 0, 0, 0);
    TarnSimSetVariableExtendedInfo(1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    test::RegisterControlSymbols(kControl);
  }
};
ClockModel::Block ClockModel::block;

std::vector<std::string> messages;
std::vector<std::pair<TarnExecutionState, TarnExecutionState>> stateChanges;

void CaptureMessage(uint32_t, uint32_t, const char* text) { messages.emplace_back(text); }

void CaptureStateChange(uint32_t, uint32_t, TarnExecutionState previous, TarnExecutionState next) {
  stateChanges.emplace_back(previous, next);
}

class RuntimeOperators : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseModel(ClockModel::Register);
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_NE(instance_, 0u);
    TarnAddStatusCallback(instance_, 0, CaptureMessage);
    TarnAddExecutionStateChangeCallbackFunction(instance_, 0, CaptureStateChange);
    messages.clear();
    stateChanges.clear();
  }
  void TearDown() override { TarnDestroy(instance_); }

  static constexpr uint32_t kMissing = 98;
  uint32_t instance_ = 0;
  test::ControlSymbols& control_ = ClockModel::block.control;
};

TEST_F(RuntimeOperators, RunInitialisationPreparesTheInstanceAndReportsStateThree) {
  ClockModel::block.t = 99;
  control_.zzticg = 2.5;
  control_.zzinstidx = 0;
  control_.zzstopflag = 1;
  control_.zzicon = 1;
  control_.zzstepstop = 1;

  zznits(instance_, "");

  EXPECT_EQ(ClockModel::block.t, 2.5);
  EXPECT_EQ(control_.zzinstidx, static_cast<int32_t>(instance_));
  EXPECT_EQ(control_.zzstopflag, 0);
  EXPECT_EQ(control_.zzicon, 0);
  EXPECT_EQ(control_.zzstepstop, 0);
  ASSERT_EQ(stateChanges.size(), 1u);
  EXPECT_EQ(stateChanges[0].first, TARN_STATE_NONE);
  EXPECT_EQ(stateChanges[0].second, TARN_STATE_INITIALIZED);
  EXPECT_TRUE(messages.empty());
}

TEST_F(RuntimeOperators, TerminationReportsOnlyTheFirstRequestOfARun) {
  zztrmt(instance_, "end of run");
  EXPECT_EQ(control_.zzstopflag, 1);
  zztrmt(instance_, "again");
  EXPECT_EQ(control_.zzstopflag, 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "end of run");

  control_.zzstopflag = 0;  // as a new run's initialisation leaves it
  zztrmt(instance_, " ");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], " ");
}

TEST_F(RuntimeOperators, TerminationWithoutTextStillStops) {
  zztrmt(instance_, nullptr);
  EXPECT_EQ(control_.zzstopflag, 1);
  EXPECT_TRUE(messages.empty());
}

TEST_F(RuntimeOperators, ModelMessagesGoToTheStatusCallbacks) {
  disstr(instance_, "first");
  wem(instance_, "second");
  EXPECT_EQ(messages, (std::vector<std::string>{"first", "second"}));
}

TEST_F(RuntimeOperators, MissingInstancesAreIgnored) {
  control_.zzticg = 7;
  zznits(kMissing, "");
  zznits(0, "");
  zztrmt(kMissing, "x");
  disstr(kMissing, "x");
  wem(0, "x");
  EXPECT_EQ(ClockModel::block.t, 0.0);
  EXPECT_EQ(control_.zzstopflag, 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(stateChanges.empty());
}

TEST_F(RuntimeOperators, DelayReportsNegativeDelaysAndShortRings) {
  double times[4] = {};
  double values[4] = {};
  int32_t newest = 0;
  int32_t cursor = 0;
  TarnLogical flag = 0;
  double output = 0;

  DelayLine single(1, times, values, &newest, &cursor, &flag);
  single.Evaluate({instance_, 0, true, true}, 1, 0, 0.5, 0, &output);

  DelayLine ring(4, times, values, &newest, &cursor, &flag);
  ring.Evaluate({instance_, 0, true, true}, 1, 0, -2.5, 0, &output);
  ring.Evaluate({instance_, 0, true, true}, 1, 0, 0.1, 0, &output);
  for (int k = 1; k <= 4; ++k) ring.Evaluate({instance_, k / 10.0, false, true}, k, 0, 0.1, 0, &output);
  ring.Evaluate({instance_, 0.5, false, true}, 5, 0, 0.45, 0, &output);

  EXPECT_EQ(messages, (std::vector<std::string>{"Insufficient area for delay function.\n",
                                                "Negative delay value of -2.500000.\n",
                                                "Insufficient area for delay function.\n"}));
}

}  // namespace
}  // namespace tarn
