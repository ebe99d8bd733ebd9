// LINPACK DGEFA, DGESL, DGECO, DGEDI and BLAS level-1 routines (Dongarra et al. 1979), zero-based,
// on pointer-array matrices. The matrix routines perform the published floating-point operations
// in the published order; their vector operations are written out on the pointer arrays. Where the
// reference skips an update whose multiplier is zero (DAXPY with alpha 0) these loops skip it too,
// so zeros and non-finite values propagate exactly as there. The reference's unrolled loops add
// from left to right, so the plain loops below accumulate sums and dot products in the same order.
// Comparisons keep the reference's sense ("skip when not greater") so that a NaN takes the same
// branch as there.
#include "integrators/linpack.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarn {
namespace {

// First element of a strided walk over n elements: the far end for a negative increment.
int WalkStart(int n, int inc) { return inc < 0 ? (n - 1) * -inc : 0; }

}  // namespace

void Linpack::GaussFactor(double** a, int /*lda*/, int n, int* ipvt, int& info) {
  info = 0;
  if (n <= 0) return;
  for (int k = 0; k < n - 1; ++k) {
    // Pivot: first row of largest magnitude in column k, from the diagonal down.
    int l = k;
    double largest = std::fabs(a[k][k]);
    for (int i = k + 1; i < n; ++i) {
      const double magnitude = std::fabs(a[i][k]);
      if (magnitude > largest) {
        largest = magnitude;
        l = i;
      }
    }
    ipvt[k] = l;
    // A zero pivot means the column is already triangular.
    if (a[l][k] == 0.0) {
      info = k + 1;
      continue;
    }
    if (l != k) std::swap(a[l][k], a[k][k]);
    const double scale = -1.0 / a[k][k];
    for (int i = k + 1; i < n; ++i) a[i][k] = scale * a[i][k];
    if (l != k) {
      for (int j = k + 1; j < n; ++j) std::swap(a[l][j], a[k][j]);
    }
    // Row elimination. The reference sweeps column by column (one DAXPY per column j with
    // multiplier a[k][j]); every element receives the same single update whichever way the
    // sweep runs, and row by row follows the storage.
    const double* pivotRow = a[k];
    for (int i = k + 1; i < n; ++i) {
      double* row = a[i];
      const double multiplier = row[k];
      for (int j = k + 1; j < n; ++j) {
        if (pivotRow[j] != 0.0) row[j] = row[j] + pivotRow[j] * multiplier;
      }
    }
  }
  ipvt[n - 1] = n - 1;
  if (a[n - 1][n - 1] == 0.0) info = n;
}

void Linpack::GaussCond(double** a, int lda, int n, int* ipvt, double& rcond, double* z) {
  if (n <= 0) return;
  const double anorm = OneNorm(a, n, z);
  int info = 0;
  GaussFactor(a, lda, n, ipvt, info);

  // rcond = 1/(norm(a)·(estimate of norm(inverse(a)))), the estimate being norm(z)/norm(y) for
  // a·z = y and trans(a)·y = e, with the components of e chosen to make y grow.
  SolveTransposedUpperForGrowth(a, n, z);
  ScaleVector(n, 1.0 / SumAbsVals(n, z, 1), z, 1);
  SolveTransposedLower(a, n, ipvt, z);
  ScaleVector(n, 1.0 / SumAbsVals(n, z, 1), z, 1);

  double ynorm = 1.0;
  SolveLowerScaled(a, n, ipvt, z, ynorm);
  double s = 1.0 / SumAbsVals(n, z, 1);
  ScaleVector(n, s, z, 1);
  ynorm = s * ynorm;

  SolveUpperScaled(a, n, z, ynorm);
  // Make norm(z) 1.
  s = 1.0 / SumAbsVals(n, z, 1);
  ScaleVector(n, s, z, 1);
  ynorm = s * ynorm;

  rcond = anorm != 0.0 ? ynorm / anorm : 0.0;
}

double Linpack::OneNorm(double** a, int n, double* z) {
  // The largest column sum of magnitudes. The column sums are gathered row by row in z, each in
  // the reference's order of rows.
  std::fill(z, z + n, 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) z[j] = z[j] + std::fabs(a[i][j]);
  }
  double anorm = 0.0;
  for (int j = 0; j < n; ++j) anorm = std::max(anorm, z[j]);
  return anorm;
}

void Linpack::SolveTransposedUpperForGrowth(double** a, int n, double* z) {
  double ek = 1.0;
  std::fill(z, z + n, 0.0);
  for (int k = 0; k < n; ++k) {
    if (z[k] != 0.0) ek = std::copysign(ek, -z[k]);
    if (!(std::fabs(ek - z[k]) <= std::fabs(a[k][k]))) {
      const double s = std::fabs(a[k][k]) / std::fabs(ek - z[k]);
      ScaleVector(n, s, z, 1);
      ek = s * ek;
    }
    double wk = ek - z[k];
    double wkm = -ek - z[k];
    double s = std::fabs(wk);
    double sm = std::fabs(wkm);
    if (a[k][k] != 0.0) {
      wk = wk / a[k][k];
      wkm = wkm / a[k][k];
    } else {
      wk = 1.0;
      wkm = 1.0;
    }
    if (k + 1 < n) {
      const double* row = a[k];
      for (int j = k + 1; j < n; ++j) {
        sm = sm + std::fabs(z[j] + wkm * row[j]);
        z[j] = z[j] + wk * row[j];
        s = s + std::fabs(z[j]);
      }
      if (!(s >= sm)) {
        const double t = wkm - wk;
        wk = wkm;
        for (int j = k + 1; j < n; ++j) z[j] = z[j] + t * row[j];
      }
    }
    z[k] = wk;
  }
}

void Linpack::SolveTransposedLower(double** a, int n, const int* ipvt, double* z) {
  for (int k = n - 1; k >= 0; --k) {
    if (k < n - 1) {
      double dot = 0.0;
      for (int i = k + 1; i < n; ++i) dot = dot + a[i][k] * z[i];
      z[k] = z[k] + dot;
    }
    if (!(std::fabs(z[k]) <= 1.0)) ScaleVector(n, 1.0 / std::fabs(z[k]), z, 1);
    const int l = ipvt[k];
    std::swap(z[l], z[k]);
  }
}

void Linpack::SolveLowerScaled(double** a, int n, const int* ipvt, double* z, double& ynorm) {
  for (int k = 0; k < n; ++k) {
    const int l = ipvt[k];
    const double t = z[l];
    z[l] = z[k];
    z[k] = t;
    if (k < n - 1 && t != 0.0) {
      for (int i = k + 1; i < n; ++i) z[i] = z[i] + t * a[i][k];
    }
    if (!(std::fabs(z[k]) <= 1.0)) {
      const double s = 1.0 / std::fabs(z[k]);
      ScaleVector(n, s, z, 1);
      ynorm = s * ynorm;
    }
  }
}

void Linpack::SolveUpperScaled(double** a, int n, double* z, double& ynorm) {
  for (int k = n - 1; k >= 0; --k) {
    if (!(std::fabs(z[k]) <= std::fabs(a[k][k]))) {
      const double scale = std::fabs(a[k][k]) / std::fabs(z[k]);
      ScaleVector(n, scale, z, 1);
      ynorm = scale * ynorm;
    }
    z[k] = a[k][k] != 0.0 ? z[k] / a[k][k] : 1.0;
    const double t = -z[k];
    if (t != 0.0) {
      for (int i = 0; i < k; ++i) z[i] = z[i] + t * a[i][k];
    }
  }
}

void Linpack::GaussSolve(double** a, int /*lda*/, int n, int* ipvt, double* b, int job) {
  if (n <= 0) return;
  if (job == 0) {
    // Solve l·y = b.
    for (int k = 0; k < n - 1; ++k) {
      const int l = ipvt[k];
      const double t = b[l];
      if (l != k) {
        b[l] = b[k];
        b[k] = t;
      }
      if (t != 0.0) {
        for (int i = k + 1; i < n; ++i) b[i] = b[i] + t * a[i][k];
      }
    }
    // Solve u·x = y.
    for (int k = n - 1; k >= 0; --k) {
      b[k] = b[k] / a[k][k];
      const double t = -b[k];
      if (t != 0.0) {
        for (int i = 0; i < k; ++i) b[i] = b[i] + t * a[i][k];
      }
    }
    return;
  }
  // Solve trans(u)·y = b.
  for (int k = 0; k < n; ++k) {
    double dot = 0.0;
    for (int i = 0; i < k; ++i) dot = dot + a[i][k] * b[i];
    b[k] = (b[k] - dot) / a[k][k];
  }
  // Solve trans(l)·x = y.
  for (int k = n - 2; k >= 0; --k) {
    double dot = 0.0;
    for (int i = k + 1; i < n; ++i) dot = dot + a[i][k] * b[i];
    b[k] = b[k] + dot;
    const int l = ipvt[k];
    if (l != k) std::swap(b[l], b[k]);
  }
}

void Linpack::GaussInvert(double** a, int /*lda*/, int n, int* ipvt, double* det, double* work,
                          int job) {
  if (n <= 0) return;
  if (job == 10 || job == 11) {
    constexpr double ten = 10.0;
    det[0] = 1.0;
    det[1] = 0.0;
    for (int i = 0; i < n; ++i) {
      if (ipvt[i] != i) det[0] = -det[0];
      det[0] = a[i][i] * det[0];
      if (det[0] == 0.0) break;
      while (std::fabs(det[0]) < 1.0) {
        det[0] = ten * det[0];
        det[1] = det[1] - 1.0;
      }
      // An infinite factor would never come below ten; it stays as it is.
      while (std::fabs(det[0]) >= ten && std::isfinite(det[0])) {
        det[0] = det[0] / ten;
        det[1] = det[1] + 1.0;
      }
    }
  }
  if (job != 1 && job != 11) return;

  // inverse(u).
  for (int k = 0; k < n; ++k) {
    a[k][k] = 1.0 / a[k][k];
    const double t = -a[k][k];
    for (int i = 0; i < k; ++i) a[i][k] = t * a[i][k];
    for (int j = k + 1; j < n; ++j) {
      const double multiplier = a[k][j];
      a[k][j] = 0.0;
      if (multiplier != 0.0) {
        for (int i = 0; i <= k; ++i) a[i][j] = a[i][j] + multiplier * a[i][k];
      }
    }
  }
  // inverse(u)·inverse(l).
  for (int k = n - 2; k >= 0; --k) {
    for (int i = k + 1; i < n; ++i) {
      work[i] = a[i][k];
      a[i][k] = 0.0;
    }
    for (int j = k + 1; j < n; ++j) {
      const double t = work[j];
      if (t != 0.0) {
        for (int i = 0; i < n; ++i) a[i][k] = a[i][k] + t * a[i][j];
      }
    }
    const int l = ipvt[k];
    if (l != k) {
      for (int i = 0; i < n; ++i) std::swap(a[i][k], a[i][l]);
    }
  }
}

void Linpack::ScaleVector(int n, double alpha, double* x, int incx) {
  for (int k = 0, i = WalkStart(n, incx); k < n; ++k, i += incx) x[i] = alpha * x[i];
}

double Linpack::SumAbsVals(int n, const double* x, int incx) {
  double sum = 0.0;
  for (int k = 0, i = WalkStart(n, incx); k < n; ++k, i += incx) sum = sum + std::fabs(x[i]);
  return sum;
}

int Linpack::MaxElemAbsVal(int n, const double* x, int incx) {
  if (n <= 0) return -1;
  int position = 0;
  int i = WalkStart(n, incx);
  double largest = std::fabs(x[i]);
  for (int k = 1; k < n; ++k) {
    i += incx;
    const double magnitude = std::fabs(x[i]);
    if (magnitude > largest) {
      largest = magnitude;
      position = k;
    }
  }
  return position;
}

void Linpack::AddVectors(int n, double alpha, const double* x, int incx, double* y, int incy) {
  if (alpha == 0.0) return;
  for (int k = 0, i = WalkStart(n, incx), j = WalkStart(n, incy); k < n;
       ++k, i += incx, j += incy) {
    y[j] = y[j] + alpha * x[i];
  }
}

void Linpack::CopyVector(int n, const double* x, int incx, double* y, int incy) {
  for (int k = 0, i = WalkStart(n, incx), j = WalkStart(n, incy); k < n;
       ++k, i += incx, j += incy) {
    y[j] = x[i];
  }
}

double Linpack::DotProduct(int n, const double* x, int incx, const double* y, int incy) {
  double sum = 0.0;
  for (int k = 0, i = WalkStart(n, incx), j = WalkStart(n, incy); k < n;
       ++k, i += incx, j += incy) {
    sum = sum + x[i] * y[j];
  }
  return sum;
}

void Linpack::SwapVectors(int n, double* x, int incx, double* y, int incy) {
  for (int k = 0, i = WalkStart(n, incx), j = WalkStart(n, incy); k < n;
       ++k, i += incx, j += incy) {
    std::swap(x[i], y[j]);
  }
}

}  // namespace tarn
