// The timestamped event record.
#include "solver/event.h"

#include <cstring>
#include <utility>

namespace tarn {

Event::Event(double timeStamp) : timeStamp_(timeStamp) {}

Event::Event(double timeStamp, uint32_t eventId) : timeStamp_(timeStamp), eventId_(eventId) {}

Event::Event(double timeStamp, uint32_t eventId, const char* data, uint32_t size)
    : timeStamp_(timeStamp), eventId_(eventId) {
  SetUserData(data, size);
}

Event::Event(const Event& other)
    : serialNumber_(other.serialNumber_),
      timeStamp_(other.timeStamp_),
      eventId_(other.eventId_),
      sourceProcessId_(other.sourceProcessId_) {
  SetUserData(other.userData_.get(), other.userDataSize_);
}

Event::~Event() = default;

void Event::SetUserData(const char* data, uint32_t size) {
  if (data == nullptr) {
    userData_.reset();
    userDataSize_ = 0;
    return;
  }
  // Copied before the old buffer goes, in case `data` points into it.
  auto buffer = std::make_unique<char[]>(size);
  std::memcpy(buffer.get(), data, size);
  userData_ = std::move(buffer);
  userDataSize_ = size;
}

char* Event::GetUserData(uint32_t& size) const {
  size = userDataSize_;
  return userData_.get();
}

}  // namespace tarn
