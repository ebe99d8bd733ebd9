// Fixed-block pools: growth, recycling order, ownership queries and exhaustion.
#include <cstdint>

#include <gtest/gtest.h>

#include "memory/fixed_block_memory_manager.h"

namespace tarn {
namespace {

TEST(FixedBlockMemoryManagerTest, GrowsByItsStepWhenEveryBlockIsHandedOut) {
  FixedBlockMemoryManager pool(24, 0, 10);
  EXPECT_EQ(pool.GetCapacity(), 0u);
  for (int i = 0; i < 10; ++i) ASSERT_NE(pool.New(false), nullptr);
  EXPECT_EQ(pool.GetCapacity(), 10u);
  ASSERT_NE(pool.New(false), nullptr);
  EXPECT_EQ(pool.GetCapacity(), 20u);
  pool.IncreaseCapacity(0);
  pool.IncreaseCapacity(3);
  EXPECT_EQ(pool.GetCapacity(), 23u);
}

TEST(FixedBlockMemoryManagerTest, WithoutGrowthGivesNothingOnceExhausted) {
  FixedBlockMemoryManager pool(16, 2, 0);
  void* first = pool.New(false);
  void* second = pool.New(false);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(pool.New(false), nullptr);
  pool.Free(first);
  EXPECT_EQ(pool.New(false), first);
  EXPECT_EQ(pool.GetCapacity(), 2u);
}

TEST(FixedBlockMemoryManagerTest, ReusesBlocksLastFreedFirstAndZeroesOnRequest) {
  FixedBlockMemoryManager pool(8, 0, 10);
  auto* first = static_cast<unsigned char*>(pool.New(false));
  auto* second = static_cast<unsigned char*>(pool.New(false));
  first[7] = 0x5A;
  pool.Free(first);
  pool.Free(second);
  EXPECT_EQ(pool.New(false), second);
  auto* again = static_cast<unsigned char*>(pool.New(true));
  ASSERT_EQ(again, first);
  EXPECT_EQ(again[7], 0);
}

TEST(FixedBlockMemoryManagerTest, KnowsItsHandedOutBlocks) {
  FixedBlockMemoryManager pool(32, 4, 10);
  FixedBlockMemoryManager other(32, 4, 10);
  void* block = pool.New(false);
  EXPECT_TRUE(pool.IsAllocated(block));
  EXPECT_FALSE(other.IsAllocated(block));
  pool.Free(block);
  EXPECT_FALSE(pool.IsAllocated(block));
}

TEST(FixedBlockMemoryManagerTest, IgnoresFreesBeyondWhatItHandedOut) {
  FixedBlockMemoryManager pool(32, 1, 0);
  int outsider = 0;
  pool.Free(&outsider);
  pool.Free(nullptr);
  void* block = pool.New(false);
  EXPECT_NE(block, &outsider);
  EXPECT_TRUE(pool.IsAllocated(block));
}

}  // namespace
}  // namespace tarn
