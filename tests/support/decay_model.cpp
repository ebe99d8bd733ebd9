#include "support/decay_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "tarn/tarnsim.h"

namespace tarn::test {

DecayModel::Block DecayModel::block;
uint32_t DecayModel::initialSections = 0;
uint32_t DecayModel::passes = 0;

namespace {

using M = DecayModel;

const SymbolRow kRows[] = {
    {"t", TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT, &M::block.t},
    {"y", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, &M::block.y},
    {"z99999", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, &M::block.yRate},
    {"z99998", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, &M::block.yInitial},
    {"rate", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.rate},
    {"tstop", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.tstop},
    {"divideByZero", TARN_DATA_LOGICAL, TARN_SYMBOL_VARIABLE, &M::block.divideByZero},
    {"overflowAt", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.overflowAt},
    {"underflowAt", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.underflowAt},
    {"zzlinenum", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, &M::block.line},
    {"zzfilename", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, M::block.file, 0, 0, M::kTextLength},
    {"zzblockname", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, M::block.block, 0, 0, M::kTextLength},
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
  std::array<SymbolRow, M::kControl - 1> rows;
  std::copy(std::begin(kRows), std::end(kRows), rows.begin());
  if (!withDebugSymbols) {
    for (uint32_t index = M::kLine; index < M::kControl; ++index) {
      rows[index - 1].name = kPlainNames[index - M::kLine];
    }
  }
  RegisterModelSymbols(rows.data(), M::kControl);
}

}  // namespace

void DecayModel::Register() { RegisterModel(/*withDebugSymbols=*/false); }
void DecayModel::RegisterWithDebugSymbols() { RegisterModel(/*withDebugSymbols=*/true); }

}  // namespace tarn::test
