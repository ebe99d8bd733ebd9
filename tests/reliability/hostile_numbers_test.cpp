// Hostile numbers: runs of the library's model that cannot proceed (a NaN or infinite parameter, a
// non-positive or non-finite interval, a negative step count, a step below the minimum, a solver
// library that refuses its input) end by themselves with their message and the execution states
// of an ended run, never a hang or a crash. Afterwards the same instance, given back its good
// values, runs to exactly the result of a fresh instance.
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "reliability/reliability_fixture.h"

namespace tarn::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Two hours: forty intervals of the model's 0.05 h.
constexpr double kHorizon = 2;

const std::vector<int> kEnded = {TARN_STATE_STARTED, TARN_STATE_INITIALIZED, TARN_STATE_ENDED};
const std::vector<int> kEndedByException = {TARN_STATE_STARTED, TARN_STATE_INITIALIZED,
                                            TARN_STATE_EXCEPTION, TARN_STATE_ENDED};
const char kFloatingPointError[] = "Run ended by an exception: floating point error";

struct HostileCase {
  const char* name;
  std::function<void(uint32_t instance)> spoil;  // writes the hostile values
  std::string expectedMessage;                   // contained in one of the run's messages
  std::vector<int> expectedStates;
};

void SetAllStateTolerances(uint32_t instance, double value) {
  for (uint32_t index = 1; index <= TarnGetNumberSymbols(); ++index) {
    if (TarnGetSymbolType(index) != TARN_SYMBOL_STATE) continue;
    TarnSetRelativeError(instance, index, value);
    TarnSetAbsoluteError(instance, index, value);
  }
}

std::vector<HostileCase> Cases() {
  auto setDouble = [](const char* name, double value) {
    return [=](uint32_t instance) { TarnSetDouble(instance, Index(name), value); };
  };
  auto setLong = [](const char* name, int32_t value) {
    return [=](uint32_t instance) { TarnSetLong(instance, Index(name), value); };
  };
  const std::string notPositive = "Communication interval negative or zero.\n";
  return {
      {"NaN parameter (bwpre)", setDouble("bwpre", kNaN), kFloatingPointError, kEndedByException},
      {"infinite parameter (pdose)", setDouble("pdose", kInfinity), kFloatingPointError,
       kEndedByException},
      {"negative parameter (bwpre = -1)", setDouble("bwpre", -1), kFloatingPointError,
       kEndedByException},
      {"NaN tstop", setDouble("tstop", kNaN), kFloatingPointError, kEndedByException},
      {"cint = 0", setDouble("cint", 0), notPositive, kEnded},
      {"cint = -1", setDouble("cint", -1), notPositive, kEnded},
      {"cint = NaN", setDouble("cint", kNaN), notPositive, kEnded},
      {"cint = +inf", setDouble("cint", kInfinity), notPositive, kEnded},
      {"nstp = -1 (DLSODES)", setLong("nstp", -1),
       "Step size -5.000000e-02 not positive at 0.000000.\n", kEnded},
      {"nstp = -2^31 (RK4)",
       [](uint32_t instance) {
         TarnSetLong(instance, Index("ialg"), 5);
         TarnSetLong(instance, Index("nstp"), std::numeric_limits<int32_t>::min());
       },
       "Step size -2.328306e-11 not positive at 0.000000.\n", kEnded},
      {"maxt = 0", setDouble("maxt", 0), "Step size 0.000000e+00 not positive at 0.000000.\n",
       kEnded},
      {"maxt = -1 (CVODE)",
       [](uint32_t instance) {
         TarnSetLong(instance, Index("ialg"), 15);
         TarnSetDouble(instance, Index("maxt"), -1);
       },
       "Step size -1.000000e+00 not positive at 0.000000.\n", kEnded},
      {"zzticg = NaN", setDouble("zzticg", kNaN), "Step size nan not positive at nan.\n", kEnded},
      {"step below the minimum (RKF45, tolerances 1e-30, mint 1e-3)",
       [](uint32_t instance) {
         TarnSetLong(instance, Index("ialg"), 9);
         TarnSetDouble(instance, Index("mint"), 1e-3);
         SetAllStateTolerances(instance, 1e-30);
       },
       "Cannot satisfy error criterion for state number", kEnded},
      {"DLSODES refuses zero tolerances",
       [](uint32_t instance) { SetAllStateTolerances(instance, 0); },
       "ERROR: Illegal input to DLSODES detected.\n", kEnded},
      {"CVODE refuses a negative tolerance",
       [](uint32_t instance) {
         TarnSetLong(instance, Index("ialg"), 15);
         SetAllStateTolerances(instance, -1);
       },
       "ERROR: CVodeMalloc failed in CVODE.\n", kEnded},
      {"ialg = 16 (RK4 instead, unstable on this model)", setLong("ialg", 16), kFloatingPointError,
       kEndedByException},
  };
}

// Test names show the case's own name.
void PrintTo(const HostileCase& hostile, std::ostream* out) { *out << hostile.name; }

class HostileNumbers : public ::testing::TestWithParam<HostileCase> {
 protected:
  static void SetUpTestSuite() {
    TarnInitialize();
    const uint32_t instance = TarnCreate();
    defaults_ = new SymbolSnapshot(instance);
    tolerance_ = TarnGetRelativeError(instance, Index("t") + 1);
    TarnSetDouble(instance, Index("tstop"), kHorizon);
    TarnStartBlocking(instance);
    fresh_ = RunResult(instance);
    defaults_->Restore(instance);
    TarnFinalize();
  }
  static void TearDownTestSuite() {
    delete defaults_;
    defaults_ = nullptr;
    for (const std::string& line : endings_) std::printf("%s\n", line.c_str());
  }

  void SetUp() override {
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_NE(instance_, 0u);
    Reports::Attach(instance_);
    Reports::Clear();
    defaults_->Restore(instance_);
    TarnSetDouble(instance_, Index("tstop"), kHorizon);
  }
  void TearDown() override {
    defaults_->Restore(instance_);
    TarnFinalize();
  }

  // The good values back: the model's defaults and the registered tolerances.
  void Reset() const {
    defaults_->Restore(instance_);
    SetAllStateTolerances(instance_, tolerance_);
    TarnSetDouble(instance_, Index("tstop"), kHorizon);
  }

  uint32_t instance_ = 0;
  static inline SymbolSnapshot* defaults_ = nullptr;
  static inline double tolerance_ = 0;
  static inline std::vector<double> fresh_;
  static inline std::vector<std::string> endings_;
};

TEST_P(HostileNumbers, RunEndsWithItsMessageAndTheInstanceRecovers) {
  const HostileCase& hostile = GetParam();
  hostile.spoil(instance_);
  TarnStartBlocking(instance_);

  EXPECT_EQ(Reports::States(), hostile.expectedStates);
  const std::vector<std::string> messages = Reports::Messages();
  bool found = false;
  for (const std::string& message : messages) {
    if (message.find(hostile.expectedMessage) != std::string::npos) found = true;
  }
  EXPECT_TRUE(found) << "no message contains \"" << hostile.expectedMessage << "\"";
  endings_.push_back(std::string("hostile: ") + hostile.name + " -> \"" +
                     hostile.expectedMessage.substr(0, hostile.expectedMessage.find('\n')) +
                     "\", states " + ::testing::PrintToString(Reports::States()));

  Reset();
  Reports::Clear();
  TarnStartBlocking(instance_);
  EXPECT_EQ(Reports::States(), kEnded);
  EXPECT_TRUE(SameBits(RunResult(instance_), fresh_)) << "the reset instance differs";
}

INSTANTIATE_TEST_SUITE_P(Runs, HostileNumbers, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                           return "Case" + std::to_string(info.index);
                         });

// Calls that are given hostile numbers but have nothing to run return at once.
TEST_F(HostileNumbers, RunToTimeOfNaNOrThePastRunsNothing) {
  TarnPreStep(instance_);
  Reports::Clear();
  for (double target : {kNaN, -kInfinity, -1.0, 0.0}) TarnRunToTime(instance_, target);
  for (double increment : {kNaN, -kInfinity, -1.0, 0.0}) TarnStepIncr(instance_, increment);
  EXPECT_TRUE(Reports::States().empty());
  EXPECT_EQ(TarnGetDouble(instance_, Index("t")), 0.0);
}

// A Jacobian band wider than the model (2^31 - 1 diagonals) is the whole matrix: CVODE runs as
// with the widest real band instead of asking for terabytes.
TEST_F(HostileNumbers, JacobianBandBeyondTheModelRunsAsTheWidestBand) {
  int32_t states = 0;
  for (uint32_t index = 1; index <= TarnGetNumberSymbols(); ++index) {
    states += TarnGetSymbolType(index) == TARN_SYMBOL_STATE;
  }
  auto runWithBand = [&](int32_t band) {
    Reset();
    TarnSetLong(instance_, Index("ialg"), 15);
    TarnSetLong(instance_, Index("ubwitg"), band);
    TarnSetLong(instance_, Index("lbwitg"), band);
    TarnStartBlocking(instance_);
    return RunResult(instance_);
  };
  const std::vector<double> widest = runWithBand(states - 1);
  Reports::Clear();
  EXPECT_TRUE(SameBits(runWithBand(std::numeric_limits<int32_t>::max()), widest));
  EXPECT_EQ(Reports::States(), kEnded);
  EXPECT_EQ(widest.front(), kHorizon);
}

// A run to an infinite time ends where the model terminates (tstop), not never.
TEST_F(HostileNumbers, RunToAnInfiniteTimeEndsAtTstop) {
  TarnPreStep(instance_);
  TarnRunToTime(instance_, kInfinity);
  EXPECT_EQ(TarnGetDouble(instance_, Index("t")), kHorizon);
}

}  // namespace
}  // namespace tarn::test
