// Table lookup: piecewise-linear interpolation and linear extension in one to three arguments.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "library/interpolator.h"
#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

double Lookup1(const std::vector<double>& table, double x) {
  return zztable(table.data(), 1, static_cast<int32_t>(table.size() / 2), 0, 0, x, 0, 0);
}

TEST(OneArgumentTable, InterpolatesAndExtendsBothEndSegments) {
  const std::vector<double> table = {1, 3, 0, 10};
  EXPECT_EQ(Lookup1(table, 5), 2.0);
  EXPECT_EQ(Lookup1(table, 0), 1.0);
  EXPECT_EQ(Lookup1(table, 10), 3.0);
  EXPECT_EQ(Lookup1(table, 20), 5.0);
  EXPECT_EQ(Lookup1(table, -10), -1.0);
}

TEST(OneArgumentTable, FindsTheSegmentOfEveryArgument) {
  // Breakpoints 0, 1, 3, 6 with values 5, 7, 4, 10.
  const std::vector<double> table = {5, 7, 4, 10, 0, 1, 3, 6};
  EXPECT_EQ(Lookup1(table, 0), 5.0);
  EXPECT_EQ(Lookup1(table, 1), 7.0);
  EXPECT_EQ(Lookup1(table, 3), 4.0);
  EXPECT_EQ(Lookup1(table, 6), 10.0);
  EXPECT_EQ(Lookup1(table, 0.5), 6.0);
  EXPECT_EQ(Lookup1(table, 2), 5.5);
  EXPECT_EQ(Lookup1(table, 4.5), 7.0);
  EXPECT_EQ(Lookup1(table, -1), 3.0);  // first segment, slope 2
  EXPECT_EQ(Lookup1(table, 8), 14.0);  // last segment, slope 2
}

TEST(OneArgumentTable, ModelTablesAtTheirEnds) {
  // vft: breakpoints -700, 0, 4380; values 0.0836, 0.0836, 0.
  const std::vector<double> vft = {0.0836, 0.0836, 0, -700, 0, 4380};
  EXPECT_EQ(Lookup1(vft, -700), 0.0836);
  EXPECT_EQ(Lookup1(vft, 0), 0.0836);
  EXPECT_EQ(Lookup1(vft, 4380), 0.0);
  EXPECT_DOUBLE_EQ(Lookup1(vft, 8760), -0.0836);
  EXPECT_DOUBLE_EQ(Lookup1(vft, 2190), 0.0418);

  // milkingest, nine breakpoints.
  const std::vector<double> milk = {0.013, 0.013, 0.04, 0.098, 0.14, 0.155, 0.154, 0.148, 0.13,
                                    0,     24,    48,   72,    96,   120,   720,   1440,  2160};
  EXPECT_EQ(Lookup1(milk, 96), 0.14);
  EXPECT_DOUBLE_EQ(Lookup1(milk, 60), (0.04 + 0.098) / 2);
  EXPECT_DOUBLE_EQ(Lookup1(milk, 1800), (0.148 + 0.13) / 2);
}

TEST(TableShape, UnsupportedShapesGiveZero) {
  const std::vector<double> table = {1, 3, 0, 10};
  EXPECT_EQ(zztable(table.data(), 0, 2, 0, 0, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 4, 2, 2, 2, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 1, 1, 0, 0, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 2, 2, 1, 0, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 3, 2, 2, 0, 5, 0, 0), 0.0);
}

// Bilinear and trilinear interpolation reproduce a function that is linear in each argument
// exactly, in every cell and beyond the grid.
double Bilinear(double x, double y) { return 1 + 2 * x + 3 * y + 4 * x * y; }
double Trilinear(double x, double y, double z) {
  return 1 + 2 * x + 3 * y + 5 * z + 7 * x * y + 11 * x * z + 13 * y * z + 17 * x * y * z;
}

TEST(TwoArgumentTable, ExactForBilinearFunctionsInsideAndOutside) {
  const std::array<double, 3> bx = {0, 0.5, 2};
  const std::array<double, 4> by = {-1, 0, 1, 4};
  std::vector<double> table;
  for (double y : by) {
    for (double x : bx) table.push_back(Bilinear(x, y));
  }
  table.insert(table.end(), bx.begin(), bx.end());
  table.insert(table.end(), by.begin(), by.end());

  const std::array<std::array<double, 2>, 7> points = {
      {{0.25, 0.5}, {1, 2.5}, {0.5, 0}, {2, 4}, {3, 5}, {-1, -2}, {1.5, -3}}};
  for (const auto& [x, y] : points) {
    EXPECT_NEAR(zztable(table.data(), 2, 3, 4, 0, x, y, 0), Bilinear(x, y), 1e-12)
        << "at " << x << ", " << y;
  }
}

TEST(TwoArgumentTable, FourCornersGiveTheBilinearInterpolant) {
  // Corners (0,0)=1, (1,0)=2, (0,1)=3, (1,1)=8 span 1 + x + 2y + 4xy.
  const std::vector<double> table = {1, 2, 3, 8, 0, 1, 0, 1};
  EXPECT_EQ(zztable(table.data(), 2, 2, 2, 0, 0.5, 0.5, 0), 3.5);
  EXPECT_EQ(zztable(table.data(), 2, 2, 2, 0, 1, 1, 0), 8.0);
  EXPECT_EQ(zztable(table.data(), 2, 2, 2, 0, 0, 1, 0), 3.0);
  EXPECT_EQ(zztable(table.data(), 2, 2, 2, 0, 2, 2, 0), 23.0);
  EXPECT_EQ(zztable(table.data(), 2, 2, 2, 0, -1, 0, 0), 0.0);
}

TEST(ThreeArgumentTable, ExactForTrilinearFunctionsInsideAndOutside) {
  const std::array<double, 2> bx = {0, 1};
  const std::array<double, 3> by = {0, 2, 3};
  const std::array<double, 4> bz = {-1, 0, 0.5, 2};
  std::vector<double> table;
  for (double z : bz) {
    for (double y : by) {
      for (double x : bx) table.push_back(Trilinear(x, y, z));
    }
  }
  table.insert(table.end(), bx.begin(), bx.end());
  table.insert(table.end(), by.begin(), by.end());
  table.insert(table.end(), bz.begin(), bz.end());

  const std::array<std::array<double, 3>, 6> points = {
      {{0.5, 1, 0.25}, {0.2, 2.5, 1}, {1, 3, 2}, {2, 4, 3}, {-1, -1, -2}, {0.75, 0.5, -0.5}}};
  for (const auto& [x, y, z] : points) {
    EXPECT_NEAR(zztable(table.data(), 3, 2, 3, 4, x, y, z), Trilinear(x, y, z), 1e-9)
        << "at " << x << ", " << y << ", " << z;
  }
}

TEST(BracketSearch, FindElementStartsFromTheClampedHint) {
  const std::vector<double> breakpoints = {0, 1, 3, 6, 10};
  Interpolator interpolator;
  interpolator.Initialize(breakpoints.data(), 1, 5, 0, 0);

  int32_t hint = 4;
  EXPECT_EQ(interpolator.FindElement(1, 4, hint, 2), 1);
  EXPECT_EQ(hint, 2);  // walked down from 4
  hint = -3;
  interpolator.FindElement(1, 4, hint, 7);
  EXPECT_EQ(hint, 4);  // raised to 1, walked up
  hint = 99;
  interpolator.FindElement(1, 4, hint, 100);
  EXPECT_EQ(hint, 4);  // beyond the last breakpoint: the last segment
  hint = 2;
  interpolator.FindElement(1, 4, hint, 1);
  EXPECT_EQ(hint, 1);  // on a breakpoint: the segment below it
  hint = 3;
  interpolator.FindElement(1, 4, hint, -5);
  EXPECT_EQ(hint, 1);
}

}  // namespace
}  // namespace tarn
