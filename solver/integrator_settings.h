// IntegratorSettings: the record of every switch and number that steers integration, each reached
// through a pointer so that the solver, its integrator, the model program and the host all read
// and write the same storage; and the IntegrationAlgorithm codes that select an integrator class.
#ifndef TARN_SOLVER_INTEGRATOR_SETTINGS_H
#define TARN_SOLVER_INTEGRATOR_SETTINGS_H

#include <cstdint>

#include "tarn/tarn_types.h"

namespace tarn {

// Algorithm codes as the model's `ialg` holds them. Any 32-bit value may arrive from the model or
// the host; codes above AlgCvode behave like AlgNone.
enum class IntegrationAlgorithm : int32_t {
  AlgNone = 0,
  AlgAdamsMoulton = 1,
  AlgGearStiff = 2,
  AlgEuler = 3,
  AlgRungeKutta2 = 4,
  AlgRungeKutta4 = 5,
  AlgUnset = 6,  // a solver that was constructed but never initialised
  AlgUserDefined = 7,
  AlgRungeKuttaFehlberg2 = 8,
  AlgRungeKuttaFehlberg5 = 9,
  AlgDassl = 10,
  AlgBulirschStoer = 11,
  AlgRosenbrock = 12,
  AlgAdamsBashforth2 = 13,
  AlgOdepack = 14,
  AlgCvode = 15,
};

// Every setting lives behind one of the public pointers below. A fresh record points them at its
// own storage; the runtime rebinds them to the model's control variables, and Copy shares them
// with another record. A getter returns the fallback value when its pointer is null; a setter then
// does nothing. Logical settings are bytes holding 0 or 1 (any non-zero byte reads as true).
//
// The record never owns what its pointers designate, so it is not copyable: a member-wise copy
// would leave the copy pointing into the original's storage without saying so. Use Copy.
class IntegratorSettings {
 public:
  IntegratorSettings();
  virtual ~IntegratorSettings() = default;
  IntegratorSettings(const IntegratorSettings&) = delete;
  IntegratorSettings& operator=(const IntegratorSettings&) = delete;

  // Writes the default of every setting but the last four (CommIntOnEvent, JacUpperBandwidth,
  // JacLowerBandwidth, OdepackMethodFlag) behind its pointer, skipping null pointers, and clears
  // communicationPointReached.
  void SetDefaultValues();

  // Takes over the 28 setting pointers of `other`; afterwards both records read and write the same
  // storage. communicationPointReached is not copied.
  void Copy(const IntegratorSettings* other);

  double GetCommInterval() const;
  void SetCommInterval(double value);
  IntegrationAlgorithm GetAlgoritm() const;
  void SetAlgoritm(IntegrationAlgorithm value);
  int32_t GetStepsPerCint() const;
  void SetStepsPerCint(int32_t value);
  double GetMaxStepSize() const;
  void SetMaxStepSize(double value);
  double GetMinStepSize() const;
  void SetMinStepSize(double value);
  bool GetMinStepSizeViolation() const;
  void SetMinStepSizeViolation(bool value);
  bool GetStopFlag() const;
  void SetStopFlag(bool value);
  int32_t GetNumCommIntsPerOuput() const;
  void SetNumCommIntsPerOuput(int32_t value);
  int32_t GetCurrIntegrationOrder() const;
  void SetCurrIntegrationOrder(int32_t value);
  bool GetComputeJacobValidity() const;
  void SetComputeJacobValidity(bool value);
  double GetCurrActualStepSize() const;
  void SetCurrActualStepSize(double value);
  bool GetDoublePrecStates() const;
  void SetDoublePrecStates(bool value);
  bool GetErrsBasedOnCurrState() const;
  void SetErrsBasedOnCurrState(bool value);
  bool GetForceExtraDerivEval() const;
  void SetForceExtraDerivEval(bool value);
  int32_t GetMaxIntegOrder() const;
  void SetMaxIntegOrder(int32_t value);
  bool GetNoExtraEvals() const;
  void SetNoExtraEvals(bool value);
  double GetJacobNonlinThresh() const;
  void SetJacobNonlinThresh(double value);
  bool GetTwoSidedMatrixEval() const;
  void SetTwoSidedMatrixEval(bool value);
  bool GetWriteEventDescription() const;
  void SetWriteEventDescription(bool value);
  bool GetWriteErrorSummary() const;
  void SetWriteErrorSummary(bool value);
  bool GetWriteNormalData() const;
  void SetWriteNormalData(bool value);
  bool GetWriteExtraData() const;
  void SetWriteExtraData(bool value);
  int32_t GetNumDebugDumps() const;
  void SetNumDebugDumps(int32_t value);
  double GetIndVarInitVal() const;
  void SetIndVarInitVal(double value);
  bool GetCommIntOnEvent() const;
  void SetCommIntOnEvent(bool value);
  int32_t GetJacUpperBandwidth() const;
  void SetJacUpperBandwidth(int32_t value);
  int32_t GetJacLowerBandwidth() const;
  void SetJacLowerBandwidth(int32_t value);
  int32_t GetOdepackMethodFlag() const;
  void SetOdepackMethodFlag(int32_t value);

  // The setting pointers (borrowed), in table order; each names the model control variable the
  // runtime binds it to.
  double* commInterval;                // cint
  int32_t* algoritm;                   // ialg
  int32_t* stepsPerCint;               // nstp
  double* maxStepSize;                 // maxt
  double* minStepSize;                 // mint
  TarnLogical* minStepSizeViolation;   // zzierr
  TarnLogical* stopFlag;               // zzstopflag
  int32_t* numCommIntsPerOuput;        // nciout
  int32_t* currIntegrationOrder;       // cioitg
  TarnLogical* computeJacobValidity;   // cjvitg
  double* currActualStepSize;          // cssitg
  TarnLogical* doublePrecStates;       // dpsitg
  TarnLogical* errsBasedOnCurrState;   // ecsitg
  TarnLogical* forceExtraDerivEval;    // fdeitg
  int32_t* maxIntegOrder;              // mxoitg
  TarnLogical* noExtraEvals;           // nxeitg
  double* jacobNonlinThresh;           // tjnitg
  TarnLogical* twoSidedMatrixEval;     // tsmitg
  TarnLogical* writeEventDescription;  // weditg
  TarnLogical* writeErrorSummary;      // wesitg
  TarnLogical* writeNormalData;        // wnditg
  TarnLogical* writeExtraData;         // wxditg
  int32_t* numDebugDumps;              // ndbug
  double* indVarInitVal;               // zzticg
  TarnLogical* commIntOnEvent;         // cieitg
  int32_t* jacUpperBandwidth;          // ubwitg
  int32_t* jacLowerBandwidth;          // lbwitg
  int32_t* odepackMethodFlag;          // omfitg

  // Set by the solver when an interval ends at a communication point (or, with CommIntOnEvent, at
  // an event); cleared by SetDefaultValues and at the start of every interval. Held directly.
  bool communicationPointReached = false;

 private:
  // The record's own storage, where a fresh record's pointers lead.
  struct OwnStorage {
    double commInterval;
    int32_t algoritm;
    int32_t stepsPerCint;
    double maxStepSize;
    double minStepSize;
    TarnLogical minStepSizeViolation;
    TarnLogical stopFlag;
    int32_t numCommIntsPerOuput;
    int32_t currIntegrationOrder;
    TarnLogical computeJacobValidity;
    double currActualStepSize;
    TarnLogical doublePrecStates;
    TarnLogical errsBasedOnCurrState;
    TarnLogical forceExtraDerivEval;
    int32_t maxIntegOrder;
    TarnLogical noExtraEvals;
    double jacobNonlinThresh;
    TarnLogical twoSidedMatrixEval;
    TarnLogical writeEventDescription;
    TarnLogical writeErrorSummary;
    TarnLogical writeNormalData;
    TarnLogical writeExtraData;
    int32_t numDebugDumps;
    double indVarInitVal;
    // Never written by SetDefaultValues; they start at their fallback values.
    TarnLogical commIntOnEvent = 1;
    int32_t jacUpperBandwidth = -1;
    int32_t jacLowerBandwidth = -1;
    int32_t odepackMethodFlag = 222;
  };
  OwnStorage own_;
};

}  // namespace tarn

#endif  // TARN_SOLVER_INTEGRATOR_SETTINGS_H
