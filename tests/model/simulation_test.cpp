// The model run end to end through the host interface: the initial section and the initial
// derivatives after a pre-step, termination at tstop, the pulsed dosing events, and the mass
// balances that the model's compartments must keep.
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/model_fixture.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

// Discrete events and status messages seen by the callbacks of the test in progress.
std::vector<std::pair<uint32_t, double>> dosingEvents;  // section, t
std::vector<std::string> statusMessages;

void RecordDosingEvent(uint32_t instance, uint32_t /*userValue*/, uint32_t section) {
  dosingEvents.emplace_back(section, TarnGetDouble(instance, TarnGetSymbolIndex("t")));
}

void RecordStatus(uint32_t /*instance*/, uint32_t /*userValue*/, const char* text) {
  statusMessages.emplace_back(text);
}

class SimulationTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    dosingEvents.clear();
    statusMessages.clear();
    TarnAddStatusCallback(instance_, 0, RecordStatus);
  }

  // Classical fourth-order Runge-Kutta. The infant's gut uptake of perchlorate relaxes at about
  // 30000 per hour, so the step must stay below 1e-4 h for the method to be stable.
  void UseRungeKutta4(double stopTime) const {
    TarnSetLong(instance_, Index("ialg"), 5);
    TarnSetLong(instance_, Index("nstp"), 1000);
    SetDouble("tstop", stopTime);
  }
};

TEST_F(SimulationTest, PreStepComputesTheInitialSectionAndInitialDerivatives) {
  TarnPreStep(instance_);

  EXPECT_EQ(Double("t"), 0.0);
  EXPECT_EQ(Bool("zzstepstop"), 1);
  EXPECT_EQ(Double("breastfed"), 1.0);
  EXPECT_EQ(Double("pdsm"), 1.0);  // not pulsed: dosing on from the start

  const double vttot = 0.000235 * 67.8;
  const double vt = vttot - 0.276 * vttot;
  EXPECT_DOUBLE_EQ(Double("vt"), vt);
  EXPECT_DOUBLE_EQ(Double("atgipool"), 11300000 * vt);
  const double pbrat = (0.044 * 67.8) / (0.035 * 67.8 + 0.044 * 67.8);
  EXPECT_DOUBLE_EQ(Double("pbrat"), pbrat);
  EXPECT_DOUBLE_EQ(Double("qcpre"), std::pow(67.8, 0.75) * (pbrat * 15.35));
  EXPECT_DOUBLE_EQ(Double("km_tp"), 60000 / 99.45);
  EXPECT_DOUBLE_EQ(Double("km_snp"), 60000 / 99.45);
  EXPECT_DOUBLE_EQ(Double("km_bnp"), 16400 / 99.45);
  EXPECT_EQ(Double("pt_np"), 0.13);

  // The states start from their initial conditions.
  EXPECT_EQ(Double("aoral_i"), 0.0);
  EXPECT_EQ(Double("at4_n"), 2.0);
  EXPECT_EQ(Double("at3_n"), 0.1);
  EXPECT_EQ(Double("atgi_n"), 20.0);
  EXPECT_EQ(Double("abody_ni"), 0.4);

  // With no maternal iodide yet, the dose is all that enters her plasma.
  const double rdoseI = 100.0 * 1000 / (126.9 * 24);
  EXPECT_DOUBLE_EQ(Double("z99989"), rdoseI);  // daoral_i/dt
  EXPECT_DOUBLE_EQ(Double("z99975"), rdoseI);  // daplasma_i/dt

  // Infant T4: production from the thyroglobulin pool less metabolism, urine and faeces; the
  // milk brings no T4 while the mammary gland holds none.
  const double bwN = 3.512;
  const double ct4N = 2.0 / (bwN * 0.31);
  const double production = 0.535 * 1 * bwN * (20.0 / (1716.7 * 1.3857));
  const double metabolism = 0.0035 * 1 * bwN * ct4N;
  const double urine = ct4N * 0.00017 * (std::pow(bwN, 0.75) * 0.003);
  const double faeces = ct4N * (std::pow(bwN, 0.75) * 0.0002);
  EXPECT_NEAR(Double("z99897"), production - metabolism - urine - faeces, 1e-15);  // dat4_n/dt
}

TEST_F(SimulationTest, RunEndsAtTstopWithOneTerminationMessage) {
  UseRungeKutta4(0.2);
  TarnStartBlocking(instance_);

  EXPECT_EQ(Bool("zzstopflag"), 1);
  EXPECT_NEAR(Double("t"), 0.2, 1e-9);
  uint32_t terminations = 0;
  for (const std::string& message : statusMessages) terminations += message == " " ? 1 : 0;
  EXPECT_EQ(terminations, 1u);
}

TEST_F(SimulationTest, ContinuedRunSkipsTheInitialSection) {
  UseRungeKutta4(0.1);
  TarnStartBlocking(instance_);
  const double vwholem = Double("vwholem");
  const double aoralI = Double("aoral_i");

  SetDouble("bwpre", 80.0);
  SetDouble("tstop", 0.2);
  TarnContinueBlocking(instance_);

  EXPECT_NEAR(Double("t"), 0.2, 1e-9);
  EXPECT_EQ(Double("vwholem"), vwholem);
  EXPECT_GT(Double("aoral_i"), aoralI);
}

TEST_F(SimulationTest, PulsedDosingSwitchesOnAtPdstartAndOffPdlengthLater) {
  UseRungeKutta4(0.3);
  SetDouble("ppuls", 1.0);
  SetDouble("pdstart", 0.1);
  SetDouble("pdlength", 0.1);
  SetDouble("pdose", 1.0);
  TarnAddDiscreteEventCallbackFunction(instance_, 0, 1000, RecordDosingEvent);
  TarnAddDiscreteEventCallbackFunction(instance_, 0, 1001, RecordDosingEvent);
  TarnStartBlocking(instance_);

  ASSERT_EQ(dosingEvents.size(), 2u);
  EXPECT_EQ(dosingEvents[0].first, 1000u);
  EXPECT_NEAR(dosingEvents[0].second, 0.1, 1e-9);
  EXPECT_EQ(dosingEvents[1].first, 1001u);
  EXPECT_NEAR(dosingEvents[1].second, 0.2, 1e-9);
  EXPECT_EQ(Double("pdsm"), 0.0);
  // A tenth of an hour of pdose mg/kg/day at the mother's weight, which barely changes.
  EXPECT_NEAR(Double("aintake_p"), 0.1 * 74.396782 * 1.0 / (99.45 * 24),
              1e-5 * Double("aintake_p"));
}

// The model's own settings: the sparse stiff solver, communication interval 0.05 h, one day.
TEST_F(SimulationTest, DefaultSettingsRunOneDay) {
  SetDouble("pdose", 1.0);
  TarnStartBlocking(instance_);

  EXPECT_NEAR(Double("t"), 24.0, 1e-9);
  EXPECT_EQ(Double("pdsm"), 1.0);
  // The oral iodide dose is constant, so its running total is exact.
  EXPECT_NEAR(Double("aoral_i"), 24 * (100.0 * 1000 / (126.9 * 24)), 1e-9);
  EXPECT_GT(Double("totalingest"), 0.0);
  EXPECT_NEAR(Double("bal_p"), 0.0, 1e-8 * Double("aintake_p"));
  EXPECT_NEAR(Double("bal_np"), 0.0, 1e-8 * Double("aoral_np"));
}

// Every amount that enters a compartment leaves another, so what went in equals the sum of the
// compartments (iodine in T4 and T3 counted four and three times) to rounding.
TEST_F(SimulationTest, CompartmentsConserveWhatEntered) {
  UseRungeKutta4(0.3);
  SetDouble("pdose", 1.0);
  TarnStartBlocking(instance_);

  const double motherIodide = Double("aplasma_i") + Double("atgi") + Double("athyb_i") +
                              Double("amb_i") + Double("amk_i") + Double("arp_i") +
                              Double("asp_i") + Double("aurine_i") + Double("atrans_i") +
                              Double("athyt_fi") +
                              4 * (Double("at4") + Double("aurinet4") + Double("afecest4") +
                                   Double("amk_t4") + Double("aoral_t4")) +
                              3 * (Double("at3") + Double("aurinet3") + Double("afecest3") +
                                   Double("amk_t3") + Double("aoral_t3"));
  EXPECT_NEAR(motherIodide, Double("aoral_i"), 1e-12 * Double("aoral_i"));

  const double infantIodide = Double("aplasma_ni") + Double("abody_ni") + Double("athyt_nfi") +
                              Double("athyb_ni") + Double("aurine_ni") + Double("atgi_n") +
                              4 * (Double("at4_n") + Double("aurinet4_n") + Double("afecest4_n")) +
                              3 * (Double("at3_n") + Double("afecest3_n"));
  EXPECT_NEAR(infantIodide, Double("init_ni") + Double("input_i"), 1e-12 * Double("init_ni"));

  // The perchlorate balances of the run loop close to rounding.
  EXPECT_GT(Double("aintake_p"), 0.0);
  EXPECT_GT(Double("aoral_np"), 0.0);
  EXPECT_NEAR(Double("bal_p"), 0.0, 1e-12 * Double("aintake_p"));
  EXPECT_NEAR(Double("bal_np"), 0.0, 1e-12 * Double("aoral_np"));
}

// The iodide balances of the run loop close at every pass, the first included: the iodine held in
// T4 and T3 is counted at the present state.
TEST_F(SimulationTest, IodideBalancesCloseAtEveryPass) {
  UseRungeKutta4(0.3);
  TarnPreStep(instance_);
  TarnStep(instance_);  // the first pass of the run loop
  EXPECT_NEAR(Double("bal_i"), 0.0, 1e-12 * Double("init_i"));
  EXPECT_NEAR(Double("bal_ni"), 0.0, 1e-12 * Double("init_ni"));
  TarnContinueBlocking(instance_);
  EXPECT_GT(Double("aoral_i"), 0.0);
  EXPECT_NEAR(Double("bal_i"), 0.0, 1e-12 * (Double("init_i") + Double("aoral_i")));
  EXPECT_NEAR(Double("bal_ni"), 0.0, 1e-12 * (Double("init_ni") + Double("input_i")));
}

// Every state's value and error bounds (relative, absolute), in index order.
struct StateValues {
  std::vector<double> values, relative, absolute;
};
StateValues States(uint32_t instance) {
  StateValues states;
  for (uint32_t index = 1; index <= TarnGetNumberSymbols(); ++index) {
    if (TarnGetSymbolType(index) != TARN_SYMBOL_STATE) continue;
    states.values.push_back(TarnGetDouble(instance, index));
    states.relative.push_back(TarnGetRelativeError(instance, index));
    states.absolute.push_back(TarnGetAbsoluteError(instance, index));
  }
  return states;
}

// The model assigns its initial conditions at every evaluation of its derivative section, yet a
// run started after TarnReinitialize goes on from the state the last run left, as a continued run
// does: to the bit with a fixed step (a power of two, so that both runs meet the same times),
// within the tolerances with the library methods. The cumulative amounts (aoral_t4, adeiodt4)
// restarted from zero before.
TEST_F(SimulationTest, RunAfterReinitializeGoesOnFromThePresentState) {
  struct Method {
    int32_t ialg;
    int32_t nstp;
    double errorBounds;  // how many error bounds (relative plus absolute) the runs may differ by
  };
  for (const Method& method :
       {Method{5, 2048, 0}, Method{14, 10, 10}, Method{15, 10, 10}, Method{2, 10, 10}}) {
    SCOPED_TRACE(method.ialg);
    TarnSetLong(instance_, Index("ialg"), method.ialg);
    TarnSetLong(instance_, Index("nstp"), method.nstp);
    SetDouble("cint", 0.0625);
    SetDouble("zzticg", 0);
    SetDouble("tstop", 1);
    TarnStartBlocking(instance_);
    SetDouble("tstop", 2);
    TarnContinueBlocking(instance_);
    const StateValues continued = States(instance_);

    SetDouble("tstop", 1);
    TarnStartBlocking(instance_);
    TarnReinitialize(instance_);
    EXPECT_EQ(Double("zzticg"), 1);
    SetDouble("tstop", 2);
    TarnStartBlocking(instance_);
    EXPECT_EQ(Double("t"), 2);
    const StateValues restarted = States(instance_);

    ASSERT_EQ(restarted.values.size(), 101u);
    for (size_t i = 0; i < restarted.values.size(); ++i) {
      const double want = continued.values[i];
      const double bound = continued.relative[i] * std::fabs(want) + continued.absolute[i];
      EXPECT_LE(std::fabs(restarted.values[i] - want), method.errorBounds * bound) << "state " << i;
    }
  }
  SetDouble("zzticg", 0);
}

// The library adapters notice a host's change between intervals by comparing a fresh evaluation
// with the one after the last step. A host evaluation in between (TarnCalcDeriv) already sees the
// change and must not hide it: the library would go on with the old right-hand side beyond the
// change, leaving the infant's intake at 0 for the rest of its overshoot.
TEST_F(SimulationTest, HostEvaluationBetweenIntervalsDoesNotHideAChangeFromTheLibraries) {
  for (int32_t algorithm : {14, 15}) {
    SCOPED_TRACE(algorithm);
    TarnSetLong(instance_, Index("ialg"), algorithm);
    double intake[2];
    for (bool evaluateBetween : {false, true}) {
      SetDouble("conc", 0);
      TarnPreStep(instance_);
      for (int interval = 0; interval < 200; ++interval) TarnStep(instance_);
      SetDouble("conc", 5);
      if (evaluateBetween) TarnCalcDeriv(instance_, 500);
      for (int interval = 0; interval < 5; ++interval) TarnStep(instance_);
      EXPECT_DOUBLE_EQ(Double("t"), 10.25);
      intake[evaluateBetween] = Double("aintake_p");
    }
    EXPECT_GT(intake[0], 0);
    EXPECT_EQ(intake[1], intake[0]);
  }
}

}  // namespace
}  // namespace tarn::test
