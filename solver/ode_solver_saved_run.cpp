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
  record.timeEvents = CopyEvents(timeEvents);
  record.intervalEvents = CopyEvents(intervalEvents);
  record.crossingsAtStart = CopyEvents(crossingsAtStart);
  record.crossingsAtEnd = CopyEvents(crossingsAtEnd);
  record.nextTimeEventId = nextTimeEventId;
  record.stateEventsDeclared = stateEventsDeclared;
  record.firstInterval = firstInterval;
  record.stepSize = stepSize;
  record.lastCommInterval = lastCommInterval;
  record.timeScale = timeScale;
  record.scaledCommInterval = scaledCommInterval;
  record.intervalEnd = intervalEnd;
  record.scaledTime = scaledTime;
  record.scaledNextCommTime = scaledNextCommTime;
  record.nextCommTime = nextCommTime;
  record.requestedStepSize = requestedStepSize;
  record.fixedStepAnchor = fixedStepAnchor;
  record.fixedStepSize = fixedStepSize;
  record.fixedStepCount = fixedStepCount;
  record.fixedStepEnd = fixedStepEnd;
  if (integrator) record.integratorHistory = integrator->SaveHistory();
  return record;
}

void OdeSolver::RestoreRun(const RunRecord& record,
                           const std::function<void(OdeEvent&)>& relocate) {
  pendingStateEvents.clear();
  crossingsWork.DeleteAllEvents();
  ReplaceEvents(timeEvents, record.timeEvents, relocate);
  ReplaceEvents(intervalEvents, record.intervalEvents, relocate);
  ReplaceEvents(crossingsAtStart, record.crossingsAtStart, relocate);
  ReplaceEvents(crossingsAtEnd, record.crossingsAtEnd, relocate);
  nextTimeEventId = record.nextTimeEventId;
  stateEventsDeclared = record.stateEventsDeclared;
  firstInterval = record.firstInterval;
  stepSize = record.stepSize;
  lastCommInterval = record.lastCommInterval;
  timeScale = record.timeScale;
  scaledCommInterval = record.scaledCommInterval;
  intervalEnd = record.intervalEnd;
  scaledTime = record.scaledTime;
  scaledNextCommTime = record.scaledNextCommTime;
  nextCommTime = record.nextCommTime;
  requestedStepSize = record.requestedStepSize;
  fixedStepAnchor = record.fixedStepAnchor;
  fixedStepSize = record.fixedStepSize;
  fixedStepCount = record.fixedStepCount;
  fixedStepEnd = record.fixedStepEnd;
  if (integrator) integrator->RestoreHistory(record.integratorHistory);
}

}  // namespace tarn
