// Shared pieces of the reliability suite, which drives the library's own model through libtarn.so
// and its public header: the model's default values (all instances share one data block, so every
// test starts from them), the outputs a run is judged by, and recorders of what a run reported.
#ifndef TARN_TESTS_RELIABILITY_RELIABILITY_FIXTURE_H
#define TARN_TESTS_RELIABILITY_RELIABILITY_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "tarn/tarn.h"

namespace tarn::test {

inline uint32_t Index(const char* name) {
  const uint32_t index = TarnGetSymbolIndex(name);
  EXPECT_NE(index, 0u) << "no symbol named " << name;
  return index;
}

// Every symbol's value as the library registered it, written back through the generic functions.
class ModelDefaults {
 public:
  explicit ModelDefaults(uint32_t instance) {
    const uint32_t count = TarnGetNumberSymbols();
    for (uint32_t index = 1; index <= count; ++index) {
      Saved saved{};
      saved.index = index;
      if (!TarnGetSymbolValue(instance, index, &saved.dataType, &saved.value,
                              saved.extents.data())) {
        continue;
      }
      if (saved.extents[0] != 0) {
        const auto* elements = static_cast<const double*>(saved.value.address);
        saved.elements.assign(elements, elements + saved.extents[0]);
      }
      saved_.push_back(saved);
    }
  }

  void Restore(uint32_t instance) const {
    for (const Saved& saved : saved_) {
      TarnSymbolValue value = saved.value;
      if (!saved.elements.empty()) value.address = const_cast<double*>(saved.elements.data());
      TarnSetSymbolValue(instance, saved.index, saved.dataType, value, saved.extents.data());
    }
  }

 private:
  struct Saved {
    uint32_t index;
    TarnDataType dataType;
    TarnSymbolValue value;
    std::array<uint32_t, 6> extents;
    std::vector<double> elements;  // the model's only arrays are one-dimensional doubles
  };
  std::vector<Saved> saved_;
};

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
