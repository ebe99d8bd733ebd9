#include "support/shapes_model.h"

#include "tarn/tarnsim.h"

namespace tarn::test {

ShapesModel::Block ShapesModel::block;
uint32_t ShapesModel::lastSection = 0;
uint32_t ShapesModel::sectionCalls = 0;

namespace {

using M = ShapesModel;

const SymbolRow* Rows() {
  static const SymbolRow rows[] = {
      {"t", TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT, &M::block.t},
      {"x", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, &M::block.x},
      {"w", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, M::block.w, 3},
      {"z99999", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, &M::block.xRate},
      {"z99998", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, M::block.wRate, 3},
      {"z99997", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, &M::block.xInitial},
      {"z99996", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, M::block.wInitial, 3},
      {"s16", TARN_DATA_SHORT, TARN_SYMBOL_VARIABLE, &M::block.s16},
      {"l32", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, &M::block.l32},
      {"f32", TARN_DATA_FLOAT, TARN_SYMBOL_VARIABLE, &M::block.f32},
      {"d64", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.d64},
      {"flag", TARN_DATA_LOGICAL, TARN_SYMBOL_VARIABLE, &M::block.flag},
      {"name", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, M::block.name, 0, 0, M::kNameLength},
      {"grid", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, M::block.grid, 3, 4},
      {"names", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, M::block.names, 2, 0, M::kNamesLength},
      {"longs", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, M::block.longs, 5},
  };
  static_assert(sizeof rows / sizeof rows[0] == M::kControl - 1);
  return rows;
}

uint32_t Bind(uint32_t instance) {
  return BindModelSymbols(instance, Rows(), M::kControl, &M::block.control);
}

void Derivative(uint32_t /*instance*/, uint32_t section) {
  M::lastSection = section;
  ++M::sectionCalls;
  if (section == TARN_SECTION_DERIVATIVE) {
    M::block.xRate = -M::block.x;
    for (int i = 0; i < 3; ++i) M::block.wRate[i] = M::block.w[i];
  }
}

void RegisterModel(uint32_t userDataSize) {
  M::block = M::Block{};
  M::lastSection = 0;
  M::sectionCalls = 0;
  TarnSimSetSystemInfo(M::kSymbolCount, 2, 0, 0, 9, 1, 0, Bind, nullptr, Derivative, userDataSize);
  RegisterModelSymbols(Rows(), M::kControl,
                       {.relativeError = -1.0, .absoluteError = 0.0, .flag4 = 1});
}

}  // namespace

void ShapesModel::Register() { RegisterModel(kUserDataSize); }
void ShapesModel::RegisterWithoutUserData() { RegisterModel(0); }

}  // namespace tarn::test
