// Lock objects and the scoped lock: recursion by the holder, release on every way out of a scope.
#include "runtime/threads/critical_section.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "threads/signal.h"

namespace tarn {
namespace {

using test::ExpectFinishes;
using test::kQuietPeriod;
using test::Signal;

class Guarded final : public LockObject {};

TEST(CriticalSectionTest, HolderMayLockAgainAndOthersWaitForTheLastUnlock) {
  Guarded object;
  ExpectFinishes("a second Lock by the holder", [&] {
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
  ExpectFinishes("Lock from another thread", [&] { AutoLock guard(object); });
}

}  // namespace
}  // namespace tarn
