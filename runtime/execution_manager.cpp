#include "runtime/execution_manager.h"

#include <cinttypes>
#include <cstdio>

#include "runtime/floating_point_status.h"
#include "runtime/runtime.h"
#include "runtime/runtime_messages.h"
#include "tarn/tarn.h"

namespace tarn {
namespace {

constexpr char kThreadName[] = "Simulation";
constexpr size_t kMessageSize = 512;

}  // namespace

TarnSimExecutionManager::TarnSimExecutionManager(TarnSimRuntime& runtime) : runtime_(runtime) {}

TarnSimExecutionManager::~TarnSimExecutionManager() { EndPreviousRun(); }

bool TarnSimExecutionManager::FindDebugSymbols() {
  lineSymbol_ = TarnGetSymbolIndex("zzlinenum");
  fileSymbol_ = TarnGetSymbolIndex("zzfilename");
  blockSymbol_ = TarnGetSymbolIndex("zzblockname");
  return HasDebugSymbols();
}

void TarnSimExecutionManager::EndPreviousRun() {
  if (!thread_) return;
  RequestStop();
  if (SystemInstance* record = runtime_.GetSystemInstance(runningInstance_)) {
    record->control.SetFlag(Control::kZzstopflag, 1);
  }
  // A debug run asked to stop ends at its next tick; a paused one is woken by Terminate and
  // then finds the stop flag raised. Exchanged, not stored: the worker may be ending the run (and
  // clearing the debug state) at this moment, and a stop stored after that would stay for good.
  for (TarnDebugState executing : {TarnDebugState::kRunning, TarnDebugState::kPauseRequested}) {
    if (debugState_.compare_exchange_strong(executing, TarnDebugState::kStopRequested)) break;
  }
  thread_->Terminate();
  thread_.reset();
}

bool TarnSimExecutionManager::PrepareRun(bool debugMode) {
  EndPreviousRun();
  debugMode_ = debugMode;
  exceptionReported_ = false;
  pauseForFault_ = false;
  stopRequested_.store(false);
  runningInstance_ = instance_;
  return runtime_.GetSystemInstance(runningInstance_) != nullptr;
}

void TarnSimExecutionManager::Start() {
  if (!PrepareRun(/*debugMode=*/false)) return;
  FindDebugSymbols();
  thread_ = ThreadFactory::newThread(*this, kThreadName);
  endReported_.store(false);
  runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_STARTED);
  if (!thread_->Start()) {
    thread_.reset();
    Finalize();
  }
}

void TarnSimExecutionManager::StartBlocking() {
  if (!PrepareRun(/*debugMode=*/false)) return;
  FindDebugSymbols();
  endReported_.store(false);
  runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_STARTED);
  Run();
}

void TarnSimExecutionManager::Run() {
  const uint32_t instance = runningInstance_;
  try {
    if (TarnSimSimulationFunction simulation = runtime_.GetSystemInfo().simulation) {
      simulation(instance);
    }
    runtime_.TarnSimInvokeTick(instance, TARN_TICK_OUTPUT);
    runtime_.WriteStatistics(instance);
  } catch (const DebugStopped&) {
    // The host stopped the debug run; its end is reported below.
  } catch (const char* text) {
    ReportException(instance, text);
  } catch (const std::exception& exception) {
    ReportException(instance, exception.what());
  } catch (...) {
    ReportException(instance, kUnknownExceptionMessage);
  }
  Finalize();
}

void TarnSimExecutionManager::ReportException(uint32_t instance, const char* text) {
  // The host learns why the run ended before it sees the error state.
  char message[kMessageSize];
  std::snprintf(message, sizeof message, kRunExceptionFormat, text);
  runtime_.TarnSimWriteMessage(instance, message);
  runtime_.TarnSimSetExecutionState(instance, TARN_STATE_EXCEPTION);
}

void TarnSimExecutionManager::Finalize() {
  // A debug run stopped while paused has been reported ended already; its worker ends silently.
  if (endReported_.exchange(true)) return;
  ReportEnd();
}

void TarnSimExecutionManager::ReportEnd() {
  if (debugMode_) {
    debugState_.store(TarnDebugState::kNotDebugging);
    runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_DEBUG_ENDED);
  } else {
    runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_ENDED);
  }
}

void TarnSimExecutionManager::DebugStart() {
  if (!PrepareRun(/*debugMode=*/true)) return;
  if (debugState_.load() != TarnDebugState::kNotDebugging) return;
  if (!FindDebugSymbols()) {
    runtime_.TarnSimWriteMessage(runningInstance_, kNoDebugInformationMessage);
    return;
  }
  thread_ = ThreadFactory::newThread(*this, kThreadName);
  endReported_.store(false);
  debugState_.store(TarnDebugState::kRunning);
  runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_DEBUG_STARTED);
  if (!thread_->Start()) {
    thread_.reset();
    Finalize();
  }
}

// A step and a continue lift the pause that Pause put in force under the same lock.
void TarnSimExecutionManager::DebugStep() {
  AutoLock guard(*this);
  if (debugState_.load() != TarnDebugState::kPaused) return;
  debugState_.store(TarnDebugState::kPauseRequested);
  thread_->Resume();
}

void TarnSimExecutionManager::DebugContinue() {
  AutoLock guard(*this);
  if (debugState_.load() != TarnDebugState::kPaused) return;
  debugState_.store(TarnDebugState::kRunning);
  runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_DEBUG_CONTINUED);
  thread_->Resume();
}

void TarnSimExecutionManager::DebugBreak() {
  TarnDebugState running = TarnDebugState::kRunning;
  debugState_.compare_exchange_strong(running, TarnDebugState::kPauseRequested);
}

void TarnSimExecutionManager::DebugStop() {
  bool paused;
  {
    // Decided under the lock that makes a pause and its report one step (Pause): a run is never
    // reported ended while its worker is still executing it, or before the pause it ends from.
    AutoLock guard(*this);
    for (TarnDebugState executing : {TarnDebugState::kRunning, TarnDebugState::kPauseRequested}) {
      // The worker ends the run at its next tick and reports the end itself.
      if (debugState_.compare_exchange_strong(executing, TarnDebugState::kStopRequested)) return;
    }
    if (debugState_.load() == TarnDebugState::kStopRequested) return;
    paused = debugState_.load() == TarnDebugState::kPaused;
    if (!paused && !endReported_.load()) {
      // A normal run is executing: it is stopped as TarnStop stops it and reports its own end.
      RequestStop();
      if (SystemInstance* record = runtime_.GetSystemInstance(runningInstance_)) {
        record->control.SetFlag(Control::kZzstopflag, 1);
      }
      return;
    }
  }
  if (paused) {
    // Reported ended at once. The paused worker stays suspended until the next start ends it; if
    // anything resumes it first, it only unwinds (Pause).
    Finalize();
  } else {
    // No run is executing: the end of the last one is reported again, so that a host that waits
    // for the end after a stop is never left waiting.
    ReportEnd();
  }
}

void TarnSimExecutionManager::DebugSuspend() {
  if (thread_) thread_->Suspend();
}

void TarnSimExecutionManager::DebugResume() {
  if (thread_) thread_->Resume();
}

// The breakpoint list changes on the host's thread while a debug run's worker reads it at every
// tick: both hold the manager's lock.
void TarnSimExecutionManager::DebugAddBreakpoint(uint32_t line, const char* fileName,
                                                 const char* blockName) {
  AutoLock guard(*this);
  breakpoints_.AddBreakpoint(line, fileName, blockName);
}

void TarnSimExecutionManager::DebugRemoveBreakpoint(uint32_t line, const char* fileName,
                                                    const char* blockName) {
  AutoLock guard(*this);
  breakpoints_.RemoveBreakpoint(line, fileName, blockName);
}

void TarnSimExecutionManager::DebugClearAllBreakpoints() {
  AutoLock guard(*this);
  breakpoints_.ClearAllBreakpoints();
}

void TarnSimExecutionManager::ReportFloatingPointFault() {
  exceptionReported_ = true;
  pauseForFault_ = true;
  if (!HasDebugSymbols()) return;
  const int32_t line = TarnGetLong(runningInstance_, lineSymbol_);
  const char* block = TarnGetString(runningInstance_, blockSymbol_);
  char msg[kMessageSize];
  if (block != nullptr && block[0] != '\0') {
    std::snprintf(msg, sizeof msg,
                  "*** Floating point exception detected at block %s, line %" PRId32 ".*** \n",
                  block, line);
  } else {
    std::snprintf(msg, sizeof msg,
                  "*** Floating point exception detected at line %" PRId32 ".*** \n", line);
  }
  runtime_.TarnSimWriteMessage(runningInstance_, msg);
}

void TarnSimExecutionManager::Pause() {
  pauseForFault_ = false;
  {
    // The pause is in force before it is announced: a step or continue (which take this lock)
    // always finds it.
    AutoLock guard(*this);
    // A stop that arrived during this tick ends the run instead.
    if (debugState_.load() == TarnDebugState::kStopRequested) throw DebugStopped();
    if (thread_) thread_->Suspend();
    debugState_.store(TarnDebugState::kPaused);
    runtime_.TarnSimSetExecutionState(runningInstance_, TARN_STATE_DEBUG_PAUSED);
  }
  if (thread_) thread_->PauseIfSuspended();
  // Reported ended while paused (DebugStop): whatever resumes the worker, the run only unwinds.
  if (endReported_.load()) throw DebugStopped();
}

void TarnSimExecutionManager::DebugTick() {
  if (thread_) thread_->PauseIfSuspended();
  if (!exceptionReported_ && FloatingPointFlagOtherThanInexactRaised()) ReportFloatingPointFault();
  if (!debugMode_) return;
  if (debugState_.load() == TarnDebugState::kStopRequested) throw DebugStopped();
  runtime_.TarnSimInvokeTick(runningInstance_, TARN_TICK_DEBUG);
  if (debugState_.load() == TarnDebugState::kPauseRequested) {
    Pause();
    return;
  }
  if (!HasDebugSymbols()) return;
  const int32_t line = TarnGetLong(runningInstance_, lineSymbol_);
  const char* file = TarnGetString(runningInstance_, fileSymbol_);
  const char* block = TarnGetString(runningInstance_, blockSymbol_);
  bool atBreakpoint;
  {
    AutoLock guard(*this);
    atBreakpoint = breakpoints_.ContainsBreakpoint(static_cast<uint32_t>(line), file, block);
  }
  if (atBreakpoint || pauseForFault_) Pause();
}

}  // namespace tarn
