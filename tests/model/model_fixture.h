// Fixture for the model suite: initialises the library, creates one instance of the model and
// reads symbols by name. All instances share the model's one data block, so every test leaves the
// block as it found it: the fixture saves every symbol before the test and writes it back after.
#ifndef TARN_TESTS_MODEL_MODEL_FIXTURE_H
#define TARN_TESTS_MODEL_MODEL_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "tarn/tarn.h"

namespace tarn::test {

// Every symbol's value, read and written back through the generic value functions.
class SymbolSnapshot {
 public:
  explicit SymbolSnapshot(uint32_t instance) {
    const uint32_t count = TarnGetNumberSymbols();
    for (uint32_t index = 1; index <= count; ++index) {
      Saved saved{};
      if (!TarnGetSymbolValue(instance, index, &saved.dataType, &saved.value,
                              saved.extents.data())) {
        continue;
      }
      saved.index = index;
      if (saved.extents[0] != 0) {
        const auto* elements = static_cast<const double*>(saved.value.address);
        saved.elements.assign(elements, elements + saved.extents[0]);
      }
      saved_.push_back(std::move(saved));
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

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_NE(instance_, 0u);
    snapshot_ = std::make_unique<SymbolSnapshot>(instance_);
  }

  void TearDown() override {
    if (snapshot_) snapshot_->Restore(instance_);
    TarnFinalize();
  }

  static uint32_t Index(const char* name) {
    const uint32_t index = TarnGetSymbolIndex(name);
    EXPECT_NE(index, 0u) << "no symbol named " << name;
    return index;
  }

  double Double(const char* name) const { return TarnGetDouble(instance_, Index(name)); }
  void SetDouble(const char* name, double value) const {
    TarnSetDouble(instance_, Index(name), value);
  }
  int32_t Long(const char* name) const { return TarnGetLong(instance_, Index(name)); }
  TarnLogical Bool(const char* name) const { return TarnGetBool(instance_, Index(name)); }

  uint32_t instance_ = 0;
  std::unique_ptr<SymbolSnapshot> snapshot_;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_MODEL_MODEL_FIXTURE_H
