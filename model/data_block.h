// The model's data block: every symbol of the model, in index order, each at its natural
// alignment (doubles on 8 bytes, integers on 4, logicals on 1), declared from the rows of
// symbol_table.def. All instances of the model are bound to the one block, zzsim.
#ifndef TARN_MODEL_DATA_BLOCK_H
#define TARN_MODEL_DATA_BLOCK_H

#include <cstdint>

#include "tarn/tarnsim.h"

// Helpers for expanding the parenthesised columns of a symbol_table.def row.
#define TARN_MODEL_UNPARENTHESIZE(...) __VA_ARGS__
#define TARN_MODEL_FIRST_OF(first, ...) first

namespace tarn::model {

// Held by a double the model has not computed yet.
inline constexpr double kNotComputed = 5.5555e+33;
// Held by an integer control symbol that has not been set yet.
inline constexpr int32_t kNotComputedInteger = 55555555;

template <TarnDataType dataType>
struct ElementType;
template <>
struct ElementType<TARN_DATA_DOUBLE> {
  using type = double;
};
template <>
struct ElementType<TARN_DATA_LONG> {
  using type = int32_t;
};
template <>
struct ElementType<TARN_DATA_LOGICAL> {
  using type = TarnLogical;
};

// A scalar for first extent 0, otherwise a one-dimensional array of that many elements.
template <typename Element, uint32_t firstExtent>
struct Storage {
  using type = Element[firstExtent];
};
template <typename Element>
struct Storage<Element, 0> {
  using type = Element;
};

template <TarnDataType dataType, uint32_t firstExtent>
using SymbolStorage = typename Storage<typename ElementType<dataType>::type, firstExtent>::type;

// The symbols as members named after them.
struct DataBlock {
#define TARN_SYMBOL(name, dataType, symbolType, extents, flags, sectionKey, stringLength, value) \
  SymbolStorage<TARN_DATA_##dataType, TARN_MODEL_FIRST_OF extents> name;
#include "model/symbol_table.def"
#undef TARN_SYMBOL
};

extern DataBlock zzsim;

}  // namespace tarn::model

#endif  // TARN_MODEL_DATA_BLOCK_H
