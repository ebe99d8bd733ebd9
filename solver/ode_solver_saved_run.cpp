// The solver's part of a saved state: copies of its event queues, its communication clock and
// step sizes, and the integrator's history.
#include "solver/ode_solver.h"

namespace tarn {
namespace {

std::vector<OdeEvent> CopyEvents(const EventQueue& queue) {
  // Walked through a second queue that holds the same events and unlinks them when it goes.
  EventQueue walked;
  queue.CopyTo(&walked);
  std::vector<OdeEvent> copies;
  copies.reserve(walked.GetNumberPendingEvents());
  for (auto it = walked.GetListStart(); !walked.IsListEnd(it); ++it) {
    copies.push_back(*static_cast<const OdeEvent*>(walked.GetEvent(it)));
  }
  return copies;
}

void ReplaceEvents(EventQueue& queue, const std::vector<OdeEvent>& saved,
                   const std::function<void(OdeEvent&)>& relocate) {
  queue.DeleteAllEvents();
  for (const OdeEvent& event : saved) {
    auto* copy = new OdeEvent(event);
    relocate(*copy);
    queue.AddEvent(copy);  // the queue owns it from here
  }
}

}  // namespace

OdeSolver::RunRecord OdeSolver::SaveRun() const {
  RunRecord record;
  record.timeEvents = CopyEvents(timeEvents_);
  record.intervalEvents = CopyEvents(intervalEvents_);
  record.crossingsAtStart = CopyEvents(crossingsAtStart_);
  record.crossingsAtEnd = CopyEvents(crossingsAtEnd_);
  record.nextTimeEventId = nextTimeEventId_;
  record.stateEventsDeclared = stateEventsDeclared_;
  record.firstInterval = firstInterval;
  record.stepSize = stepSize;
  record.lastCommInterval = lastCommInterval_;
  record.timeScale = timeScale_;
  record.scaledCommInterval = scaledCommInterval_;
  record.intervalEnd = intervalEnd_;
  record.scaledTime = scaledTime_;
  record.scaledNextCommTime = scaledNextCommTime_;
  record.nextCommTime = nextCommTime_;
  record.requestedStepSize = requestedStepSize_;
  record.fixedStepAnchor = fixedStepAnchor_;
  record.fixedStepSize = fixedStepSize_;
  record.fixedStepCount = fixedStepCount_;
  record.fixedStepEnd = fixedStepEnd_;
  if (integrator_) record.integratorHistory = integrator_->SaveHistory();
  return record;
}

void OdeSolver::RestoreRun(const RunRecord& record,
                           const std::function<void(OdeEvent&)>& relocate) {
  pendingStateEvents_.clear();
  crossingsWork_.DeleteAllEvents();
  ReplaceEvents(timeEvents_, record.timeEvents, relocate);
  ReplaceEvents(intervalEvents_, record.intervalEvents, relocate);
  ReplaceEvents(crossingsAtStart_, record.crossingsAtStart, relocate);
  ReplaceEvents(crossingsAtEnd_, record.crossingsAtEnd, relocate);
  nextTimeEventId_ = record.nextTimeEventId;
  stateEventsDeclared_ = record.stateEventsDeclared;
  firstInterval = record.firstInterval;
  stepSize = record.stepSize;
  lastCommInterval_ = record.lastCommInterval;
  timeScale_ = record.timeScale;
  scaledCommInterval_ = record.scaledCommInterval;
  intervalEnd_ = record.intervalEnd;
  scaledTime_ = record.scaledTime;
  scaledNextCommTime_ = record.scaledNextCommTime;
  nextCommTime_ = record.nextCommTime;
  requestedStepSize_ = record.requestedStepSize;
  fixedStepAnchor_ = record.fixedStepAnchor;
  fixedStepSize_ = record.fixedStepSize;
  fixedStepCount_ = record.fixedStepCount;
  fixedStepEnd_ = record.fixedStepEnd;
  if (integrator_) integrator_->RestoreHistory(record.integratorHistory);
}

}  // namespace tarn
