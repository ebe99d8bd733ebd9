// The model integrated by every algorithm: the solver libraries, the multi-value, Fehlberg and
// Rosenbrock methods and RK4 with a small step agree on the states, and the run loop's mass
// balances stay closed.
#include <cmath>
#include <string>
#include <vector>

#include "model/model_fixture.h"

namespace tarn::test {
namespace {

constexpr uint32_t kFirstState = 2;
constexpr uint32_t kStateCount = 101;
// States smaller than this are compared absolutely: relative agreement means nothing near zero.
constexpr double kNegligible = 1e-9;

class AlgorithmsTest : public ModelTest {
 protected:
  // Integrates from 0 towards tstop with `algorithm`, every state held to `tolerance` (relative
  // and absolute), and returns the states at `compareAt`. The comparison stays clear of tstop
  // itself: the model's radio-iodide pulse switches off exactly there, and methods that evaluate
  // the model at the end of their last step see it off while the others do not.
  std::vector<double> Run(int32_t algorithm, double tolerance, double tstop, double compareAt) {
    TarnSetLong(instance_, Index("ialg"), algorithm);
    SetDouble("tstop", tstop);
    for (uint32_t index = kFirstState; index < kFirstState + kStateCount; ++index) {
      TarnSetRelativeError(instance_, index, tolerance);
      TarnSetAbsoluteError(instance_, index, tolerance);
    }
    TarnPreStep(instance_);
    TarnRunToTime(instance_, compareAt);
    EXPECT_DOUBLE_EQ(Double("t"), compareAt) << "algorithm " << algorithm << " stopped early";
    const std::vector<double> states = States();
    TarnStep(instance_);  // one more pass of the run loop computes the balances at compareAt
    ExpectBalancesClosed();
    return states;
  }

  std::vector<double> States() const {
    std::vector<double> states;
    for (uint32_t index = kFirstState; index < kFirstState + kStateCount; ++index) {
      states.push_back(TarnGetDouble(instance_, index));
    }
    return states;
  }

  // RK4 with a step small enough for the model's fastest rate (gut perchlorate uptake).
  std::vector<double> RunRk4(double tstop, double compareAt) {
    TarnSetLong(instance_, Index("nstp"), 1000);  // steps of 5e-5 h at cint 0.05
    return Run(5, 1e-4, tstop, compareAt);
  }

  static void ExpectAgree(const std::vector<double>& reference, const std::vector<double>& other,
                          double relative, const std::string& what) {
    for (uint32_t i = 0; i < kStateCount; ++i) {
      const double scale = std::max(std::fabs(reference[i]), kNegligible);
      EXPECT_LE(std::fabs(other[i] - reference[i]), relative * scale)
          << what << ": state " << TarnGetSymbolName(kFirstState + i) << " " << reference[i]
          << " against " << other[i];
    }
  }

  // The run loop's balances: what entered less what is held, small against what entered.
  void ExpectBalancesClosed() {
    const double iodide = Double("init_i") + Double("aoral_i");
    const double infantIodide = Double("init_ni") + Double("input_i");
    EXPECT_LE(std::fabs(Double("bal_i")), 1e-6 * iodide);
    EXPECT_LE(std::fabs(Double("bal_ni")), 1e-6 * infantIodide);
    EXPECT_LE(std::fabs(Double("bal_p")), 1e-6 * std::max(Double("aintake_p"), kNegligible));
    EXPECT_LE(std::fabs(Double("bal_np")), 1e-6 * std::max(Double("aoral_np"), kNegligible));
  }

  // Perchlorate in the drinking water of the mother and the infant's formula.
  void DosePerchlorate() {
    SetDouble("pdose", 0.01);
    SetDouble("pdose_n", 0.001);
    SetDouble("conc", 5);
  }
};

TEST_F(AlgorithmsTest, SolverLibrariesAndRk4AgreeOverOneDay) {
  const std::vector<double> dlsodes = Run(14, 1e-11, 24, 23.9);
  const std::vector<double> cvode = Run(15, 1e-11, 24, 23.9);
  const std::vector<double> rk4 = RunRk4(24, 23.9);
  ExpectAgree(dlsodes, cvode, 1e-6, "CVODE against DLSODES");
  ExpectAgree(dlsodes, rk4, 1e-6, "RK4 against DLSODES");
}

TEST_F(AlgorithmsTest, SolverLibrariesAgreeWithPerchlorateDosingOverAMonth) {
  DosePerchlorate();
  const std::vector<double> dlsodes = Run(14, 1e-11, 720, 719.9);
  EXPECT_GT(Double("aintake_p"), 0.0);
  EXPECT_GT(Double("aoral_np"), 0.0);
  const std::vector<double> cvode = Run(15, 1e-11, 720, 719.9);
  ExpectAgree(dlsodes, cvode, 1e-6, "CVODE against DLSODES, perchlorate");
}

TEST_F(AlgorithmsTest, RuntimeMethodsAgreeWithDlsodesOverOneDay) {
  const std::vector<double> dlsodes = Run(14, 1e-11, 24, 23.9);
  struct Method {
    int32_t code;
    const char* name;
    double tolerance;  // the second-order pair needs a tighter bound for the same global error
  };
  for (const Method& method :
       {Method{2, "Gear", 1e-9}, Method{1, "Adams-Moulton", 1e-9}, Method{9, "Fehlberg 4(5)", 1e-9},
        Method{8, "Fehlberg 1(2)", 1e-11}, Method{12, "Rosenbrock", 1e-9}}) {
    ExpectAgree(dlsodes, Run(method.code, method.tolerance, 24, 23.9), 1e-5, method.name);
  }
}

// Legs of TarnRunToTime that end on communication points (but for rounding: k/20 is not always
// the previous target plus cint) are the intervals of a stepped run, to the bit. A leg that ends
// between them shortens one interval without enlarging the step: Adams-Bashforth, which never
// adapts its step, goes on with its own and stays stable on this stiff model.
TEST_F(AlgorithmsTest, RunToTimeLegsAreTheIntervalsOfASteppedRun) {
  TarnSetLong(instance_, Index("nstp"), 100);
  for (int32_t algorithm : {13, 14}) {
    TarnSetLong(instance_, Index("ialg"), algorithm);
    TarnPreStep(instance_);
    for (int k = 1; k <= 20; ++k) TarnStep(instance_);
    const std::vector<double> stepped = States();
    TarnPreStep(instance_);
    for (int k = 1; k <= 20; ++k) TarnRunToTime(instance_, k / 20.0);
    EXPECT_EQ(States(), stepped) << "algorithm " << algorithm;
    TarnRunToTime(instance_, 1.025);
    TarnRunToTime(instance_, 2);
    EXPECT_EQ(Double("t"), 2.0) << "algorithm " << algorithm;
  }
}

TEST_F(AlgorithmsTest, LactationPeriodCompletesWithBothLibraries) {
  SetDouble("cint", 1);
  DosePerchlorate();
  for (int32_t algorithm : {14, 15}) {
    TarnSetLong(instance_, Index("ialg"), algorithm);
    SetDouble("tstop", 4320);
    TarnStartBlocking(instance_);
    EXPECT_DOUBLE_EQ(Double("t"), 4320.0) << "algorithm " << algorithm;
    ExpectBalancesClosed();
  }
}

}  // namespace
}  // namespace tarn::test
