// Independent instances of the library's model and saved states, through the public header:
// independent instances start from the model's defaults and keep their values and tolerances to
// themselves; runs of two of them stepped alternately equal each run alone to the bit, with every
// algorithm family; a saved state restored twice continues identically, and with the fixed-step
// methods exactly as the uninterrupted run did.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "model/model_fixture.h"

namespace tarn::test {
namespace {

// The values a continuation is judged by: the time, every state and every model variable.
std::vector<double> Values(uint32_t instance) {
  std::vector<double> values;
  const uint32_t count = TarnGetNumberSymbols();
  for (uint32_t index = 1; index <= count; ++index) {
    if (TarnGetSymbolDatatype(index) == TARN_DATA_DOUBLE) {
      values.push_back(TarnGetDouble(instance, index));
    }
  }
  return values;
}

// Equal to the last bit (NaN included).
bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class IndependentInstancesTest : public ModelTest {};

TEST_F(IndependentInstancesTest, StartFromDefaultsAndKeepValuesAndTolerancesToThemselves) {
  const uint32_t pdose = Index("pdose");
  const uint32_t firstState = 2;
  const double registeredTolerance = TarnGetRelativeError(instance_, firstState);
  TarnSetDouble(instance_, pdose, 0.5);
  TarnSetRelativeError(instance_, firstState, 1e-3);

  const uint32_t a = TarnCreateIndependent();
  const uint32_t b = TarnCreateIndependent();
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_EQ(TarnGetDouble(a, pdose), 0.0) << "the model's default, not the shared value";
  EXPECT_EQ(TarnGetRelativeError(a, firstState), registeredTolerance);

  TarnSetDouble(a, pdose, 0.01);
  TarnSetRelativeError(a, firstState, 1e-7);
  EXPECT_EQ(TarnGetDouble(instance_, pdose), 0.5);
  EXPECT_EQ(TarnGetDouble(b, pdose), 0.0);
  EXPECT_EQ(TarnGetRelativeError(instance_, firstState), 1e-3);
  EXPECT_EQ(TarnGetRelativeError(b, firstState), registeredTolerance);
  EXPECT_EQ(TarnGetRelativeError(a, firstState), 1e-7);

  // A run of an independent instance leaves the shared block alone, and the other way round.
  TarnStartBlocking(a);
  EXPECT_EQ(TarnGetDouble(a, Index("t")), 24.0);
  EXPECT_EQ(Double("t"), 0.0);
  EXPECT_EQ(TarnGetDouble(b, Index("t")), 0.0);
  TarnDestroy(a);
  TarnDestroy(b);
}

struct Family {
  int32_t algorithm;
  const char* name;
  double horizon;  // hours
  int32_t stepsPerInterval;
};

void PrintTo(const Family& family, std::ostream* os) { *os << family.name; }

// Every run goes over 16 communication intervals (Adams-Bashforth, continued interval by interval,
// ends with a floating-point fault after about 25 of them on this model, at any step size). The
// fixed-step methods take steps of 5e-5 h (the model's fastest rate needs them) over one hour; the
// stiff methods and the libraries cover 240 hours; the explicit variable-step methods and
// Adams-Moulton, whose steps the model's stiffness keeps small, 6 hours.
constexpr double kFixedStepHorizon = 1;
constexpr double kStiffHorizon = 240;
constexpr double kNonStiffHorizon = 6;

class AlgorithmFamilyTest : public IndependentInstancesTest,
                            public ::testing::WithParamInterface<Family> {
 protected:
  static bool FixedStep(int32_t algorithm) {
    return algorithm == 3 || algorithm == 4 || algorithm == 5 || algorithm == 13;
  }

  // An independent instance with a pulse of `dose` from a quarter to three quarters of the
  // horizon, prepared to the end of its initial section.
  static uint32_t Prepared(double dose) {
    const Family& family = GetParam();
    const uint32_t instance = TarnCreateIndependent();
    EXPECT_NE(instance, 0u);
    TarnSetLong(instance, Index("ialg"), family.algorithm);
    TarnSetLong(instance, Index("nstp"), family.stepsPerInterval);
    TarnSetDouble(instance, Index("cint"), family.horizon / 16);
    TarnSetDouble(instance, Index("tstop"), 2 * family.horizon);
    TarnSetDouble(instance, Index("ppuls"), 1);
    TarnSetDouble(instance, Index("pdose"), dose);
    TarnSetDouble(instance, Index("pdstart"), family.horizon / 4);
    TarnSetDouble(instance, Index("pdlength"), family.horizon / 2);
    TarnPreStep(instance);
    return instance;
  }

  // The k-th of eight legs: an interval step, then on to k/8 of the horizon, a communication
  // point.
  static void Leg(uint32_t instance, int k) {
    TarnStep(instance);
    TarnRunToTime(instance, GetParam().horizon * k / 8);
  }
};

TEST_P(AlgorithmFamilyTest, AlternateSteppingEqualsEachRunAlone) {
  const uint32_t aloneA = Prepared(0.01);
  for (int k = 1; k <= 8; ++k) Leg(aloneA, k);
  const uint32_t aloneB = Prepared(0.05);
  for (int k = 1; k <= 8; ++k) Leg(aloneB, k);

  const uint32_t a = Prepared(0.01);
  const uint32_t b = Prepared(0.05);
  for (int k = 1; k <= 8; ++k) {
    Leg(a, k);
    Leg(b, k);
  }
  EXPECT_EQ(TarnGetDouble(a, Index("t")), GetParam().horizon);
  EXPECT_GT(TarnGetDouble(a, Index("aintake_p")), 0.0) << "the dose was given";
  EXPECT_TRUE(SameBits(Values(a), Values(aloneA))) << GetParam().name;
  EXPECT_TRUE(SameBits(Values(b), Values(aloneB))) << GetParam().name;
  EXPECT_FALSE(SameBits(Values(a), Values(b)));
}

TEST_P(AlgorithmFamilyTest, RestoredStateContinuesIdenticallyEveryTime) {
  const double horizon = GetParam().horizon;
  const uint32_t instance = Prepared(0.01);
  TarnRunToTime(instance, horizon * 3 / 8);
  const double savedAt = TarnGetDouble(instance, Index("t"));
  TarnState* state = TarnSaveState(instance);
  ASSERT_NE(state, nullptr);

  TarnRunToTime(instance, horizon);
  const std::vector<double> uninterrupted = Values(instance);
  ASSERT_TRUE(TarnRestoreState(instance, state));
  EXPECT_EQ(TarnGetDouble(instance, Index("t")), savedAt);
  TarnRunToTime(instance, horizon);
  const std::vector<double> first = Values(instance);
  ASSERT_TRUE(TarnRestoreState(instance, state));
  TarnRunToTime(instance, horizon);
  const std::vector<double> second = Values(instance);
  // Through its byte form into another instance that has never run: the dosing schedule goes
  // with the state.
  std::vector<char> bytes(TarnSerializeState(state, nullptr, 0));
  ASSERT_EQ(TarnSerializeState(state, bytes.data(), bytes.size()), bytes.size());
  TarnFreeState(state);
  TarnState* copy = TarnDeserializeState(bytes.data(), bytes.size());
  const uint32_t other = TarnCreateIndependent();
  ASSERT_TRUE(TarnRestoreState(other, copy));
  TarnFreeState(copy);
  TarnRunToTime(other, horizon);

  EXPECT_EQ(TarnGetDouble(instance, Index("t")), horizon);
  EXPECT_TRUE(SameBits(first, second)) << GetParam().name;
  EXPECT_TRUE(SameBits(first, Values(other))) << GetParam().name;
  if (FixedStep(GetParam().algorithm)) {
    EXPECT_TRUE(SameBits(first, uninterrupted)) << GetParam().name;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, AlgorithmFamilyTest,
                         ::testing::Values(Family{3, "Euler", kFixedStepHorizon, 1250},
                                           Family{4, "RK2", kFixedStepHorizon, 1250},
                                           Family{5, "RK4", kFixedStepHorizon, 1250},
                                           Family{13, "AdamsBashforth2", kFixedStepHorizon, 1250},
                                           Family{8, "Fehlberg12", kNonStiffHorizon, 10},
                                           Family{9, "Fehlberg45", kNonStiffHorizon, 10},
                                           Family{1, "AdamsMoulton", kNonStiffHorizon, 10},
                                           Family{12, "Rosenbrock", kStiffHorizon, 10},
                                           Family{2, "Gear", kStiffHorizon, 10},
                                           Family{14, "Dlsodes", kStiffHorizon, 10},
                                           Family{15, "Cvode", kStiffHorizon, 10}),
                         [](const ::testing::TestParamInfo<Family>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(IndependentInstancesTest, SharedInstanceRestoresToTheUninterruptedRun) {
  TarnSetLong(instance_, Index("ialg"), 5);
  TarnSetLong(instance_, Index("nstp"), 1000);
  SetDouble("pdose", 0.01);
  SetDouble("tstop", 2);
  TarnPreStep(instance_);
  TarnRunToTime(instance_, 0.5);
  TarnState* state = TarnSaveState(instance_);
  TarnRunToTime(instance_, 1);
  const std::vector<double> uninterrupted = Values(instance_);
  EXPECT_TRUE(TarnRestoreState(instance_, state));
  TarnRunToTime(instance_, 1);
  EXPECT_TRUE(SameBits(Values(instance_), uninterrupted));

  EXPECT_EQ(TarnSaveState(99), nullptr);
  EXPECT_FALSE(TarnRestoreState(instance_, nullptr));
  std::vector<char> bytes(TarnSerializeState(state, nullptr, 0));
  TarnSerializeState(state, bytes.data(), bytes.size());
  EXPECT_EQ(TarnDeserializeState(bytes.data(), bytes.size() - 1), nullptr);
  bytes[0] ^= 1;
  EXPECT_EQ(TarnDeserializeState(bytes.data(), bytes.size()), nullptr);
  TarnFreeState(state);
}

}  // namespace
}  // namespace tarn::test
