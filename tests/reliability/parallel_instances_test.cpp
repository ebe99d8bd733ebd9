// Independent instances of the library's model run at the same time: eight instances with
// different doses and algorithms (CVODE, DLSODES, whose calls are serialised, and two of the
// runtime's own methods), started blocking from four host threads, two each, give exactly the
// results that the same runs give one after another.
#include <array>
#include <thread>
#include <vector>

#include "reliability/reliability_fixture.h"

namespace tarn::test {
namespace {

struct Subject {
  int32_t algorithm;
  double dose;  // perchlorate, mg/kg/day
};

constexpr std::array<Subject, 8> kSubjects = {
    Subject{15, 0.005}, Subject{15, 0.02}, Subject{14, 0.005}, Subject{14, 0.02},
    Subject{12, 0.005}, Subject{12, 0.02}, Subject{2, 0.005},  Subject{2, 0.02}};
constexpr int kThreads = 4;

// An independent instance with the subject's algorithm and a dose pulse from 6 h to 18 h of a
// one-day run.
uint32_t Create(const Subject& subject) {
  const uint32_t instance = TarnCreateIndependent();
  EXPECT_NE(instance, 0u);
  TarnSetLong(instance, Index("ialg"), subject.algorithm);
  TarnSetDouble(instance, Index("cint"), 0.5);
  TarnSetDouble(instance, Index("tstop"), 24);
  TarnSetDouble(instance, Index("ppuls"), 1);
  TarnSetDouble(instance, Index("pdose"), subject.dose);
  TarnSetDouble(instance, Index("pdstart"), 6);
  TarnSetDouble(instance, Index("pdlength"), 12);
  return instance;
}

TEST(ParallelInstances, ConcurrentBlockingRunsEqualSequentialRuns) {
  TarnInitialize();
  std::vector<std::vector<double>> sequential;
  for (const Subject& subject : kSubjects) {
    const uint32_t instance = Create(subject);
    TarnStartBlocking(instance);
    sequential.push_back(RunResult(instance));
    TarnDestroy(instance);
  }

  std::vector<uint32_t> instances;
  for (const Subject& subject : kSubjects) instances.push_back(Create(subject));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&instances, t] {
      for (size_t i = static_cast<size_t>(t); i < instances.size(); i += kThreads) {
        TarnStartBlocking(instances[i]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (size_t i = 0; i < instances.size(); ++i) {
    const std::vector<double> concurrent = RunResult(instances[i]);
    EXPECT_EQ(concurrent[0], 24.0) << "subject " << i;
    EXPECT_TRUE(SameBits(concurrent, sequential[i])) << "subject " << i;
  }
  EXPECT_FALSE(SameBits(sequential[0], sequential[1])) << "the doses make a difference";
  TarnFinalize();
}

}  // namespace
}  // namespace tarn::test
