// State events of the ODE solver: recording the values of the model's zero-crossing functions,
// and their detection, location and service after every step.
//
// A crossing is detected from the values recorded at the start and at the end of a step. It is
// then located by iterating Brent's method on time, reaching every trial point by integrating the
// model there: from the checkpoint of the step start (or of the latest trial ahead) when the trial
// lies behind the present time, from the present time when it lies ahead. Once the bracket is
// narrower than the time tolerance the solver stands at its later end, services the events there
// and resumes the run of steps the crossing interrupted.
#include <algorithm>
#include <cassert>
#include <cfloat>
#include <utility>

#include "solver/ode_solver.h"
#include "solver/ode_solver_messages.h"
#include "solver/root_finding.h"

namespace tarn {
namespace {

namespace msg = ode_solver_messages;

// The queues of state events hold OdeEvents only.
OdeEvent* FindEvent(const EventQueue& queue, uint32_t id) {
  return static_cast<OdeEvent*>(queue.GetEvent(id));
}

template <typename Visit>
void ForEachEvent(EventQueue& queue, Visit visit) {
  for (auto it = queue.GetListStart(); !queue.IsListEnd(it); ++it) {
    visit(*static_cast<OdeEvent*>(*it));
  }
}

}  // namespace

void OdeSolver::RecordStateEvent(uint32_t id, OdeEventType type, double value, uint32_t sectionArg1,
                                 uint32_t sectionArg2, TarnLogical* activeFlag) {
  // A crossing function turns on the checkpoint before every step, whether the model reports it
  // during its reset or only later: without a checkpoint of the step start a crossing cannot be
  // located. The reset's evaluations only declare it.
  stateEventsDeclared_ = true;
  if (initializationInProgress_) return;
  if (!integrator_ || indVar == nullptr) return;
  // Only the evaluation at the start of a step and the one after it are recorded; stage
  // evaluations inside a step are not.
  EventQueue* queue = integrator_->inAuxiliaryEvaluation  ? &crossingsAtStart_
                      : integrator_->inPostStepEvaluation ? &crossingsAtEnd_
                                                          : nullptr;
  if (queue == nullptr) return;
  const double t = *indVar;
  if (OdeEvent* event = FindEvent(*queue, id)) {
    event->SetTimeStamp(t);
    event->value = value;
  } else {
    queue->AddEvent(new OdeEvent(t, id, type, value, sectionArg1, sectionArg2, activeFlag));
  }
}

bool OdeSolver::HandleStateEvents() {
  if (!CheckForZeroCrossings()) return true;
  // The run of steps the crossing interrupted: the search moves the step size and the end of the
  // stretch, and the run resumes with them once it is over.
  const double runStepSize = stepSize;
  const double runIntervalEnd = intervalEnd_;
  const double runScaledTime = scaledTime_;
  const auto resumeRun = [&] {
    stepSize = runStepSize;
    intervalEnd_ = runIntervalEnd;
    scaledTime_ = runScaledTime;
  };
  const auto fail = [this] {
    RaiseStopFlag();
    return false;
  };
  pendingStateEvents_.clear();
  crossingsWork_.DeleteAllEvents();

  for (;;) {
    const ZeroCrossingSearch outcome = FindZeroCrossings();
    if (outcome == ZeroCrossingSearch::kVanished) {
      // The recorded values no longer bracket the crossing that was detected (a function that
      // does not repeat its values along the same path). Nothing is serviced; the run goes on
      // from the last trial point.
      WriteMessage(msg::kEventVanished);
      resumeRun();
      return true;
    }
    if (outcome == ZeroCrossingSearch::kTrialAhead && !SaveState()) return fail();
    if (outcome == ZeroCrossingSearch::kTrialBehind) {
      if (!RestoreState()) return fail();
      // The values at the present time are the far end of the bracket.
      UpdateWorkZeroCrossingEventQueue();
    }
    if (outcome != ZeroCrossingSearch::kLocated || intervalEnd_ > *indVar) {
      const double start = *indVar;
      if (!CalcStepSize()) return fail();
      IntegratorStep();
      if (*indVar == start) {
        // A step that did not move the independent variable failed, and the integrator raised
        // the stop flag and said why; searching on would repeat it for ever.
        resumeRun();
        return true;
      }
    }
    if (outcome == ZeroCrossingSearch::kLocated) break;
  }

  DispatchPendingStateEvents();
  resumeRun();
  if (settings.GetCommIntOnEvent()) {
    // The interval ends at the event. When its run of steps was heading for a communication
    // point, the clock already counts that point as reached; the count goes back one interval so
    // that the next interval ends on that point instead of skipping it.
    settings.communicationPointReached = true;
    if (scaledTime_ == scaledNextCommTime_ && intervalEnd_ - *indVar > TimeTolerance()) {
      scaledTime_ -= scaledCommInterval_;
    }
  }
  return true;
}

bool OdeSolver::CheckForZeroCrossings() {
  if (crossingsAtStart_.GetNumberPendingEvents() == 0 ||
      crossingsAtEnd_.GetNumberPendingEvents() == 0) {
    return false;
  }
  ForEachEvent(crossingsAtStart_, [](OdeEvent& event) { event.pending = false; });
  ForEachEvent(crossingsAtEnd_, [](OdeEvent& event) { event.pending = false; });
  bool found = false;
  ForEachEvent(crossingsAtStart_, [&](OdeEvent& atStart) {
    OdeEvent* atEnd = FindEvent(crossingsAtEnd_, atStart.GetEventId());
    if (atEnd == nullptr || !CheckForZeroCrossing(atStart, *atEnd)) return;
    atStart.pending = true;
    atEnd->pending = true;
    found = true;
  });
  return found;
}

bool OdeSolver::CheckForZeroCrossing(const OdeEvent& atStart, const OdeEvent& atEnd) {
  const double start = atStart.value;
  const double end = atEnd.value;
  // A function that starts the step at exactly zero has not crossed (it may just have been
  // serviced there); one that ends it at exactly zero has.
  if (!(start * end <= 0) || start == 0) return false;
  switch (atStart.type) {
    case OdeEventType::EventStateAny:
      return true;
    case OdeEventType::EventStateRising:
      return end > start;
    case OdeEventType::EventStateFalling:
      return end < start;
    case OdeEventType::EventIndependentVar:
    case OdeEventType::EventInterval:
      return false;
  }
  return false;
}

OdeSolver::ZeroCrossingSearch OdeSolver::FindZeroCrossings() {
  const double t = *indVar;
  const double timeTol = std::max(minStepSize, TimeTolerance());
  const bool describe = settings.GetWriteEventDescription();
  // Every pending event proposes a time: a trial inside its bracket or its located crossing. The
  // earliest time wins, whatever the order of the events in the queue, so that the earliest
  // crossing is always serviced first:
  //  - a trial before the earliest located crossing wins over it, since the event behind the
  //    trial may cross before it (its crossing is located in later passes and the other event
  //    is detected again after it);
  //  - of the located crossings only the earliest are serviced (those located at exactly that
  //    time, in queue order); a later one is detected again by the steps after the service.
  double trialTime = DBL_MAX;
  double locatedTime = DBL_MAX;
  pendingStateEvents_.clear();
  ForEachEvent(crossingsAtStart_, [&](OdeEvent& atStart) {
    if (!atStart.pending) return;
    OdeEvent* atEnd = FindEvent(crossingsAtEnd_, atStart.GetEventId());
    OdeEvent* work = FindEvent(crossingsWork_, atStart.GetEventId());
    // Detection marks only ids recorded at both ends, and the end queue never loses an event
    // during a search.
    assert(atEnd != nullptr);
    double time = 0;
    switch (FindZeroCrossing(atStart, *atEnd, work, &time, minStepSize, timeTol)) {
      case ZeroCrossingIteration::kConverged:
        if (time < locatedTime) {
          locatedTime = time;
          pendingStateEvents_.clear();
        }
        if (time == locatedTime) pendingStateEvents_.push_back(atEnd);
        break;
      case ZeroCrossingIteration::kNewTrial:
        if (describe) {
          WriteFormattedMessage(msg::kStateEventNumber, static_cast<long>(atEnd->sectionArg2));
          WriteFormattedMessage(msg::kStateEventWindow, std::min(time, t), std::max(time, t),
                                atEnd->value);
        }
        trialTime = std::min(trialTime, time);
        break;
      case ZeroCrossingIteration::kNoBracket:
        atStart.pending = false;
        atEnd->pending = false;
        if (work != nullptr) work->pending = false;
        break;
    }
  });
  if (!pendingStateEvents_.empty() && locatedTime <= trialTime) {
    intervalEnd_ = locatedTime;
    return ZeroCrossingSearch::kLocated;
  }
  pendingStateEvents_.clear();
  if (trialTime == DBL_MAX) return ZeroCrossingSearch::kVanished;
  intervalEnd_ = trialTime;
  return t >= trialTime ? ZeroCrossingSearch::kTrialBehind : ZeroCrossingSearch::kTrialAhead;
}

OdeSolver::ZeroCrossingIteration OdeSolver::FindZeroCrossing(const OdeEvent& atStart,
                                                             const OdeEvent& atEnd,
                                                             const OdeEvent* work, double* newTime,
                                                             double stepTol, double timeTol) {
  // a: the start of the latest step. b and c: the end of the latest step and the far end of the
  // bracket kept from before the search went back, the later of the two as c. On the first pass
  // there is no far end and b = a.
  double a = atStart.GetTimeStamp();
  double fa = atStart.value;
  double b = work != nullptr ? work->GetTimeStamp() : a;
  double fb = work != nullptr ? work->value : fa;
  double c = atEnd.GetTimeStamp();
  double fc = atEnd.value;
  if (b > c) {
    std::swap(b, c);
    std::swap(fb, fc);
  }
  bool converged = false;
  if (!RootFinding::Brent(a, fa, b, fb, c, fc, stepTol, timeTol, converged)) {
    return ZeroCrossingIteration::kNoBracket;
  }
  *newTime = b;
  return converged ? ZeroCrossingIteration::kConverged : ZeroCrossingIteration::kNewTrial;
}

void OdeSolver::UpdateWorkZeroCrossingEventQueue() {
  crossingsWork_.DeleteAllEvents();
  ForEachEvent(crossingsAtEnd_,
               [this](OdeEvent& event) { crossingsWork_.AddEvent(new OdeEvent(event)); });
}

void OdeSolver::DispatchPendingStateEvents() {
  const bool describe = settings.GetWriteEventDescription();
  for (OdeEvent* event : pendingStateEvents_) {
    ServiceEvent(*event);
    if (describe) {
      WriteFormattedMessage(msg::kStateEventServiced, static_cast<long>(event->sectionArg2),
                            *indVar);
    }
    event->value = 0;
  }
  pendingStateEvents_.clear();
  // The sections may have changed states or switched the model's equations.
  integrator_->restartRequested = true;
}

}  // namespace tarn
