// The model's data block with its initial values, its registration entry TarnSimMain and its
// binding entry zzinitialize, all expanded from the rows of symbol_table.def.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/data_block.h"
#include "model/entry_points.h"
#include "tarn/tarnsim.h"

namespace tarn::model {

DataBlock zzsim = {
#define TARN_SYMBOL(name, dataType, symbolType, extents, flags, sectionKey, stringLength, value) \
  {TARN_MODEL_UNPARENTHESIZE value},
#include "model/symbol_table.def"
#undef TARN_SYMBOL
};

namespace {

// What the model registers for one symbol, and where the symbol lives in zzsim.
struct SymbolRow {
  const char* name;
  TarnDataType dataType;
  TarnSymbolType symbolType;
  std::array<uint32_t, 6> extents;
  std::array<uint8_t, 11> flags;
  uint32_t sectionKey;
  uint32_t stringLength;
  std::size_t offset;  // of the symbol's first element in DataBlock
};

constexpr auto kSymbolRows = std::to_array<SymbolRow>({
#define TARN_SYMBOL(name, dataType, symbolType, extents, flags, sectionKey, stringLength, value) \
  {#name,                                                                                        \
   TARN_DATA_##dataType,                                                                         \
   TARN_SYMBOL_##symbolType,                                                                     \
   {TARN_MODEL_UNPARENTHESIZE extents},                                                          \
   {TARN_MODEL_UNPARENTHESIZE flags},                                                            \
   sectionKey,                                                                                   \
   stringLength,                                                                                 \
   offsetof(DataBlock, name)},
#include "model/symbol_table.def"
#undef TARN_SYMBOL
});

constexpr uint32_t kSymbolCount = kSymbolRows.size();

constexpr uint32_t CountSymbolsOfType(TarnSymbolType symbolType) {
  uint32_t count = 0;
  for (const SymbolRow& row : kSymbolRows) count += row.symbolType == symbolType ? 1 : 0;
  return count;
}

constexpr uint32_t kOdeStateCount = CountSymbolsOfType(TARN_SYMBOL_STATE);
constexpr uint32_t kVariableCount = CountSymbolsOfType(TARN_SYMBOL_VARIABLE);
constexpr uint32_t kDerivativeSectionCount = 1;  // section 500
constexpr uint32_t kDiscreteSectionCount = 2;    // sections 1000 and 1001

// A tolerance not above zero asks the runtime for its default tolerance.
constexpr double kRuntimeDefaultTolerance = -1.0;

// 1-based index of the symbol with this name; 0 when there is none.
constexpr uint32_t IndexOf(std::string_view name) {
  for (uint32_t i = 0; i < kSymbolCount; ++i) {
    if (name == kSymbolRows[i].name) return i + 1;
  }
  return 0;
}

// The number after the leading 'z' of a generated name.
constexpr uint32_t GeneratedNumber(std::string_view name) {
  uint32_t number = 0;
  for (char digit : name.substr(1)) number = number * 10 + static_cast<uint32_t>(digit - '0');
  return number;
}

// The runtime hands the solver each state group as one array of doubles and finds the
// derivative and initial condition of state k at k + 101 and k + 202: each of the three groups
// must be 101 consecutive doubles, and the generated names follow the state's index.
constexpr bool StateGroupsFollowLayoutRule() {
  for (uint32_t index = 2; index <= kOdeStateCount + 1; ++index) {
    const SymbolRow& state = kSymbolRows[index - 1];
    const SymbolRow& derivative = kSymbolRows[index + kOdeStateCount - 1];
    const SymbolRow& initialCondition = kSymbolRows[index + 2 * kOdeStateCount - 1];
    if (state.symbolType != TARN_SYMBOL_STATE || derivative.symbolType != TARN_SYMBOL_DERIVATIVE ||
        initialCondition.symbolType != TARN_SYMBOL_INITIAL_CONDITION) {
      return false;
    }
    if (GeneratedNumber(derivative.name) != 99993 - 2 * index ||
        GeneratedNumber(initialCondition.name) != 99992 - 2 * index) {
      return false;
    }
    if (state.offset != sizeof(double) * (index - 1) ||
        derivative.offset != sizeof(double) * (index - 1 + kOdeStateCount) ||
        initialCondition.offset != sizeof(double) * (index - 1 + 2 * kOdeStateCount)) {
      return false;
    }
  }
  return true;
}

static_assert(kSymbolCount == 1022 && kOdeStateCount == 101 && kVariableCount == 671);
static_assert(sizeof(DataBlock) == 8896 && offsetof(DataBlock, zzticg) == 8888);
static_assert(offsetof(DataBlock, t) == 0 && offsetof(DataBlock, mwi) == 2432 &&
              offsetof(DataBlock, vft) == 7688 && offsetof(DataBlock, cint) == 8712 &&
              offsetof(DataBlock, zzinstidx) == 8776 && offsetof(DataBlock, cioitg) == 8788);
static_assert(IndexOf("t") == 1 && IndexOf("aoral_i") == 2 && IndexOf("mwi") == 305 &&
              IndexOf("milkingest") == 975 && IndexOf("cint") == 976 &&
              IndexOf("zzstepstop") == 993 && IndexOf("save") == 1021 && IndexOf("zzticg") == 1022);
static_assert(StateGroupsFollowLayoutRule());

}  // namespace
}  // namespace tarn::model

extern "C" void TarnSimMain(void) {
  using namespace tarn::model;
  TarnSimSetSystemInfo(kSymbolCount, kOdeStateCount, 0, 0, kVariableCount, kDerivativeSectionCount,
                       kDiscreteSectionCount, zzinitialize, zzsimulation, zzderivative, 0);
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    const SymbolRow& row = kSymbolRows[index - 1];
    const auto& extents = row.extents;
    TarnSimSetVariableDescriptor(index, row.name, row.dataType, row.symbolType, extents[0],
                                 extents[1], extents[2], extents[3], extents[4], extents[5],
                                 kRuntimeDefaultTolerance, kRuntimeDefaultTolerance);
    const auto& flags = row.flags;
    TarnSimSetVariableExtendedInfo(index, flags[0], flags[1], flags[2], flags[3], flags[4],
                                   flags[5], flags[6], flags[7], flags[8], flags[9], flags[10],
                                   row.sectionKey, row.stringLength);
  }
}

extern "C" uint32_t zzinitialize(uint32_t instance) {
  using namespace tarn::model;
  auto* block = reinterpret_cast<std::byte*>(&zzsim);
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    TarnSimSetVariablePointer(instance, index, block + kSymbolRows[index - 1].offset);
  }
  zzsim.zzinstidx = static_cast<int32_t>(instance);
  return instance;
}
