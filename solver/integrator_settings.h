// IntegratorSettings: the record of every switch and number that steers integration, each reached
// through a pointer so that the solver, its integrator, the model program and the host all read
// and write the same storage; and the IntegrationAlgorithm codes that select an integrator class.
#ifndef TARN_SOLVER_INTEGRATOR_SETTINGS_H
#define TARN_SOLVER_INTEGRATOR_SETTINGS_H

#include <cstdint>

#include "tarn/tarn_types.h"

namespace tarn {

// Algorithm codes as the model's `ialg` holds them. Any 32-bit value may arrive from the model or
// the host; codes above AlgCvode behave like AlgNone.
enum class IntegrationAlgorithm : int32_t {
  AlgNone = 0,
  AlgAdamsMoulton = 1,
  AlgGearStiff = 2,
  AlgEuler = 3,
  AlgRungeKutta2 = 4,
  AlgRungeKutta4 = 5,
  AlgUnset = 6,  // a solver that was constructed but never initialised
  AlgUserDefined = 7,
  AlgRungeKuttaFehlberg2 = 8,
  AlgRungeKuttaFehlberg5 = 9,
  AlgDassl = 10,
  AlgBulirschStoer = 11,
  AlgRosenbrock = 12,
  AlgAdamsBashforth2 = 13,
  AlgOdepack = 14,
  AlgCvode = 15,
};

// Every setting of the table in solver/integrator_settings.def lives behind one of the public
// pointers below. A fresh record points them at its own storage; the runtime rebinds them to the
// model's control variables, and Copy shares them with another record. A getter returns the
// setting's default when its pointer is null; a setter then does nothing. Logical settings are
// bytes holding 0 or 1 (any non-zero byte reads as true).
//
// The record never owns what its pointers designate, so it is not copyable: a member-wise copy
// would leave the copy pointing into the original's storage without saying so. Use Copy.
class IntegratorSettings {
 public:
  // Every pointer leads to the record's own storage, which holds the defaults.
  IntegratorSettings() = default;
  virtual ~IntegratorSettings() = default;
  IntegratorSettings(const IntegratorSettings&) = delete;
  IntegratorSettings& operator=(const IntegratorSettings&) = delete;

  // Writes the default of every kReset setting (all but CommIntOnEvent, JacUpperBandwidth,
  // JacLowerBandwidth and OdepackMethodFlag) behind its pointer, skipping null pointers, and
  // clears communicationPointReached.
  void SetDefaultValues();

  // Takes over the 28 setting pointers of `other`; afterwards both records read and write the same
  // storage. communicationPointReached is not copied.
  void Copy(const IntegratorSettings* other);

  // GetName and SetName of every setting of the table.
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  Value Get##Name() const;                                                                     \
  void Set##Name(Value value);
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING

  // The setting pointers (borrowed), in table order.
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  Storage* member = &own_.member;
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING

  // Set by the solver when an interval ends at a communication point (or, with CommIntOnEvent, at
  // an event); cleared by SetDefaultValues and at the start of every interval. Held directly.
  bool communicationPointReached = false;

 private:
  // The record's own storage, where a fresh record's pointers lead, holding the defaults.
  struct OwnStorage {
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  Storage member = static_cast<Storage>(defaultValue);
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING
  };
  OwnStorage own_;
};

}  // namespace tarn

#endif  // TARN_SOLVER_INTEGRATOR_SETTINGS_H
