// Dense linear algebra for the small systems of the implicit integrators: LU factorisation with
// partial pivoting, solution, condition estimate, determinant and inverse, and the level-1 vector
// routines, on matrices held as arrays of pointers; plus PointerMatrix, the storage that hands out
// such pointer arrays.
#ifndef TARN_INTEGRATORS_LINPACK_H
#define TARN_INTEGRATORS_LINPACK_H

#include <cstddef>
#include <vector>

namespace tarn {

// The LINPACK routines DGEFA, DGESL, DGECO, DGEDI and the BLAS level-1 routines DSCAL, DASUM,
// IDAMAX, DAXPY, DCOPY, DDOT, DSWAP (Dongarra, Bunch, Moler and Stewart, LINPACK Users' Guide,
// SIAM 1979), zero-based and on pointer-array matrices.
//
// A matrix is double** a with a[r][c] the element in row r, column c. A caller that keeps one
// pointer per column therefore hands over the transpose. `lda` is kept for the published calling
// sequence and is not used. Pivot vectors are zero-based: ipvt[k] is the row exchanged with row k
// at elimination step k, and ipvt[n-1] = n-1. Nothing here allocates: every work vector comes from
// the caller. Every routine does nothing, or returns 0, when n <= 0.
//
// The vector routines walk x[0], x[inc], x[2·inc], ...; with a negative increment the walk starts
// at element (n-1)·|inc| and moves towards the front, as the published routines do.
class Linpack final {
 public:
  Linpack() = delete;

  // LU factorisation with partial pivoting (LINPACK DGEFA, Dongarra et al. 1979). Overwrites `a`
  // with the negated multipliers (below the diagonal) and the upper triangular factor. The pivot is
  // the first largest magnitude from the diagonal down. `info` is 0 when every pivot is non-zero,
  // otherwise the 1-based position of the last zero pivot (n when only the last diagonal element of
  // the factor is zero).
  static void GaussFactor(double** a, int lda, int n, int* ipvt, int& info);

  // Condition estimate (LINPACK DGECO; Cline, Moler, Stewart and Wilkinson, SIAM J. Numer. Anal.
  // 16, 1979). Factors `a` with GaussFactor and estimates the reciprocal of its condition number in
  // the 1-norm into `rcond` (0 when the norm of `a` is 0). z[n] is work; on return it holds an
  // approximate null vector scaled to unit 1-norm.
  static void GaussCond(double** a, int lda, int n, int* ipvt, double& rcond, double* z);

  // Solution with the LU factors (LINPACK DGESL, Dongarra et al. 1979). Solves A·x = b (job 0) or
  // transpose(A)·x = b (any other job) with the factors of GaussFactor or GaussCond; b[n] is
  // overwritten by x. The factor's diagonal must be free of zeros (info 0, or rcond not
  // negligible).
  static void GaussSolve(double** a, int lda, int n, int* ipvt, double* b, int job);

  // Determinant and inverse from the LU factors (LINPACK DGEDI, Dongarra et al. 1979). job 10 or
  // 11: determinant det[0]·10^det[1] with 1 <= |det[0]| < 10 or det[0] = 0. job 1 or 11: `a`
  // replaced by its inverse (work[n] used). Other jobs do nothing.
  static void GaussInvert(double** a, int lda, int n, int* ipvt, double* det, double* work,
                          int job);

  // BLAS level 1 (Lawson, Hanson, Kincaid and Krogh, ACM TOMS 5, 1979).
  // DSCAL: x = alpha·x.
  static void ScaleVector(int n, double alpha, double* x, int incx);
  // DASUM: the sum of |x[i]|.
  static double SumAbsVals(int n, const double* x, int incx);
  // IDAMAX: the zero-based walk position of the first element of largest magnitude; -1 for n <= 0.
  static int MaxElemAbsVal(int n, const double* x, int incx);
  // DAXPY: y = y + alpha·x; nothing when alpha is 0.
  static void AddVectors(int n, double alpha, const double* x, int incx, double* y, int incy);
  // DCOPY: y = x.
  static void CopyVector(int n, const double* x, int incx, double* y, int incy);
  // DDOT: the sum of x[i]·y[i].
  static double DotProduct(int n, const double* x, int incx, const double* y, int incy);
  // DSWAP: exchanges x and y.
  static void SwapVectors(int n, double* x, int incx, double* y, int incy);

 private:
  // The stages of GaussCond. The 1-norm of `a` before it is factored; z[n] is work.
  static double OneNorm(double** a, int n, double* z);
  // The solves work on the factors in `a`. Solves trans(u)·w = e into z, choosing each component of
  // e as ±1 to make w grow.
  static void SolveTransposedUpperForGrowth(double** a, int n, double* z);
  // Solves trans(l)·y = w in place, rescaling z whenever a component exceeds 1.
  static void SolveTransposedLower(double** a, int n, const int* ipvt, double* z);
  // Solves l·v = y in place; ynorm follows every rescaling of z.
  static void SolveLowerScaled(double** a, int n, const int* ipvt, double* z, double& ynorm);
  // Solves u·z = v in place; ynorm follows every rescaling of z.
  static void SolveUpperScaled(double** a, int n, double* z, double& ynorm);
};

// Owns `count` zero-filled vectors of `length` doubles and the array of pointers to them, the form
// in which Linpack and the integrators pass matrices (one pointer per row or per column) and sets
// of work vectors. Movable; not copyable, since a copy's pointers would lead into the original.
class PointerMatrix {
 public:
  PointerMatrix() = default;
  PointerMatrix(const PointerMatrix&) = delete;
  PointerMatrix& operator=(const PointerMatrix&) = delete;
  PointerMatrix(PointerMatrix&&) = default;
  PointerMatrix& operator=(PointerMatrix&&) = default;

  // Replaces the contents with `count` zeroed vectors of `length` doubles.
  void Allocate(std::size_t count, std::size_t length) {
    values_.assign(count * length, 0.0);
    pointers_.resize(count);
    for (std::size_t k = 0; k < count; ++k) pointers_[k] = values_.data() + k * length;
  }

  // Releases the storage; the matrix becomes empty.
  void Release() {
    values_ = {};
    pointers_ = {};
  }

  // The pointer array; null when empty.
  double** data() { return pointers_.empty() ? nullptr : pointers_.data(); }
  double* operator[](std::size_t k) { return pointers_[k]; }
  const double* operator[](std::size_t k) const { return pointers_[k]; }
  std::size_t count() const { return pointers_.size(); }
  bool empty() const { return pointers_.empty(); }

 private:
  std::vector<double> values_;
  std::vector<double*> pointers_;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_LINPACK_H
