// Scheduled events of the ODE solver: events at a value of the independent variable and interval
// events, their registration and their service. Steps end exactly on their due times (the
// interval-end computation takes the earliest of them); they are serviced right after the step
// that reaches them, and before the first interval for those due at the start time.
#include <cmath>
#include <memory>

#include "solver/ode_solver.h"
#include "solver/ode_solver_messages.h"

namespace tarn {
namespace {

namespace msg = ode_solver_messages;

// Puts the integrator's derivative-function arguments back and lowers the event's flag, also
// when the model's section throws.
class EventServiceScope {
 public:
  EventServiceScope(Integrator& integrator_, OdeEvent& event)
      : integrator_(integrator_),
        event_(event),
        savedArg1_(integrator_.derivArg1),
        savedArg2_(integrator_.derivArg2) {
    if (event_.activeFlag != nullptr) *event_.activeFlag = 1;
    integrator_.derivArg1 = event_.sectionArg1;
    integrator_.derivArg2 = event_.sectionArg2;
  }
  ~EventServiceScope() {
    integrator_.derivArg1 = savedArg1_;
    integrator_.derivArg2 = savedArg2_;
    if (event_.activeFlag != nullptr) *event_.activeFlag = 0;
  }
  EventServiceScope(const EventServiceScope&) = delete;
  EventServiceScope& operator=(const EventServiceScope&) = delete;

 private:
  Integrator& integrator_;
  OdeEvent& event_;
  const uint32_t savedArg1_;
  const uint32_t savedArg2_;
};

}  // namespace

void OdeSolver::AddEvent(uint32_t id, OdeEventType type, double value, uint32_t sectionArg1,
                         uint32_t sectionArg2, TarnLogical* activeFlag) {
  switch (type) {
    case OdeEventType::EventIndependentVar:
      // The reset evaluations of the model run its sections again; what they schedule is dropped.
      if (initializationInProgress_) return;
      timeEvents_.AddEvent(new OdeEvent(value, nextTimeEventId_++, type, value, sectionArg1,
                                        sectionArg2, activeFlag));
      return;
    case OdeEventType::EventStateAny:
    case OdeEventType::EventStateRising:
    case OdeEventType::EventStateFalling:
      RecordStateEvent(id, type, value, sectionArg1, sectionArg2, activeFlag);
      return;
    case OdeEventType::EventInterval:
      return;
  }
}

void OdeSolver::AddIntervalEvent(uint32_t id, uint32_t sectionArg1, uint32_t sectionArg2,
                                 const double* interval) {
  if (initializationInProgress_ || indVar == nullptr) return;
  // A period that is not positive would keep the event due at the same time for ever.
  if (interval == nullptr || !(*interval > 0)) {
    WriteFormattedMessage(msg::kIntervalEventNotScheduled, static_cast<long>(sectionArg2));
    return;
  }
  const double t = *indVar;
  intervalEvents_.AddEvent(
      new OdeEvent(t, id, OdeEventType::EventInterval, t, sectionArg1, sectionArg2, interval));
}

bool OdeSolver::IsDue(const OdeEvent& event) const {
  return std::fabs(event.value - *indVar) <= TimeTolerance();
}

void OdeSolver::ServiceEvent(OdeEvent& event) {
  EventServiceScope scope(*integrator_, event);
  modelTouched_ = true;
  UpdateDelayStates(event.sectionArg2);
  integrator_->CalculateDerivatives();
}

void OdeSolver::HandleIndependentVarEvents() {
  // Without an integrator the model's sections cannot run; the events wait.
  if (!integrator_ || indVar == nullptr) return;
  const bool describe = settings.GetWriteEventDescription();
  bool serviced = true;
  // A serviced section may schedule further events at the present time: repeat until none is due.
  while (serviced) {
    serviced = false;
    // The walks step past an event before servicing it: the section may add events to the queue.
    for (auto it = timeEvents_.GetListStart(); !timeEvents_.IsListEnd(it);) {
      auto* event = static_cast<OdeEvent*>(*it++);
      if (!IsDue(*event)) continue;
      timeEvents_.RemoveEvent(event);
      const std::unique_ptr<OdeEvent> owned(event);
      serviced = true;
      ServiceEvent(*event);
      if (describe) {
        WriteFormattedMessage(msg::kIndependentVarEventServiced,
                              static_cast<long>(event->sectionArg2), *indVar);
      }
    }
    for (auto it = intervalEvents_.GetListStart(); !intervalEvents_.IsListEnd(it);) {
      auto* event = static_cast<OdeEvent*>(*it++);
      if (!IsDue(*event)) continue;
      serviced = true;
      ServiceEvent(*event);
      if (describe) {
        WriteFormattedMessage(msg::kIntervalEventServiced, static_cast<long>(event->sectionArg2),
                              *indVar);
      }
      if (!event->AdvanceInterval()) {
        // The model made the period zero or negative: the event would stay due for ever.
        WriteFormattedMessage(msg::kIntervalEventCancelled, static_cast<long>(event->sectionArg2),
                              *indVar);
        intervalEvents_.DeleteEvent(event);
      }
    }
  }
}

void OdeSolver::ClearEventQueues() {
  pendingStateEvents_.clear();  // they belong to crossingsAtEnd_
  crossingsAtStart_.DeleteAllEvents();
  crossingsAtEnd_.DeleteAllEvents();
  crossingsWork_.DeleteAllEvents();
  timeEvents_.DeleteAllEvents();
  intervalEvents_.DeleteAllEvents();
}

}  // namespace tarn
