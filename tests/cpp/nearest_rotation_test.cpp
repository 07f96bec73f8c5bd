// The rotation nearest to a matrix block, as homo_to_isometry finds it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>

#include "robot_behavior/pose.hpp"

using namespace robot_behavior;

namespace {

using Mat = std::array<std::array<double, 3>, 3>;  // [row][column]

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

Mat rotation(const Quaternion& q) {
  const Matrix4 h = Pose(Pose::Quat{q, {0, 0, 0}}).homo();
  Mat r{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) r[row][col] = h[4 * col + row];
  }
  return r;
}

Mat multiply(const Mat& a, const Mat& b) {
  Mat r{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    }
  }
  return r;
}

Mat transpose(const Mat& a) {
  Mat r{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = a[j][i];
  }
  return r;
}

Mat diagonal(double a, double b, double c) { return Mat{{{a, 0, 0}, {0, b, 0}, {0, 0, c}}}; }

Matrix4 homo(const Mat& m, const Vec3& t = {0, 0, 0}) {
  Matrix4 h{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) h[4 * col + row] = m[row][col];
  }
  h[12] = t[0];
  h[13] = t[1];
  h[14] = t[2];
  h[15] = 1;
  return h;
}

// trace(R(q)^T M): the larger, the nearer R(q) is to M.
double fit(const Quaternion& q, const Mat& m) {
  const Mat r = rotation(q);
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) sum += r[i][j] * m[i][j];
  }
  return sum;
}

double norm(const Quaternion& q) { return std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]); }

Quaternion random_unit_quat(std::mt19937_64& rng) {
  std::normal_distribution<double> normal;
  Quaternion q{normal(rng), normal(rng), normal(rng), normal(rng)};
  const double n = norm(q);
  for (double& c : q) c /= n;
  return q;
}

void expect_same_rotation(const Quaternion& a, const Quaternion& b, double tolerance) {
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
  const double sign = dot < 0 ? -1.0 : 1.0;
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], sign * b[i], tolerance) << "component " << i;
}

bool all_nan(const Quaternion& q) {
  return std::isnan(q[0]) && std::isnan(q[1]) && std::isnan(q[2]) && std::isnan(q[3]);
}

// homo_to_isometry, failing the test if it takes long.
Isometry timed(const Matrix4& h) {
  const auto start = std::chrono::steady_clock::now();
  const Isometry iso = homo_to_isometry(h);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  return iso;
}

// The descent as the behaviour states it: from the identity, no step limit (a cap
// here only so that the test ends), then the quaternion by the largest diagonal.
std::optional<Quaternion> stated_iteration(const Mat& m) {
  const double eps = std::numeric_limits<double>::epsilon();
  const double delta = std::sqrt(eps);
  const auto rot = [](const Vec3& u, double angle) {
    const double s = std::sin(angle), c = std::cos(angle), t = 1 - c;
    return Mat{{{u[0] * u[0] + (1 - u[0] * u[0]) * c, u[0] * u[1] * t - u[2] * s, u[0] * u[2] * t + u[1] * s},
                {u[0] * u[1] * t + u[2] * s, u[1] * u[1] + (1 - u[1] * u[1]) * c, u[1] * u[2] * t - u[0] * s},
                {u[0] * u[2] * t - u[1] * s, u[1] * u[2] * t + u[0] * s, u[2] * u[2] + (1 - u[2] * u[2]) * c}}};
  };
  const auto distance = [&](const Mat& r) {
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) sum += (m[i][j] - r[i][j]) * (m[i][j] - r[i][j]);
    }
    return sum;
  };
  Mat r = diagonal(1, 1, 1);
  Vec3 a{1, 0, 0};
  for (int steps = 0; steps < 100000;) {
    Vec3 w{0, 0, 0};
    double d = 0;
    for (int k = 0; k < 3; ++k) {
      w[0] += r[1][k] * m[2][k] - r[2][k] * m[1][k];
      w[1] += r[2][k] * m[0][k] - r[0][k] * m[2][k];
      w[2] += r[0][k] * m[1][k] - r[1][k] * m[0][k];
      d += r[0][k] * m[0][k] + r[1][k] * m[1][k] + r[2][k] * m[2][k];
    }
    const Vec3 v{w[0] / (std::fabs(d) + eps), w[1] / (std::fabs(d) + eps), w[2] / (std::fabs(d) + eps)};
    const double n2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (n2 > eps * eps) {
      const double n = std::sqrt(n2);
      r = multiply(rot({v[0] / n, v[1] / n, v[2] / n}, n), r);
      ++steps;
      continue;
    }
    const double e0 = distance(r);
    Mat p = r;
    double e1 = e0;
    do {
      p = multiply(p, rot(a, delta));
      e1 = distance(p);
    } while (std::fabs(e0 - e1) <= eps && ++steps < 100000);
    if (e0 < e1) {
      Matrix4 h = homo(r);
      // The rotation is orthonormal here, so its own nearest rotation is itself.
      return homo_to_isometry(h).rotation;
    }
    a = {a[1], a[2], a[0]};
    r = p;
  }
  return std::nullopt;
}

}  // namespace

TEST(NearestRotation, ExactHalfTurnAboutYIsFoundNotTheIdentity) {
  const Isometry iso = timed({-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 4, 5, 6, 1});
  expect_same_rotation(iso.rotation, {0, 1, 0, 0}, 1e-15);
  EXPECT_EQ(iso.translation, (Vec3{4, 5, 6}));
}

TEST(NearestRotation, HalfTurnsAboutEveryAxisAreKept) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> normal;
  std::vector<Quaternion> turns{{1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}};
  for (int i = 0; i < 200; ++i) {
    Quaternion q{normal(rng), normal(rng), normal(rng), 0};
    const double n = norm(q);
    for (double& c : q) c /= n;
    turns.push_back(q);
  }
  for (const Quaternion& q : turns) {
    expect_same_rotation(timed(homo(rotation(q))).rotation, q, 1e-12);
    // Scaled half turns too.
    const Mat r = rotation(q);
    expect_same_rotation(timed(homo(multiply(r, diagonal(3, 0.5, 2)))).rotation, q, 1e-9);
  }
}

TEST(NearestRotation, MinusIdentityEndsWithAHalfTurn) {
  // Every half turn is equally near to -I: trace(R^T (-I)) = 1 for all of them.
  const Isometry iso = timed(homo(diagonal(-1, -1, -1)));
  EXPECT_NEAR(norm(iso.rotation), 1.0, 1e-12);
  EXPECT_NEAR(iso.rotation[3], 0.0, 1e-12);
  EXPECT_NEAR(fit(iso.rotation, diagonal(-1, -1, -1)), 1.0, 1e-12);

  // Minus any rotation: a negative determinant, and the best fit is again 1.
  std::mt19937_64 rng(11);
  for (int i = 0; i < 100; ++i) {
    const Mat m = multiply(rotation(random_unit_quat(rng)), diagonal(-1, -1, -1));
    const Isometry minus = timed(homo(m));
    EXPECT_NEAR(fit(minus.rotation, m), 1.0, 1e-12);
  }
}

TEST(NearestRotation, AllZeroBlockGivesTheIdentityAtOnce) {
  const Isometry iso = timed(Matrix4{});
  EXPECT_EQ(iso.rotation, (Quaternion{0, 0, 0, 1}));
  EXPECT_EQ(iso.translation, (Vec3{0, 0, 0}));
}

TEST(NearestRotation, NonFiniteBlockGivesANaNQuaternionAndKeepsTheTranslation) {
  for (const double bad : {kNaN, kInf, -kInf}) {
    for (const int index : {0, 1, 2, 4, 5, 6, 8, 9, 10}) {
      Matrix4 h = homo(diagonal(1, 1, 1), {1, 2, 3});
      h[index] = bad;
      const Isometry iso = timed(h);
      EXPECT_TRUE(all_nan(iso.rotation)) << "value " << bad << " at " << index;
      EXPECT_EQ(iso.translation, (Vec3{1, 2, 3}));
    }
  }
  // Outside the block a NaN changes nothing: the bottom row is ignored.
  Matrix4 h = homo(diagonal(1, 1, 1));
  h[3] = kNaN;
  h[15] = kInf;
  EXPECT_EQ(timed(h).rotation, (Quaternion{0, 0, 0, 1}));
}

TEST(NearestRotation, RankDeficientBlocksEndWithABestFit) {
  std::mt19937_64 rng(13);
  for (int i = 0; i < 100; ++i) {
    const Quaternion qr = random_unit_quat(rng);
    const Mat r = rotation(qr);
    const Mat q = rotation(random_unit_quat(rng));
    // Rank 2: the nearest rotation is still unique, and it is r.
    const Mat rank2 = multiply(r, multiply(q, multiply(diagonal(1.5, 0.7, 0), transpose(q))));
    expect_same_rotation(timed(homo(rank2)).rotation, qr, 1e-9);
    // Rank 1: a whole circle of rotations fits best; any of them will do.
    const Mat rank1 = multiply(r, multiply(q, multiply(diagonal(2, 0, 0), transpose(q))));
    EXPECT_NEAR(fit(timed(homo(rank1)).rotation, rank1), 2.0, 1e-9);
  }
}

// M = R * Q * D * Q^T with D diagonal: for positive D the nearest rotation is R (the
// polar factor); with one negative entry of the smallest magnitude it is still R.
TEST(NearestRotation, RandomScaledSkewedAndReflectedBlocksGiveTheirRotation) {
  std::mt19937_64 rng(20240612);
  std::uniform_real_distribution<double> stretch(0.5, 2.0);
  std::uniform_real_distribution<double> small(0.05, 0.4);
  std::uniform_real_distribution<double> near_one(0.98, 1.02);
  for (int trial = 0; trial < 3000; ++trial) {
    const Quaternion expected = random_unit_quat(rng);
    const Mat r = rotation(expected);
    const Mat q = rotation(random_unit_quat(rng));
    Mat d{};
    switch (trial % 3) {
      case 0: d = diagonal(stretch(rng), stretch(rng), stretch(rng)); break;
      case 1: d = diagonal(near_one(rng), near_one(rng), near_one(rng)); break;
      default: d = diagonal(stretch(rng), stretch(rng), -small(rng)); break;
    }
    const Mat m = multiply(r, multiply(q, multiply(d, transpose(q))));
    const Isometry iso = homo_to_isometry(homo(m, {1, -2, 3}));
    expect_same_rotation(iso.rotation, expected, 1e-9);
    EXPECT_NEAR(norm(iso.rotation), 1.0, 1e-12);
    EXPECT_EQ(iso.translation, (Vec3{1, -2, 3}));
    if (HasFailure()) {
      ADD_FAILURE() << "trial " << trial;
      return;
    }
  }
}

TEST(NearestRotation, ScaleOfTheBlockDoesNotMatterFromSubnormalToHuge) {
  std::mt19937_64 rng(17);
  for (const double scale : {1e-310, 1e-300, 1e-20, 1e20, 1e300, 1.7e308}) {
    for (int i = 0; i < 20; ++i) {
      const Quaternion expected = random_unit_quat(rng);
      Mat m = rotation(expected);
      for (auto& row : m) {
        for (double& x : row) x *= scale;
      }
      expect_same_rotation(timed(homo(m)).rotation, expected, 1e-12 + (scale < 1e-300 ? 1e-5 : 0));
    }
  }
}

// Where the iteration started from the identity reaches the nearest rotation, the
// result is the same up to rounding.
TEST(NearestRotation, AgreesWithTheIterationFromTheIdentityWhereThatConverges) {
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> noise(-1e-3, 1e-3);
  std::uniform_real_distribution<double> scale(0.5, 3.0);
  int compared = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const Quaternion q = random_unit_quat(rng);
    Mat m = rotation(q);
    const double s = scale(rng);
    for (auto& row : m) {
      for (double& x : row) x = x * s + noise(rng);
    }
    const auto stated = stated_iteration(m);
    if (!stated) continue;
    ++compared;
    expect_same_rotation(homo_to_isometry(homo(m)).rotation, *stated, 1e-12);
  }
  EXPECT_GT(compared, 250);
}
