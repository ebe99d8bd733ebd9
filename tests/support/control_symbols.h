// The 47 run-time control symbols every model registers after its other variables, as a struct a
// test model embeds in its data block, with the registration and binding of all of them; and the
// registration and binding of a test model's own symbols from a table of rows.
#ifndef TARN_TESTS_SUPPORT_CONTROL_SYMBOLS_H
#define TARN_TESTS_SUPPORT_CONTROL_SYMBOLS_H

#include <array>
#include <cstdint>

#include "tarn/tarnsim.h"

namespace tarn::test {

// Field order is the control block order. Defaults are the library model's, except the
// algorithm (RK4), the communication interval (0.1) and one step per interval.
struct ControlSymbols {
  double cint = 0.1;
  int32_t ialg = 5;
  int32_t nstp = 1;
  double maxt = 1e9;
  double mint = 1e-9;
  uint8_t zzierr = 0;
  uint8_t zzstopflag = 0;
  uint8_t zzrnfl = 0;
  int32_t zznist = 2;
  int32_t zznblk = 1;
  uint8_t zzfrfl = 0;
  uint8_t zzjefl = 0;
  int32_t zzndst = 0;
  int32_t zzicon = 0;
  uint8_t zzicfl = 0;
  int32_t zznavr = 0;
  int32_t zzinstidx = 0;
  uint8_t zzstepstop = 0;
  int32_t nciout = 1;
  int32_t cioitg = 55555555;
  uint8_t cjvitg = 1;
  double cssitg = 5.5555e+33;
  uint8_t dpsitg = 1;
  uint8_t ecsitg = 0;
  uint8_t fdeitg = 0;
  int32_t mxoitg = 6;
  uint8_t nrwitg = 0;
  uint8_t nxeitg = 0;
  double tjnitg = 0.2;
  uint8_t tsmitg = 0;
  uint8_t weditg = 1;
  uint8_t wesitg = 0;
  uint8_t wnditg = 0;
  uint8_t wxditg = 0;
  uint8_t cieitg = 1;
  int32_t ubwitg = -1;
  int32_t lbwitg = -1;
  int32_t omfitg = 222;
  int32_t cmd = 4;
  int32_t dis = 6;
  int32_t ndbug = 0;
  int32_t plt = 6;
  int32_t prn = 9;
  int32_t malprn = 10;
  int32_t rrr = 8;
  int32_t save = 3;
  double zzticg = 0;
};

// Registers the 47 control symbols at indexes first .. first + 46 (descriptor and extended info).
void RegisterControlSymbols(uint32_t first);

// Binds the 47 control symbols of `instance` to `symbols`.
void BindControlSymbols(uint32_t instance, uint32_t first, ControlSymbols* symbols);

// One symbol of a test model, in the order of its indexes: what its descriptor and extended
// information register, and where the model keeps its value.
struct SymbolRow {
  const char* name;
  uint32_t dataType;
  uint32_t symbolType;
  void* storage;
  uint32_t extent1 = 0;
  uint32_t extent2 = 0;
  uint32_t stringLength = 0;
};

// How RegisterModelSymbols registers every row: its error bounds and its fourth attribute flag.
struct SymbolRegistration {
  double relativeError = -1.0;
  double absoluteError = -1.0;
  uint32_t flag4 = 0;
};

// Registers rows[k - 1] at symbol index k (1 .. control - 1), then the control symbols from
// index `control`.
void RegisterModelSymbols(const SymbolRow* rows, uint32_t control,
                          SymbolRegistration registration = {});

// Binds the symbols of a test model's `instance`: symbol index k (1 .. control - 1) to
// rows[k - 1].storage, then the control symbols from index `control` to `symbols`, whose
// zzinstidx becomes `instance`. Returns `instance`.
uint32_t BindModelSymbols(uint32_t instance, const SymbolRow* rows, uint32_t control,
                          ControlSymbols* symbols);

// The addresses of the 47 fields of `symbols` in control block order, as an instance's address
// table holds them.
std::array<void*, 47> ControlSymbolAddresses(ControlSymbols* symbols);

}  // namespace tarn::test

#endif  // TARN_TESTS_SUPPORT_CONTROL_SYMBOLS_H
