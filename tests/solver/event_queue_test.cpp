// Events and the event queue: order by time stamp and id with arrival order among equals, look-up
// and removal, ownership of deleted events, moving and copying between queues.
#include "solver/event_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "solver/event.h"

namespace tarn {
namespace {

// Counts its own destruction, so that tests see which operations delete.
class CountedEvent final : public Event {
 public:
  CountedEvent(double time, uint32_t id, int& destroyed) : Event(time, id), destroyed_(destroyed) {}
  ~CountedEvent() override { ++destroyed_; }

 private:
  int& destroyed_;
};

// Owns the events of a test; the queues under test only borrow them.
class EventQueueTest : public testing::Test {
 protected:
  Event* Make(double time, uint32_t id) {
    events_.push_back(std::make_unique<Event>(time, id));
    return events_.back().get();
  }
  static std::vector<Event*> Contents(EventQueue& queue) {
    std::vector<Event*> contents;
    for (auto it = queue.GetListStart(); !queue.IsListEnd(it); ++it) {
      contents.push_back(queue.GetEvent(it));
    }
    return contents;
  }

  std::vector<std::unique_ptr<Event>> events_;
  EventQueue queue_;
};

using Events = std::vector<Event*>;

TEST_F(EventQueueTest, OrdersByTimeThenId) {
  Event* a = Make(2, 5);
  Event* b = Make(1, 7);
  Event* c = Make(2, 3);
  for (Event* event : {a, b, c, a, static_cast<Event*>(nullptr)}) queue_.AddEvent(event);
  EXPECT_EQ(Contents(queue_), (Events{b, c, a})) << "null and repeated pointers are not stored";
  EXPECT_EQ(queue_.PeekNextEvent(), a);
}

TEST_F(EventQueueTest, ComparesIdsUnsignedAndKeepsArrivalOrderAmongEquals) {
  Event* highest = Make(1, 0xFFFFFFFFu);
  Event* first = Make(1, 4);
  Event* second = Make(1, 4);
  Event* lowest = Make(1, 1);
  for (Event* event : {highest, first, second, lowest}) queue_.AddEvent(event);
  EXPECT_EQ(Contents(queue_), (Events{lowest, first, second, highest}));
}

TEST_F(EventQueueTest, FindsAndRemovesTheFirstEventWithAnId) {
  Event* early = Make(1, 9);
  Event* late = Make(5, 9);
  Event* other = Make(3, 2);
  for (Event* event : {late, early, other}) queue_.AddEvent(event);
  EXPECT_EQ(queue_.GetEvent(9u), early);
  EXPECT_EQ(queue_.GetEvent(42u), nullptr);
  queue_.RemoveEvent(9u);
  EXPECT_EQ(queue_.GetEvent(9u), late);
  queue_.RemoveNextEvent();
  queue_.RemoveEvent(42u);
  EXPECT_EQ(Contents(queue_), (Events{other}));
}

TEST(EventQueueOwnershipTest, OnlyDeleteOperationsDeleteEvents) {
  int destroyed = 0;
  CountedEvent kept(0, 1, destroyed);
  {
    EventQueue queue;
    queue.AddEvent(&kept);
    for (uint32_t id = 2; id <= 4; ++id) queue.AddEvent(new CountedEvent(id, id, destroyed));
    queue.DeleteNextEvent();
    queue.DeleteEvent(3u);
    queue.DeleteEvent(99u);
    queue.DeleteEvent(queue.GetEvent(2u));
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(queue.GetNumberPendingEvents(), 1u);
  }
  EXPECT_EQ(destroyed, 3) << "the queue's destructor deleted an event";
  EventQueue queue;
  queue.AddEvent(new CountedEvent(1, 1, destroyed));
  queue.AddEvent(new CountedEvent(2, 2, destroyed));
  queue.DeleteAllEvents();
  EXPECT_EQ(destroyed, 5);
  EXPECT_EQ(queue.GetNumberPendingEvents(), 0u);
}

TEST_F(EventQueueTest, MoveToAndCopyToMergeInOrder) {
  EventQueue copy;
  EventQueue target;
  Event* middle = Make(2, 1);
  Event* late = Make(3, 1);
  Event* early = Make(1, 1);
  target.AddEvent(middle);
  queue_.AddEvent(late);
  queue_.AddEvent(early);
  queue_.CopyTo(&copy);
  EXPECT_EQ(Contents(copy), Contents(queue_));
  queue_.CopyTo(&queue_);
  queue_.MoveTo(&queue_);
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 2u) << "a queue moved or copied onto itself changed";
  queue_.MoveTo(&target);
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 0u);
  EXPECT_EQ(Contents(target), (Events{early, middle, late}));
}

TEST(EventTest, CopyHasItsOwnUserDataAndNoTargets) {
  const char bytes[] = "abcd";
  Event original(4.5, 17, bytes, sizeof bytes);
  original.SetSerialNumber(8);
  original.SetSourceProcessId(3);
  original.SetTargetProcessIdSet({1, 2});
  Event copy(original);
  EXPECT_EQ(copy.GetTimeStamp(), 4.5);
  EXPECT_EQ(copy.GetEventId(), 17u);
  EXPECT_EQ(copy.GetSerialNumber(), 8u);
  EXPECT_EQ(copy.GetSourceProcessId(), 3u);
  EXPECT_TRUE(copy.GetTargetProcessIdSet().empty());
  uint32_t size = 0;
  char* data = copy.GetUserData(size);
  EXPECT_EQ(size, sizeof bytes);
  EXPECT_NE(data, original.GetUserData(size));
  EXPECT_STREQ(data, "abcd");
  // Replacing the data by a part of itself keeps the right bytes.
  copy.SetUserData(data + 1, 4);
  EXPECT_STREQ(copy.GetUserData(size), "bcd");
  copy.SetUserData(nullptr, 4);
  EXPECT_EQ(copy.GetUserData(size), nullptr);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace tarn
