// The typed symbol functions: sixteen per type (Short, Long, Float, Double, Bool, String), all
// stamped from one definition over the element-level reads and writes, and the reads and writes
// of many doubles in one call.
#include <cstring>

#include "api/symbol_access.h"
#include "runtime/runtime.h"
#include "tarn/tarn.h"

namespace tarn {
namespace {

// How each typed family moves its value through the value union.
template <typename T>
struct Typed;

template <>
struct Typed<int16_t> {
  static constexpr TarnDataType kCode = TARN_DATA_SHORT;
  static int16_t From(const TarnSymbolValue& v) { return v.shortValue; }
  static void Into(TarnSymbolValue& v, int16_t x) { v.shortValue = x; }
};
template <>
struct Typed<int32_t> {
  static constexpr TarnDataType kCode = TARN_DATA_LONG;
  static int32_t From(const TarnSymbolValue& v) { return v.longValue; }
  static void Into(TarnSymbolValue& v, int32_t x) { v.longValue = x; }
};
template <>
struct Typed<float> {
  static constexpr TarnDataType kCode = TARN_DATA_FLOAT;
  static float From(const TarnSymbolValue& v) { return v.floatValue; }
  static void Into(TarnSymbolValue& v, float x) { v.floatValue = x; }
};
template <>
struct Typed<double> {
  static constexpr TarnDataType kCode = TARN_DATA_DOUBLE;
  static double From(const TarnSymbolValue& v) { return v.doubleValue; }
  static void Into(TarnSymbolValue& v, double x) { v.doubleValue = x; }
};
template <>
struct Typed<TarnLogical> {
  static constexpr TarnDataType kCode = TARN_DATA_LOGICAL;
  static TarnLogical From(const TarnSymbolValue& v) { return v.logicalValue; }
  static void Into(TarnSymbolValue& v, TarnLogical x) { v.logicalValue = x; }
};
template <>
struct Typed<const char*> {
  static constexpr TarnDataType kCode = TARN_DATA_STRING;
  static const char* From(const TarnSymbolValue& v) { return static_cast<const char*>(v.address); }
  static void Into(TarnSymbolValue& v, const char* x) { v.address = const_cast<char*>(x); }
};

constexpr uint32_t kScalarIndexSet[kMaxDimensions] = {};

// The first element of a symbol whose data type is exactly T's code (scalar or array alike);
// T's zero otherwise.
template <typename T>
T GetFirst(uint32_t instance, uint32_t index) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  const SystemInstance* record = runtime->GetSystemInstance(instance);
  const TarnSimVariableDescriptor* descriptor = runtime->GetDescriptor(index);
  if (record == nullptr || descriptor == nullptr || descriptor->dataType != Typed<T>::kCode) {
    return T{};
  }
  void* storage = record->Address(index);
  if (storage == nullptr) return T{};
  if constexpr (Typed<T>::kCode == TARN_DATA_STRING) {
    return static_cast<const char*>(storage);
  } else {
    T value;
    std::memcpy(&value, storage, sizeof value);
    return value;
  }
}

// Stores into the first element under the same condition as GetFirst.
template <typename T>
void SetFirst(uint32_t instance, uint32_t index, T value) {
  const TarnSimVariableDescriptor* descriptor = TarnSimRuntime::GetInstance()->GetDescriptor(index);
  if (descriptor == nullptr || descriptor->dataType != Typed<T>::kCode) return;
  uint32_t firstElement[kMaxDimensions] = {};
  for (uint32_t i = 0; i < kMaxDimensions && descriptor->dimensions[i] != 0; ++i) {
    firstElement[i] = 1;
  }
  TarnSymbolValue union_value;
  std::memset(&union_value, 0, sizeof union_value);
  Typed<T>::Into(union_value, value);
  WriteSymbolElement(instance, index, Typed<T>::kCode, union_value, firstElement);
}

// The element at the index set when the symbol's data type is T's code; T's zero otherwise and
// when the index set is invalid (which also reports it).
template <typename T>
T GetElement(uint32_t instance, uint32_t index, const uint32_t* indexSet) {
  TarnDataType dataType = TARN_DATA_INVALID;
  TarnSymbolValue value;
  if (!ReadSymbolElement(instance, index, indexSet, &dataType, &value)) return T{};
  if (dataType != Typed<T>::kCode) return T{};
  return Typed<T>::From(value);
}

template <typename T>
void SetElement(uint32_t instance, uint32_t index, T value, const uint32_t* indexSet) {
  TarnSymbolValue union_value;
  std::memset(&union_value, 0, sizeof union_value);
  Typed<T>::Into(union_value, value);
  WriteSymbolElement(instance, index, Typed<T>::kCode, union_value, indexSet);
}

// A symbol whose data type is double, the one the many-value functions move.
bool IsDouble(uint32_t index) {
  const TarnSimVariableDescriptor* descriptor = TarnSimRuntime::GetInstance()->GetDescriptor(index);
  return descriptor != nullptr && descriptor->dataType == TARN_DATA_DOUBLE;
}

// The many-value functions move nothing for a missing instance or missing arrays.
bool CanMoveDoubles(uint32_t instance, uint32_t count, const void* indexes, const void* values) {
  if (count != 0 && (indexes == nullptr || values == nullptr)) return false;
  return TarnSimRuntime::GetInstance()->GetSystemInstance(instance) != nullptr;
}

}  // namespace
}  // namespace tarn

#define TARN_DEFINE_TYPED_ACCESS(Name, Type)                                                       \
  Type TarnGet##Name(uint32_t instance, uint32_t index) {                                          \
    return tarn::GetFirst<Type>(instance, index);                                                  \
  }                                                                                                \
  Type TarnGet##Name##Indexed(uint32_t instance, uint32_t index, const uint32_t* indexSet) {       \
    return tarn::GetElement<Type>(instance, index, indexSet);                                      \
  }                                                                                                \
  Type TarnGet##Name##1(uint32_t instance, uint32_t index, uint32_t i1) {                          \
    const uint32_t set[tarn::kMaxDimensions] = {i1};                                               \
    return tarn::GetElement<Type>(instance, index, set);                                           \
  }                                                                                                \
  Type TarnGet##Name##2(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2) {             \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2};                                           \
    return tarn::GetElement<Type>(instance, index, set);                                           \
  }                                                                                                \
  Type TarnGet##Name##3(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2,               \
                        uint32_t i3) {                                                             \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3};                                       \
    return tarn::GetElement<Type>(instance, index, set);                                           \
  }                                                                                                \
  Type TarnGet##Name##4(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2, uint32_t i3,  \
                        uint32_t i4) {                                                             \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3, i4};                                   \
    return tarn::GetElement<Type>(instance, index, set);                                           \
  }                                                                                                \
  Type TarnGet##Name##5(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2, uint32_t i3,  \
                        uint32_t i4, uint32_t i5) {                                                \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3, i4, i5};                               \
    return tarn::GetElement<Type>(instance, index, set);                                           \
  }                                                                                                \
  Type TarnGet##Name##6(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2, uint32_t i3,  \
                        uint32_t i4, uint32_t i5, uint32_t i6) {                                   \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3, i4, i5, i6};                           \
    return tarn::GetElement<Type>(instance, index, set);                                           \
  }                                                                                                \
  void TarnSet##Name(uint32_t instance, uint32_t index, Type value) {                              \
    tarn::SetFirst<Type>(instance, index, value);                                                  \
  }                                                                                                \
  void TarnSet##Name##Indexed(uint32_t instance, uint32_t index, Type value,                       \
                              const uint32_t* indexSet) {                                          \
    tarn::SetElement<Type>(instance, index, value, indexSet);                                      \
  }                                                                                                \
  void TarnSet##Name##1(uint32_t instance, uint32_t index, Type value, uint32_t i1) {              \
    const uint32_t set[tarn::kMaxDimensions] = {i1};                                               \
    tarn::SetElement<Type>(instance, index, value, set);                                           \
  }                                                                                                \
  void TarnSet##Name##2(uint32_t instance, uint32_t index, Type value, uint32_t i1, uint32_t i2) { \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2};                                           \
    tarn::SetElement<Type>(instance, index, value, set);                                           \
  }                                                                                                \
  void TarnSet##Name##3(uint32_t instance, uint32_t index, Type value, uint32_t i1, uint32_t i2,   \
                        uint32_t i3) {                                                             \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3};                                       \
    tarn::SetElement<Type>(instance, index, value, set);                                           \
  }                                                                                                \
  void TarnSet##Name##4(uint32_t instance, uint32_t index, Type value, uint32_t i1, uint32_t i2,   \
                        uint32_t i3, uint32_t i4) {                                                \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3, i4};                                   \
    tarn::SetElement<Type>(instance, index, value, set);                                           \
  }                                                                                                \
  void TarnSet##Name##5(uint32_t instance, uint32_t index, Type value, uint32_t i1, uint32_t i2,   \
                        uint32_t i3, uint32_t i4, uint32_t i5) {                                   \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3, i4, i5};                               \
    tarn::SetElement<Type>(instance, index, value, set);                                           \
  }                                                                                                \
  void TarnSet##Name##6(uint32_t instance, uint32_t index, Type value, uint32_t i1, uint32_t i2,   \
                        uint32_t i3, uint32_t i4, uint32_t i5, uint32_t i6) {                      \
    const uint32_t set[tarn::kMaxDimensions] = {i1, i2, i3, i4, i5, i6};                           \
    tarn::SetElement<Type>(instance, index, value, set);                                           \
  }

extern "C" {
TARN_DEFINE_TYPED_ACCESS(Short, int16_t)
TARN_DEFINE_TYPED_ACCESS(Long, int32_t)
TARN_DEFINE_TYPED_ACCESS(Float, float)
TARN_DEFINE_TYPED_ACCESS(Double, double)
TARN_DEFINE_TYPED_ACCESS(Bool, TarnLogical)
TARN_DEFINE_TYPED_ACCESS(String, const char*)

uint32_t TarnGetDoubles(uint32_t instance, uint32_t count, const uint32_t* indexes,
                        double* values) {
  if (!tarn::CanMoveDoubles(instance, count, indexes, values)) return 0;
  uint32_t read = 0;
  for (uint32_t k = 0; k < count; ++k) {
    values[k] = tarn::GetFirst<double>(instance, indexes[k]);
    if (tarn::IsDouble(indexes[k])) ++read;
  }
  return read;
}

uint32_t TarnSetDoubles(uint32_t instance, uint32_t count, const uint32_t* indexes,
                        const double* values) {
  if (!tarn::CanMoveDoubles(instance, count, indexes, values)) return 0;
  uint32_t written = 0;
  for (uint32_t k = 0; k < count; ++k) {
    if (!tarn::IsDouble(indexes[k])) continue;
    tarn::SetFirst<double>(instance, indexes[k], values[k]);
    ++written;
  }
  return written;
}
}
