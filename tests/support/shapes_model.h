// A model with a symbol of every data type and a few array shapes, for the symbol interface tests.
// Layout: t; states x and w[3]; their derivatives and initial conditions; nine variables; the
// control block.
#ifndef TARN_TESTS_SUPPORT_SHAPES_MODEL_H
#define TARN_TESTS_SUPPORT_SHAPES_MODEL_H

#include <cstdint>

#include "support/control_symbols.h"

namespace tarn::test {

struct ShapesModel {
  enum Index : uint32_t {
    kT = 1,
    kX,
    kW,
    kXRate,
    kWRate,
    kXInitial,
    kWInitial,
    kShort,
    kLong,
    kFloat,
    kDouble,
    kFlag,
    kName,
    kGrid,
    kNames,
    kLongs,
    kControl,  // cint
    kSymbolCount = kControl + 46,
  };
  static constexpr uint32_t kNameLength = 16;
  static constexpr uint32_t kNamesLength = 8;
  static constexpr uint32_t kUserDataSize = 24;

  struct Block {
    double t = 0;
    double x = 1;
    double w[3] = {1, 2, 3};
    double xRate = 0;
    double wRate[3] = {};
    double xInitial = 1;
    double wInitial[3] = {1, 2, 3};
    int16_t s16 = -7;
    int32_t l32 = 123456;
    float f32 = 2.5f;
    double d64 = 3.25;
    uint8_t flag = 1;
    char name[kNameLength] = "tarn";
    double grid[3 * 4] = {};  // 3 x 4, first index fastest
    char names[2][kNamesLength] = {"one", "two"};
    int32_t longs[5] = {1, 2, 3, 4, 5};
    ControlSymbols control;
  };

  // The data block every instance is bound to, reset to its defaults by Register.
  static Block block;
  // Registration entry; selects a user data block of kUserDataSize bytes.
  static void Register();
  // Registration entry of the same model without a user data block.
  static void RegisterWithoutUserData();
  // The section code of the latest derivative call, and the number of calls since registration.
  static uint32_t lastSection;
  static uint32_t sectionCalls;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_SUPPORT_SHAPES_MODEL_H
