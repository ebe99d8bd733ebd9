// Host functions that add and remove callback registrations of an instance. Each list keeps its
// registrations in the order added; removal takes the earliest match.
#include <algorithm>
#include <cstring>

#include "api/guard.h"
#include "runtime/runtime.h"
#include "tarn/tarn.h"

using tarn::Guarded;
using tarn::TarnSimRuntime;

namespace {

tarn::SystemInstance* Record(uint32_t instance) {
  return TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
}

template <typename Registration, typename Matches>
void RemoveFirst(std::vector<Registration>& list, Matches matches) {
  auto found = std::find_if(list.begin(), list.end(), matches);
  if (found != list.end()) list.erase(found);
}

}  // namespace

extern "C" {

void TarnAddStatusCallback(uint32_t instance, uint32_t userValue, TarnStatusCallback callback) {
  Guarded([&] {
    if (auto* record = Record(instance); record && callback) {
      record->statusCallbacks.push_back({userValue, callback});
    }
  });
}

void TarnRemoveStatusCallback(uint32_t instance, uint32_t userValue, TarnStatusCallback) {
  if (auto* record = Record(instance)) {
    RemoveFirst(record->statusCallbacks, [&](const auto& r) { return r.userValue == userValue; });
  }
}

void TarnAddErrorCallback(uint32_t instance, uint32_t userValue, TarnErrorCallback callback) {
  Guarded([&] {
    if (auto* record = Record(instance); record && callback) {
      record->errorCallbacks.push_back({userValue, callback});
    }
  });
}

void TarnRemoveErrorCallback(uint32_t instance, uint32_t userValue, TarnErrorCallback) {
  if (auto* record = Record(instance)) {
    RemoveFirst(record->errorCallbacks, [&](const auto& r) { return r.userValue == userValue; });
  }
}

void TarnAddTickCallbackFunction(uint32_t instance, uint32_t userValue, TarnTickCallback callback) {
  Guarded([&] {
    if (auto* record = Record(instance); record && callback) {
      record->tickCallbacks.push_back({userValue, callback});
    }
  });
}

void TarnRemoveTickCallbackFunction(uint32_t instance, uint32_t userValue, TarnTickCallback) {
  if (auto* record = Record(instance)) {
    RemoveFirst(record->tickCallbacks, [&](const auto& r) { return r.userValue == userValue; });
  }
}

void TarnAddDiscreteEventCallbackFunction(uint32_t instance, uint32_t userValue, uint32_t section,
                                          TarnDiscreteEventCallback callback) {
  Guarded([&] {
    if (auto* record = Record(instance); record && callback) {
      record->discreteEventCallbacks.push_back({userValue, section, callback});
    }
  });
}

void TarnRemoveDiscreteEventCallbackFunction(uint32_t instance, uint32_t userValue,
                                             uint32_t section, TarnDiscreteEventCallback) {
  if (auto* record = Record(instance)) {
    RemoveFirst(record->discreteEventCallbacks,
                [&](const auto& r) { return r.userValue == userValue && r.section == section; });
  }
}

void TarnAddSymbolWatchCallback(uint32_t instance, uint32_t userValue, uint32_t symbolIndex,
                                TarnSymbolWatchCallback callback) {
  Guarded([&] {
    auto* record = Record(instance);
    if (record == nullptr || callback == nullptr) return;
    TarnDataType dataType;
    TarnSymbolValue captured;
    std::memset(&captured, 0, sizeof captured);
    uint32_t extents[tarn::kMaxDimensions];
    if (!TarnGetSymbolValue(instance, symbolIndex, &dataType, &captured, extents)) return;
    record->symbolWatchCallbacks.push_back({userValue, symbolIndex, captured, callback});
  });
}

void TarnRemoveSymbolWatchCallback(uint32_t instance, uint32_t userValue, uint32_t symbolIndex,
                                   TarnSymbolWatchCallback) {
  if (auto* record = Record(instance)) {
    RemoveFirst(record->symbolWatchCallbacks, [&](const auto& r) {
      return r.userValue == userValue && r.symbolIndex == symbolIndex;
    });
  }
}

void TarnAddExecutionStateChangeCallbackFunction(uint32_t instance, uint32_t userValue,
                                                 TarnExecutionStateChangeCallback callback) {
  Guarded([&] {
    if (auto* record = Record(instance); record && callback) {
      record->executionStateCallbacks.push_back({userValue, callback});
    }
  });
}

void TarnRemoveExecutionStateChangeCallbackFunction(uint32_t instance, uint32_t userValue,
                                                    TarnExecutionStateChangeCallback) {
  if (auto* record = Record(instance)) {
    RemoveFirst(record->executionStateCallbacks,
                [&](const auto& r) { return r.userValue == userValue; });
  }
}

}  // extern "C"
