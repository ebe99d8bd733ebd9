// Host functions for symbol discovery, the array index helpers and the generic value interface.
#include "api/symbol_access.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "api/api_messages.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"
#include "tarn/tarn.h"

namespace tarn {
namespace {

// A symbol of an existing instance with bound storage.
struct BoundSymbol {
  const TarnSimVariableDescriptor* descriptor = nullptr;
  uint8_t* storage = nullptr;
};

// Tells the instance's solver that the host changed the model.
void NoteHostWrite(uint32_t instance) {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  if (record != nullptr && record->solver) record->solver->NoteHostWrite();
}

bool FindBoundSymbol(uint32_t instance, uint32_t index, BoundSymbol* symbol) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  const SystemInstance* record = runtime->GetSystemInstance(instance);
  const TarnSimVariableDescriptor* descriptor = runtime->GetDescriptor(index);
  if (record == nullptr || descriptor == nullptr) return false;
  symbol->descriptor = descriptor;
  symbol->storage = static_cast<uint8_t*>(record->Address(index));
  return symbol->storage != nullptr;
}

bool IsScalar(const TarnSimVariableDescriptor& descriptor) { return descriptor.dimensions[0] == 0; }

// Copies zero-terminated text into a string element of `capacity` bytes, cut to fit and always
// terminated.
void CopyText(uint8_t* element, uint32_t capacity, const char* text) {
  if (capacity == 0 || text == nullptr) return;
  const size_t length = std::min<size_t>(std::strlen(text), capacity - 1);
  std::memcpy(element, text, length);
  element[length] = 0;
}

// Copies one element of `size` bytes between storage and the front of a value union.
void LoadElement(const uint8_t* element, uint32_t size, TarnSymbolValue* value) {
  std::memcpy(value, element, std::min<uint32_t>(size, sizeof *value));
}
void StoreElement(uint8_t* element, uint32_t size, const TarnSymbolValue& value) {
  std::memcpy(element, &value, std::min<uint32_t>(size, sizeof value));
}

void ReportInvalidIndexSet(uint32_t instance) {
  TarnSimRuntime::GetInstance()->TarnSimWriteMessage(instance, kInvalidArrayIndexMessage);
}

}  // namespace

bool ReadSymbolElement(uint32_t instance, uint32_t index, const uint32_t* indexSet,
                       TarnDataType* dataType, TarnSymbolValue* value) {
  BoundSymbol symbol;
  if (!FindBoundSymbol(instance, index, &symbol)) return false;
  const TarnSimVariableDescriptor& descriptor = *symbol.descriptor;
  if (dataType != nullptr) *dataType = static_cast<TarnDataType>(descriptor.dataType);
  if (!IsValidIndexSet(indexSet, descriptor.dimensions.data())) {
    ReportInvalidIndexSet(instance);
    return false;
  }
  if (value == nullptr) return false;
  const uint32_t size = ElementSize(descriptor);
  uint8_t* element =
      symbol.storage +
      static_cast<size_t>(GetFlatArrayOffset(indexSet, descriptor.dimensions.data())) * size;
  std::memset(value, 0, sizeof *value);
  if (descriptor.dataType == TARN_DATA_STRING) {
    value->address = element;
  } else {
    LoadElement(element, size, value);
  }
  return true;
}

void WriteSymbolElement(uint32_t instance, uint32_t index, TarnDataType dataType,
                        const TarnSymbolValue& value, const uint32_t* indexSet) {
  BoundSymbol symbol;
  if (!FindBoundSymbol(instance, index, &symbol)) return;
  const TarnSimVariableDescriptor& descriptor = *symbol.descriptor;
  if (!IsValidIndexSet(indexSet, descriptor.dimensions.data())) {
    ReportInvalidIndexSet(instance);
    return;
  }
  if (dataType != descriptor.dataType) return;
  const uint32_t size = ElementSize(descriptor);
  uint8_t* element =
      symbol.storage +
      static_cast<size_t>(GetFlatArrayOffset(indexSet, descriptor.dimensions.data())) * size;
  if (dataType == TARN_DATA_STRING) {
    CopyText(element, size, static_cast<const char*>(value.address));
  } else {
    StoreElement(element, size, value);
  }
  NoteHostWrite(instance);
}

}  // namespace tarn

using tarn::TarnSimRuntime;

extern "C" {

uint32_t TarnGetNumberSymbols(void) {
  return TarnSimRuntime::GetInstance()->GetSystemInfo().symbolCount;
}

uint32_t TarnGetSymbolIndex(const char* name) {
  if (name == nullptr) return 0;
  const tarn::SystemInformation& info = TarnSimRuntime::GetInstance()->GetSystemInfo();
  for (uint32_t index = 1; index <= info.symbolCount; ++index) {
    const std::string& candidate = info.descriptors[index].name;
    if (!candidate.empty() && strcasecmp(candidate.c_str(), name) == 0) return index;
  }
  return 0;
}

bool TarnGetSymbolInfo(uint32_t index, TarnSymbolInfo* info) {
  const tarn::TarnSimVariableDescriptor* descriptor =
      TarnSimRuntime::GetInstance()->GetDescriptor(index);
  if (info == nullptr || descriptor == nullptr) return false;
  info->symbolType = descriptor->symbolType;
  info->dataType = descriptor->dataType;
  info->name = descriptor->name.c_str();
  info->numberDimensions = GetNumberDimensions(descriptor->dimensions.data());
  info->extents = descriptor->dimensions.data();
  std::copy(descriptor->attributes.begin(), descriptor->attributes.end(), info->attributes);
  info->derivativeIndex = descriptor->derivativeIndex;
  info->initialConditionIndex = descriptor->initialConditionIndex;
  info->stringLength = descriptor->stringLength;
  return true;
}

const char* TarnGetSymbolName(uint32_t index) {
  const tarn::TarnSimVariableDescriptor* descriptor =
      TarnSimRuntime::GetInstance()->GetDescriptor(index);
  return descriptor != nullptr ? descriptor->name.c_str() : nullptr;
}

TarnDataType TarnGetSymbolDatatype(uint32_t index) {
  const tarn::TarnSimVariableDescriptor* descriptor =
      TarnSimRuntime::GetInstance()->GetDescriptor(index);
  return descriptor != nullptr ? static_cast<TarnDataType>(descriptor->dataType)
                               : TARN_DATA_INVALID;
}

TarnSymbolType TarnGetSymbolType(uint32_t index) {
  const tarn::TarnSimVariableDescriptor* descriptor =
      TarnSimRuntime::GetInstance()->GetDescriptor(index);
  return descriptor != nullptr ? static_cast<TarnSymbolType>(descriptor->symbolType)
                               : TARN_SYMBOL_INVALID;
}

void TarnGetSymbolDimensions(uint32_t index, uint32_t /*unused*/, uint32_t* extents) {
  const tarn::TarnSimVariableDescriptor* descriptor =
      TarnSimRuntime::GetInstance()->GetDescriptor(index);
  if (descriptor == nullptr || extents == nullptr) return;
  std::copy(descriptor->dimensions.begin(), descriptor->dimensions.end(), extents);
}

uint32_t TarnGetSymbolInitialValue(uint32_t /*instance*/, uint32_t /*index*/) { return 1; }

uint32_t TarnGetNumberDerivativeSections(void) {
  return TarnSimRuntime::GetInstance()->GetSystemInfo().derivativeSectionCount;
}

uint32_t TarnGetNumberDiscreteSections(void) {
  return TarnSimRuntime::GetInstance()->GetSystemInfo().discreteSectionCount;
}

const char* TarnGetDerivativeSectionName(uint32_t /*section*/) { return nullptr; }
uint32_t TarnGetDerivativeSectionIndex(const char* /*name*/) { return 0; }
const char* TarnGetDiscreteSectionName(uint32_t /*section*/) { return nullptr; }
uint32_t TarnGetDiscreteSectionIndex(const char* /*name*/) { return 0; }

bool IsValidIndexSet(const uint32_t* indexSet, const uint32_t* extents) {
  if (indexSet == nullptr || extents == nullptr) return false;
  for (uint32_t i = 0; i < tarn::kMaxDimensions; ++i) {
    const bool valid =
        extents[i] == 0 ? indexSet[i] == 0 : indexSet[i] >= 1 && indexSet[i] <= extents[i];
    if (!valid) return false;
  }
  return true;
}

uint32_t GetNumberDimensions(const uint32_t* extents) {
  if (extents == nullptr) return 0;
  uint32_t count = 0;
  while (count < tarn::kMaxDimensions && extents[count] != 0) ++count;
  return count;
}

uint32_t GetFlatArrayOffset(const uint32_t* indexSet, const uint32_t* extents) {
  if (indexSet == nullptr || extents == nullptr) return 0;
  uint32_t offset = 0;
  uint32_t stride = 1;
  for (uint32_t i = 0; i < tarn::kMaxDimensions && extents[i] != 0; ++i) {
    offset += (indexSet[i] - 1) * stride;
    stride *= extents[i];
  }
  return offset;
}

bool TarnGetSymbolValue(uint32_t instance, uint32_t index, TarnDataType* dataType,
                        TarnSymbolValue* value, uint32_t* extents) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  const tarn::SystemInstance* record = runtime->GetSystemInstance(instance);
  const tarn::TarnSimVariableDescriptor* descriptor = runtime->GetDescriptor(index);
  if (record == nullptr || descriptor == nullptr) return false;
  if (dataType == nullptr || value == nullptr || extents == nullptr) return false;
  auto* storage = static_cast<const uint8_t*>(record->Address(index));
  if (storage == nullptr) return false;
  *dataType = static_cast<TarnDataType>(descriptor->dataType);
  std::copy(descriptor->dimensions.begin(), descriptor->dimensions.end(), extents);
  std::memset(value, 0, sizeof *value);
  if (descriptor->dataType == TARN_DATA_STRING || !tarn::IsScalar(*descriptor)) {
    value->address = const_cast<uint8_t*>(storage);
  } else {
    tarn::LoadElement(storage, tarn::ElementSize(*descriptor), value);
  }
  return true;
}

void TarnSetSymbolValue(uint32_t instance, uint32_t index, TarnDataType dataType,
                        TarnSymbolValue value, const uint32_t* extents) {
  tarn::BoundSymbol symbol;
  if (!tarn::FindBoundSymbol(instance, index, &symbol) || extents == nullptr) return;
  const tarn::TarnSimVariableDescriptor& descriptor = *symbol.descriptor;
  // The value must describe the symbol's own type and shape: anything else could not be written
  // without reading or writing past the storage.
  if (dataType != descriptor.dataType ||
      !std::equal(descriptor.dimensions.begin(), descriptor.dimensions.end(), extents)) {
    return;
  }
  const uint32_t size = tarn::ElementSize(descriptor);
  if (tarn::IsScalar(descriptor)) {
    if (dataType == TARN_DATA_STRING) {
      tarn::CopyText(symbol.storage, size, static_cast<const char*>(value.address));
    } else {
      tarn::StoreElement(symbol.storage, size, value);
    }
  } else {
    if (value.address == nullptr) return;
    std::memmove(symbol.storage, value.address,
                 static_cast<size_t>(tarn::FlattenedSize(descriptor.dimensions)) * size);
  }
  tarn::NoteHostWrite(instance);
}

void TarnGetSymbolValueIndexed(uint32_t instance, uint32_t index, TarnDataType* dataType,
                               TarnSymbolValue* value, const uint32_t* indexSet) {
  tarn::ReadSymbolElement(instance, index, indexSet, dataType, value);
}

void TarnSetSymbolValueIndexed(uint32_t instance, uint32_t index, TarnDataType dataType,
                               const TarnSymbolValue* value, const uint32_t* indexSet) {
  if (value == nullptr) return;
  tarn::WriteSymbolElement(instance, index, dataType, *value, indexSet);
}

}  // extern "C"
