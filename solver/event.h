// A timestamped event record: time stamp, id, an optional block of user data the event owns, a
// source process id, a set of target process ids and a serial number. The solver's scheduled and
// state events derive from it and use the time stamp and the id; the other members are carried
// for callers that exchange events between processes.
#ifndef TARN_SOLVER_EVENT_H
#define TARN_SOLVER_EVENT_H

#include <cstdint>
#include <memory>
#include <set>

namespace tarn {

class Event {
 public:
  using ProcessIdSet = std::set<uint32_t>;

  Event() = default;
  explicit Event(double timeStamp);
  Event(double timeStamp, uint32_t eventId);
  // Keeps a copy of `size` bytes of `data`; an empty buffer is made even for size 0. A null
  // `data` leaves the event without user data.
  Event(double timeStamp, uint32_t eventId, const char* data, uint32_t size);
  // Copies everything but the target set, which starts empty; the user data is copied into a
  // buffer of the copy's own.
  Event(const Event& other);
  Event& operator=(const Event&) = delete;
  virtual ~Event();

  double GetTimeStamp() const { return timeStamp_; }
  void SetTimeStamp(double timeStamp) { timeStamp_ = timeStamp; }
  uint32_t GetEventId() const { return eventId_; }
  uint32_t GetSourceProcessId() const { return sourceProcessId_; }
  void SetSourceProcessId(uint32_t id) { sourceProcessId_ = id; }
  uint32_t GetSerialNumber() const { return serialNumber_; }
  void SetSerialNumber(uint32_t serialNumber) { serialNumber_ = serialNumber; }

  // Replaces the user data by a copy of `size` bytes of `data` (none when `data` is null).
  void SetUserData(const char* data, uint32_t size);
  // The event's own buffer (null when it has none); its length goes to `size`.
  char* GetUserData(uint32_t& size) const;

  void SetTargetProcessIdSet(const ProcessIdSet& ids) { targetProcessIds_ = ids; }
  ProcessIdSet GetTargetProcessIdSet() const { return targetProcessIds_; }

 private:
  uint32_t serialNumber_ = 0;
  double timeStamp_ = 0;
  uint32_t eventId_ = 0;  // secondary ordering key of EventQueue
  uint32_t sourceProcessId_ = 0;
  ProcessIdSet targetProcessIds_;
  std::unique_ptr<char[]> userData_;
  uint32_t userDataSize_ = 0;
};

}  // namespace tarn

#endif  // TARN_SOLVER_EVENT_H
