// Symbol discovery and value access through the host interface.
#include <cmath>
#include <cstring>

#include "api/shapes_fixture.h"

namespace tarn::test {
namespace {

using M = ShapesModel;
using SymbolAccess = ShapesFixture;

TEST_F(SymbolAccess, LooksUpNamesWithoutRegardToCase) {
  EXPECT_EQ(TarnGetNumberSymbols(), uint32_t{M::kSymbolCount});
  EXPECT_EQ(TarnGetSymbolIndex("cint"), uint32_t{M::kControl});
  EXPECT_EQ(TarnGetSymbolIndex("CINT"), uint32_t{M::kControl});
  EXPECT_EQ(TarnGetSymbolIndex("Grid"), uint32_t{M::kGrid});
  EXPECT_EQ(TarnGetSymbolIndex("nosuchsymbol"), 0u);
  EXPECT_EQ(TarnGetSymbolIndex(nullptr), 0u);
  EXPECT_EQ(TarnGetSymbolIndex(""), 0u);
}

TEST_F(SymbolAccess, BadIndexesGiveSentinels) {
  for (uint32_t bad : {0u, uint32_t{M::kSymbolCount} + 1, 0xffffffffu}) {
    EXPECT_EQ(TarnGetSymbolDatatype(bad), TARN_DATA_INVALID);
    EXPECT_EQ(TarnGetSymbolType(bad), TARN_SYMBOL_INVALID);
    EXPECT_EQ(TarnGetSymbolName(bad), nullptr);
    EXPECT_EQ(TarnGetRelativeError(instance_, bad), -1.0);
    EXPECT_EQ(TarnGetAbsoluteError(instance_, bad), -1.0);
    TarnSymbolInfo info;
    EXPECT_FALSE(TarnGetSymbolInfo(bad, &info));
    uint32_t extents[6] = {9, 9, 9, 9, 9, 9};
    TarnGetSymbolDimensions(bad, 0, extents);
    EXPECT_EQ(extents[0], 9u);
    EXPECT_EQ(TarnGetDouble(instance_, bad), 0.0);
    TarnDataType type;
    TarnSymbolValue value;
    EXPECT_FALSE(TarnGetSymbolValue(instance_, bad, &type, &value, extents));
  }
  EXPECT_FALSE(TarnGetSymbolInfo(M::kT, nullptr));
}

// A model that records nothing about what its symbols mean gives empty texts and no bounds.
TEST_F(SymbolAccess, MeaningOfAModelThatRecordsNone) {
  EXPECT_STREQ(TarnGetSymbolDescription(M::kDouble), "");
  EXPECT_STREQ(TarnGetSymbolUnit(M::kDouble), "");
  EXPECT_STREQ(TarnGetSymbolGroup(M::kDouble), "");
  double minimum = 0;
  double maximum = 0;
  EXPECT_EQ(TarnGetSymbolBounds(M::kDouble, &minimum, &maximum), 0u);
  EXPECT_EQ(minimum, -HUGE_VAL);
  EXPECT_EQ(maximum, HUGE_VAL);
  EXPECT_TRUE(TarnIsWithinSymbolBounds(M::kDouble, -1e300));
  EXPECT_FALSE(TarnIsSymbolOutput(M::kDouble));
  EXPECT_FALSE(TarnGetValidityRange(&minimum, &maximum));
  EXPECT_EQ(minimum, -HUGE_VAL);
}

TEST_F(SymbolAccess, MissingInstanceReadsNothingAndWritesNothing) {
  EXPECT_EQ(TarnGetDouble(2, M::kDouble), 0.0);
  EXPECT_EQ(TarnGetDouble(0, M::kDouble), 0.0);
  EXPECT_EQ(TarnGetDouble(1000, M::kDouble), 0.0);
  TarnSetDouble(2, M::kDouble, 8.0);
  EXPECT_EQ(block().d64, 3.25);
}

TEST_F(SymbolAccess, InfoDescribesTheSymbol) {
  TarnSymbolInfo info;
  ASSERT_TRUE(TarnGetSymbolInfo(M::kT, &info));
  EXPECT_EQ(info.symbolType, uint32_t{TARN_SYMBOL_INDEPENDENT});
  EXPECT_EQ(info.dataType, uint32_t{TARN_DATA_DOUBLE});
  EXPECT_STREQ(info.name, "t");
  EXPECT_EQ(info.numberDimensions, 0u);
  EXPECT_EQ(info.derivativeIndex, 1u + 2);  // S = 2 state symbols
  EXPECT_EQ(info.initialConditionIndex, 1u + 4);
  EXPECT_EQ(info.attributes[3], 1);

  ASSERT_TRUE(TarnGetSymbolInfo(M::kGrid, &info));
  EXPECT_EQ(info.numberDimensions, 2u);
  EXPECT_EQ(info.extents[0], 3u);
  EXPECT_EQ(info.extents[1], 4u);
  ASSERT_TRUE(TarnGetSymbolInfo(M::kNames, &info));
  EXPECT_EQ(info.stringLength, uint32_t{M::kNamesLength});
}

TEST_F(SymbolAccess, ToleranceDefaultsAndRegisteredValues) {
  // The shapes model registers -1 and 0, which both become the default.
  EXPECT_EQ(TarnGetRelativeError(instance_, M::kX), 0.0001);
  EXPECT_EQ(TarnGetAbsoluteError(instance_, M::kX), 0.0001);
  TarnSetRelativeError(instance_, M::kX, 1e-6);
  EXPECT_EQ(TarnGetRelativeError(instance_, M::kX), 1e-6);
  TarnSetAbsoluteError(instance_, M::kW, 1e-8);
  EXPECT_EQ(TarnGetAbsoluteError(instance_, M::kW), 1e-8);
  TarnSetAbsoluteError(99, M::kW, 1.0);  // no such instance
  EXPECT_EQ(TarnGetAbsoluteError(instance_, M::kW), 1e-8);
}

TEST(ArrayHelpers, IndexSetsFollowTheExtents) {
  const uint32_t table[6] = {6, 0, 0, 0, 0, 0};
  for (uint32_t i = 1; i <= 6; ++i) {
    const uint32_t set[6] = {i};
    EXPECT_TRUE(IsValidIndexSet(set, table)) << i;
  }
  const uint32_t zero[6] = {0}, seven[6] = {7}, extra[6] = {1, 1};
  EXPECT_FALSE(IsValidIndexSet(zero, table));
  EXPECT_FALSE(IsValidIndexSet(seven, table));
  EXPECT_FALSE(IsValidIndexSet(extra, table));
  EXPECT_FALSE(IsValidIndexSet(nullptr, table));

  const uint32_t scalar[6] = {};
  EXPECT_TRUE(IsValidIndexSet(zero, scalar));
  EXPECT_EQ(GetNumberDimensions(scalar), 0u);
}

TEST(ArrayHelpers, FlatOffsetIsColumnOrder) {
  const uint32_t grid[6] = {3, 4};
  const uint32_t a[6] = {1, 1}, b[6] = {2, 1}, c[6] = {1, 2}, d[6] = {3, 4};
  EXPECT_EQ(GetFlatArrayOffset(a, grid), 0u);
  EXPECT_EQ(GetFlatArrayOffset(b, grid), 1u);
  EXPECT_EQ(GetFlatArrayOffset(c, grid), 3u);
  EXPECT_EQ(GetFlatArrayOffset(d, grid), 11u);
  EXPECT_EQ(GetNumberDimensions(grid), 2u);
  const uint32_t six[6] = {2, 2, 2, 2, 2, 2};
  EXPECT_EQ(GetNumberDimensions(six), 6u);
  const uint32_t last[6] = {2, 2, 2, 2, 2, 2};
  EXPECT_EQ(GetFlatArrayOffset(last, six), 63u);
}

TEST_F(SymbolAccess, GenericReadOfScalarsAndArrays) {
  TarnDataType type;
  TarnSymbolValue value;
  uint32_t extents[6];
  ASSERT_TRUE(TarnGetSymbolValue(instance_, M::kShort, &type, &value, extents));
  EXPECT_EQ(type, TARN_DATA_SHORT);
  EXPECT_EQ(value.shortValue, -7);
  ASSERT_TRUE(TarnGetSymbolValue(instance_, M::kFloat, &type, &value, extents));
  EXPECT_EQ(value.floatValue, 2.5f);
  ASSERT_TRUE(TarnGetSymbolValue(instance_, M::kFlag, &type, &value, extents));
  EXPECT_EQ(value.logicalValue, 1);

  ASSERT_TRUE(TarnGetSymbolValue(instance_, M::kGrid, &type, &value, extents));
  EXPECT_EQ(type, TARN_DATA_DOUBLE);
  EXPECT_EQ(value.address, static_cast<void*>(block().grid));
  EXPECT_EQ(extents[0], 3u);
  EXPECT_EQ(extents[1], 4u);
  EXPECT_EQ(extents[2], 0u);

  ASSERT_TRUE(TarnGetSymbolValue(instance_, M::kName, &type, &value, extents));
  EXPECT_STREQ(static_cast<const char*>(value.address), "tarn");
}

TEST_F(SymbolAccess, GenericWriteOfScalarsStringsAndArrays) {
  const uint32_t scalar[6] = {};
  TarnSymbolValue value;
  value.longValue = 42;
  TarnSetSymbolValue(instance_, M::kLong, TARN_DATA_LONG, value, scalar);
  EXPECT_EQ(block().l32, 42);

  char text[] = "model";
  value.address = text;
  TarnSetSymbolValue(instance_, M::kName, TARN_DATA_STRING, value, scalar);
  EXPECT_STREQ(block().name, "model");

  double replacement[12];
  for (int i = 0; i < 12; ++i) replacement[i] = i * 0.5;
  const uint32_t grid[6] = {3, 4};
  value.address = replacement;
  TarnSetSymbolValue(instance_, M::kGrid, TARN_DATA_DOUBLE, value, grid);
  EXPECT_EQ(block().grid[11], 5.5);
}

TEST_F(SymbolAccess, GenericWriteWithAnotherTypeOrShapeWritesNothing) {
  const uint32_t scalar[6] = {};
  TarnSymbolValue value;
  value.doubleValue = 1e300;
  TarnSetSymbolValue(instance_, M::kShort, TARN_DATA_DOUBLE, value, scalar);
  EXPECT_EQ(block().s16, -7);
  EXPECT_EQ(block().l32, 123456);  // the neighbour is untouched

  // A larger shape than the symbol's own must not copy past its storage.
  double big[100] = {};
  const uint32_t tooBig[6] = {10, 10};
  value.address = big;
  TarnSetSymbolValue(instance_, M::kGrid, TARN_DATA_DOUBLE, value, tooBig);
  EXPECT_EQ(block().names[0][0], 'o');
  TarnSetSymbolValue(instance_, M::kGrid, TARN_DATA_DOUBLE, value, nullptr);

  TarnSymbolValue element;
  element.doubleValue = 9.0;
  const uint32_t first[6] = {1};
  TarnSetSymbolValueIndexed(instance_, M::kLongs, TARN_DATA_DOUBLE, &element, first);
  EXPECT_EQ(block().longs[0], 1);
  EXPECT_EQ(block().longs[1], 2);

  // A code that names no data type is refused like any other mismatch (a C host may pass any
  // 32-bit code; clang's undefined-behaviour sanitizer checks that it is a value of the type).
  for (uint32_t code : {7u, 9u, 0x7FFFFFFFu}) {
    TarnSetSymbolValueIndexed(instance_, M::kLongs, static_cast<TarnDataType>(code), &element,
                              first);
    TarnSetSymbolValue(instance_, M::kDouble, static_cast<TarnDataType>(code), element, scalar);
  }
  EXPECT_EQ(block().longs[0], 1);
  EXPECT_EQ(block().d64, 3.25);
}

TEST_F(SymbolAccess, StringsAreCutToTheirStorage) {
  TarnSetString(instance_, M::kName, "a text much longer than sixteen bytes");
  EXPECT_EQ(std::strlen(block().name), M::kNameLength - 1);
  EXPECT_EQ(std::string(block().name), "a text much lon");
  EXPECT_EQ(block().grid[0], 0.0);  // the next symbol is untouched

  TarnSetString2(instance_, M::kNames, "overlong", 2, 1);  // a two-index call on a 1-D array
  EXPECT_STREQ(block().names[1], "two");
  TarnSetString1(instance_, M::kNames, "overlongtext", 1);
  EXPECT_STREQ(block().names[0], "overlon");
  EXPECT_STREQ(block().names[1], "two");
  EXPECT_STREQ(TarnGetString1(instance_, M::kNames, 2), "two");
  EXPECT_STREQ(TarnGetString(instance_, M::kName), "a text much lon");
}

TEST_F(SymbolAccess, TypedScalarAccessChecksTheExactType) {
  EXPECT_EQ(TarnGetShort(instance_, M::kShort), -7);
  EXPECT_EQ(TarnGetLong(instance_, M::kLong), 123456);
  EXPECT_EQ(TarnGetFloat(instance_, M::kFloat), 2.5f);
  EXPECT_EQ(TarnGetDouble(instance_, M::kDouble), 3.25);
  EXPECT_EQ(TarnGetBool(instance_, M::kFlag), 1);
  EXPECT_EQ(TarnGetDouble(instance_, M::kLong), 0.0);
  EXPECT_EQ(TarnGetLong(instance_, M::kDouble), 0);
  EXPECT_EQ(TarnGetString(instance_, M::kDouble), nullptr);

  TarnSetLong(instance_, M::kDouble, 5);
  EXPECT_EQ(block().d64, 3.25);
  TarnSetDouble(instance_, M::kDouble, -1.5);
  EXPECT_EQ(block().d64, -1.5);
  TarnSetShort(instance_, M::kShort, 300);
  EXPECT_EQ(block().s16, 300);
  TarnSetBool(instance_, M::kFlag, 0);
  EXPECT_EQ(block().flag, 0);
  TarnSetFloat(instance_, M::kFloat, 0.75f);
  EXPECT_EQ(block().f32, 0.75f);
  // The first element of an array.
  EXPECT_EQ(TarnGetLong(instance_, M::kLongs), 1);
  TarnSetLong(instance_, M::kLongs, 10);
  EXPECT_EQ(block().longs[0], 10);
}

TEST_F(SymbolAccess, ManyDoublesMoveAsTheSingleValueFunctionsDo) {
  block().grid[0] = 7.5;
  // A bad index and a long symbol read as 0.0 and are not counted; an array gives its first
  // element.
  const uint32_t indexes[] = {M::kDouble, 0, M::kLong, M::kGrid, M::kSymbolCount + 1u, M::kDouble};
  double values[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(TarnGetDoubles(instance_, 6, indexes, values), 3u);
  const double expected[] = {3.25, 0.0, 0.0, 7.5, 0.0, 3.25};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(values[k], expected[k]) << "value " << k;

  const double written[] = {-1.0, 2.0, 3.0, 4.0, 5.0, -6.0};
  EXPECT_EQ(TarnSetDoubles(instance_, 6, indexes, written), 3u);
  EXPECT_EQ(block().d64, -6.0);  // written twice, in order
  EXPECT_EQ(block().longs[0], 1);
  EXPECT_EQ(block().grid[0], 4.0);

  // A missing instance or array moves nothing.
  values[0] = 9;
  EXPECT_EQ(TarnGetDoubles(instance_ + 1, 1, indexes, values), 0u);
  EXPECT_EQ(TarnGetDoubles(instance_, 1, nullptr, values), 0u);
  EXPECT_EQ(TarnSetDoubles(0, 1, indexes, written), 0u);
  EXPECT_EQ(TarnSetDoubles(instance_, 1, indexes, nullptr), 0u);
  EXPECT_EQ(TarnGetDoubles(instance_, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(values[0], 9.0);
  EXPECT_EQ(block().d64, -6.0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SymbolAccess, TypedIndexedAccessAgreesWithTheIndexSet) {
  for (int i = 0; i < 12; ++i) block().grid[i] = 100 + i;
  const uint32_t set[6] = {2, 3};
  EXPECT_EQ(TarnGetDoubleIndexed(instance_, M::kGrid, set), 100 + 1 + 2 * 3);
  EXPECT_EQ(TarnGetDouble2(instance_, M::kGrid, 2, 3), 100 + 1 + 2 * 3);
  TarnSetDouble2(instance_, M::kGrid, -4.0, 3, 4);
  EXPECT_EQ(block().grid[11], -4.0);

  const uint32_t scalar[6] = {};
  EXPECT_EQ(TarnGetDoubleIndexed(instance_, M::kDouble, scalar), 3.25);
  EXPECT_EQ(TarnGetLong1(instance_, M::kLongs, 5), 5);
  TarnSetLong1(instance_, M::kLongs, 50, 5);
  EXPECT_EQ(block().longs[4], 50);
  // The getter of another type reads nothing rather than a reinterpretation.
  EXPECT_EQ(TarnGetShort1(instance_, M::kLongs, 5), 0);
  EXPECT_EQ(TarnGetDouble1(instance_, M::kLongs, 5), 0.0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SymbolAccess, InvalidIndexSetsAreReportedAndTouchNothing) {
  const uint32_t before = block().longs[4];
  EXPECT_EQ(TarnGetLong1(instance_, M::kLongs, 6), 0);
  TarnSetLong1(instance_, M::kLongs, 7, 6);
  TarnSetLong1(instance_, M::kLongs, 7, 0);
  TarnSetDouble3(instance_, M::kGrid, 1.0, 1, 1, 1);
  EXPECT_EQ(TarnGetDouble(instance_, M::kDouble), 3.25);
  TarnDataType type = TARN_DATA_INVALID;
  TarnSymbolValue value;
  TarnGetSymbolValueIndexed(instance_, M::kGrid, &type, &value, nullptr);
  EXPECT_EQ(type, TARN_DATA_DOUBLE);
  EXPECT_EQ(uint32_t(block().longs[4]), before);
  ASSERT_EQ(messages_.size(), 5u);
  for (const auto& message : messages_) EXPECT_EQ(message, "Error: Invalid array index.");
}

TEST_F(SymbolAccess, SectionQueries) {
  EXPECT_EQ(TarnGetNumberDerivativeSections(), 1u);
  EXPECT_EQ(TarnGetNumberDiscreteSections(), 0u);
  EXPECT_EQ(TarnGetDerivativeSectionName(1), nullptr);
  EXPECT_EQ(TarnGetSymbolInitialValue(instance_, M::kX), 1u);
  EXPECT_EQ(TarnGetVersion(), 65536u);
}

TEST_F(SymbolAccess, CalcDerivRunsContinuousSectionsOnly) {
  TarnCalcDeriv(instance_, 499);
  EXPECT_EQ(ShapesModel::lastSection, 500u);
  EXPECT_EQ(block().xRate, -1.0);
  TarnCalcDeriv(instance_, 1000);
  EXPECT_EQ(ShapesModel::lastSection, 500u);
  TarnCalcDeriv(instance_, 999);
  EXPECT_EQ(ShapesModel::lastSection, 999u);
  const uint32_t calls = ShapesModel::sectionCalls;
  TarnCalcDeriv(7, 500);  // no such instance
  EXPECT_EQ(ShapesModel::sectionCalls, calls);
}

}  // namespace
}  // namespace tarn::test
