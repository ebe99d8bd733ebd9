// Piecewise-linear lookup in function tables of one, two or three arguments.
//
// Table array layout for extents nx, ny, nz (each at least 2): first the values, the first
// argument varying fastest (v[i + nx*j + nx*ny*k]); then the nx increasing breakpoints of the
// first argument, the ny of the second and the nz of the third.
#ifndef TARN_LIBRARY_INTERPOLATOR_H
#define TARN_LIBRARY_INTERPOLATOR_H

#include <cstdint>

namespace tarn {

class Interpolator {
 public:
  virtual ~Interpolator() = default;

  // Binds the table array and its shape; no checks.
  void Initialize(const double* table, int32_t dimensions, int32_t nx, int32_t ny, int32_t nz);
  // True for 1 to 3 dimensions with at least two breakpoints along every argument: a shorter
  // extent would make the search read outside the array.
  bool HasValidShape() const;
  int32_t Dimensions() const { return dimensions_; }

  // Store the (bi-, tri-)linearly interpolated value through result and return 1. Beyond the end
  // breakpoints the end segment is extended linearly.
  int Interpolate(double x, double* result) const;
  int Interpolate(double x, double y, double* result) const;
  int Interpolate(double x, double y, double z, double* result) const;

  // Bracket search over the increasing table elements lowest - 1 .. highest: starting from the
  // hint (clamped into [lowest, highest]) it walks up while the element is below x, stopping at
  // highest, then down while x is at or below the element before. Writes the found index, the
  // upper end of the segment that holds x, into hint and returns 1.
  int FindElement(int32_t lowest, int32_t highest, int32_t& hint, double x) const;

 private:
  // Index i, 1 .. count - 1, of the segment [b[i-1], b[i]] of the count breakpoints starting at
  // table element first that is used for x. Each search starts afresh at 1.
  int32_t Segment(int32_t first, int32_t count, double x) const;
  // Value at fraction g of the way from column i to column i - 1 in row j of the given plane.
  double AlongFirst(int32_t i, int32_t j, int32_t plane, double g) const;
  // Bilinear value in one plane: rows j and j - 1 combined at fraction h along the second
  // argument.
  double InPlane(int32_t i, int32_t j, int32_t plane, double g, double h) const;
  double Value(int32_t i, int32_t j, int32_t plane) const;

  const double* table_ = nullptr;  // borrowed: the model's table array
  int32_t dimensions_ = 0;
  int32_t nx_ = 0;
  int32_t ny_ = 0;
  int32_t nz_ = 0;
};

}  // namespace tarn

#endif  // TARN_LIBRARY_INTERPOLATOR_H
