// The time-ordered event list.
#include "solver/event_queue.h"

#include <algorithm>

namespace tarn {

void EventQueue::AddEvent(Event* event) {
  // A pointer queued twice would be deleted twice by DeleteAllEvents.
  if (event == nullptr || std::find(events_.begin(), events_.end(), event) != events_.end()) {
    return;
  }
  const double time = event->GetTimeStamp();
  const uint32_t id = event->GetEventId();
  const auto position = std::find_if(events_.begin(), events_.end(), [&](const Event* queued) {
    return queued->GetTimeStamp() > time ||
           (queued->GetTimeStamp() == time && id < queued->GetEventId());
  });
  events_.insert(position, event);
}

Event* EventQueue::GetEvent(Iterator position) const {
  return position == events_.end() ? nullptr : *position;
}

Event* EventQueue::GetEvent(uint32_t eventId) const {
  const auto position = std::find_if(events_.begin(), events_.end(), [&](const Event* queued) {
    return queued->GetEventId() == eventId;
  });
  return position == events_.end() ? nullptr : *position;
}

void EventQueue::RemoveEvent(uint32_t eventId) {
  if (Event* event = GetEvent(eventId)) RemoveEvent(event);
}

void EventQueue::DeleteEvent(uint32_t eventId) {
  if (Event* event = GetEvent(eventId)) DeleteEvent(event);
}

void EventQueue::RemoveEvent(Event* event) {
  if (event == nullptr) return;
  const auto position = std::find(events_.begin(), events_.end(), event);
  if (position != events_.end()) events_.erase(position);
}

void EventQueue::DeleteEvent(Event* event) {
  if (event == nullptr) return;
  const auto position = std::find(events_.begin(), events_.end(), event);
  if (position == events_.end()) return;
  events_.erase(position);
  delete event;
}

void EventQueue::DeleteAllEvents() {
  for (Event* event : events_) delete event;
  events_.clear();
}

Event* EventQueue::PeekNextEvent() const { return events_.empty() ? nullptr : events_.back(); }

void EventQueue::RemoveNextEvent() {
  if (!events_.empty()) events_.pop_back();
}

void EventQueue::DeleteNextEvent() {
  if (events_.empty()) return;
  delete events_.back();
  events_.pop_back();
}

void EventQueue::MoveTo(EventQueue* other) {
  if (other == nullptr || other == this) return;
  CopyTo(other);
  events_.clear();
}

void EventQueue::CopyTo(EventQueue* other) const {
  if (other == nullptr || other == this) return;
  for (Event* event : events_) other->AddEvent(event);
}

}  // namespace tarn
