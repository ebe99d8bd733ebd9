// Piecewise-linear table lookup and the zztable operator.
#include "library/interpolator.h"

#include "tarn/tarnsim_library.h"

namespace tarn {

void Interpolator::Initialize(const double* table, int32_t dimensions, int32_t nx, int32_t ny,
                              int32_t nz) {
  table_ = table;
  dimensions_ = dimensions;
  nx_ = nx;
  ny_ = ny;
  nz_ = nz;
}

bool Interpolator::HasValidShape() const {
  if (dimensions_ < 1 || dimensions_ > 3) return false;
  return nx_ >= 2 && (dimensions_ < 2 || ny_ >= 2) && (dimensions_ < 3 || nz_ >= 2);
}

int Interpolator::FindElement(int32_t lowest, int32_t highest, int32_t& hint, double x) const {
  int32_t i = hint < lowest ? lowest : hint;
  if (i > highest) i = highest;
  while (i < highest && table_[i] < x) ++i;
  while (i > lowest && x <= table_[i - 1]) --i;
  hint = i;
  return 1;
}

int32_t Interpolator::Segment(int32_t first, int32_t count, double x) const {
  int32_t index = first + 1;
  FindElement(first + 1, first + count - 1, index, x);
  return index - first;
}

double Interpolator::Value(int32_t i, int32_t j, int32_t plane) const {
  return table_[i + nx_ * j + nx_ * ny_ * plane];
}

double Interpolator::AlongFirst(int32_t i, int32_t j, int32_t plane, double g) const {
  return Value(i, j, plane) + g * (Value(i - 1, j, plane) - Value(i, j, plane));
}

double Interpolator::InPlane(int32_t i, int32_t j, int32_t plane, double g, double h) const {
  const double a = AlongFirst(i, j, plane, g);
  const double c = AlongFirst(i, j - 1, plane, g);
  return a + h * (c - a);
}

int Interpolator::Interpolate(double x, double* result) const {
  const double* b = table_ + nx_;
  const int32_t i = Segment(nx_, nx_, x);
  *result = table_[i] + (x - b[i]) * (table_[i - 1] - table_[i]) / (b[i - 1] - b[i]);
  return 1;
}

int Interpolator::Interpolate(double x, double y, double* result) const {
  const int32_t firstX = nx_ * ny_;
  const int32_t firstY = firstX + nx_;
  const double* bx = table_ + firstX;
  const double* by = table_ + firstY;
  const int32_t i = Segment(firstX, nx_, x);
  const int32_t j = Segment(firstY, ny_, y);
  const double g = (x - bx[i]) / (bx[i - 1] - bx[i]);
  const double h = (y - by[j]) / (by[j - 1] - by[j]);
  *result = InPlane(i, j, 0, g, h);
  return 1;
}

int Interpolator::Interpolate(double x, double y, double z, double* result) const {
  const int32_t firstX = nx_ * ny_ * nz_;
  const int32_t firstY = firstX + nx_;
  const int32_t firstZ = firstY + ny_;
  const double* bx = table_ + firstX;
  const double* by = table_ + firstY;
  const double* bz = table_ + firstZ;
  const int32_t i = Segment(firstX, nx_, x);
  const int32_t j = Segment(firstY, ny_, y);
  const int32_t k = Segment(firstZ, nz_, z);
  const double g = (x - bx[i]) / (bx[i - 1] - bx[i]);
  const double h = (y - by[j]) / (by[j - 1] - by[j]);
  const double p = InPlane(i, j, k, g, h);
  const double q = InPlane(i, j, k - 1, g, h);
  *result = p + (z - bz[k]) / (bz[k - 1] - bz[k]) * (q - p);
  return 1;
}

}  // namespace tarn

extern "C" double zztable(const double* array, int32_t dimensions, int32_t nx, int32_t ny,
                          int32_t nz, double x, double y, double z) {
  // One interpolator per call: concurrent lookups share nothing.
  tarn::Interpolator interpolator;
  interpolator.Initialize(array, dimensions, nx, ny, nz);
  if (!interpolator.HasValidShape()) return 0;
  double result = 0;
  switch (interpolator.Dimensions()) {
    case 1:
      interpolator.Interpolate(x, &result);
      break;
    case 2:
      interpolator.Interpolate(x, y, &result);
      break;
    default:
      interpolator.Interpolate(x, y, z, &result);
      break;
  }
  return result;
}
