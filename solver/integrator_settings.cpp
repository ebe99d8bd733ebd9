// IntegratorSettings: getters and setters through the setting pointers, defaults, Copy; all of
// them expanded from the table in solver/integrator_settings.def.
#include "solver/integrator_settings.h"

#include <atomic>

namespace tarn {
namespace {

// Whether SetDefaultValues writes a setting.
constexpr bool kReset = true;
constexpr bool kKeep = false;

// Plain access to a setting's storage.
struct Plain {
  template <typename T>
  static T Load(const T* setting) {
    return *setting;
  }
  template <typename T>
  static void Store(T* setting, T value) {
    *setting = value;
  }
};

// Atomic access with no ordering: the host's thread writes the stop flag while the worker polls
// it.
struct Relaxed {
  template <typename T>
  static T Load(T* setting) {
    return std::atomic_ref<T>(*setting).load(std::memory_order_relaxed);
  }
  template <typename T>
  static void Store(T* setting, T value) {
    std::atomic_ref<T>(*setting).store(value, std::memory_order_relaxed);
  }
};

}  // namespace

void IntegratorSettings::SetDefaultValues() {
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  if (defaults) Set##Name(defaultValue);
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING
  communicationPointReached = false;
}

void IntegratorSettings::Copy(const IntegratorSettings* other) {
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  member = other->member;
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING
}

// A logical setting reads as true for any non-zero byte and is written as 0 or 1.
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  Value IntegratorSettings::Get##Name() const {                                                \
    return member != nullptr ? static_cast<Value>(access::Load(member)) : Value(defaultValue); \
  }                                                                                            \
  void IntegratorSettings::Set##Name(Value value) {                                            \
    if (member != nullptr) access::Store(member, static_cast<Storage>(value));                 \
  }
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING

}  // namespace tarn
