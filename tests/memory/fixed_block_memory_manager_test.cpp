// Fixed-block pools: growth, exhaustion and ownership queries.
#include "memory/fixed_block_memory_manager.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(FixedBlockMemoryManagerTest, GrowsByItsStepWhenEveryBlockIsHandedOut) {
  FixedBlockMemoryManager pool(24, 0, 10);
  EXPECT_EQ(pool.GetCapacity(), 0u);
  for (int i = 0; i < 10; ++i) ASSERT_NE(pool.New(false), nullptr);
  EXPECT_EQ(pool.GetCapacity(), 10u);
  ASSERT_NE(pool.New(false), nullptr);
  EXPECT_EQ(pool.GetCapacity(), 20u);
  pool.IncreaseCapacity(3);
  EXPECT_EQ(pool.GetCapacity(), 23u);
}

TEST(FixedBlockMemoryManagerTest, WithoutGrowthGivesNothingOnceExhausted) {
  FixedBlockMemoryManager pool(16, 2, 0);
  int outsider = 0;
  pool.Free(&outsider);  // nothing handed out yet: ignored
  void* first = pool.New(false);
  void* second = pool.New(false);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, &outsider);
  EXPECT_NE(first, second);
  EXPECT_EQ(pool.New(false), nullptr);
  pool.Free(first);
  EXPECT_EQ(pool.New(false), first);
  EXPECT_EQ(pool.GetCapacity(), 2u);
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

}  // namespace
}  // namespace tarn
