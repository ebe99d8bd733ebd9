#include "support/shapes_model.h"

#include "tarn/tarnsim.h"

namespace tarn::test {

ShapesModel::Block ShapesModel::block;
uint32_t ShapesModel::lastSection = 0;
uint32_t ShapesModel::sectionCalls = 0;

namespace {

using M = ShapesModel;

struct Row {
  const char* name;
  uint32_t dataType;
  uint32_t symbolType;
  uint32_t extent1;
  uint32_t extent2;
  uint32_t stringLength;
  void* storage;
};

const Row* Rows() {
  static Row rows[] = {
      {"t", TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT, 0, 0, 0, &M::block.t},
      {"x", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, 0, 0, 0, &M::block.x},
      {"w", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, 3, 0, 0, M::block.w},
      {"z99999", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, 0, 0, 0, &M::block.xRate},
      {"z99998", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, 3, 0, 0, M::block.wRate},
      {"z99997", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, 0, 0, 0, &M::block.xInitial},
      {"z99996", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, 3, 0, 0, M::block.wInitial},
      {"s16", TARN_DATA_SHORT, TARN_SYMBOL_VARIABLE, 0, 0, 0, &M::block.s16},
      {"l32", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, 0, 0, 0, &M::block.l32},
      {"f32", TARN_DATA_FLOAT, TARN_SYMBOL_VARIABLE, 0, 0, 0, &M::block.f32},
      {"d64", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, 0, 0, 0, &M::block.d64},
      {"flag", TARN_DATA_LOGICAL, TARN_SYMBOL_VARIABLE, 0, 0, 0, &M::block.flag},
      {"name", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, 0, 0, M::kNameLength, M::block.name},
      {"grid", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, 3, 4, 0, M::block.grid},
      {"names", TARN_DATA_STRING, TARN_SYMBOL_VARIABLE, 2, 0, M::kNamesLength, M::block.names},
      {"longs", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, 5, 0, 0, M::block.longs},
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
  const Row* rows = Rows();
  for (uint32_t index = 1; index < M::kControl; ++index) {
    const Row& row = rows[index - 1];
    TarnSimSetVariableDescriptor(index, row.name, row.dataType, row.symbolType, row.extent1,
                                 row.extent2, 0, 0, 0, 0, -1.0, 0.0);
    TarnSimSetVariableExtendedInfo(index, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, row.stringLength);
  }
  RegisterControlSymbols(M::kControl);
}

}  // namespace

void ShapesModel::Register() { RegisterModel(kUserDataSize); }
void ShapesModel::RegisterWithoutUserData() { RegisterModel(0); }

}  // namespace tarn::test
