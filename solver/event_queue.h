// A list of events kept in ascending order of (time stamp, id). The queue holds pointers: only
// the Delete operations delete events; the destructor and the Remove operations unlink them.
#ifndef TARN_SOLVER_EVENT_QUEUE_H
#define TARN_SOLVER_EVENT_QUEUE_H

#include <cstdint>
#include <list>

#include "solver/event.h"

namespace tarn {

class EventQueue {
 public:
  using Iterator = std::list<Event*>::iterator;

  EventQueue() = default;
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;
  virtual ~EventQueue() = default;

  // Inserts `event` before the first element that is later, or as late with a greater id;
  // events equal in both keep their order of arrival. Null, and an event already queued here,
  // are ignored.
  void AddEvent(Event* event);

  // Front-to-back walk: the caller advances the iterator itself.
  Iterator GetListStart() { return events_.begin(); }
  bool IsListEnd(Iterator position) const { return position == events_.end(); }
  // The event at `position`; null at the end.
  Event* GetEvent(Iterator position) const;

  // The first event from the front with `eventId`; null when none has it.
  Event* GetEvent(uint32_t eventId) const;
  uint32_t GetNumberPendingEvents() const { return static_cast<uint32_t>(events_.size()); }

  // Unlink the first element with `eventId`, or the element holding `event`; the Delete forms
  // also delete it. Nothing happens when no element matches.
  void RemoveEvent(uint32_t eventId);
  void DeleteEvent(uint32_t eventId);
  void RemoveEvent(Event* event);
  void DeleteEvent(Event* event);

  void DeleteAllEvents();

  // The element at the back of the list: the latest time stamp, greatest id among equals.
  Event* PeekNextEvent() const;
  void RemoveNextEvent();
  void DeleteNextEvent();

  // Adds every event, front to back, to `other`, then empties this queue: the events now belong
  // to `other`. Nothing happens when `other` is null or this queue.
  void MoveTo(EventQueue* other);
  // Adds every event to `other` as well; both queues then hold the same events. Nothing happens
  // when `other` is null or this queue.
  void CopyTo(EventQueue* other) const;

 private:
  std::list<Event*> events_;
};

}  // namespace tarn

#endif  // TARN_SOLVER_EVENT_QUEUE_H
