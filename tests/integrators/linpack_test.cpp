// Linpack: small hand-checked systems, manufactured solutions (pick x, form b = A·x, solve) over
// several sizes, inverse and condition estimate checked against each other, and the strided
// level-1 routines.
#include "integrators/linpack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace tarn {
namespace {

// Row-addressed test matrix: at(r, c) and the pointer array Linpack takes.
class Matrix {
 public:
  explicit Matrix(int n) : n_(n) { storage_.Allocate(n, n); }
  Matrix(int n, std::initializer_list<double> rowMajor) : Matrix(n) {
    auto value = rowMajor.begin();
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) at(r, c) = *value++;
    }
  }
  double& at(int r, int c) { return storage_[r][c]; }
  double** rows() { return storage_.data(); }
  int size() const { return n_; }

 private:
  int n_;
  PointerMatrix storage_;
};

// A reproducible random matrix with entries in [-1, 1): no structure, row exchanges from the first
// column on, condition growing only slowly with n.
Matrix TestMatrix(int n) {
  std::mt19937 generator(20260 + n);
  std::uniform_real_distribution<double> entry(-1.0, 1.0);
  Matrix a(n);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) a.at(r, c) = entry(generator);
  }
  return a;
}

// Reciprocal 1-norm condition number of TestMatrix(n), from the norms of the matrix and of its
// inverse.
double TrueReciprocalCondition(int n);

std::vector<double> Multiply(Matrix& a, const std::vector<double>& x, bool transpose) {
  const int n = a.size();
  std::vector<double> b(n, 0.0);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) b[r] += (transpose ? a.at(c, r) : a.at(r, c)) * x[c];
  }
  return b;
}

TEST(LinpackTest, PermutationMatrixExchangesRowsAndSolves) {
  Matrix a(2, {0, 1, 1, 0});
  int ipvt[2];
  int info = -1;
  Linpack::GaussFactor(a.rows(), 2, 2, ipvt, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ipvt[0], 1);
  EXPECT_EQ(ipvt[1], 1);
  double b[2] = {2, 3};
  Linpack::GaussSolve(a.rows(), 2, 2, ipvt, b, 0);
  EXPECT_EQ(b[0], 3);
  EXPECT_EQ(b[1], 2);
}

TEST(LinpackTest, ZeroPivotsAreReportedByPosition) {
  Matrix zeroFirstColumn(3, {0, 1, 2, 0, 3, 4, 0, 5, 7});
  int ipvt[3];
  int info = 0;
  Linpack::GaussFactor(zeroFirstColumn.rows(), 3, 3, ipvt, info);
  EXPECT_EQ(info, 1);
  EXPECT_EQ(ipvt[0], 0);  // an all-zero column keeps the diagonal row

  Matrix singularLast(2, {1, 2, 2, 4});
  Linpack::GaussFactor(singularLast.rows(), 2, 2, ipvt, info);
  EXPECT_EQ(info, 2);
}

TEST(LinpackTest, ConditionEstimateOfIdentityAndSingularMatrix) {
  Matrix identity(3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
  int ipvt[3];
  double z[3];
  double rcond = -1;
  Linpack::GaussCond(identity.rows(), 3, 3, ipvt, rcond, z);
  EXPECT_EQ(rcond, 1.0);

  Matrix singular(2, {1, 2, 1, 2});
  Linpack::GaussCond(singular.rows(), 2, 2, ipvt, rcond, z);
  EXPECT_EQ(rcond, 0.0);

  Matrix zero(2, {0, 0, 0, 0});
  Linpack::GaussCond(zero.rows(), 2, 2, ipvt, rcond, z);
  EXPECT_EQ(rcond, 0.0);
}

TEST(LinpackTest, DeterminantAndInverseOfDiagonalMatrix) {
  Matrix a(2, {2, 0, 0, 4});
  int ipvt[2];
  int info = 0;
  Linpack::GaussFactor(a.rows(), 2, 2, ipvt, info);
  double det[2];
  double work[2];
  Linpack::GaussInvert(a.rows(), 2, 2, ipvt, det, work, 11);
  EXPECT_EQ(det[0], 8);
  EXPECT_EQ(det[1], 0);
  EXPECT_EQ(a.at(0, 0), 0.5);
  EXPECT_EQ(a.at(1, 1), 0.25);
  EXPECT_EQ(a.at(0, 1), 0);
  EXPECT_EQ(a.at(1, 0), 0);
}

TEST(LinpackTest, DeterminantCarriesSignOfRowExchangesAndDecimalExponent) {
  int ipvt[3];
  int info = 0;
  double det[2];
  double work[3];
  Matrix swap(2, {0, 1, 1, 0});
  Linpack::GaussFactor(swap.rows(), 2, 2, ipvt, info);
  Linpack::GaussInvert(swap.rows(), 2, 2, ipvt, det, work, 10);
  EXPECT_EQ(det[0], -1);
  EXPECT_EQ(det[1], 0);

  Matrix scaled(3, {2, 0, 0, 0, 50, 0, 0, 0, 1000});
  Linpack::GaussFactor(scaled.rows(), 3, 3, ipvt, info);
  Linpack::GaussInvert(scaled.rows(), 3, 3, ipvt, det, work, 10);
  EXPECT_DOUBLE_EQ(det[0], 1.0);
  EXPECT_EQ(det[1], 5);
  EXPECT_EQ(scaled.at(1, 1), 50);  // job 10 leaves the factors in place

  Matrix unchanged(2, {2, 0, 0, 4});
  Linpack::GaussFactor(unchanged.rows(), 2, 2, ipvt, info);
  det[0] = det[1] = 7;
  Linpack::GaussInvert(unchanged.rows(), 2, 2, ipvt, det, work, 2);  // not a job code
  EXPECT_EQ(det[0], 7);
  EXPECT_EQ(unchanged.at(0, 0), 2);
}

class LinpackSizeTest : public testing::TestWithParam<int> {};

TEST_P(LinpackSizeTest, SolvesManufacturedSystemAndItsTranspose) {
  const int n = GetParam();
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = 1.0 + 0.25 * i - 0.03 * i * i;
  for (const int job : {0, 1}) {
    Matrix a = TestMatrix(n);
    std::vector<double> b = Multiply(a, x, job != 0);
    std::vector<int> ipvt(n);
    int info = -1;
    Linpack::GaussFactor(a.rows(), n, n, ipvt.data(), info);
    ASSERT_EQ(info, 0);
    Linpack::GaussSolve(a.rows(), n, n, ipvt.data(), b.data(), job);
    const double tolerance = 1e-14 * n / TrueReciprocalCondition(n);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(b[i], x[i], tolerance) << "job " << job << " i " << i;
  }
}

double TrueReciprocalCondition(int n) {
  Matrix a = TestMatrix(n);
  std::vector<int> ipvt(n);
  std::vector<double> work(n);
  int info = 0;
  Linpack::GaussFactor(a.rows(), n, n, ipvt.data(), info);
  double det[2];
  Linpack::GaussInvert(a.rows(), n, n, ipvt.data(), det, work.data(), 1);
  Matrix original = TestMatrix(n);
  double normA = 0;
  double normInverse = 0;
  for (int c = 0; c < n; ++c) {
    double columnA = 0;
    double columnInverse = 0;
    for (int r = 0; r < n; ++r) {
      columnA += std::fabs(original.at(r, c));
      columnInverse += std::fabs(a.at(r, c));
    }
    normA = std::max(normA, columnA);
    normInverse = std::max(normInverse, columnInverse);
  }
  return 1.0 / (normA * normInverse);
}

TEST_P(LinpackSizeTest, InverseTimesMatrixIsIdentity) {
  const int n = GetParam();
  Matrix original = TestMatrix(n);
  Matrix a = TestMatrix(n);
  std::vector<int> ipvt(n);
  std::vector<double> work(n);
  int info = 0;
  Linpack::GaussFactor(a.rows(), n, n, ipvt.data(), info);
  double det[2];
  Linpack::GaussInvert(a.rows(), n, n, ipvt.data(), det, work.data(), 1);
  const double tolerance = 1e-14 * n / TrueReciprocalCondition(n);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      double product = 0;
      for (int k = 0; k < n; ++k) product += original.at(r, k) * a.at(k, c);
      EXPECT_NEAR(product, r == c ? 1.0 : 0.0, tolerance);
    }
  }
}

TEST_P(LinpackSizeTest, ConditionEstimateIsCloseAboveTheTrueReciprocalCondition) {
  // The estimate of norm(inverse) never exceeds the true norm and is rarely far below it.
  const int n = GetParam();
  Matrix a = TestMatrix(n);
  std::vector<int> ipvt(n);
  std::vector<double> z(n);
  double rcond = 0;
  Linpack::GaussCond(a.rows(), n, n, ipvt.data(), rcond, z.data());
  const double trueRcond = TrueReciprocalCondition(n);
  EXPECT_GE(rcond, trueRcond * (1 - 1e-9));
  EXPECT_LE(rcond, trueRcond * 10);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LinpackSizeTest, testing::Values(1, 2, 3, 7, 20, 60));

TEST(LinpackTest, ConditionEstimateOfHilbertMatrix) {
  // The 4x4 Hilbert matrix has 1-norm condition number 28375.
  Matrix hilbert(4);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) hilbert.at(r, c) = 1.0 / (r + c + 1);
  }
  int ipvt[4];
  double z[4];
  double rcond = 0;
  Linpack::GaussCond(hilbert.rows(), 4, 4, ipvt, rcond, z);
  EXPECT_GE(rcond, 1.0 / 28375 * (1 - 1e-9));
  EXPECT_LE(rcond, 10.0 / 28375);
}

TEST(LinpackTest, EmptySystemsDoNothing) {
  int info = 5;
  double rcond = 5;
  Linpack::GaussFactor(nullptr, 0, 0, nullptr, info);
  EXPECT_EQ(info, 0);
  Linpack::GaussCond(nullptr, 0, 0, nullptr, rcond, nullptr);
  Linpack::GaussSolve(nullptr, 0, 0, nullptr, nullptr, 0);
  Linpack::GaussInvert(nullptr, 0, 0, nullptr, nullptr, nullptr, 11);
  EXPECT_EQ(Linpack::MaxElemAbsVal(0, nullptr, 1), -1);
  EXPECT_EQ(Linpack::SumAbsVals(0, nullptr, 1), 0);
  EXPECT_EQ(Linpack::DotProduct(-1, nullptr, 1, nullptr, 1), 0);
}

TEST(LinpackTest, MaxElementIsTheFirstOfLargestMagnitude) {
  const double x[] = {1, -3, 3};
  EXPECT_EQ(Linpack::MaxElemAbsVal(3, x, 1), 1);
  const double strided[] = {1, 9, -4, 9, 2};
  EXPECT_EQ(Linpack::MaxElemAbsVal(3, strided, 2), 1);  // walks 1, -4, 2
}

TEST(LinpackTest, AddVectorsWithZeroMultiplierLeavesTargetUntouched) {
  const double x[] = {1, 2};
  double y[] = {-0.0, NAN};
  Linpack::AddVectors(2, 0.0, x, 1, y, 1);
  EXPECT_TRUE(std::signbit(y[0]));
  EXPECT_TRUE(std::isnan(y[1]));
  Linpack::AddVectors(2, 2.0, x, 1, y, 1);
  EXPECT_EQ(y[0], 2);
}

TEST(LinpackTest, VectorRoutinesFollowStridesAndWalkNegativeIncrementsBackwards) {
  const double x[] = {1, 2, 3};
  const double y[] = {4, 5, 6};
  EXPECT_EQ(Linpack::DotProduct(3, x, 1, y, 1), 32);
  EXPECT_EQ(Linpack::DotProduct(3, x, 1, y, -1), 1 * 6 + 2 * 5 + 3 * 4);
  EXPECT_EQ(Linpack::SumAbsVals(2, y, 2), 10);

  double target[5] = {0, 0, 0, 0, 0};
  Linpack::CopyVector(3, x, 1, target, -2);
  EXPECT_EQ(target[4], 1);
  EXPECT_EQ(target[2], 2);
  EXPECT_EQ(target[0], 3);

  double a[] = {1, 2, 3};
  double b[] = {7, 8, 9};
  Linpack::SwapVectors(2, a, 2, b, 1);
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[2], 8);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[1], 3);

  double s[] = {1, -2, 4};
  Linpack::ScaleVector(3, -0.5, s, 1);
  EXPECT_EQ(s[0], -0.5);
  EXPECT_EQ(s[1], 1);
  EXPECT_EQ(s[2], -2);
}

}  // namespace
}  // namespace tarn
