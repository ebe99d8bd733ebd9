// The allocators behind MemoryManager: the factory, alignment and integrity of what both managers
// hand out, and the size classes, recycling and thread safety of the fast allocator.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "memory/fast_alloc_memory_manager.h"
#include "memory/memory.h"
#include "memory/memory_manager.h"

namespace tarn {
namespace {

bool IsAligned(const void* pointer) {
  return reinterpret_cast<std::uintptr_t>(pointer) % alignof(std::max_align_t) == 0;
}

TEST(MemoryManagerTest, FactoryMakesOneManagerPerKnownCode) {
  EXPECT_EQ(MemoryManager::CreateMemoryManager(MemoryManagerType::kDefault)->GetType(),
            MemoryManagerType::kDefault);
  EXPECT_EQ(MemoryManager::CreateMemoryManager(MemoryManagerType::kFastAlloc)->GetType(),
            MemoryManagerType::kFastAlloc);
  EXPECT_EQ(MemoryManager::CreateMemoryManager(static_cast<MemoryManagerType>(2)), nullptr);
}

TEST(MemoryTest, ZeroLengthCopiesAndFillsTouchNoPointer) {
  Memory::MemCopy(nullptr, nullptr, 0);
  Memory::MemSet(nullptr, 0xFF, 0);
}

class AnyMemoryManagerTest : public testing::TestWithParam<MemoryManagerType> {
 protected:
  void SetUp() override {
    manager_ = MemoryManager::CreateMemoryManager(GetParam());
    ASSERT_NE(manager_, nullptr);
    manager_->Initialize();
  }
  std::unique_ptr<MemoryManager> manager_;
};

TEST_P(AnyMemoryManagerTest, BlocksAreAlignedZeroedOnRequestAndDisjoint) {
  struct Held {
    unsigned char* data;
    uint32_t size;
  };
  std::vector<Held> held;
  for (uint32_t size = 1; size <= 5000; size = size * 3 + 1) {
    for (int copy = 0; copy < 12; ++copy) {
      auto* data = static_cast<unsigned char*>(manager_->New(size, true));
      ASSERT_NE(data, nullptr) << size;
      EXPECT_TRUE(IsAligned(data)) << size;
      for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(data[i], 0) << size;
      std::memset(data, static_cast<int>(held.size() & 0xFF), size);
      held.push_back({data, size});
    }
  }
  for (std::size_t k = 0; k < held.size(); ++k) {
    for (uint32_t i = 0; i < held[k].size; ++i) ASSERT_EQ(held[k].data[i], k & 0xFF);
    manager_->Free(held[k].data);
  }
  manager_->Free(nullptr);
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
  void* largest = manager_.New(FastAllocMemoryManager::kLargestRequest, true);
  ASSERT_NE(largest, nullptr);
  static_cast<unsigned char*>(largest)[FastAllocMemoryManager::kLargestRequest - 1] = 1;
  EXPECT_EQ(manager_.New(FastAllocMemoryManager::kLargestRequest + 1, false), nullptr);
  EXPECT_EQ(manager_.New(0, false), nullptr);
}

TEST_F(FastAllocMemoryManagerTest, FreedBlocksAreReusedLastFreedFirst) {
  void* first = manager_.New(100, false);
  void* second = manager_.New(100, false);
  manager_.Free(first);
  manager_.Free(second);
  EXPECT_EQ(manager_.New(100, false), second);
  EXPECT_EQ(manager_.New(100, false), first);
}

TEST_F(FastAllocMemoryManagerTest, ReusedBlockIsZeroedOnRequest) {
  auto* block = static_cast<unsigned char*>(manager_.New(64, false));
  std::memset(block, 0xAB, 64);
  manager_.Free(block);
  auto* again = static_cast<unsigned char*>(manager_.New(64, true));
  ASSERT_EQ(again, block);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(again[i], 0);
}

TEST_F(FastAllocMemoryManagerTest, KnowsWhichBlocksAreHandedOut) {
  void* block = manager_.New(10, false);
  EXPECT_TRUE(manager_.IsAllocated(block));
  manager_.Free(block);
  EXPECT_FALSE(manager_.IsAllocated(block));
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
    std::vector<std::pair<unsigned char*, uint32_t>> held;
    for (int round = 0; round < 3000; ++round) {
      if (held.size() < 20 && random() % 2 == 0) {
        const uint32_t size = 1 + random() % 300;
        auto* data = static_cast<unsigned char*>(manager_.New(size, false));
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
