#ifndef TARN_TESTS_API_SHAPES_FIXTURE_H
#define TARN_TESTS_API_SHAPES_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/shapes_model.h"
#include "support/test_model.h"
#include "tarn/tarn.h"

namespace tarn::test {

// One instance of the shapes model, with every status message it receives collected.
class ShapesFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    UseModel(ShapesModel::Register);
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_EQ(instance_, 1u);
    messages_.clear();
    TarnAddStatusCallback(instance_, 0, &ShapesFixture::CollectStatus);
  }
  void TearDown() override { TarnFinalize(); }

  static void CollectStatus(uint32_t, uint32_t, const char* text) { messages_.push_back(text); }

  ShapesModel::Block& block() { return ShapesModel::block; }

  uint32_t instance_ = 0;
  static inline std::vector<std::string> messages_;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_API_SHAPES_FIXTURE_H
