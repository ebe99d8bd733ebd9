// Soak: a host that creates an instance, sets its parameters, runs a day, reads the outputs and
// destroys the instance, 2000 times over. Every cycle must give the first cycle's result to the
// last bit, and the resident memory must stay flat once the first cycles have warmed up the
// allocator. In the sanitizer build the same cycles run under LeakSanitizer, which reports any
// leak when the suite exits; there the resident size is not judged (AddressSanitizer holds freed
// memory in quarantine by design).
#include <chrono>
#include <cstdio>
#include <fstream>

#include "reliability/reliability_fixture.h"

namespace tarn::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kJudgeResidentSize = false;
#else
constexpr bool kJudgeResidentSize = true;
#endif

constexpr int kCycles = 2000;
constexpr int kWarmUpCycles = 100;
// Resident memory may move by a few pages as the allocator reuses its free lists; growth
// proportional to the cycles (a run keeping even a few hundred bytes) would exceed this.
constexpr long kResidentSlackBytes = 256 * 1024;

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long sizePages = 0;
  long residentPages = 0;
  statm >> sizePages >> residentPages;
  return residentPages * 4096;
}

TEST(Soak, TwoThousandDaysRepeatExactlyInFlatMemory) {
  TarnInitialize();
  const uint32_t first = 1;  // the lowest free number, every cycle
  const auto start = std::chrono::steady_clock::now();
  std::vector<double> firstResult;
  long warmResident = 0;
  long peakResident = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const uint32_t instance = TarnCreate();
    ASSERT_EQ(instance, first) << "cycle " << cycle;
    // A host's parameter set: a perchlorate dose and a maternal iodide intake over one day.
    TarnSetDouble(instance, Index("pdose"), 0.01);
    TarnSetDouble(instance, Index("idose"), 150);
    TarnSetDouble(instance, Index("tstop"), 24);
    TarnStartBlocking(instance);
    const std::vector<double> result = RunResult(instance);
    TarnDestroy(instance);

    if (cycle == 0) {
      ASSERT_EQ(result.front(), 24.0);
      firstResult = result;
    } else {
      ASSERT_TRUE(SameBits(result, firstResult)) << "cycle " << cycle << " differs";
    }
    if (cycle + 1 == kWarmUpCycles) warmResident = ResidentBytes();
    if (cycle + 1 > kWarmUpCycles) peakResident = std::max(peakResident, ResidentBytes());
  }
  TarnFinalize();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "soak: %d cycles of one day in %.1f s; resident %ld KiB after warm-up, peak %ld KiB\n",
      kCycles, seconds, warmResident / 1024, peakResident / 1024);
  if (kJudgeResidentSize) {
    EXPECT_LE(peakResident - warmResident, kResidentSlackBytes);
  }
}

}  // namespace
}  // namespace tarn::test
