// IntegratorSettings: defaults, fallbacks of unbound settings, sharing through Copy, and binding to
// storage outside the record as the runtime binds the model's control variables.
#include "solver/integrator_settings.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(IntegratorSettingsTest, FreshRecordHoldsTheDefaults) {
  IntegratorSettings settings;
  EXPECT_EQ(settings.GetCommInterval(), 0.1);
  EXPECT_EQ(settings.GetAlgoritm(), IntegrationAlgorithm::AlgRungeKutta4);
  EXPECT_EQ(settings.GetStepsPerCint(), 10);
  EXPECT_EQ(settings.GetMaxStepSize(), 1e9);
  EXPECT_EQ(settings.GetMinStepSize(), 1e-9);
  EXPECT_FALSE(settings.GetMinStepSizeViolation());
  EXPECT_FALSE(settings.GetStopFlag());
  EXPECT_EQ(settings.GetNumCommIntsPerOuput(), 1);
  EXPECT_EQ(settings.GetCurrIntegrationOrder(), 0);
  EXPECT_TRUE(settings.GetComputeJacobValidity());
  EXPECT_EQ(settings.GetCurrActualStepSize(), 0);
  EXPECT_FALSE(settings.GetDoublePrecStates());
  EXPECT_FALSE(settings.GetErrsBasedOnCurrState());
  EXPECT_FALSE(settings.GetForceExtraDerivEval());
  EXPECT_EQ(settings.GetMaxIntegOrder(), 6);
  EXPECT_FALSE(settings.GetNoExtraEvals());
  EXPECT_EQ(settings.GetJacobNonlinThresh(), 0.2);
  EXPECT_FALSE(settings.GetTwoSidedMatrixEval());
  EXPECT_TRUE(settings.GetWriteEventDescription());
  EXPECT_TRUE(settings.GetWriteErrorSummary());
  EXPECT_FALSE(settings.GetWriteNormalData());
  EXPECT_FALSE(settings.GetWriteExtraData());
  EXPECT_EQ(settings.GetNumDebugDumps(), 0);
  EXPECT_EQ(settings.GetIndVarInitVal(), 0);
  EXPECT_TRUE(settings.GetCommIntOnEvent());
  EXPECT_EQ(settings.GetJacUpperBandwidth(), -1);
  EXPECT_EQ(settings.GetJacLowerBandwidth(), -1);
  EXPECT_EQ(settings.GetOdepackMethodFlag(), 222);
  EXPECT_FALSE(settings.communicationPointReached);
}

TEST(IntegratorSettingsTest, SetterChangesWhatTheGetterReturns) {
  IntegratorSettings settings;
  settings.SetCommInterval(0.25);
  settings.SetAlgoritm(IntegrationAlgorithm::AlgOdepack);
  settings.SetStepsPerCint(7);
  settings.SetStopFlag(true);
  settings.SetJacobNonlinThresh(0.5);
  settings.SetCommIntOnEvent(false);
  settings.SetOdepackMethodFlag(213);
  EXPECT_EQ(settings.GetCommInterval(), 0.25);
  EXPECT_EQ(settings.GetAlgoritm(), IntegrationAlgorithm::AlgOdepack);
  EXPECT_EQ(settings.GetStepsPerCint(), 7);
  EXPECT_TRUE(settings.GetStopFlag());
  EXPECT_EQ(settings.GetJacobNonlinThresh(), 0.5);
  EXPECT_FALSE(settings.GetCommIntOnEvent());
  EXPECT_EQ(settings.GetOdepackMethodFlag(), 213);
}

TEST(IntegratorSettingsTest, UnboundSettingReturnsItsFallbackAndIgnoresWrites) {
  IntegratorSettings settings;
  settings.commInterval = nullptr;
  settings.algoritm = nullptr;
  settings.stopFlag = nullptr;
  settings.writeEventDescription = nullptr;
  settings.odepackMethodFlag = nullptr;
  settings.SetCommInterval(3.0);
  settings.SetAlgoritm(IntegrationAlgorithm::AlgEuler);
  settings.SetStopFlag(true);
  settings.SetWriteEventDescription(false);
  settings.SetOdepackMethodFlag(210);
  settings.SetDefaultValues();
  EXPECT_EQ(settings.GetCommInterval(), 0.1);
  EXPECT_EQ(settings.GetAlgoritm(), IntegrationAlgorithm::AlgRungeKutta4);
  EXPECT_FALSE(settings.GetStopFlag());
  EXPECT_TRUE(settings.GetWriteEventDescription());
  EXPECT_EQ(settings.GetOdepackMethodFlag(), 222);
}

TEST(IntegratorSettingsTest, CopySharesEverySettingButNotTheCommunicationPoint) {
  IntegratorSettings solver;
  IntegratorSettings integrator;
  integrator.communicationPointReached = true;
  integrator.Copy(&solver);
  EXPECT_TRUE(integrator.communicationPointReached);

  integrator.SetStopFlag(true);
  EXPECT_TRUE(solver.GetStopFlag());
  solver.SetStopFlag(false);
  EXPECT_FALSE(integrator.GetStopFlag());
  solver.SetMaxIntegOrder(3);
  EXPECT_EQ(integrator.GetMaxIntegOrder(), 3);
  integrator.SetJacLowerBandwidth(4);
  EXPECT_EQ(solver.GetJacLowerBandwidth(), 4);
}

TEST(IntegratorSettingsTest, DefaultsLeaveTheLastFourSettingsAlone) {
  IntegratorSettings settings;
  settings.SetCommIntOnEvent(false);
  settings.SetJacUpperBandwidth(2);
  settings.SetJacLowerBandwidth(3);
  settings.SetOdepackMethodFlag(210);
  settings.SetCommInterval(5.0);
  settings.communicationPointReached = true;
  settings.SetDefaultValues();
  EXPECT_FALSE(settings.GetCommIntOnEvent());
  EXPECT_EQ(settings.GetJacUpperBandwidth(), 2);
  EXPECT_EQ(settings.GetJacLowerBandwidth(), 3);
  EXPECT_EQ(settings.GetOdepackMethodFlag(), 210);
  EXPECT_EQ(settings.GetCommInterval(), 0.1);
  EXPECT_FALSE(settings.communicationPointReached);
}

TEST(IntegratorSettingsTest, BoundSettingsReadAndWriteTheControlVariables) {
  // Control variables as a model stores them: doubles, 32-bit integers and one-byte logicals.
  double cint = 0.5;
  int32_t ialg = 14;
  TarnLogical zzstopflag = 0;
  IntegratorSettings solver;
  solver.commInterval = &cint;
  solver.algoritm = &ialg;
  solver.stopFlag = &zzstopflag;
  IntegratorSettings integrator;
  integrator.Copy(&solver);

  EXPECT_EQ(integrator.GetCommInterval(), 0.5);
  EXPECT_EQ(integrator.GetAlgoritm(), IntegrationAlgorithm::AlgOdepack);
  integrator.SetStopFlag(true);
  EXPECT_EQ(zzstopflag, 1);
  // A host may write any byte into a logical; every non-zero byte reads as true.
  zzstopflag = 2;
  EXPECT_TRUE(solver.GetStopFlag());
  // A code outside the enumeration reads back unchanged.
  ialg = 99;
  EXPECT_EQ(static_cast<int32_t>(solver.GetAlgoritm()), 99);
}

}  // namespace
}  // namespace tarn
