// OdeEvent: the solver's scheduled and state events. An event at a value of the independent
// variable runs once; an interval event recurs with the period held by a model variable; a state
// event carries the last recorded value of a zero-crossing function. Servicing any of them runs the
// model's discrete section (sectionArg1, sectionArg2).
#ifndef TARN_SOLVER_ODE_EVENT_H
#define TARN_SOLVER_ODE_EVENT_H

#include <cstdint>

#include "solver/event.h"
#include "tarn/tarn_types.h"

namespace tarn {

enum class OdeEventType : int32_t {
  EventIndependentVar = 0,  // once, when the independent variable reaches `value`
  EventInterval = 1,        // every *interval units, first at registration time
  EventStateAny = 2,        // zero crossing of `value` in either direction
  EventStateRising = 3,     // zero crossing from below to above
  EventStateFalling = 4,    // zero crossing from above to below
};

class OdeEvent : public Event {
 public:
  OdeEvent() = default;
  // An event with a flag that is raised while it is serviced (may be null).
  OdeEvent(double timeStamp, uint32_t eventId, OdeEventType type, double value,
           uint32_t sectionArg1, uint32_t sectionArg2, TarnLogical* activeFlag);
  // An interval event whose period lives at `interval`. The recurrence starts at `value`.
  OdeEvent(double timeStamp, uint32_t eventId, OdeEventType type, double value,
           uint32_t sectionArg1, uint32_t sectionArg2, const double* interval);
  // Time stamp, id and every member below, `pending` included; no user data.
  OdeEvent(const OdeEvent& other);
  OdeEvent& operator=(const OdeEvent&) = delete;
  ~OdeEvent() override = default;

  // Interval events: makes `value` the next due time after the one just serviced. The due times
  // are counted from the start of the current period, value = periodStart + n·period, so that
  // they do not drift; a changed period starts a new count at the time just serviced. Returns
  // false, changing nothing, when the period is not positive (or there is none).
  bool AdvanceInterval();

  OdeEventType type = OdeEventType::EventIndependentVar;
  uint32_t sectionArg1 = 0;  // first argument of the derivative function (the instance)
  uint32_t sectionArg2 = 0;  // discrete section code; event number in messages; delay-state key
  // Independent-variable and interval events: when the event is due. State events: the last
  // recorded value of the zero-crossing function.
  double value = 0;
  TarnLogical* activeFlag = nullptr;  // borrowed; raised while the event is serviced
  const double* interval = nullptr;   // borrowed; the period of an interval event
  bool pending = false;               // state events: a crossing was detected in the last step

  // Interval events: the counted recurrence (see AdvanceInterval).
  double periodStart = 0;    // due time from which the current period is counted
  double period = 0;         // the period counted with
  uint32_t periodCount = 0;  // due times of this period already passed
};

}  // namespace tarn

#endif  // TARN_SOLVER_ODE_EVENT_H
