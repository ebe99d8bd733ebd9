// The allocators behind MemoryManager: the factory, alignment and integrity of what both managers
// hand out, and the size classes, recycling and thread safety of the fast allocator.
#include "memory/memory_manager.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "memory/fast_alloc_memory_manager.h"

namespace tarn {
namespace {

using Byte = unsigned char;

TEST(MemoryManagerTest, FactoryMakesOneManagerPerKnownCode) {
  EXPECT_EQ(MemoryManager::CreateMemoryManager(MemoryManagerType::kDefault)->GetType(),
            MemoryManagerType::kDefault);
  EXPECT_EQ(MemoryManager::CreateMemoryManager(MemoryManagerType::kFastAlloc)->GetType(),
            MemoryManagerType::kFastAlloc);
  EXPECT_EQ(MemoryManager::CreateMemoryManager(static_cast<MemoryManagerType>(2)), nullptr);
}

class AnyMemoryManagerTest : public testing::TestWithParam<MemoryManagerType> {};

TEST_P(AnyMemoryManagerTest, BlocksAreAlignedZeroedOnRequestAndDisjoint) {
  auto manager = MemoryManager::CreateMemoryManager(GetParam());
  manager->Initialize();
  std::vector<std::pair<Byte*, uint32_t>> held;
  for (uint32_t size = 1; size <= 5000; size = size * 3 + 1) {
    for (int copy = 0; copy < 12; ++copy) {
      auto* data = static_cast<Byte*>(manager->New(size, true));
      ASSERT_NE(data, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % alignof(std::max_align_t), 0u) << size;
      for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(data[i], 0) << size;
      std::memset(data, static_cast<int>(held.size() & 0xFF), size);
      held.emplace_back(data, size);
    }
  }
  for (std::size_t k = 0; k < held.size(); ++k) {
    for (uint32_t i = 0; i < held[k].second; ++i) ASSERT_EQ(held[k].first[i], k & 0xFF);
    manager->Free(held[k].first);
  }
}

INSTANTIATE_TEST_SUITE_P(BothManagers, AnyMemoryManagerTest,
                         testing::Values(MemoryManagerType::kDefault,
                                         MemoryManagerType::kFastAlloc));

class FastAllocMemoryManagerTest : public testing::Test {
 protected:
  void SetUp() override { manager_.Initialize(); }
  FastAllocMemoryManager manager_;
};

TEST_F(FastAllocMemoryManagerTest, RequestsShareAPoolWithinTheirPowerOfTwoClass) {
  void* one = manager_.New(1, false);
  manager_.Free(one);
  EXPECT_EQ(manager_.New(2, false), one) << "sizes 1 and 2 share the 2-byte class";
  void* three = manager_.New(3, false);
  EXPECT_NE(three, one);
  manager_.Free(three);
  EXPECT_EQ(manager_.New(4, false), three) << "sizes 3 and 4 share the 4-byte class";
  auto* largest = static_cast<Byte*>(manager_.New(FastAllocMemoryManager::kLargestRequest, true));
  ASSERT_NE(largest, nullptr);
  largest[FastAllocMemoryManager::kLargestRequest - 1] = 1;
  EXPECT_EQ(manager_.New(FastAllocMemoryManager::kLargestRequest + 1, false), nullptr);
  EXPECT_EQ(manager_.New(0, false), nullptr);
}

TEST_F(FastAllocMemoryManagerTest, ReusesFreedBlocksLastFreedFirst) {
  auto* first = static_cast<Byte*>(manager_.New(100, false));
  void* second = manager_.New(100, false);
  std::memset(first, 0xAB, 100);
  manager_.Free(first);
  manager_.Free(second);
  EXPECT_FALSE(manager_.IsAllocated(first));
  EXPECT_EQ(manager_.New(100, false), second);
  EXPECT_EQ(manager_.New(100, true), first);
  EXPECT_TRUE(manager_.IsAllocated(first));
  EXPECT_EQ(first[99], 0) << "a reused block asked for zeroed was not cleared";
  EXPECT_FALSE(manager_.IsAllocated(nullptr));
}

TEST(FastAllocMemoryManagerLifecycleTest, HandsOutNothingWithoutItsPools) {
  FastAllocMemoryManager manager;
  EXPECT_EQ(manager.New(8, false), nullptr);
  manager.Initialize();
  EXPECT_NE(manager.New(8, false), nullptr);
  manager.Finalize();
  EXPECT_EQ(manager.New(8, false), nullptr);
}

TEST_F(FastAllocMemoryManagerTest, ServesSeveralThreadsAtOnce) {
  auto work = [this](unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<Byte*, uint32_t>> held;
    for (int round = 0; round < 3000; ++round) {
      if (held.size() < 20 && random() % 2 == 0) {
        const uint32_t size = 1 + random() % 300;
        auto* data = static_cast<Byte*>(manager_.New(size, false));
        ASSERT_NE(data, nullptr);
        std::memset(data, static_cast<int>(seed), size);
        held.emplace_back(data, size);
      } else if (!held.empty()) {
        auto [data, size] = held.back();
        held.pop_back();
        for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(data[i], seed) << "block shared";
        manager_.Free(data);
      }
    }
    for (auto [data, size] : held) manager_.Free(data);
  };
  std::vector<std::thread> threads;
  for (unsigned seed = 1; seed <= 4; ++seed) threads.emplace_back(work, seed);
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace tarn
