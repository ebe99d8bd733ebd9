// Registration, instances and notifications of the runtime, driven through the host interface.
#include <cstring>

#include "api/shapes_fixture.h"
#include "runtime/runtime.h"
#include "support/thread_count.h"

namespace tarn::test {
namespace {

using M = ShapesModel;
using Instances = ShapesFixture;

TEST_F(Instances, NumbersAreTheLowestFreeSlot) {
  EXPECT_EQ(TarnCreate(), 2u);
  TarnDestroy(1);
  EXPECT_EQ(TarnCreate(), 1u);
  for (uint32_t expected = 3; expected <= 99; ++expected) EXPECT_EQ(TarnCreate(), expected);
  EXPECT_EQ(TarnCreate(), 0u);
  TarnDestroy(50);
  EXPECT_EQ(TarnCreate(), 50u);
}

TEST_F(Instances, CreationBindsEverySymbolAndTheGroups) {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance_);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->IndependentVariable(), &block().t);
  EXPECT_EQ(record->ode.Values(), &block().x);
  EXPECT_EQ(record->ode.Rates(), &block().xRate);
  EXPECT_EQ(record->ode.InitialValues(), &block().xInitial);
  EXPECT_EQ(record->ode.elementCount, 4u);  // x and w[3]
  EXPECT_EQ(record->algebraic.Values(), nullptr);
  EXPECT_EQ(record->delay.elementCount, 0u);
  EXPECT_EQ(record->control.Double(Control::kCint), &block().control.cint);
  EXPECT_EQ(record->control.Double(Control::kZzticg), &block().control.zzticg);
  EXPECT_EQ(block().control.zzinstidx, 1);
  EXPECT_EQ(record->executionState, TARN_STATE_NONE);
}

TEST_F(Instances, DestructionRunsSectionOne) {
  TarnDestroy(instance_);
  EXPECT_EQ(M::lastSection, 1u);
  const uint32_t calls = M::sectionCalls;
  TarnDestroy(instance_);  // already gone
  EXPECT_EQ(M::sectionCalls, calls);
  EXPECT_EQ(TarnGetDouble(instance_, M::kDouble), 0.0);
}

TEST_F(Instances, UserDataBlockIsZeroFilledOrAbsent) {
  auto* data = static_cast<const uint8_t*>(TarnSimGetUserDataBlock(instance_));
  ASSERT_NE(data, nullptr);
  for (uint32_t i = 0; i < M::kUserDataSize; ++i) EXPECT_EQ(data[i], 0);
  EXPECT_EQ(TarnSimGetUserDataBlock(42), nullptr);

  UseModel(ShapesModel::RegisterWithoutUserData);
  TarnInitialize();
  const uint32_t other = TarnCreate();
  EXPECT_EQ(TarnSimGetUserDataBlock(other), nullptr);
}

TEST_F(Instances, InitializeForgetsInstances) {
  TarnInitialize();
  EXPECT_EQ(TarnSimRuntime::GetInstance()->GetSystemInstance(instance_), nullptr);
  EXPECT_EQ(TarnCreate(), 1u);
}

TEST(Registration, DescriptorRules) {
  UseModel([] {
    TarnSimSetSystemInfo(210, 101, 0, 0, 5, 1, 0, nullptr, nullptr, nullptr, 0);
    TarnSimSetVariableDescriptor(5, "s5", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, 3, 0, 4, 0, 0, 0,
                                 0.0, 2e-3);
    TarnSimSetVariableExtendedInfo(5, 1, 0, 0x102, 0, 0, 0, 0, 0, 0, 0, 1, 1001, 0);
    TarnSimSetVariableDescriptor(211, "beyond", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, 0, 0, 0, 0,
                                 0, 0, 1, 1);
    TarnSimSetVariableExtendedInfo(211, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  });
  TarnInitialize();
  TarnSymbolInfo info;
  ASSERT_TRUE(TarnGetSymbolInfo(5, &info));
  EXPECT_EQ(TarnGetRelativeError(0, 5), 0.0001);
  EXPECT_EQ(TarnGetAbsoluteError(0, 5), 2e-3);
  EXPECT_EQ(info.derivativeIndex, 106u);
  EXPECT_EQ(info.initialConditionIndex, 207u);
  EXPECT_EQ(info.attributes[0], 1);
  EXPECT_EQ(info.attributes[2], 0x02);  // the low byte of the flag
  EXPECT_EQ(info.attributes[10], 1);
  EXPECT_EQ(info.numberDimensions, 1u);  // (3, 0, 4): the 0 ends the list
  EXPECT_EQ(FlattenedSize({3, 0, 4, 0, 0, 0}), 3u);
  EXPECT_EQ(FlattenedSize({}), 1u);
  EXPECT_EQ(TarnGetSymbolName(211), nullptr);
  EXPECT_STREQ(TarnGetSymbolName(4), "");  // registered count, never described
  TarnFinalize();
}

TEST(Registration, ModelWhoseCountsDoNotFitGetsNoGroups) {
  // Claims 50 state symbols in a table of 10: creating an instance must not lay out groups or a
  // control block beyond the table.
  UseModel([] { TarnSimSetSystemInfo(10, 50, 0, 0, 0, 1, 0, nullptr, nullptr, nullptr, 0); });
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->ode.values, nullptr);
  EXPECT_FALSE(record->control.IsBound());
  TarnStop(instance);
  TarnFinalize();
}

// Records every status message with the user value of the registration that received it.
std::vector<std::pair<uint32_t, std::string>> received;
void Status(uint32_t, uint32_t userValue, const char* text) {
  received.emplace_back(userValue, text);
}

TEST_F(Instances, StatusCallbacksRunInRegistrationOrder) {
  received.clear();
  TarnAddStatusCallback(instance_, 7, Status);
  TarnAddStatusCallback(instance_, 9, Status);
  TarnAddStatusCallback(instance_, 7, Status);
  TarnSimRuntime::GetInstance()->TarnSimWriteMessage(instance_, "hello");
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].first, 7u);
  EXPECT_EQ(received[1].first, 9u);
  EXPECT_EQ(received[2].first, 7u);

  received.clear();
  TarnRemoveStatusCallback(instance_, 7, nullptr);
  TarnRemoveStatusCallback(instance_, 8, nullptr);  // no match
  TarnSimRuntime::GetInstance()->TarnSimWriteMessage(instance_, "again");
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].first, 9u);
  EXPECT_EQ(received[1].first, 7u);
  EXPECT_EQ(received[1].second, "again");
}

TEST_F(Instances, ModelWithoutBlockFunctionsHasNoIndependentInstances) {
  received.clear();
  TarnAddStatusCallback(instance_, 3, Status);
  EXPECT_EQ(TarnCreateIndependent(), 0u);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].second,
            "Independent instances are not supported by this model: it registered no data block "
            "functions.");
  EXPECT_EQ(TarnCreate(), 2u) << "no slot was taken";
}

std::vector<uint32_t> fired;
void Watch(uint32_t, uint32_t, uint32_t index) { fired.push_back(index); }
void Discrete(uint32_t, uint32_t userValue, uint32_t) { fired.push_back(userValue); }
std::vector<std::pair<int, int>> transitions;
void StateChange(uint32_t, uint32_t, TarnExecutionState from, TarnExecutionState to) {
  transitions.emplace_back(from, to);
}

TEST_F(Instances, SymbolWatchComparesWithTheCapturedValue) {
  fired.clear();
  TarnAddSymbolWatchCallback(instance_, 1, M::kDouble, Watch);
  TarnAddSymbolWatchCallback(instance_, 1, 0, Watch);     // not registered
  TarnAddSymbolWatchCallback(instance_, 1, 9999, Watch);  // not registered
  TarnSimRuntime& runtime = *TarnSimRuntime::GetInstance();
  runtime.TarnSimInvokeSymbolWatch(instance_);
  EXPECT_TRUE(fired.empty());
  block().d64 = 3.0;
  runtime.TarnSimInvokeSymbolWatch(instance_);
  runtime.TarnSimInvokeSymbolWatch(instance_);
  EXPECT_EQ(fired.size(), 2u);
  block().d64 = 3.25;
  runtime.TarnSimInvokeSymbolWatch(instance_);
  EXPECT_EQ(fired.size(), 2u);
  TarnRemoveSymbolWatchCallback(instance_, 1, M::kDouble, nullptr);
  block().d64 = 0;
  runtime.TarnSimInvokeSymbolWatch(instance_);
  EXPECT_EQ(fired.size(), 2u);
}

TEST_F(Instances, DiscreteEventsReachOnlyTheirSection) {
  fired.clear();
  TarnAddDiscreteEventCallbackFunction(instance_, 1000, 1000, Discrete);
  TarnAddDiscreteEventCallbackFunction(instance_, 1001, 1001, Discrete);
  TarnSimDiscreteEventOccurred(instance_, 1000);
  TarnSimDiscreteEventOccurred(instance_, 1000);
  ASSERT_EQ(fired, (std::vector<uint32_t>{1000, 1000}));
  TarnRemoveDiscreteEventCallbackFunction(instance_, 1000, 1001, nullptr);  // wrong section
  TarnSimDiscreteEventOccurred(instance_, 1000);
  EXPECT_EQ(fired.size(), 3u);
}

TEST_F(Instances, ExecutionStateChangesCarryThePreviousState) {
  transitions.clear();
  TarnAddExecutionStateChangeCallbackFunction(instance_, 0, StateChange);
  TarnSimRuntime& runtime = *TarnSimRuntime::GetInstance();
  runtime.TarnSimSetExecutionState(instance_, TARN_STATE_STARTED);
  runtime.TarnSimSetExecutionState(instance_, TARN_STATE_INITIALIZED);
  ASSERT_EQ(transitions.size(), 2u);
  EXPECT_EQ(transitions[0], std::make_pair(0, 1));
  EXPECT_EQ(transitions[1], std::make_pair(1, 3));
}

TEST_F(Instances, RegistrationsOnMissingInstancesDoNothing) {
  TarnAddStatusCallback(5, 1, Status);
  TarnAddTickCallbackFunction(5, 1, nullptr);
  TarnRemoveTickCallbackFunction(5, 1, nullptr);
  TarnSimRuntime::GetInstance()->TarnSimWriteMessage(5, "nobody");
  TarnSimSetVariablePointer(5, 1, nullptr);
  SUCCEED();
}

// The ODEPACK library brings in OpenBLAS, whose threaded build starts a thread pool as it loads
// (loaded with this process, after it). Initialisation stops it: the test process runs on its
// own thread alone.
TEST(BlasThreads, InitializationLeavesOnlyTheCallingThread) {
  TarnInitialize();
  EXPECT_EQ(SettledThreadCount(1), 1);
  TarnFinalize();
}

}  // namespace
}  // namespace tarn::test
