// Checkpoints over memory storage: save, change and restore round trips in the solver's layout,
// failing restores, entry reuse and trimming, and the storage's own lifecycle.
#include "solver/checkpoint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "memory/fast_alloc_memory_manager.h"
#include "solver/state_storage_memory.h"

namespace tarn {
namespace {

uint32_t Bytes(const std::vector<double>& values) {
  return static_cast<uint32_t>(values.size() * sizeof(double));
}

// The solver's registration: the independent variable and three state groups.
class CheckPointTest : public testing::TestWithParam<MemoryManagerType> {
 protected:
  CheckPointTest() : storage_(GetParam()) {}

  void SetUp() override {
    ASSERT_TRUE(storage_.Initialize());
    checkPoint_.Initialize(1, &storage_, nullptr, nullptr);
    ASSERT_TRUE(checkPoint_.AddCheckedBlock(&time_, sizeof time_, StateStorageType::kPrimary));
    for (auto* group : {&states_, &algebraic_, &delays_}) {
      ASSERT_TRUE(
          checkPoint_.AddCheckedBlock(group->data(), Bytes(*group), StateStorageType::kPrimary));
    }
    for (std::size_t i = 0; i < states_.size(); ++i) states_[i] = 1.0 / (1.0 + i);
  }
  bool Save() {
    storage_.SetPosition(0);
    return checkPoint_.Save();
  }
  bool Restore() {
    storage_.SetPosition(0);
    return checkPoint_.Restore();
  }

  StateStorageMemory storage_;
  CheckPoint checkPoint_;
  double time_ = 12.5;
  std::vector<double> states_ = std::vector<double>(101);
  std::vector<double> algebraic_{1.0, -2.0};
  std::vector<double> delays_{3.0, 4.0, 5.0};
};

TEST_P(CheckPointTest, RestoreBringsBackEveryBlockAsSaved) {
  const auto savedStates = states_;
  const auto savedAlgebraic = algebraic_;
  const auto savedDelays = delays_;
  ASSERT_TRUE(Save());
  time_ = 99;
  states_.assign(states_.size(), -7);
  algebraic_.assign(algebraic_.size(), 0);
  delays_.assign(delays_.size(), 0);
  ASSERT_TRUE(Restore());
  EXPECT_EQ(time_, 12.5);
  EXPECT_EQ(states_, savedStates);
  EXPECT_EQ(algebraic_, savedAlgebraic);
  EXPECT_EQ(delays_, savedDelays);
  EXPECT_EQ(checkPoint_.GetTotalLength(), 8 + Bytes(states_) + Bytes(algebraic_) + Bytes(delays_));
}

TEST_P(CheckPointTest, RepeatedSavesReuseTheirEntries) {
  for (int round = 0; round < 5; ++round) {
    time_ = round;
    ASSERT_TRUE(Save());
  }
  EXPECT_EQ(storage_.GetEntryCount(), 4u);
  ASSERT_TRUE(Restore());
  EXPECT_EQ(time_, 4);
}

TEST_P(CheckPointTest, RestoreFailsWhenAnEntryIsMissingOrShort) {
  EXPECT_FALSE(Restore());
  EXPECT_EQ(time_, 12.5);
  ASSERT_TRUE(Save());
  storage_.SetPosition(0);
  ASSERT_EQ(storage_.Write(&time_, 4), 4u);
  EXPECT_FALSE(Restore());
}

TEST_P(CheckPointTest, ReinitialisedStorageStartsEmpty) {
  ASSERT_TRUE(Save());
  ASSERT_TRUE(storage_.Initialize());
  EXPECT_EQ(storage_.GetEntryCount(), 0u);
  EXPECT_FALSE(Restore());
  ASSERT_TRUE(Save());
  time_ = 0;
  EXPECT_TRUE(Restore());
  EXPECT_EQ(time_, 12.5);
}

INSTANTIATE_TEST_SUITE_P(BothManagers, CheckPointTest,
                         testing::Values(MemoryManagerType::kDefault,
                                         MemoryManagerType::kFastAlloc));

TEST(CheckPointBlocksTest, BlocksNeedTheStorageTheirTypeNames) {
  StateStorageMemory primary;
  StateStorageMemory secondary;
  ASSERT_TRUE(primary.Initialize());
  ASSERT_TRUE(secondary.Initialize());
  double value = 3;
  CheckPoint checkPoint(7, &primary, nullptr, nullptr);
  EXPECT_FALSE(checkPoint.AddCheckedBlock(&value, sizeof value, StateStorageType::kSecondary));
  EXPECT_FALSE(checkPoint.AddCheckedBlock(&value, sizeof value, static_cast<StateStorageType>(2)));
  EXPECT_FALSE(checkPoint.AddCheckedBlock(nullptr));
  EXPECT_TRUE(checkPoint.GetBlocks().empty());
  EXPECT_EQ(checkPoint.GetTotalLength(), 0u);

  checkPoint.Initialize(7, &primary, &secondary, nullptr);
  EXPECT_TRUE(checkPoint.AddCheckedBlock(&value, sizeof value, StateStorageType::kSecondary));
  EXPECT_TRUE(checkPoint.AddCheckedBlock(std::make_unique<CheckedBlock>(&value, 4, &primary)));
  EXPECT_TRUE(checkPoint.Save());
  EXPECT_EQ(secondary.GetEntryCount(), 1u);
  EXPECT_EQ(primary.GetEntryCount(), 1u);
}

TEST(CheckPointBlocksTest, CopiesHaveTheirOwnBlocks) {
  StateStorageMemory storage;
  ASSERT_TRUE(storage.Initialize());
  double value = 3;
  CheckPoint original(1, &storage, nullptr, nullptr);
  ASSERT_TRUE(original.AddCheckedBlock(&value, sizeof value, StateStorageType::kPrimary));
  CheckPoint copy(original);
  ASSERT_EQ(copy.GetBlocks().size(), 1u);
  EXPECT_NE(copy.GetBlocks()[0].get(), original.GetBlocks()[0].get());
  copy.Finalize();
  // Initialising from its own list keeps the blocks.
  original.Initialize(2, &storage, nullptr, &original.GetBlocks());
  EXPECT_EQ(original.GetBlocks().size(), 1u);
  EXPECT_EQ(original.GetTotalLength(), sizeof value);
}

TEST(StateStorageMemoryTest, TrimKeepsTheFirstEntriesAndRewritesMayChangeLength) {
  StateStorageMemory storage(MemoryManagerType::kFastAlloc);
  ASSERT_TRUE(storage.Initialize());
  for (uint32_t i = 0; i < 4; ++i) ASSERT_EQ(storage.Write(&i, sizeof i), sizeof i);
  EXPECT_FALSE(storage.Trim(4));
  EXPECT_TRUE(storage.Trim(2));
  EXPECT_EQ(storage.GetEntryCount(), 2u);
  const double wider = 9.5;
  storage.SetPosition(1);
  ASSERT_EQ(storage.Write(&wider, sizeof wider), sizeof wider);
  storage.SetPosition(1);
  double read[2] = {0, 0};
  EXPECT_EQ(storage.Read(read, sizeof read), sizeof wider);
  EXPECT_EQ(read[0], 9.5);
  EXPECT_EQ(storage.Read(read, sizeof read), 0u);
}

TEST(StateStorageMemoryTest, WritesFailWithoutAManagerOrMemory) {
  double value = 1;
  StateStorageMemory uninitialised;
  EXPECT_EQ(uninitialised.Write(&value, sizeof value), 0u);

  StateStorageMemory finalised;
  ASSERT_TRUE(finalised.Initialize());
  ASSERT_EQ(finalised.Write(&value, sizeof value), sizeof value);
  finalised.Finalize();
  EXPECT_EQ(finalised.GetEntryCount(), 0u);
  EXPECT_EQ(finalised.Read(&value, sizeof value), 0u);
  EXPECT_EQ(finalised.Write(&value, sizeof value), 0u);

  // The fast manager serves nothing above its largest size class: the save fails, safely.
  StateStorageMemory pooled(MemoryManagerType::kFastAlloc);
  ASSERT_TRUE(pooled.Initialize());
  std::vector<char> large(FastAllocMemoryManager::kLargestRequest + 1);
  CheckPoint checkPoint(1, &pooled, nullptr, nullptr);
  ASSERT_TRUE(checkPoint.AddCheckedBlock(large.data(), static_cast<uint32_t>(large.size()),
                                         StateStorageType::kPrimary));
  EXPECT_FALSE(checkPoint.Save());
}

}  // namespace
}  // namespace tarn
