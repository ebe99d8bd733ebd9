// The execution manager runs the model's simulation entry on a worker thread or on the caller's
// thread, reports the start and end of each run as execution states, turns exceptions escaping the
// model into the error state, and implements the debugger: a debug run pauses at breakpoints, on
// request, after single steps and after the first floating-point fault, by suspending its own
// worker at the end of a communication interval step until the host continues it.
#ifndef TARN_RUNTIME_EXECUTION_MANAGER_H
#define TARN_RUNTIME_EXECUTION_MANAGER_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "runtime/breakpoint_list.h"
#include "runtime/threads/thread.h"

namespace tarn {

class TarnSimRuntime;

enum class TarnDebugState : int32_t {
  kNotDebugging = 0,
  kRunning = 1,
  kPauseRequested = 2,  // pause at the next debug tick
  kPaused = 3,          // the worker is suspended
  kStopRequested = 4,   // the next debug tick ends the run
};

// Thrown by the debug tick to unwind the model and the solver when the host stops a debug run.
class DebugStopped : public std::runtime_error {
 public:
  DebugStopped() : std::runtime_error("debug stopped") {}
};

class TarnSimExecutionManager : public Runnable, public LockObject {
 public:
  explicit TarnSimExecutionManager(TarnSimRuntime& runtime);
  ~TarnSimExecutionManager() override;

  // The instance whose simulation entry runs: the one created last.
  void BindInstance(uint32_t instance) { instance_ = instance; }
  // The instance of the current or last run.
  uint32_t RunningInstance() const { return runningInstance_; }

  // Ends the worker of an earlier run, if any, before anything of a new run is prepared: a
  // running worker is asked to stop through the run's stop flag, a paused one is resumed, and the
  // thread is joined. The old run reports its own end.
  void EndPreviousRun();

  // Asks the current run to end, from any thread. Unlike the model's stop flag, which the run's
  // initialisation clears, the request holds until the next run is prepared, so a stop given
  // before the worker has initialised its run is not lost.
  void RequestStop() { stopRequested_.store(true); }
  bool StopRequested() const { return stopRequested_.load(); }

  // Normal run on a new worker thread; returns at once.
  void Start();
  // Normal run on the calling thread; returns when it is over.
  void StartBlocking();
  // The thread body: the simulation entry, the final tick and statistics, the end-of-run state.
  void Run() override;

  // Debugger commands, from the host's thread.
  void DebugStart();
  void DebugStep();
  void DebugStop();
  void DebugBreak();
  void DebugContinue();
  void DebugSuspend();
  void DebugResume();
  void DebugAddBreakpoint(uint32_t line, const char* fileName, const char* blockName);
  void DebugRemoveBreakpoint(uint32_t line, const char* fileName, const char* blockName);
  void DebugClearAllBreakpoints();

  // End of every communication interval step, on the simulating thread: floating-point check,
  // debug tick, breakpoints and pauses.
  void DebugTick();

  // Reports the end of the run: state 7 (debug state back to 0) in debug mode, else state 5.
  void Finalize();

  TarnDebugState GetDebugState() const { return debugState_.load(); }
  const BreakpointList& Breakpoints() const { return breakpoints_; }

 private:
  // Ends an earlier worker and resets the per-run flags. False when the bound instance does not
  // exist (destroyed, or never created): there is nothing to run, and the model's run loop, which
  // ends only through its instance's flags and interval steps, would never end.
  bool PrepareRun(bool debugMode);
  // Looks up the debugging symbols by name; true when all three exist.
  bool FindDebugSymbols();
  bool HasDebugSymbols() const { return lineSymbol_ && fileSymbol_ && blockSymbol_; }
  void ReportFloatingPointFault();
  // Sends the text of an exception that ended the run, then reports the error state.
  void ReportException(uint32_t instance, const char* text);
  void Pause();
  // Reports the end of the current or last run: state 7 (debug state back to 0) in debug mode,
  // else state 5.
  void ReportEnd();

  TarnSimRuntime& runtime_;
  std::unique_ptr<Thread> thread_;  // the worker of the last non-blocking or debug run
  BreakpointList breakpoints_;
  uint32_t instance_ = 1;
  uint32_t runningInstance_ = 1;  // instance_ when the current or last run started
  std::atomic<TarnDebugState> debugState_{TarnDebugState::kNotDebugging};
  uint32_t lineSymbol_ = 0;   // index of zzlinenum, 0 when the model has none
  uint32_t fileSymbol_ = 0;   // index of zzfilename
  uint32_t blockSymbol_ = 0;  // index of zzblockname
  bool debugMode_ = false;
  bool exceptionReported_ = false;  // the run's first floating-point fault has been handled
  bool pauseForFault_ = false;      // this tick must pause for a floating-point fault
  // No run is executing: the end of the last run (if any) has been reported.
  std::atomic<bool> endReported_{true};
  std::atomic<bool> stopRequested_{false};  // the host asked the current run to end
};

}  // namespace tarn

#endif  // TARN_RUNTIME_EXECUTION_MANAGER_H
