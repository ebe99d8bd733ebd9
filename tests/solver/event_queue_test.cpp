// Events and the event queue: order by time stamp and id with arrival order among equals, look-up
// and removal, ownership of deleted events, moving and copying between queues.
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "solver/event.h"
#include "solver/event_queue.h"

namespace tarn {
namespace {

// An event that counts its own destruction, so that tests see which operations delete.
class CountedEvent final : public Event {
 public:
  CountedEvent(double time, uint32_t id, int& destroyed)
      : Event(time, id), destroyed_(destroyed) {}
  ~CountedEvent() override { ++destroyed_; }

 private:
  int& destroyed_;
};

// Owns the events of a test; each queue under test only borrows them.
class EventQueueTest : public testing::Test {
 protected:
  Event* Make(double time, uint32_t id) {
    events_.push_back(std::make_unique<Event>(time, id));
    return events_.back().get();
  }

  static std::vector<std::pair<double, uint32_t>> KeysOf(EventQueue& queue) {
    std::vector<std::pair<double, uint32_t>> keys;
    for (auto it = queue.GetListStart(); !queue.IsListEnd(it); ++it) {
      keys.emplace_back(queue.GetEvent(it)->GetTimeStamp(), queue.GetEvent(it)->GetEventId());
    }
    return keys;
  }

  static std::vector<Event*> Pointers(EventQueue& queue) {
    std::vector<Event*> pointers;
    for (auto it = queue.GetListStart(); !queue.IsListEnd(it); ++it) {
      pointers.push_back(queue.GetEvent(it));
    }
    return pointers;
  }

  std::vector<std::unique_ptr<Event>> events_;
  EventQueue queue_;
};

using Keys = std::vector<std::pair<double, uint32_t>>;

TEST_F(EventQueueTest, OrdersByTimeThenId) {
  queue_.AddEvent(Make(2, 5));
  queue_.AddEvent(Make(1, 7));
  queue_.AddEvent(Make(2, 3));
  EXPECT_EQ(KeysOf(queue_), (Keys{{1, 7}, {2, 3}, {2, 5}}));
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 3u);
  EXPECT_EQ(queue_.GetEvent(queue_.GetListStart()), events_[1].get());
}

TEST_F(EventQueueTest, ComparesIdsUnsignedAndKeepsArrivalOrderAmongEquals) {
  Event* first = Make(1, 4);
  Event* second = Make(1, 4);
  queue_.AddEvent(Make(1, 0xFFFFFFFFu));
  queue_.AddEvent(first);
  queue_.AddEvent(second);
  queue_.AddEvent(Make(1, 1));
  EXPECT_EQ(Pointers(queue_),
            (std::vector<Event*>{events_[3].get(), first, second, events_[2].get()}));
}

TEST_F(EventQueueTest, IgnoresNullAndEventsAlreadyQueued) {
  Event* event = Make(1, 1);
  queue_.AddEvent(nullptr);
  queue_.AddEvent(event);
  queue_.AddEvent(event);
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 1u);
}

TEST_F(EventQueueTest, FindsAndRemovesTheFirstEventWithAnId) {
  Event* early = Make(1, 9);
  Event* late = Make(5, 9);
  queue_.AddEvent(late);
  queue_.AddEvent(early);
  queue_.AddEvent(Make(3, 2));
  EXPECT_EQ(queue_.GetEvent(9u), early);
  EXPECT_EQ(queue_.GetEvent(42u), nullptr);
  queue_.RemoveEvent(9u);
  EXPECT_EQ(queue_.GetEvent(9u), late);
  queue_.RemoveEvent(late);
  queue_.RemoveEvent(42u);
  queue_.RemoveEvent(static_cast<Event*>(nullptr));
  EXPECT_EQ(KeysOf(queue_), (Keys{{3, 2}}));
}

TEST_F(EventQueueTest, PeekNextEventIsTheLatest) {
  EXPECT_EQ(queue_.PeekNextEvent(), nullptr);
  queue_.AddEvent(Make(3, 1));
  queue_.AddEvent(Make(1, 1));
  EXPECT_EQ(queue_.PeekNextEvent()->GetTimeStamp(), 3);
  queue_.RemoveNextEvent();
  EXPECT_EQ(queue_.PeekNextEvent()->GetTimeStamp(), 1);
}

TEST(EventQueueOwnershipTest, OnlyDeleteOperationsDeleteEvents) {
  int destroyed = 0;
  CountedEvent kept(0, 1, destroyed);
  {
    EventQueue queue;
    queue.AddEvent(&kept);
    queue.AddEvent(new CountedEvent(1, 2, destroyed));
    queue.AddEvent(new CountedEvent(2, 3, destroyed));
    queue.AddEvent(new CountedEvent(3, 4, destroyed));
    queue.DeleteNextEvent();
    queue.DeleteEvent(3u);
    queue.DeleteEvent(99u);
    EXPECT_EQ(destroyed, 2);
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

TEST_F(EventQueueTest, MoveToMergesInOrderAndEmptiesTheSource) {
  EventQueue target;
  target.AddEvent(Make(2, 1));
  queue_.AddEvent(Make(3, 1));
  queue_.AddEvent(Make(1, 1));
  queue_.MoveTo(&target);
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 0u);
  EXPECT_EQ(KeysOf(target), (Keys{{1, 1}, {2, 1}, {3, 1}}));
}

TEST_F(EventQueueTest, CopyToSharesTheSameEvents) {
  EventQueue target;
  queue_.AddEvent(Make(2, 1));
  queue_.AddEvent(Make(1, 1));
  queue_.CopyTo(&target);
  EXPECT_EQ(Pointers(target), Pointers(queue_));
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 2u);
}

TEST_F(EventQueueTest, MovingOrCopyingToItselfChangesNothing) {
  queue_.AddEvent(Make(1, 1));
  queue_.AddEvent(Make(1, 1));
  queue_.CopyTo(&queue_);
  queue_.MoveTo(&queue_);
  queue_.MoveTo(nullptr);
  EXPECT_EQ(queue_.GetNumberPendingEvents(), 2u);
}

TEST(EventTest, CopyHasItsOwnUserDataAndNoTargets) {
  const char bytes[] = {1, 2, 3, 0, 5};
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
  uint32_t originalSize = 0;
  uint32_t copySize = 0;
  char* originalData = original.GetUserData(originalSize);
  char* copyData = copy.GetUserData(copySize);
  ASSERT_EQ(copySize, sizeof bytes);
  EXPECT_NE(copyData, originalData);
  EXPECT_EQ(std::memcmp(copyData, bytes, sizeof bytes), 0);
}

TEST(EventTest, UserDataIsReplacedByCopies) {
  Event event(1, 1);
  uint32_t size = 99;
  EXPECT_EQ(event.GetUserData(size), nullptr);
  EXPECT_EQ(size, 0u);
  const char bytes[] = "abc";
  event.SetUserData(bytes, 0);
  EXPECT_NE(event.GetUserData(size), nullptr) << "size 0 still has a buffer";
  EXPECT_EQ(size, 0u);
  event.SetUserData(bytes, 4);
  EXPECT_STREQ(event.GetUserData(size), "abc");
  // Replacing the data by a part of itself keeps the right bytes.
  event.SetUserData(event.GetUserData(size) + 1, 3);
  EXPECT_STREQ(event.GetUserData(size), "bc");
  event.SetUserData(nullptr, 4);
  EXPECT_EQ(event.GetUserData(size), nullptr);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace tarn
