// Heap allocations of a run in steady state: once a run is under way, no step and no
// communication interval allocates, whatever the integration algorithm. This binary replaces the
// global operator new and counts every C++ allocation in the process, the library's included;
// the allocations between two output points of a run, taken from the host's tick callback, must
// be none.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <ostream>

#include "tarn/tarn.h"

namespace {

std::atomic<uint64_t> allocationCount{0};

void* CountedAllocation(std::size_t size) {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size != 0 ? size : 1);
}

void* CountedAlignedAllocation(std::size_t size, std::align_val_t alignment) {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  const auto align = static_cast<std::size_t>(alignment);
  // aligned_alloc wants a whole number of alignments.
  return std::aligned_alloc(align, (size + align - 1) / align * align + (size == 0 ? align : 0));
}

// Kept out of line: inlined into the replaced operator delete, the call to free would look to the
// compiler like the release of memory from the standard operator new.
[[gnu::noinline]] void Release(void* memory) { std::free(memory); }

}  // namespace

void* operator new(std::size_t size) {
  if (void* memory = CountedAllocation(size)) return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  if (void* memory = CountedAlignedAllocation(size, alignment)) return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return ::operator new(size, alignment);
}
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Release(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { Release(memory); }

namespace {

// The output ticks of the run in progress, and the allocation count at the two ticks that bound
// the measured stretch. The callback itself allocates nothing.
struct TickWindow {
  uint32_t ticks = 0;
  uint32_t firstTick = 0;
  uint32_t lastTick = 0;
  uint64_t countAtFirst = 0;
  uint64_t countAtLast = 0;
};
TickWindow window;

void CountAtTick(uint32_t /*instance*/, uint32_t /*userValue*/, TarnTickType type) {
  if (type != TARN_TICK_OUTPUT) return;
  ++window.ticks;
  if (window.ticks == window.firstTick) window.countAtFirst = allocationCount.load();
  if (window.ticks == window.lastTick) window.countAtLast = allocationCount.load();
}

struct SteadyRun {
  const char* name;
  int32_t algorithm;
  int32_t stepsPerInterval;
  double commInterval;
  double stopTime;
  bool perchlorate;
  uint32_t firstTick;  // the measured stretch: from this output point ...
  uint32_t lastTick;   // ... to this one
};

void PrintTo(const SteadyRun& run, std::ostream* out) { *out << run.name; }

class SteadyStateAllocationTest : public ::testing::TestWithParam<SteadyRun> {
 protected:
  void SetUp() override {
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_NE(instance_, 0u);
  }
  void TearDown() override { TarnFinalize(); }

  void Set(const char* name, double value) const {
    TarnSetDouble(instance_, TarnGetSymbolIndex(name), value);
  }

  void Configure(const SteadyRun& run) const {
    TarnSetLong(instance_, TarnGetSymbolIndex("ialg"), run.algorithm);
    TarnSetLong(instance_, TarnGetSymbolIndex("nstp"), run.stepsPerInterval);
    Set("cint", run.commInterval);
    Set("tstop", run.stopTime);
    Set("conc", run.perchlorate ? 5 : 0);
    Set("pdose", run.perchlorate ? 0.01 : 0);
    Set("pdose_n", run.perchlorate ? 0.001 : 0);
  }

  uint32_t instance_ = 0;
};

TEST_P(SteadyStateAllocationTest, NoAllocationBetweenOutputPoints) {
  const SteadyRun& run = GetParam();
  Configure(run);
  // A watch on a state that changes all the time is checked at every output point.
  TarnAddSymbolWatchCallback(instance_, 0, TarnGetSymbolIndex("aplasma_i"),
                             [](uint32_t, uint32_t, uint32_t) {});
  TarnAddTickCallbackFunction(instance_, 0, CountAtTick);
  window = TickWindow{};
  window.firstTick = run.firstTick;
  window.lastTick = run.lastTick;

  const uint64_t before = allocationCount.load();
  TarnStartBlocking(instance_);
  EXPECT_GT(allocationCount.load(), before) << "the counting allocator sees the library";
  ASSERT_EQ(TarnGetDouble(instance_, TarnGetSymbolIndex("t")), run.stopTime);
  ASSERT_GE(window.ticks, run.lastTick);
  EXPECT_EQ(window.countAtLast - window.countAtFirst, 0u)
      << "allocations between output points " << run.firstTick << " and " << run.lastTick;
}

// A host that reads every output point drives the run one interval at a time: each TarnStep is a
// run of its own, ending with the integrator's statistics delivered to the status callbacks.
TEST_P(SteadyStateAllocationTest, NoAllocationPerSteppedInterval) {
  const SteadyRun& run = GetParam();
  Configure(run);
  TarnAddStatusCallback(instance_, 0, [](uint32_t, uint32_t, const char*) {});
  TarnPreStep(instance_);
  for (uint32_t interval = 0; interval < run.firstTick; ++interval) TarnStep(instance_);
  const uint64_t before = allocationCount.load();
  for (uint32_t interval = run.firstTick; interval < run.lastTick; ++interval) TarnStep(instance_);
  EXPECT_EQ(allocationCount.load() - before, 0u)
      << "allocations in intervals " << run.firstTick << " to " << run.lastTick;
  EXPECT_NEAR(TarnGetDouble(instance_, TarnGetSymbolIndex("t")), run.lastTick * run.commInterval,
              1e-9 * run.stopTime);
}

// The default run of the model (cint 0.05, nstp 10) over its first six hours with each family of
// methods, and the lactation period at cint 1 with both solver libraries. RK4 needs steps of
// 5e-5 h to stay stable on the model, so it runs one hour.
INSTANTIATE_TEST_SUITE_P(
    Algorithms, SteadyStateAllocationTest,
    ::testing::Values(SteadyRun{"Dlsodes", 14, 10, 0.05, 6, false, 20, 120},
                      SteadyRun{"Cvode", 15, 10, 0.05, 6, false, 20, 120},
                      SteadyRun{"RungeKutta4", 5, 1000, 0.05, 1, false, 5, 20},
                      SteadyRun{"Fehlberg45", 9, 10, 0.05, 6, false, 20, 120},
                      SteadyRun{"Rosenbrock", 12, 10, 0.05, 6, false, 20, 120},
                      SteadyRun{"Gear", 2, 10, 0.05, 6, false, 20, 120},
                      SteadyRun{"AdamsMoulton", 1, 10, 0.05, 6, false, 20, 120},
                      SteadyRun{"DlsodesLactationDosed", 14, 10, 1, 4320, true, 100, 4320},
                      SteadyRun{"CvodeLactationDosed", 15, 10, 1, 4320, true, 100, 4320}),
    [](const ::testing::TestParamInfo<SteadyRun>& info) { return info.param.name; });

}  // namespace
