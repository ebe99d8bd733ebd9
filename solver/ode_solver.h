// OdeSolver: advances one model instance through time, one communication interval per Step. It
// binds the model's state arrays and derivative function, owns the integrator of the selected
// algorithm, counts communication points on an exact scaled clock, cuts steps so that they end on
// communication points, synchronisation points and scheduled events, services those events, and
// checkpoints the state before each step when the model declared state events.
//
// How the runtime drives it:
//   run initialisation   Initialize(...); write commInterval, stepsPerCommInterval, maxStepSize,
//                        minStepSize, stepSize; fill delayStateKeys; bind `settings` to the
//                        model's control symbols, then GetIntegrator()->settings.Copy(&settings)
//                        and set the integrator's tolerances.
//   each interval        write commInterval, stepsPerCommInterval, maxStepSize, minStepSize;
//                        HandleIndependentVarEvents() when firstInterval is set; output when
//                        settings.communicationPointReached; SetDerivFuncArg1/2(instance, 500);
//                        rescaleInterval = true when the model continues a run; Step().
//   messages             deliver `messages`, then the integrator's `messages`, each when not
//                        empty, and clear them.
//   reset / destruction  ClearEventQueues() before a fresh start; Finalize() before deleting.
//
// Times are compared with tol = 1e-15 · max(|t|, commInterval), t the independent variable.
#ifndef TARN_SOLVER_ODE_SOLVER_H
#define TARN_SOLVER_ODE_SOLVER_H

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "integrators/integrator.h"
#include "solver/checkpoint.h"
#include "solver/event_queue.h"
#include "solver/integrator_factory.h"
#include "solver/integrator_settings.h"
#include "solver/ode_event.h"
#include "solver/state_storage_memory.h"
#include "tarn/tarnsim.h"

namespace tarn {

class OdeSolver final : private StateBindings {
 public:
  OdeSolver() = default;
  // Releases the events, and the integrator when Finalize was not called.
  ~OdeSolver();
  OdeSolver(const OdeSolver&) = delete;
  OdeSolver& operator=(const OdeSolver&) = delete;

  // True for the algorithms a run may select: those with a working integrator class.
  static bool IsSupportedAlgorithm(IntegrationAlgorithm algorithm);

  // Binds the model's arrays (borrowed; null with count 0 for an absent group) and derivative
  // function, resets the interval numbers to their defaults (commInterval 0.1, 10 steps, stepSize
  // 0.01) and clears the stop flag, registers the independent variable and the states for
  // checkpointing, zeroes delayStateKeys, creates the integrator of `algorithm` (none for a code
  // without a class) and copies every initial condition into its state. firstInterval is set.
  // False when the checkpoint storage cannot be prepared. May be called again for a new run.
  bool Initialize(IntegrationAlgorithm algorithm, const StateBindings& bindings);
  // Finalizes and deletes the integrator and releases the checkpoint and its storage.
  void Finalize();

  IntegrationAlgorithm GetIntegrationAlgorithm() const { return integrationAlgorithm_; }

  // The integrator of the selected algorithm (owned by the solver); null before Initialize, after
  // Finalize and for an algorithm without an integrator class.
  Integrator* GetIntegrator() const { return integrator_.get(); }
  double* GetIndVar() const { return indVar; }
  // Steps taken in the current interval.
  int32_t GetStepCount() const { return stepCount_; }

  // The model's derivative function and the (instance, section) pair it is called with; each also
  // goes to the integrator.
  void SetDerivativeFunction(TarnSimDerivativeFunction function);
  void SetDerivFuncArg1(uint32_t arg);
  void SetDerivFuncArg2(uint32_t arg);

  // True while the model's reset evaluations run; mirrored into the integrator's `initializing`.
  void SetInitializationInProgress(bool inProgress);
  bool GetInitializationInProgress() const { return initializationInProgress_; }

  // Delay states (and their next values) from their initial values, then the integrator's states
  // from theirs.
  void CopyInitCondsToStates();
  // The reverse: the present states become the initial conditions.
  void CopyStatesToInitConds();
  // Keeps the present initial conditions for the next reset, which puts them back (once) after
  // its first evaluation of the model and before they are copied into the states: a model that
  // assigns its initial conditions in its derivative section would overwrite them otherwise.
  void KeepInitCondsForNextReset();
  // Puts back the initial conditions kept for this reset, if any, and forgets them.
  void RestoreKeptInitConds();
  // Every delay state whose key is `key` takes its next value.
  void UpdateDelayStates(uint32_t key);
  // `newStepSize` becomes the next step size and multistep integrators drop their history.
  void Restart(double newStepSize);

  // Advances the model by one communication interval: steps until the next communication point
  // (or, with CommIntOnEvent, the first event or synchronisation point), servicing scheduled
  // events and state events on the way. Leaves settings.communicationPointReached set when the
  // interval ended there; returns true also when the stop flag ended it. False, with the stop
  // flag raised and a message, on a failure. Requires an integrator.
  bool Step();

  // Scheduled events (they end steps exactly on their times and are serviced by the solver).
  // Independent-variable events at time `value` (the caller's id is not used: the solver numbers
  // them), and the recording of zero-crossing values for the three state types. Events are not
  // taken while initialisation is in progress; EventInterval goes through AddIntervalEvent.
  void AddEvent(uint32_t id, OdeEventType type, double value, uint32_t sectionArg1,
                uint32_t sectionArg2, TarnLogical* activeFlag);
  // An event that recurs every *interval, first at the present independent variable. Not taken
  // while initialisation is in progress or before Initialize; not registered, with a message,
  // when there is no period or it is not positive.
  void AddIntervalEvent(uint32_t id, uint32_t sectionArg1, uint32_t sectionArg2,
                        const double* interval);
  // Services every independent-variable and interval event due at the present time, repeating
  // until none is due (a serviced section may schedule more at the same time).
  void HandleIndependentVarEvents();
  // Deletes every scheduled and state event.
  void ClearEventQueues();

  // Data-block synchronisation times: steps end on them. AddSyncPoints merges `count` times into
  // the ascending set (duplicates stored once; NaN ignored); ClearSyncPoints empties it.
  void AddSyncPoints(int32_t count, const double* times);
  void ClearSyncPoints();

  // Checkpoint of the independent variable and the states. False, with a message, on failure; a
  // successful restore makes multistep integrators drop their history.
  bool SaveState();
  bool RestoreState();

  // Counts a write of the host to the model's symbols or tolerances; any thread. The next step
  // then evaluates the model at its start, as it would without a memoryless model.
  void NoteHostWrite() { hostWrites_.fetch_add(1, std::memory_order_relaxed); }

  // What a saved state keeps of the solver: copies of its scheduled, interval and state events
  // (their borrowed pointers still point into the saved instance's storage), its communication
  // clock and step sizes, and the integrator's history (Integrator::SaveHistory).
  struct RunRecord {
    std::vector<OdeEvent> timeEvents;
    std::vector<OdeEvent> intervalEvents;
    std::vector<OdeEvent> crossingsAtStart;
    std::vector<OdeEvent> crossingsAtEnd;
    uint32_t nextTimeEventId = 1;
    bool stateEventsDeclared = false;
    bool firstInterval = true;
    double stepSize = 0;
    double lastCommInterval = 0;
    double timeScale = 0;
    double scaledCommInterval = 0;
    double intervalEnd = 0;
    double scaledTime = 0;
    double scaledNextCommTime = 0;
    double nextCommTime = 0;
    double requestedStepSize = 0;
    double fixedStepAnchor = 0;
    double fixedStepSize = 0;
    uint32_t fixedStepCount = 0;
    double fixedStepEnd = 0;
    std::vector<double> integratorHistory;
  };
  RunRecord SaveRun() const;
  // Puts a saved record back after Initialize: the events are replaced by copies of the saved
  // ones, each passed to `relocate` (which points it at the restoring instance), the clock and
  // step sizes take the saved readings, and the integrator its saved history.
  void RestoreRun(const RunRecord& record, const std::function<void(OdeEvent&)>& relocate);

  // Appends `text` and a line end to `messages`.
  void WriteMessage(const char* text);
  // Prints the solver's configuration to standard output, headed by `label`.
  void DebugDump(const char* label) const;

  // Written by the runtime before each run and each interval.
  double commInterval = 0.1;             // cint
  int32_t stepsPerCommInterval = 10;     // nstp, with its sign: a negative count gives a negative
                                         // fixed step, which stops the run with a message
  double maxStepSize = 1e10;             // maxt
  double minStepSize = 1e-10;            // mint
  double stepSize = 0.01;                // size of the next step
  bool rescaleInterval = false;          // re-anchor the clock at the present time
  std::vector<uint32_t> delayStateKeys;  // [numDelayStates] section key of each delay state
  // Written by the runtime at run initialisation: the model declared memoryless derivative
  // sections (TARN_SYSTEM_MEMORYLESS_DERIVATIVES). The solver then leaves out, for the library
  // adapters, the evaluations and library calls whose results nothing can observe.
  bool memorylessDerivatives = false;
  // Written by the runtime before each interval: a debug run, in which every step is observed.
  bool debugRun = false;

  // Set by Initialize: the runtime services the events due at the start time before the first
  // Step, which clears it.
  bool firstInterval = true;
  // Settings record bound by the runtime to the model's control symbols; shared with the
  // integrator.
  IntegratorSettings settings;
  // Lines written by the solver, each ended by "\n"; the runtime delivers and clears them.
  std::string messages;
  uint64_t messagesLeftOut = 0;  // messages past kMessageBufferLimit since the last delivery

 private:
  // Finalizes and replaces the integrator with a new one of integrationAlgorithm_, sharing the
  // settings; the result of its Initialize (true when there is no integrator).
  bool InitializeIntegrator();
  // The tolerance of time comparisons at the present time.
  double TimeTolerance() const;
  // Advances the scaled clock and sets intervalEnd_: the next communication point, or an earlier
  // synchronisation point or event.
  void CalcIntervalEnd();
  // The next step size for the regime of the algorithm; false, with a message, when it is not
  // positive.
  bool CalcStepSize();
  // The variable-step regime: the proposal in stepSize, at most maxStepSize, goes to
  // requestedStepSize_, and stepSize becomes the rest of the stretch divided into equal steps no
  // longer than it (nothing when the proposal is not positive).
  void FitVariableStep(double remaining);
  // For a step inside the stretch that nothing observes: when it ends within the integrator's
  // interpolation window, it and the steps after it inside the stretch that end there too are
  // passed over (no integrator step: the solver moves the time and the step sizes as the
  // integrator would), as long as no host write comes between; the first other step is left to
  // the stepping loop, from the same proposal. False when not even the first step passes over.
  bool PassOverInterpolatingSteps();
  // Whether a step ending at t ends the present stretch: t is intervalEnd_ within the tolerance.
  bool ReachesIntervalEnd(double t) const;
  // One integrator step of stepSize, landing exactly on intervalEnd_ when it ends within the
  // tolerance of it; then the post-step evaluation and the algebraic states (a failure of these
  // raises the stop flag). A step inside the stretch that nothing observes (see
  // StepEndUnobserved) goes without the post-step evaluation, and without the library call when
  // that would only interpolate. Requires an integrator.
  void IntegratorStep();
  // Before a step: whether nothing the derivative section reads can have changed since the last
  // step ended (a memoryless model, no algebraic states, no tracing, nothing that marked the
  // model touched, no host write, no restart requested). Tells the integrator, clears the marks,
  // and requests a restart when the model changed after a step whose post-step evaluation was
  // left out (there is nothing to compare with).
  bool ConsumeModelUnchanged();
  // Whether nothing observes the end of a step inside the stretch when the model is unchanged: a
  // memoryless model without algebraic states or state events, an integrator that does not read
  // the post-step derivatives, no debug run and no tracing.
  bool StepEndUnobserved() const;
  // After a fixed step from `start`: a run of equal steps, each starting where the last ended,
  // ends at fixedStepAnchor_ + n·stepSize, so the independent variable does not collect the
  // rounding of a running sum. Any other step starts a new run.
  void CountFixedStep(double start);
  // The earliest synchronisation point after the present time and the earliest scheduled event
  // go to *time; false when there is neither.
  bool CheckForIndependentVarEvents(double* time);
  // Whether an independent-variable or interval event is due at the present time.
  bool IsDue(const OdeEvent& event) const;
  // Raises activeFlag, runs the model's section (sectionArg1, sectionArg2) after the delay states
  // keyed by sectionArg2 took their next values, and lowers the flag. Requires an integrator.
  void ServiceEvent(OdeEvent& event);
  // Appends a formatted message line.
  void WriteFormattedMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void RaiseStopFlag() { settings.SetStopFlag(true); }

  // Zero crossings: the value of a state event's function, recorded from the evaluation at the
  // start of a step (crossingsAtStart_) or the one after it (crossingsAtEnd_).
  void RecordStateEvent(uint32_t id, OdeEventType type, double value, uint32_t sectionArg1,
                        uint32_t sectionArg2, TarnLogical* activeFlag);
  // After every step: detects crossings, locates and services them. False, with the stop flag
  // raised, on a failure.
  bool HandleStateEvents();

  // Outcome of one location pass over the pending crossings; the first three leave the time to
  // go to in intervalEnd_.
  enum class ZeroCrossingSearch {
    kTrialAhead,   // a trial time after the present time
    kTrialBehind,  // a trial time at or before the present time: back to the checkpoint first
    kLocated,      // the crossing time of the events in pendingStateEvents_
    kVanished,     // no pending crossing is bracketed any more
  };
  // Outcome of one root-finder iteration for one event.
  enum class ZeroCrossingIteration {
    kNoBracket,  // the recorded values no longer bracket a sign change
    kNewTrial,   // a new trial time
    kConverged,  // the crossing time
  };

  // Detection: clears `pending` on every recorded event, then sets it on both records of each id
  // whose function crossed zero, in the direction its type asks for, during the last step. True
  // when any did.
  bool CheckForZeroCrossings();
  // Whether the function crossed zero between the two records: a sign change that does not start
  // from exactly zero, rising or falling as the type asks for.
  static bool CheckForZeroCrossing(const OdeEvent& atStart, const OdeEvent& atEnd);
  // One location pass: one root-finder iteration for every pending event, and the time to go to.
  ZeroCrossingSearch FindZeroCrossings();
  // One root-finder iteration for one event from its value at the start of the latest step, after
  // it and, when the search went back, at the far end of its bracket (`work`, may be null). The
  // trial or crossing time goes to *newTime.
  static ZeroCrossingIteration FindZeroCrossing(const OdeEvent& atStart, const OdeEvent& atEnd,
                                                const OdeEvent* work, double* newTime,
                                                double stepTol, double timeTol);
  // crossingsWork_ becomes a copy of crossingsAtEnd_: the far end of each bracket, kept while the
  // state goes back to the checkpoint.
  void UpdateWorkZeroCrossingEventQueue();
  // Services the located events in order, describes them, and makes multistep integrators drop
  // their history; empties pendingStateEvents_.
  void DispatchPendingStateEvents();

  IntegrationAlgorithm integrationAlgorithm_ = IntegrationAlgorithm::AlgUnset;
  StepRegime stepRegime_ = StepRegime::kBoundsOnly;  // of integrationAlgorithm_, looked up once
  // Initial conditions kept for the next reset: the states', the algebraic states', the delays'.
  std::optional<std::array<std::vector<double>, 3>> keptInitConds_;
  uint32_t derivArg1_ = 0;
  uint32_t derivArg2_ = 0;
  bool initializationInProgress_ = false;

  // The scaled clock: communication points are counted as whole multiples of
  // scaledCommInterval_ = commInterval · timeScale_, so the n-th point is exactly n·scaled / scale.
  double scaledCommInterval_ = 0;
  double lastCommInterval_ = -1.0;   // interval for which timeScale_ was computed
  double timeScale_ = 1.0;           // power of ten
  double intervalEnd_ = 0;           // where the current run of steps must end
  double scaledTime_ = 0;            // the last communication point made an intervalEnd_, scaled
  double scaledNextCommTime_ = 0;    // scaledTime_ + scaledCommInterval_
  double nextCommTime_ = 0;          // scaledNextCommTime_ / timeScale_
  double requestedStepSize_ = 0.01;  // variable-step: the step before it was fitted to the stretch
  int32_t stepCount_ = 0;
  double stepStartTime_ = 0;
  // The run of equal fixed steps the independent variable is counted on (see CountFixedStep).
  double fixedStepAnchor_ = 0;
  double fixedStepSize_ = 0;
  uint32_t fixedStepCount_ = 0;
  double fixedStepEnd_ = std::numeric_limits<double>::quiet_NaN();  // none yet

  std::unique_ptr<Integrator> integrator_;  // owned

  // What the derivative section reads may have changed since the last step ended: set by
  // initialisation, a serviced event, a restored or restarted state and a continued run. The
  // host's writes are counted apart (from any thread).
  bool modelTouched_ = true;
  std::atomic<uint64_t> hostWrites_{0};
  uint64_t hostWritesSeen_ = 0;
  bool postStepEvaluationLeftOut_ = false;  // the last step ended without it

  bool stateEventsDeclared_ = false;  // the model reported a state event during its reset
  EventQueue intervalEvents_;         // OdeEvents, owned
  EventQueue timeEvents_;             // OdeEvents, owned
  uint32_t nextTimeEventId_ = 1;
  EventQueue crossingsAtStart_;                // OdeEvents, owned
  EventQueue crossingsAtEnd_;                  // OdeEvents, owned
  EventQueue crossingsWork_;                   // OdeEvents, owned
  std::vector<OdeEvent*> pendingStateEvents_;  // events of crossingsAtEnd_, located, to service
  CheckPoint checkPoint_;
  StateStorageMemory stateStorage_;
  std::vector<double> syncPoints_;  // ascending
};

}  // namespace tarn

#endif  // TARN_SOLVER_ODE_SOLVER_H
