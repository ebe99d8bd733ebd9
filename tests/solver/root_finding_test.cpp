// RootFinding::Brent, one iteration at a time: the first bisection, a secant move onto the root of
// a linear function, and convergence to the later end of a bracket narrower than the time
// tolerance.
#include "solver/root_finding.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarn {
namespace {

struct Points {
  double a, fa, b, fb, c, fc;
};

// One call on `p`; returns Brent's result and stores `converged`.
bool Iterate(Points& p, double stepTol, double timeTol, bool& converged) {
  return RootFinding::Brent(p.a, p.fa, p.b, p.fb, p.c, p.fc, stepTol, timeTol, converged);
}

// f(x) = x - 0.3 on [0, 1]: the first call, with a = b, bisects; the second takes the secant
// through (0, -0.3) and (0.5, 0.2) onto the root when half of stepTol allows the move, and bisects
// again when it does not.
TEST(RootFindingBrent, SecantMoveNeedsHalfTheStepToleranceToCoverIt) {
  const auto f = [](double x) { return x - 0.3; };
  for (const double stepTol : {1.0, 1e-9}) {
    bool converged = true;
    Points p{0, f(0), 0, f(0), 1, f(1)};
    ASSERT_TRUE(Iterate(p, stepTol, 1e-12, converged));
    EXPECT_FALSE(converged);
    EXPECT_EQ(p.b, 0.5);
    p.fb = f(p.b);
    ASSERT_TRUE(Iterate(p, stepTol, 1e-12, converged));
    EXPECT_FALSE(converged);
    if (stepTol == 1.0) {
      EXPECT_NEAR(p.b, 0.3, 1e-15);
    } else {
      EXPECT_EQ(p.b, 0.25);
    }
  }
}

// x³ - 2x - 5 (root 2.0945514815423265, Forsythe, Malcolm and Moler's example): repeated calls
// bracket it ever tighter and stop at the later end of a bracket narrower than timeTol. With
// interpolation allowed they need far fewer calls than bisection.
TEST(RootFindingBrent, ConvergesToTheLaterEndOfANarrowBracket) {
  const auto f = [](double x) { return (x * x - 2) * x - 5; };
  const double root = 2.0945514815423265;
  const double timeTol = 1e-10;
  int calls[2] = {0, 0};
  const double stepTols[2] = {1e-9, 1.0};
  for (int run = 0; run < 2; ++run) {
    Points p{2, f(2), 2, f(2), 3, f(3)};
    bool converged = false;
    while (!converged) {
      ASSERT_LT(++calls[run], 100);
      ASSERT_TRUE(Iterate(p, stepTols[run], timeTol, converged));
      if (!converged) p.fb = f(p.b);
    }
    EXPECT_GE(p.b, root);
    EXPECT_LT(p.b - root, timeTol);
  }
  // Bisection halves a bracket of 1 down to 1e-10 in about 34 calls.
  EXPECT_GE(calls[0], 30);
  EXPECT_LT(calls[1], 15);
}

}  // namespace
}  // namespace tarn
