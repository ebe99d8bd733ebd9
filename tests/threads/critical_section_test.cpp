// Critical sections, lock objects and the scoped lock: recursion by the holder, exclusion of
// other threads, release on every way out of a scope.
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/threads/critical_section.h"
#include "threads/signal.h"

namespace tarn {
namespace {

using test::ExpectFinishes;
using test::kQuietPeriod;
using test::Signal;

class Guarded final : public LockObject {};

TEST(CriticalSectionTest, HolderMayLockAgainAndOthersWaitForTheLastUnlock) {
  Guarded object;
  ExpectFinishes("locking twice by the holder", [&] {
    object.Lock();
    object.Lock();
    Signal acquired;
    std::thread other([&] {
      AutoLock guard(object);
      acquired.Set();
    });
    object.Unlock();
    EXPECT_FALSE(acquired.WaitFor(kQuietPeriod)) << "one Unlock released a lock taken twice";
    object.Unlock();
    EXPECT_TRUE(acquired.Wait());
    other.join();
  });
}

TEST(CriticalSectionTest, AutoLockReleasesWhenItsScopeIsLeftByAnException) {
  Guarded object;
  try {
    AutoLock guard(object);
    throw std::runtime_error("leave the scope");
  } catch (const std::runtime_error&) {
  }
  ExpectFinishes("Lock after the exception", [&] {
    AutoLock guard(object);
  });
}

TEST(CriticalSectionTest, AutoLockExcludesOtherThreads) {
  Guarded object;
  long counter = 0;  // deliberately not atomic: only the lock protects it
  constexpr long kIncrements = 100000;
  auto work = [&] {
    for (long i = 0; i < kIncrements; ++i) {
      AutoLock guard(object);
      ++counter;
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  EXPECT_EQ(counter, 2 * kIncrements);
}

}  // namespace
}  // namespace tarn
