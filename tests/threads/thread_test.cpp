// Worker threads: start and join, self-suspend and resume, pauses at safe points, cooperative
// stop, and destruction of the thread object in every state of its thread.
#include <pthread.h>

#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/threads/thread.h"
#include "threads/signal.h"

namespace tarn {
namespace {

using test::ExpectFinishes;
using test::kHangTimeout;
using test::kQuietPeriod;
using test::Signal;

// A runnable whose body is a lambda given the thread it runs on.
class Body final : public Runnable {
 public:
  explicit Body(std::function<void(Thread&)> body) : body_(std::move(body)) {}
  void Run() override { body_(*thread); }

  Thread* thread = nullptr;

 private:
  std::function<void(Thread&)> body_;
};

std::unique_ptr<Thread> MakeThread(Body& body, const char* name = "Simulation") {
  std::unique_ptr<Thread> thread = ThreadFactory::newThread(body, name);
  body.thread = thread.get();
  return thread;
}

// A worker that announces its pause, suspends itself and reports when it continues.
struct SelfSuspendingWorker {
  Signal announced;
  Signal continued;
  std::atomic<bool> sawStopRequest{false};
  Body body{[this](Thread& thread) {
    announced.Set();
    thread.Suspend();
    sawStopRequest = thread.IsStopRequested();
    continued.Set();
  }};
};

// A worker that counts passes through its safe point until it is asked to stop.
struct LoopingWorker {
  std::atomic<long> passes{0};
  Body body{[this](Thread& thread) {
    while (!thread.IsStopRequested()) {
      thread.PauseIfSuspended();
      ++passes;
    }
  }};
  bool WaitForPasses(long count) {
    const auto deadline = std::chrono::steady_clock::now() + kHangTimeout;
    while (passes < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }
};

TEST(ThreadTest, RunsTheRunnableOnceOnANamedThread) {
  std::atomic<int> runs{0};
  std::thread::id runner;
  char name[16] = {};
  Body body([&](Thread&) {
    ++runs;
    runner = std::this_thread::get_id();
    pthread_getname_np(pthread_self(), name, sizeof name);
  });
  auto thread = MakeThread(body);
  EXPECT_TRUE(thread->Start());
  EXPECT_TRUE(thread->Start());
  thread->Join();
  EXPECT_EQ(runs, 1);
  EXPECT_NE(runner, std::this_thread::get_id());
  EXPECT_STREQ(name, "Simulation");
}

TEST(ThreadTest, ConcurrentStartsCreateOneThread) {
  std::atomic<int> runs{0};
  Body body([&](Thread&) { ++runs; });
  auto thread = MakeThread(body);
  std::atomic<bool> go{false};
  std::vector<std::thread> starters;
  for (int i = 0; i < 8; ++i) {
    starters.emplace_back([&] {
      while (!go) std::this_thread::yield();
      thread->Start();
    });
  }
  go = true;
  for (auto& starter : starters) starter.join();
  thread->Join();
  EXPECT_EQ(runs, 1);
}

TEST(ThreadTest, CallsOutsideTheRunLeaveNoPauseBehind) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  // Before Start: nothing to join, and neither a pause nor an early resume is recorded.
  thread->Join();
  thread->Suspend();
  thread->Resume();
  thread->Resume();
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  EXPECT_FALSE(worker.continued.WaitFor(kQuietPeriod)) << "the self-suspend did not pause";
  thread->Resume();
  EXPECT_TRUE(worker.continued.Wait());
  thread->Join();
  // After the run: every call returns at once.
  thread->Suspend();
  thread->Resume();
  ExpectFinishes("Join after the run", [&] { thread->Join(); });
  EXPECT_FALSE(worker.sawStopRequest);
}

TEST(ThreadTest, ResumeSentBeforeTheSelfSuspendIsNotLost) {
  Signal announced;
  Signal resumed;
  Signal continued;
  Body body([&](Thread& thread) {
    announced.Set();
    ASSERT_TRUE(resumed.Wait());
    thread.Suspend();
    continued.Set();
  });
  auto thread = MakeThread(body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(announced.Wait());
  thread->Resume();
  resumed.Set();
  EXPECT_TRUE(continued.Wait());
  thread->Join();
}

TEST(ThreadTest, EachSuspendNeedsItsOwnResume) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  thread->Suspend();
  thread->Resume();
  EXPECT_FALSE(worker.continued.WaitFor(kQuietPeriod)) << "one Resume lifted two Suspends";
  thread->Resume();
  EXPECT_TRUE(worker.continued.Wait());
  thread->Join();
}

TEST(ThreadTest, SuspendFromAnotherThreadPausesTheWorkerAtItsSafePoint) {
  LoopingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.WaitForPasses(1));
  thread->Suspend();
  const long before = worker.passes;
  std::this_thread::sleep_for(kQuietPeriod);
  // The worker may finish the pass it was in when Suspend returned, and no more.
  EXPECT_LE(worker.passes, before + 1);
  thread->Resume();
  EXPECT_TRUE(worker.WaitForPasses(before + 100));
  ExpectFinishes("Terminate of a running worker", [&] { thread->Terminate(); });
}

TEST(ThreadTest, TerminateEndsASuspendedWorker) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  thread->Suspend();  // a second pause: Terminate must lift both
  ExpectFinishes("Terminate of a suspended worker", [&] { thread->Terminate(); });
  EXPECT_TRUE(worker.continued.IsSet());
  EXPECT_TRUE(worker.sawStopRequest);
}

TEST(ThreadTest, JoinLiftsThePauseOfASuspendedWorker) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  ExpectFinishes("Join of a suspended worker", [&] { thread->Join(); });
  EXPECT_FALSE(worker.sawStopRequest);
}

TEST(ThreadTest, DestroyingTheObjectStopsItsRunningThread) {
  LoopingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.WaitForPasses(1));
  ExpectFinishes("destruction of a running thread", [&] { thread.reset(); });
}

TEST(ThreadTest, DestroyingTheObjectEndsItsPausedThread) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  ExpectFinishes("destruction of a suspended thread", [&] { thread.reset(); });
  EXPECT_TRUE(worker.sawStopRequest);
}

TEST(ThreadTest, WorkerMayJoinAndDestroyItsOwnThreadObject) {
  Signal done;
  std::unique_ptr<Thread> thread;
  Body body([&](Thread& self) {
    self.Join();
    thread.reset();
    done.Set();
  });
  thread = MakeThread(body);
  ASSERT_TRUE(thread->Start());
  EXPECT_TRUE(done.Wait());
}

TEST(ThreadTest, ExceptionLeavingRunEndsOnlyTheThread) {
  Body body([](Thread&) { throw std::runtime_error("model failure"); });
  auto thread = MakeThread(body);
  ASSERT_TRUE(thread->Start());
  ExpectFinishes("Join of a thread that threw", [&] { thread->Join(); });
}

// Whatever the host does to a worker in whatever order, Terminate ends it.
TEST(ThreadTest, NoSequenceOfCallsKeepsTerminateWaiting) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 20; ++round) {
    std::atomic<long> passes{0};
    Body body([&](Thread& thread) {
      while (!thread.IsStopRequested()) {
        thread.PauseIfSuspended();
        if (++passes % 7 == 0) thread.Suspend();
      }
    });
    auto thread = MakeThread(body);
    ASSERT_TRUE(thread->Start());
    for (int call = 0; call < 200; ++call) {
      switch (random() % 4) {
        case 0:
          thread->Suspend();
          break;
        case 1:
        case 2:
          thread->Resume();
          break;
        default:
          std::this_thread::yield();
      }
    }
    std::thread joiner([&] { thread->Join(); });
    ExpectFinishes("Terminate after random pauses", [&] { thread->Terminate(); });
    joiner.join();
  }
}

}  // namespace
}  // namespace tarn
