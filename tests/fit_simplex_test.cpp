// The simplex record of the minimiser: the running sums and the variance of
// the convergence test.
#include <gtest/gtest.h>

#include <vector>

#include "fit/simplex.h"

namespace {

// Vertex values 4, 2, 1 (vertices at x = 1 and y = 1, then the start 0, 0).
double Values(const double* p) { return p[0] == 1.0 ? 4.0 : p[1] == 1.0 ? 2.0 : 1.0; }

TEST(FitSimplex, VarianceOfTheVertexValuesDividesByN) {
  const fit::ObjectiveFn f = Values;
  fit::SimplexStore store;
  fit::Simplex s(f, store, 2);
  double start[2] = {0.0, 0.0};
  const double step[2] = {1.0, 1.0};
  s.Build(start, step, 1.0);
  EXPECT_EQ(start[0], 0.0);  // restored
  // Sum 7, sum of squares 21: (21 - 49/3) / 2.
  EXPECT_DOUBLE_EQ(s.Variance(), (21.0 - 49.0 / 3.0) / 2.0);

  // Order takes the highest out of the sums; Rejoin puts the new one back.
  s.Order();
  EXPECT_EQ(s.IHI, 0);
  EXPECT_EQ(s.ILO, 2);
  double PBAR[2];
  s.Centroid(PBAR);
  EXPECT_EQ(PBAR[0], 0.0);
  EXPECT_EQ(PBAR[1], 0.5);
  const double point[2] = {-1.0, 0.5};
  s.Replace(point, 3.0);
  s.Rejoin();
  EXPECT_DOUBLE_EQ(s.Variance(), (14.0 - 36.0 / 3.0) / 2.0);
}

TEST(FitSimplex, ShrinkEvaluatesEveryVertex) {
  int calls = 0;
  const fit::ObjectiveFn f = [&calls](const double* p) {
    ++calls;
    return Values(p);
  };
  fit::SimplexStore store;
  fit::Simplex s(f, store, 2);
  double start[2] = {0.0, 0.0};
  const double step[2] = {2.0, 2.0};
  s.Build(start, step, 0.5);
  s.Order();
  calls = 0;
  EXPECT_EQ(s.Shrink(), 3);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(store.SIMPLEX[0][0], 0.5);
  EXPECT_EQ(store.SIMPLEX[1][1], 0.5);
  EXPECT_EQ(store.SIMPLEX[2][0], 0.0);
}

}  // namespace
