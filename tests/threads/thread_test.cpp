// Worker threads: start and join, self-suspend and resume, pauses at safe points, cooperative
// stop, and destruction of the thread object while its thread runs or is paused.
#include "runtime/threads/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>

#include "threads/signal.h"

namespace tarn {
namespace {

using test::ExpectFinishes;
using test::kQuietPeriod;
using test::Signal;

// A runnable whose body is given the thread it runs on.
class Body final : public Runnable {
 public:
  explicit Body(std::function<void(Thread&)> body) : body_(std::move(body)) {}
  void Run() override { body_(*thread); }
  Thread* thread = nullptr;

 private:
  std::function<void(Thread&)> body_;
};

std::unique_ptr<Thread> MakeThread(Body& body) {
  std::unique_ptr<Thread> thread = ThreadFactory::newThread(body, "Simulation");
  body.thread = thread.get();
  return thread;
}

// Puts its pause in force, announces it, waits at its safe point, and reports when it continues.
struct SelfSuspendingWorker {
  Signal announced;
  Signal continued;
  std::atomic<bool> sawStopRequest{false};
  Body body{[this](Thread& thread) {
    thread.Suspend();
    announced.Set();
    thread.PauseIfSuspended();
    sawStopRequest = thread.IsStopRequested();
    continued.Set();
  }};
};

// Passes its safe point over and over until asked to stop.
struct LoopingWorker {
  std::atomic<long> passes{0};
  Body body{[this](Thread& thread) {
    while (!thread.IsStopRequested()) {
      thread.PauseIfSuspended();
      ++passes;
    }
  }};
  bool WaitForPasses(long count) const {
    const auto deadline = std::chrono::steady_clock::now() + test::kHangTimeout;
    while (passes < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }
};

TEST(ThreadTest, StartRunsTheRunnableOnceOnANamedThread) {
  std::atomic<int> runs{0};
  char name[16] = {};
  Body body([&](Thread&) {
    ++runs;
    pthread_getname_np(pthread_self(), name, sizeof name);
  });
  auto thread = MakeThread(body);
  std::thread rival([&] { EXPECT_TRUE(thread->Start()); });
  EXPECT_TRUE(thread->Start());
  rival.join();
  thread->Join();
  EXPECT_EQ(runs, 1);
  EXPECT_STREQ(name, "Simulation");
}

TEST(ThreadTest, SelfSuspendWaitsForOneResumePerSuspend) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  // Before Start there is nothing to pause or resume: neither call may leave a trace.
  thread->Suspend();
  thread->Resume();
  thread->Resume();
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  EXPECT_FALSE(worker.continued.WaitFor(kQuietPeriod)) << "the self-suspend did not pause";
  thread->Suspend();
  thread->Resume();
  EXPECT_FALSE(worker.continued.WaitFor(kQuietPeriod)) << "one Resume lifted two Suspends";
  thread->Resume();
  EXPECT_TRUE(worker.continued.Wait());
  thread->Join();
  EXPECT_FALSE(worker.sawStopRequest);
}

// A Resume with no pause in force leaves no trace: the next Suspend pauses the worker.
TEST(ThreadTest, SurplusResumeDoesNothing) {
  LoopingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.WaitForPasses(1));
  thread->Resume();
  thread->Resume();
  thread->Suspend();
  const long before = worker.passes;
  std::this_thread::sleep_for(kQuietPeriod);
  // The worker may finish the pass it was in when Suspend returned, and no more.
  EXPECT_LE(worker.passes, before + 1) << "a surplus Resume cancelled the Suspend after it";
  thread->Resume();
  EXPECT_TRUE(worker.WaitForPasses(before + 100)) << "Resume did not lift the pause";
  ExpectFinishes("destruction of a running thread", [&] { thread.reset(); });
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
  EXPECT_TRUE(worker.WaitForPasses(before + 100)) << "Resume did not lift the pause";
  ExpectFinishes("destruction of a running thread", [&] { thread.reset(); });
}

TEST(ThreadTest, TerminateEndsASuspendedWorker) {
  SelfSuspendingWorker worker;
  auto thread = MakeThread(worker.body);
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(worker.announced.Wait());
  thread->Suspend();  // a second pause: Terminate must lift both
  ExpectFinishes("Terminate of a suspended worker", [&] { thread->Terminate(); });
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

// Whatever the host does to a worker, and in whatever order, Join and Terminate end it.
TEST(ThreadTest, NoSequenceOfCallsKeepsJoinOrTerminateWaiting) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 20; ++round) {
    long passes = 0;
    Body body([&](Thread& thread) {
      while (!thread.IsStopRequested()) {
        thread.PauseIfSuspended();
        if (++passes % 7 == 0) thread.Suspend();
      }
    });
    auto thread = MakeThread(body);
    ASSERT_TRUE(thread->Start());
    for (int call = 0; call < 200; ++call) {
      if (random() % 3 == 0) {
        thread->Suspend();
      } else {
        thread->Resume();
      }
    }
    std::thread joiner([&] { thread->Join(); });
    ExpectFinishes("Terminate after random pauses", [&] { thread->Terminate(); });
    joiner.join();
  }
}

}  // namespace
}  // namespace tarn
