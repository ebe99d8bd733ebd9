#include "support/control_symbols.h"

#include <cstddef>

#include "tarn/tarnsim.h"

namespace tarn::test {
namespace {

struct ControlRow {
  const char* name;
  uint32_t dataType;
  uint32_t symbolType;
  size_t offset;
};

#define TARN_CONTROL_ROW(name, dataType, symbolType) \
  { #name, dataType, symbolType, offsetof(ControlSymbols, name) }

constexpr ControlRow kRows[] = {
    TARN_CONTROL_ROW(cint, TARN_DATA_DOUBLE, TARN_SYMBOL_COMM_INTERVAL),
    TARN_CONTROL_ROW(ialg, TARN_DATA_LONG, TARN_SYMBOL_ALGORITHM),
    TARN_CONTROL_ROW(nstp, TARN_DATA_LONG, TARN_SYMBOL_STEPS_PER_INTERVAL),
    TARN_CONTROL_ROW(maxt, TARN_DATA_DOUBLE, TARN_SYMBOL_MAX_STEP),
    TARN_CONTROL_ROW(mint, TARN_DATA_DOUBLE, TARN_SYMBOL_MIN_STEP),
    TARN_CONTROL_ROW(zzierr, TARN_DATA_LOGICAL, TARN_SYMBOL_ERROR_FLAG),
    TARN_CONTROL_ROW(zzstopflag, TARN_DATA_LOGICAL, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzrnfl, TARN_DATA_LOGICAL, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zznist, TARN_DATA_LONG, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zznblk, TARN_DATA_LONG, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzfrfl, TARN_DATA_LOGICAL, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzjefl, TARN_DATA_LOGICAL, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzndst, TARN_DATA_LONG, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzicon, TARN_DATA_LONG, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzicfl, TARN_DATA_LOGICAL, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zznavr, TARN_DATA_LONG, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzinstidx, TARN_DATA_LONG, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(zzstepstop, TARN_DATA_LOGICAL, TARN_SYMBOL_RUNTIME_FLAG),
    TARN_CONTROL_ROW(nciout, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(cioitg, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(cjvitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(cssitg, TARN_DATA_DOUBLE, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(dpsitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(ecsitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(fdeitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(mxoitg, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(nrwitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(nxeitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(tjnitg, TARN_DATA_DOUBLE, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(tsmitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(weditg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(wesitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(wnditg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(wxditg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(cieitg, TARN_DATA_LOGICAL, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(ubwitg, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(lbwitg, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(omfitg, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(cmd, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(dis, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(ndbug, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(plt, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(prn, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(malprn, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(rrr, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(save, TARN_DATA_LONG, TARN_SYMBOL_INTEGRATION_CONTROL),
    TARN_CONTROL_ROW(zzticg, TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT_INITIAL),
};

#undef TARN_CONTROL_ROW

static_assert(sizeof kRows / sizeof kRows[0] == 47);

}  // namespace

void RegisterControlSymbols(uint32_t first) {
  uint32_t index = first;
  for (const ControlRow& row : kRows) {
    TarnSimSetVariableDescriptor(index, row.name, row.dataType, row.symbolType, 0, 0, 0, 0, 0, 0,
                                 -1.0, -1.0);
    TarnSimSetVariableExtendedInfo(index, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    ++index;
  }
}

void BindControlSymbols(uint32_t instance, uint32_t first, ControlSymbols* symbols) {
  uint32_t index = first;
  for (void* address : ControlSymbolAddresses(symbols)) {
    TarnSimSetVariablePointer(instance, index++, address);
  }
}

std::array<void*, 47> ControlSymbolAddresses(ControlSymbols* symbols) {
  std::array<void*, 47> addresses{};
  for (size_t i = 0; i < addresses.size(); ++i) {
    addresses[i] = reinterpret_cast<char*>(symbols) + kRows[i].offset;
  }
  return addresses;
}

void RegisterModelSymbols(const SymbolRow* rows, uint32_t control,
                          SymbolRegistration registration) {
  for (uint32_t index = 1; index < control; ++index) {
    const SymbolRow& row = rows[index - 1];
    TarnSimSetVariableDescriptor(index, row.name, row.dataType, row.symbolType, row.extent1,
                                 row.extent2, 0, 0, 0, 0, registration.relativeError,
                                 registration.absoluteError);
    TarnSimSetVariableExtendedInfo(index, 0, 0, 0, registration.flag4, 0, 0, 0, 0, 0, 0, 0, 0,
                                   row.stringLength);
  }
  RegisterControlSymbols(control);
}

uint32_t BindModelSymbols(uint32_t instance, const SymbolRow* rows, uint32_t control,
                          ControlSymbols* symbols) {
  for (uint32_t index = 1; index < control; ++index) {
    TarnSimSetVariablePointer(instance, index, rows[index - 1].storage);
  }
  BindControlSymbols(instance, control, symbols);
  symbols->zzinstidx = static_cast<int32_t>(instance);
  return instance;
}

}  // namespace tarn::test
