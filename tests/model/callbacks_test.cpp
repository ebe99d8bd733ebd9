// The library's own model seen through the host's callbacks: pulsed perchlorate dosing switched
// by its two discrete sections, symbol watches, execution states and the debugger's refusal.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/model_fixture.h"

namespace tarn::test {
namespace {

constexpr double kInterval = 0.35;

struct Observed {
  std::vector<std::pair<uint32_t, double>> sections;  // (section, t) of each discrete event
  std::vector<std::pair<double, double>> dosing;      // (t, pdsm) at each output point
  std::vector<double> watchTimes;                     // t of each watch notice
  std::vector<int> states;
  std::vector<std::string> messages;
  uint32_t t = 0;
  uint32_t pdsm = 0;
};
Observed observed;

void OnSection(uint32_t instance, uint32_t, uint32_t section) {
  observed.sections.emplace_back(section, TarnGetDouble(instance, observed.t));
}
void OnTick(uint32_t instance, uint32_t, TarnTickType type) {
  if (type != TARN_TICK_OUTPUT) return;
  observed.dosing.emplace_back(TarnGetDouble(instance, observed.t),
                               TarnGetDouble(instance, observed.pdsm));
}
void OnWatch(uint32_t instance, uint32_t, uint32_t) {
  observed.watchTimes.push_back(TarnGetDouble(instance, observed.t));
}
void OnState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
  observed.states.push_back(next);
}
void OnStatus(uint32_t, uint32_t, const char* text) { observed.messages.push_back(text); }

class CallbacksTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    observed = Observed{};
    observed.t = Index("t");
    observed.pdsm = Index("pdsm");
    TarnAddExecutionStateChangeCallbackFunction(instance_, 0, OnState);
    TarnAddStatusCallback(instance_, 0, OnStatus);
  }

  // Perchlorate on from 100 h for 200 h, output every 0.35 h so that neither switch falls on a
  // communication point.
  void PulsedDosing() {
    SetDouble("ppuls", 1);
    SetDouble("pdstart", 100);
    SetDouble("pdlength", 200);
    SetDouble("pdose", 0.01);
    SetDouble("cint", kInterval);
    SetDouble("tstop", 400.05);
  }
};

TEST_F(CallbacksTest, DosingSectionsRunOnceEachAtTheirExactTimes) {
  PulsedDosing();
  TarnAddDiscreteEventCallbackFunction(instance_, 1, 1000, OnSection);
  TarnStartBlocking(instance_);
  // Only the registration for section 1000 hears anything; section 1001 ran unheard.
  ASSERT_EQ(observed.sections.size(), 1u);
  EXPECT_EQ(observed.sections[0], std::make_pair(1000u, 100.0));

  observed.sections.clear();
  TarnAddDiscreteEventCallbackFunction(instance_, 2, 1001, OnSection);
  TarnStartBlocking(instance_);
  ASSERT_EQ(observed.sections.size(), 2u);
  EXPECT_EQ(observed.sections[0], std::make_pair(1000u, 100.0));
  EXPECT_EQ(observed.sections[1], std::make_pair(1001u, 300.0));
}

TEST_F(CallbacksTest, DosingIsOnExactlyBetweenItsSwitches) {
  PulsedDosing();
  TarnAddTickCallbackFunction(instance_, 0, OnTick);
  TarnStartBlocking(instance_);
  ASSERT_GT(observed.dosing.size(), 1000u);
  for (const auto& [t, pdsm] : observed.dosing) {
    EXPECT_EQ(pdsm, t >= 100 && t < 300 ? 1.0 : 0.0) << "at t = " << t;
  }
  EXPECT_EQ(observed.states, (std::vector<int>{1, 3, 5}));
  EXPECT_GT(Double("aintake_p"), 0.0);
  EXPECT_LE(std::fabs(Double("bal_p")), 1e-6 * Double("aintake_p"));
}

TEST_F(CallbacksTest, WatchesFireWhileTheValueDiffersFromTheCapturedOne) {
  PulsedDosing();
  TarnAddSymbolWatchCallback(instance_, 1, Index("bwpre"), OnWatch);  // never changes
  TarnStartBlocking(instance_);
  EXPECT_TRUE(observed.watchTimes.empty());

  // pdsm is 0 when the watch is added: a notice comes at every output point while dosing is on,
  // and at no other.
  TarnAddSymbolWatchCallback(instance_, 2, Index("pdsm"), OnWatch);
  TarnAddTickCallbackFunction(instance_, 0, OnTick);
  TarnStartBlocking(instance_);
  std::vector<double> dosingOutputs;
  for (const auto& [t, pdsm] : observed.dosing) {
    if (t >= 100 && t < 300) dosingOutputs.push_back(t);
  }
  EXPECT_GT(dosingOutputs.size(), 500u);
  EXPECT_EQ(observed.watchTimes, dosingOutputs);
}

TEST_F(CallbacksTest, DebugStartRefusesAModelWithoutDebuggingInformation) {
  TarnDebugStart(instance_);
  EXPECT_EQ(
      observed.messages,
      (std::vector<std::string>{"Debug error: model does not contain debugging information."}));
  EXPECT_TRUE(observed.states.empty());
}

}  // namespace
}  // namespace tarn::test
