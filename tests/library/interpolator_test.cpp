// Table lookup in one to three arguments: reference values, exactness for functions linear in
// each argument, linear extension beyond the breakpoints, and the bracket search.
#include "library/interpolator.h"

#include <gtest/gtest.h>

#include <vector>

#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

double Lookup(const std::vector<double>& table, double x) {
  return zztable(table.data(), 1, static_cast<int32_t>(table.size() / 2), 0, 0, x, 0, 0);
}

TEST(OneArgumentTable, ReferenceValuesInsideAndBeyondTheBreakpoints) {
  const std::vector<double> line = {1, 3, 0, 10};
  EXPECT_EQ(Lookup(line, 5), 2.0);
  EXPECT_EQ(Lookup(line, 10), 3.0);
  EXPECT_EQ(Lookup(line, 20), 5.0);
  EXPECT_EQ(Lookup(line, -10), -1.0);

  // Breakpoints 0, 1, 3, 6 with values 5, 7, 4, 10: every segment, exact on the breakpoints.
  const std::vector<double> bent = {5, 7, 4, 10, 0, 1, 3, 6};
  const double xs[] = {-1, 0, 0.5, 1, 2, 3, 4.5, 6, 8};
  const double expected[] = {3, 5, 6, 7, 5.5, 4, 7, 10, 14};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(Lookup(bent, xs[i]), expected[i]) << xs[i];

  // The model's vft table extends its last segment below zero.
  const std::vector<double> vft = {0.0836, 0.0836, 0, -700, 0, 4380};
  EXPECT_EQ(Lookup(vft, -700), 0.0836);
  EXPECT_EQ(Lookup(vft, 4380), 0.0);
  EXPECT_DOUBLE_EQ(Lookup(vft, 8760), -0.0836);
}

TEST(TableShape, UnsupportedShapesGiveZero) {
  const std::vector<double> table = {1, 3, 0, 10};
  EXPECT_EQ(zztable(table.data(), 0, 2, 0, 0, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 4, 2, 2, 2, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 1, 1, 0, 0, 5, 0, 0), 0.0);
  EXPECT_EQ(zztable(table.data(), 2, 2, 1, 0, 5, 0, 0), 0.0);
}

// f = 1 + 2x + 3y + 5z + 7xy + 11xz + 13yz + 17xyz is linear in each argument, so trilinear
// interpolation (bilinear in the plane z = 0) reproduces it in every cell and beyond the grid.
double Multilinear(double x, double y, double z) {
  return 1 + 2 * x + 3 * y + 5 * z + 7 * x * y + 11 * x * z + 13 * y * z + 17 * x * y * z;
}

std::vector<double> Grid(const std::vector<double>& bx, const std::vector<double>& by,
                         const std::vector<double>& bz) {
  std::vector<double> table;
  for (double z : bz.empty() ? std::vector<double>{0} : bz) {
    for (double y : by) {
      for (double x : bx) table.push_back(Multilinear(x, y, z));
    }
  }
  for (const auto* b : {&bx, &by, &bz}) table.insert(table.end(), b->begin(), b->end());
  return table;
}

TEST(MultiArgumentTable, ExactForFunctionsLinearInEachArgument) {
  const std::vector<double> bx = {0, 0.5, 2};
  const std::vector<double> by = {-1, 0, 1, 4};
  const std::vector<double> bz = {-1, 0, 2};
  const std::vector<double> plane = Grid(bx, by, {});
  const std::vector<double> cube = Grid(bx, by, bz);
  const double points[][3] = {{0.25, 0.5, 1}, {1, 2.5, -0.5}, {0.5, 0, 0}, {2, 4, 2},
                              {3, 5, 3},      {-1, -2, -2},   {1.5, -3, 1}};
  for (const auto& p : points) {
    EXPECT_NEAR(zztable(plane.data(), 2, 3, 4, 0, p[0], p[1], 0), Multilinear(p[0], p[1], 0), 1e-9);
    EXPECT_NEAR(zztable(cube.data(), 3, 3, 4, 3, p[0], p[1], p[2]), Multilinear(p[0], p[1], p[2]),
                1e-9);
  }
}

TEST(BracketSearch, FindElementStartsFromTheClampedHint) {
  const std::vector<double> breakpoints = {0, 1, 3, 6, 10};
  Interpolator interpolator;
  interpolator.Initialize(breakpoints.data(), 1, 5, 0, 0);
  const int32_t hints[] = {4, -3, 99, 2, 3};
  const double xs[] = {2, 7, 100, 1, -5};
  const int32_t found[] = {2, 4, 4, 1, 1};
  for (int i = 0; i < 5; ++i) {
    int32_t hint = hints[i];
    EXPECT_EQ(interpolator.FindElement(1, 4, hint, xs[i]), 1);
    EXPECT_EQ(hint, found[i]) << "x " << xs[i] << " from " << hints[i];
  }
}

}  // namespace
}  // namespace tarn
