// The solver's event record and the counted recurrence of interval events.
#include "solver/ode_event.h"

namespace tarn {

OdeEvent::OdeEvent(double timeStamp, uint32_t eventId, OdeEventType type, double value,
                   uint32_t sectionArg1, uint32_t sectionArg2, TarnLogical* activeFlag)
    : Event(timeStamp, eventId),
      type(type),
      sectionArg1(sectionArg1),
      sectionArg2(sectionArg2),
      value(value),
      activeFlag(activeFlag) {}

OdeEvent::OdeEvent(double timeStamp, uint32_t eventId, OdeEventType type, double value,
                   uint32_t sectionArg1, uint32_t sectionArg2, const double* interval)
    : Event(timeStamp, eventId),
      type(type),
      sectionArg1(sectionArg1),
      sectionArg2(sectionArg2),
      value(value),
      interval(interval),
      periodStart(value),
      period(interval != nullptr ? *interval : 0) {}

OdeEvent::OdeEvent(const OdeEvent& other)
    : Event(other.GetTimeStamp(), other.GetEventId()),
      type(other.type),
      sectionArg1(other.sectionArg1),
      sectionArg2(other.sectionArg2),
      value(other.value),
      activeFlag(other.activeFlag),
      interval(other.interval),
      pending(other.pending),
      periodStart(other.periodStart),
      period(other.period),
      periodCount(other.periodCount) {}

bool OdeEvent::AdvanceInterval() {
  if (interval == nullptr || !(*interval > 0)) return false;
  if (*interval != period) {
    period = *interval;
    periodStart = value;
    periodCount = 0;
  }
  ++periodCount;
  value = periodStart + periodCount * period;
  return true;
}

}  // namespace tarn
