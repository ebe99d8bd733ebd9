// The model's data block with its initial values, its registration entry TarnSimMain and its
// binding entry zzinitialize, all expanded from the rows of symbol_table.def; TarnSimMain also
// registers what the symbols mean, from the rows of symbol_catalogue.def.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/data_block.h"
#include "model/entry_points.h"
#include "tarn/tarnsim.h"

namespace tarn::model {

constexpr DataBlock kDefaultBlock = {
#define TARN_SYMBOL(name, dataType, symbolType, extents, flags, sectionKey, stringLength, value) \
  {TARN_MODEL_UNPARENTHESIZE value},
#include "model/symbol_table.def"
#undef TARN_SYMBOL
};

constinit DataBlock zzsim = kDefaultBlock;

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

// Bounds of a value a user may set: TarnBoundFlags bits and the limits they refer to.
struct Bounds {
  uint32_t flags;
  double minimum;
  double maximum;
};

constexpr Bounds kNoBounds{0, 0, 0};
constexpr Bounds kNonNegative{TARN_BOUND_MINIMUM, 0, 0};
constexpr Bounds kPositive{TARN_BOUND_MINIMUM | TARN_BOUND_MINIMUM_EXCLUSIVE, 0, 0};
constexpr Bounds kAtLeastOne{TARN_BOUND_MINIMUM, 1, 0};
constexpr Bounds kFraction{TARN_BOUND_MINIMUM | TARN_BOUND_MAXIMUM, 0, 1};
constexpr Bounds kPositiveFraction{
    TARN_BOUND_MINIMUM | TARN_BOUND_MINIMUM_EXCLUSIVE | TARN_BOUND_MAXIMUM, 0, 1};
constexpr Bounds kSwitch{TARN_BOUND_MINIMUM | TARN_BOUND_MAXIMUM | TARN_BOUND_WHOLE, 0, 1};

// What one symbol means, with the indexes of the symbol and of its initial-value parameter.
struct MeaningRow {
  uint32_t index;
  const char* group;
  const char* unit;
  Bounds bounds;
  std::string_view initial;  // a parameter's name, "0" (starts at zero) or "" (not a state)
  uint32_t initialIndex;
  bool listed;
  const char* description;
};

constexpr auto kMeaningRows = std::to_array<MeaningRow>({
#define TARN_MEANING(name, group, unit, bounds, initial, listed, description) \
  {IndexOf(#name), group, unit, bounds, initial, IndexOf(initial), listed != 0, description},
#include "model/symbol_catalogue.def"
#undef TARN_MEANING
});

// Every row names a symbol of the table, once; a state names its initial-value parameter (or
// "0") and no other symbol does; the parameter is a variable with a default.
constexpr bool MeaningRowsFitTheTable() {
  std::array<bool, kSymbolCount + 1> seen{};
  for (const MeaningRow& row : kMeaningRows) {
    if (row.index == 0 || seen[row.index]) return false;
    seen[row.index] = true;
    const bool isState = kSymbolRows[row.index - 1].symbolType == TARN_SYMBOL_STATE;
    if (isState != !row.initial.empty()) return false;
    if (isState && row.initial != "0") {
      if (row.initialIndex == 0) return false;
      const SymbolRow& parameter = kSymbolRows[row.initialIndex - 1];
      if (parameter.symbolType != TARN_SYMBOL_VARIABLE || parameter.flags[1] == 0) return false;
    }
  }
  return true;
}

static_assert(MeaningRowsFitTheTable());

// The physiological tables end at 4380 h, six months after birth; later times extrapolate them.
constexpr double kValidityStart = 0;
constexpr double kValidityEnd = 4380;

}  // namespace
}  // namespace tarn::model

extern "C" void TarnSimMain(void) {
  using namespace tarn::model;
  TarnSimSetSystemInfo(kSymbolCount, kOdeStateCount, 0, 0, kVariableCount, kDerivativeSectionCount,
                       kDiscreteSectionCount, zzinitialize, zzsimulation, zzderivative, 0);
  // Section 500 is plain assignments from states, time and parameters (no delays, random numbers
  // or noise); the run loop between intervals computes only the balance outputs.
  TarnSimSetSystemProperties(TARN_SYSTEM_MEMORYLESS_DERIVATIVES);
  TarnSimSetBlockFunctions([]() -> void* { return new DataBlock(kDefaultBlock); },
                           [](void* block) { delete static_cast<DataBlock*>(block); });
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
  for (const MeaningRow& row : kMeaningRows) {
    TarnSimSetVariableMeaning(row.index, row.description, row.unit, row.group, row.bounds.flags,
                              row.bounds.minimum, row.bounds.maximum, row.initialIndex, row.listed);
  }
  TarnSimSetValidityRange(kValidityStart, kValidityEnd);
}

extern "C" uint32_t zzinitialize(uint32_t instance) {
  using namespace tarn::model;
  DataBlock& block = BlockOf(instance);
  auto* bytes = reinterpret_cast<std::byte*>(&block);
  for (uint32_t index = 1; index <= kSymbolCount; ++index) {
    TarnSimSetVariablePointer(instance, index, bytes + kSymbolRows[index - 1].offset);
  }
  block.zzinstidx = static_cast<int32_t>(instance);
  return instance;
}
