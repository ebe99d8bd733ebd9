// Shared pieces of the reliability suite, which drives the library's own model through libtarn.so
// and its public header: the outputs a run is judged by and recorders of what a run reported. All
// instances share one data block, so every test starts from the model's default values, kept in a
// SymbolSnapshot of the model suite's fixture.
#ifndef TARN_TESTS_RELIABILITY_RELIABILITY_FIXTURE_H
#define TARN_TESTS_RELIABILITY_RELIABILITY_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "model/model_fixture.h"
#include "tarn/tarn.h"

namespace tarn::test {

inline uint32_t Index(const char* name) {
  const uint32_t index = TarnGetSymbolIndex(name);
  EXPECT_NE(index, 0u) << "no symbol named " << name;
  return index;
}

// The values a run is judged by: the time, every state and a set of outputs.
inline std::vector<double> RunResult(uint32_t instance) {
  std::vector<double> result{TarnGetDouble(instance, Index("t"))};
  const uint32_t count = TarnGetNumberSymbols();
  for (uint32_t index = 1; index <= count; ++index) {
    if (TarnGetSymbolType(index) == TARN_SYMBOL_STATE) {
      result.push_back(TarnGetDouble(instance, index));
    }
  }
  for (const char* name : {"ca_i", "ca_ni", "ca_p", "ca_np", "ct4", "ct3", "ct4_n", "ct3_n",
                           "bal_i", "bal_ni", "bal_p", "bal_np"}) {
    result.push_back(TarnGetDouble(instance, Index(name)));
  }
  return result;
}

// Equal to the last bit (NaN included).
inline bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// What the library reported to the instances of the test in progress: execution states and
// status messages. Callbacks may arrive on a worker thread, so the record is locked.
class Reports {
 public:
  static void Attach(uint32_t instance) {
    TarnAddExecutionStateChangeCallbackFunction(instance, 0, OnState);
    TarnAddStatusCallback(instance, 0, OnStatus);
  }
  static void Clear() {
    std::lock_guard lock(mutex_);
    states_.clear();
    messages_.clear();
  }
  static std::vector<int> States() {
    std::lock_guard lock(mutex_);
    return states_;
  }
  static std::vector<std::string> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  static void OnState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
    std::lock_guard lock(mutex_);
    states_.push_back(next);
  }
  static void OnStatus(uint32_t, uint32_t, const char* text) {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  }

  static inline std::mutex mutex_;
  static inline std::vector<int> states_;
  static inline std::vector<std::string> messages_;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_RELIABILITY_RELIABILITY_FIXTURE_H
