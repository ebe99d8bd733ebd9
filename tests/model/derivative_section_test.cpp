// The derivative section evaluated through TarnCalcDeriv, with the states and the values of the
// initial section that each case needs set by hand, against values worked out from the model's
// equations and default parameters.
#include <cmath>
#include <cstdint>

#include "model/model_fixture.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

constexpr uint32_t kDerivativeSection = 500;
constexpr double kNotComputed = 5.5555e+33;

class DerivativeSectionTest : public ModelTest {
 protected:
  // The values the initial section derives, with the default parameters, for the dosing and
  // body-weight equations.
  void SetInitialSectionForDosing() const {
    SetDouble("breastfed", 1.0);
    SetDouble("pdsm", 1.0);
    SetDouble("formulanm_i", 0.0);
    SetDouble("formulanm_p", 0.0);
    SetDouble("vmampre", 0.00531 * 67.8);
    SetDouble("vwholem", 67.8 * (0.0174 * 1.0));
  }

  void EvaluateAt(double time) const {
    SetDouble("t", time);
    TarnCalcDeriv(instance_, kDerivativeSection);
  }
};

TEST_F(DerivativeSectionTest, DosingBodyWeightAndMilkIntakeAtTimeZero) {
  SetInitialSectionForDosing();
  SetDouble("pdose", 10.0);
  EvaluateAt(0.0);

  const double rdoseI = 100.0 * 1000 / (126.9 * 24);
  EXPECT_DOUBLE_EQ(Double("rdose_i"), rdoseI);
  EXPECT_EQ(Double("z99989"), Double("rdose_i"));  // daoral_i/dt

  // The fat table gives 0.0836 at t = 0, so vf = vfi and bw is the post-partum weight.
  EXPECT_DOUBLE_EQ(Double("vfi"), (0.0836 + 0.327) * 67.8);
  EXPECT_EQ(Double("vf"), Double("vfi"));
  EXPECT_NEAR(Double("bw"), 74.396782, 1e-12);
  EXPECT_DOUBLE_EQ(Double("z99987"), Double("bw") * 10.0 / (99.45 * 24));  // daintake_p/dt

  // Age starts at 1e-33 days, keeping days^4.4 finite; the infant weighs bw_n0.
  EXPECT_EQ(Double("days"), 1e-33);
  EXPECT_EQ(Double("bw_n"), 3.512);
  // Milk intake follows the table (0.013 at t = 0) for a breast-fed infant of bw_n.
  EXPECT_EQ(Double("z99998"), 0.013);
  EXPECT_DOUBLE_EQ(Double("ktrans"), 0.013 * (1.0 * 1.0 * 3.512) / 24);
  EXPECT_EQ(Double("z99985"), Double("ktrans"));  // dtotalingest/dt
  EXPECT_DOUBLE_EQ(Double("milkperday"), Double("ktrans") * 24);
}

TEST_F(DerivativeSectionTest, DosingStopsWhenSwitchedOff) {
  SetInitialSectionForDosing();
  SetDouble("pdose", 10.0);
  SetDouble("pdsm", 0.0);
  EvaluateAt(0.0);
  EXPECT_EQ(Double("z99987"), 0.0);
}

TEST_F(DerivativeSectionTest, MilkTableInterpolatesBetweenBreakpoints) {
  SetInitialSectionForDosing();
  EvaluateAt(60.0);  // halfway between 48 h (0.04) and 72 h (0.098)
  EXPECT_DOUBLE_EQ(Double("z99998"), 0.069);
  EvaluateAt(3000.0);  // beyond the last breakpoint the last segment goes on
  EXPECT_DOUBLE_EQ(Double("z99998"), 0.13 + (3000.0 - 2160) * (0.148 - 0.13) / (1440 - 2160));
}

TEST_F(DerivativeSectionTest, FatTableExtendsItsEndSegments) {
  SetInitialSectionForDosing();
  EvaluateAt(-700.0);
  EXPECT_DOUBLE_EQ(Double("z99996"), 0.0836);
  EvaluateAt(4380.0);
  EXPECT_EQ(Double("z99996"), 0.0);
  EvaluateAt(8760.0);
  EXPECT_DOUBLE_EQ(Double("z99996"), -0.0836);
  EXPECT_DOUBLE_EQ(Double("vf"), (-0.0836 + 0.327) * 67.8);
  // The fat at t = 0 is read afresh at every evaluation.
  EXPECT_DOUBLE_EQ(Double("z99997"), 0.0836);
}

TEST_F(DerivativeSectionTest, InfantThyroglobulinPoolSaturates) {
  const double pool = 1716.7 * 1.3857;  // ctgipool_n · vtg_n at birth
  SetDouble("atgi_n", 3000.0);
  EvaluateAt(0.0);
  EXPECT_DOUBLE_EQ(Double("atgipool_n"), pool);
  EXPECT_EQ(Double("aremain_ni"), 0.0);
  EXPECT_EQ(Double("fractionalpool_n"), 1.0);

  SetDouble("atgi_n", 20.0);
  EvaluateAt(0.0);
  EXPECT_DOUBLE_EQ(Double("aremain_ni"), pool - 20.0);
  EXPECT_DOUBLE_EQ(Double("fractionalpool_n"), 20.0 / pool);
}

TEST_F(DerivativeSectionTest, InfantCardiacOutputFollowsItsTable) {
  EvaluateAt(336.0);  // a breakpoint: 40.8 l/h/kg
  const double qcN = Double("qc_n");
  EXPECT_DOUBLE_EQ(qcN / Double("pbrat_n"), 40.8);
  EXPECT_DOUBLE_EQ(Double("pbrat_n"), 0.048 / (0.048 + 0.035));
  EXPECT_DOUBLE_EQ(Double("qthy_n"), 0.016 * qcN);
  EXPECT_DOUBLE_EQ(Double("qbody_n"), qcN - Double("qthy_n"));
}

TEST_F(DerivativeSectionTest, TracerPulseIsPlacedByTstop) {
  EvaluateAt(0.0);  // tstop 24: on from t = 0 for 24 h in every 48 h
  EXPECT_EQ(Double("z99990"), 1.0);
  EvaluateAt(30.0);
  EXPECT_EQ(Double("z99990"), 0.0);
  EvaluateAt(48.0);
  EXPECT_EQ(Double("z99990"), 1.0);
  SetDouble("tstop", 100.0);  // starts at 76 h
  EvaluateAt(50.0);
  EXPECT_EQ(Double("z99990"), 0.0);
  EvaluateAt(80.0);
  EXPECT_EQ(Double("z99990"), 1.0);
}

TEST_F(DerivativeSectionTest, InitialConditionsFollowTheParameters) {
  SetDouble("iatgi_n", 25.0);
  EvaluateAt(0.0);
  EXPECT_EQ(Double("z99988"), 0.0);   // aoral_i(0)
  EXPECT_EQ(Double("z99952"), 0.0);   // at4(0) = at4_t0
  EXPECT_EQ(Double("z99898"), 25.0);  // atgi_n(0) = iatgi_n
  EXPECT_EQ(Double("z99896"), 2.0);   // at4_n(0) = at4_nt0
  EXPECT_EQ(Double("z99884"), 0.1);   // at3_n(0) = at3_nt0
  EXPECT_EQ(Double("z99910"), 0.4);   // abody_ni(0) = iabody_ni
  for (uint32_t index = 204; index <= 304; ++index) {
    EXPECT_NE(TarnGetDouble(instance_, index), kNotComputed) << TarnGetSymbolName(index);
  }
}

TEST_F(DerivativeSectionTest, EveryDerivativeIsAssigned) {
  SetInitialSectionForDosing();
  for (uint32_t state = 2; state <= 102; ++state) TarnSetDouble(instance_, state, 0.0);
  EvaluateAt(0.0);
  for (uint32_t index = 103; index <= 203; ++index) {
    EXPECT_NE(TarnGetDouble(instance_, index), kNotComputed) << TarnGetSymbolName(index);
  }
}

TEST_F(DerivativeSectionTest, OtherContinuousSectionsDoNothing) {
  TarnCalcDeriv(instance_, 999);
  EXPECT_EQ(Double("bw"), kNotComputed);
  EXPECT_EQ(Double("z99989"), kNotComputed);
}

TEST_F(DerivativeSectionTest, UrinePercentageStaysFiniteWithoutIntake) {
  SetDouble("aoral_i", 0.0);
  SetDouble("aurine_i", 0.0);
  EvaluateAt(0.0);
  EXPECT_EQ(Double("percenturine_i"), 0.0);
  SetDouble("aoral_i", 50.0);
  SetDouble("aurine_i", 5.0);
  EvaluateAt(0.0);
  EXPECT_DOUBLE_EQ(Double("percenturine_i"), 10.0);
}

}  // namespace
}  // namespace tarn::test
