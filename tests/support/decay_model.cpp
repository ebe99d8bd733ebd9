#include "support/decay_model.h"

#include <cmath>
#include <cstring>

#include "tarn/tarnsim.h"

namespace tarn::test {

DecayModel::Block DecayModel::block;
uint32_t DecayModel::initialSections = 0;
uint32_t DecayModel::passes = 0;

namespace {

using M = DecayModel;

struct Row {
  const char* name;
  uint32_t dataType;
  uint32_t symbolType;
  void* storage;
  uint32_t stringLength;
};

const Row kRows[] = {
    {"t", TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT, &M::block.t, 0},
    {"y", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, &M::block.y, 0},
    {"z99999", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, &M::block.yRate, 0},
    {"z99998", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, &M::block.yInitial, 0},
    {"rate", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.rate, 0},
    {"tstop", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.tstop, 0},
    {"divideByZero", TARN_DATA_LOGICAL, TARN_SYMBOL_VARIABLE, &M::block.divideByZero, 0},
    {"overflowAt", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.overflowAt, 0},
    {"underflowAt", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.underflowAt, 0},
    {"zzlinenum", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, &M::block.line, 0},
    {"zzfilename", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, M::block.file, M::kTextLength},
    {"zzblockname", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, M::block.block, M::kTextLength},
};
// Names of the line, file and block symbols of the model registered without debugging information.
const char* const kPlainNames[] = {"linenum", "filename", "blockname"};
static_assert(sizeof kRows / sizeof kRows[0] == M::kControl - 1);

uint32_t Bind(uint32_t instance) {
  return BindModelSymbols(instance, kRows, M::kControl, &M::block.control);
}

void Derivative(uint32_t /*instance*/, uint32_t section) {
  if (section != TARN_SECTION_DERIVATIVE) return;
  M::Block& b = M::block;
  if (b.t < b.control.zzticg) {
    // Undefined before the initial time, like a model of an age.
    volatile double negative = -1;
    b.yRate = std::sqrt(negative);
    return;
  }
  if (b.divideByZero && b.t > 0) {
    volatile double zero = 0;
    b.yRate = 1 / zero;
    return;
  }
  b.yRate = b.rate * b.y;
}

void Simulation(uint32_t instance) {
  M::Block& b = M::block;
  if (b.control.zzicon == 0) {
    zznits(instance, "");
    ++M::initialSections;
    zzrset(instance);
  }
  while (!b.control.zzstopflag && !b.control.zzstepstop) {
    b.line = M::kFirstLine + static_cast<int32_t>(M::passes++ % 3);
    std::strcpy(b.file, M::kFileName);
    std::strcpy(b.block, M::kBlockName);
    if (b.t >= b.overflowAt) {
      volatile double big = 1e300;
      big = big * big;
    }
    if (b.t >= b.underflowAt) {
      volatile double small = 1e-300;
      small = small * small;
    }
    if (b.t >= b.tstop) zztrmt(static_cast<uint32_t>(b.control.zzinstidx), " ");
    TarnSimIntegrate(instance);
  }
}

void RegisterModel(bool withDebugSymbols) {
  M::block = M::Block{};
  M::initialSections = 0;
  M::passes = 0;
  TarnSimSetSystemInfo(M::kSymbolCount, 1, 0, 0, M::kControl - M::kRate, 1, 0, Bind, Simulation,
                       Derivative, 0);
  for (uint32_t index = 1; index < M::kControl; ++index) {
    const Row& row = kRows[index - 1];
    const char* name =
        withDebugSymbols || index < M::kLine ? row.name : kPlainNames[index - M::kLine];
    TarnSimSetVariableDescriptor(index, name, row.dataType, row.symbolType, 0, 0, 0, 0, 0, 0, -1.0,
                                 -1.0);
    TarnSimSetVariableExtendedInfo(index, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, row.stringLength);
  }
  RegisterControlSymbols(M::kControl);
}

}  // namespace

void DecayModel::Register() { RegisterModel(/*withDebugSymbols=*/false); }
void DecayModel::RegisterWithDebugSymbols() { RegisterModel(/*withDebugSymbols=*/true); }

}  // namespace tarn::test
