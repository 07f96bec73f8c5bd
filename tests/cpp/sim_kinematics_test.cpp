// The simulated arm's kinematics: forward against hand-computed poses, the Jacobian
// against finite differences, the inverse against the forward, and the rotation forms.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "kinematics.hpp"

namespace orvek::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

void expect_matrix_near(const Mat3& a, const Mat3& b, double tolerance) {
  for (std::size_t i = 0; i < 9; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
}

Joints random_joints(std::mt19937& rng, double range) {
  std::uniform_real_distribution<double> u(-range, range);
  Joints q{};
  for (double& v : q) v = u(rng);
  return q;
}

TEST(SimKinematics, ForwardAtZeroAndAtHomeMatchTheLinkLengths) {
  // Stretched out along x: x = a2 + a3, y = -(d4 + d6), z = d1 - d5; flange turned +90 deg about x.
  const Frame zero = forward({0, 0, 0, 0, 0, 0});
  EXPECT_NEAR(zero.position[0], 750.0, 1e-12);
  EXPECT_NEAR(zero.position[1], -210.0, 1e-12);
  EXPECT_NEAR(zero.position[2], 50.0, 1e-12);
  expect_matrix_near(zero.rotation, {1, 0, 0, 0, 0, -1, 0, 1, 0}, 1e-15);

  // Home (0, 90, -90, -90, -90, 0 degrees): upper arm up, forearm forward, tool down.
  const Frame home = forward({0, kPi / 2, -kPi / 2, -kPi / 2, -kPi / 2, 0});
  EXPECT_NEAR(home.position[0], 250.0, 1e-12);
  EXPECT_NEAR(home.position[1], -120.0, 1e-12);
  EXPECT_NEAR(home.position[2], 460.0, 1e-12);
  expect_matrix_near(home.rotation, {0, 1, 0, 1, 0, 0, 0, 0, -1}, 1e-15);
}

TEST(SimKinematics, JacobianMatchesFiniteDifferences) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const Joints q = random_joints(rng, kPi);
    const Jacobian j = jacobian(q);
    const Frame f0 = forward(q);
    const double h = 1e-6;
    for (std::size_t i = 0; i < 6; ++i) {
      Joints qh = q;
      qh[i] += h;
      const Frame f1 = forward(qh);
      const Vec3 w = rotation_vector(multiply(f1.rotation, transpose(f0.rotation)));
      for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(j[k][i], (f1.position[k] - f0.position[k]) / h, 1e-3);
        EXPECT_NEAR(j[k + 3][i], w[k] / h, 1e-6);
      }
    }
  }
}

TEST(SimKinematics, InverseReachesPosesNearTheSeedAndKeepsItsBranch) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> nudge(-0.05, 0.05);  // about 3 degrees, as between servo steps
  for (int trial = 0; trial < 200; ++trial) {
    const Joints q = random_joints(rng, 2.5);
    const Frame target = forward(q);
    Joints seed = q;
    for (double& v : seed) v += nudge(rng);
    const auto solved = inverse(target, seed);
    ASSERT_TRUE(solved.has_value()) << "trial " << trial;
    const Frame reached = forward(*solved);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(reached.position[k], target.position[k], 1e-7);
    expect_matrix_near(reached.rotation, target.rotation, 1e-9);
  }
}

TEST(SimKinematics, InverseRefusesWhatIsOutOfReachOrNotFinite) {
  const Joints home{0, kPi / 2, -kPi / 2, -kPi / 2, -kPi / 2, 0};
  Frame far = forward(home);
  far.position = {2000.0, 0.0, 0.0};  // the arm spans well under a metre
  EXPECT_FALSE(inverse(far, home).has_value());
  Frame nan = forward(home);
  nan.position[0] = std::nan("");
  EXPECT_FALSE(inverse(nan, home).has_value());
}

TEST(SimKinematics, InverseRefusesSolutionsBeyondTheJointLimits) {
  const Joints q{0, kPi / 2, -kPi / 2, -kPi / 2, -kPi / 2, 6.2};
  // The same pose one more quarter turn round on joint 6 lies beyond 360 degrees.
  const Joints over{0, kPi / 2, -kPi / 2, -kPi / 2, -kPi / 2, 6.2 + kPi / 4};
  EXPECT_TRUE(inverse(forward(q), q).has_value());
  EXPECT_FALSE(inverse(forward(over), over).has_value());
  EXPECT_FALSE(within_limits(over));
}

TEST(SimKinematics, EulerAnglesRoundTripIncludingGimbalLock) {
  const double cases[][3] = {{0.1, 0.2, 0.3}, {-3.0, 1.2, 2.9}, {kPi, 0, kPi / 2}, {0.4, kPi / 2, -0.3},
                             {0.4, -kPi / 2, 1.0}, {0, 0, 0}};
  for (const auto& c : cases) {
    const Frame f = from_six({1, 2, 3, c[0], c[1], c[2]});
    const auto six = to_six(f);
    EXPECT_EQ(six[0], 1.0);
    EXPECT_EQ(six[1], 2.0);
    EXPECT_EQ(six[2], 3.0);
    expect_matrix_near(from_six(six).rotation, f.rotation, 1e-12);
  }
  // R = Rz(yaw) Ry(pitch) Rx(roll): a pure yaw of 90 degrees sends x to y.
  expect_matrix_near(from_six({0, 0, 0, 0, 0, kPi / 2}).rotation, {0, -1, 0, 1, 0, 0, 0, 0, 1}, 1e-15);
  const auto six = to_six(from_six({0, 0, 0, 0.1, 0.2, 0.3}));
  EXPECT_NEAR(six[3], 0.1, 1e-15);
  EXPECT_NEAR(six[4], 0.2, 1e-15);
  EXPECT_NEAR(six[5], 0.3, 1e-15);
}

TEST(SimKinematics, RotationVectorRoundTripsUpToAHalfTurn) {
  const Vec3 cases[] = {{0, 0, 0}, {1e-9, 0, 0}, {0.3, -0.2, 0.1}, {0, 0, kPi - 1e-9}, {kPi, 0, 0},
                        {0, kPi / std::sqrt(2.0), kPi / std::sqrt(2.0)}};
  for (const Vec3& v : cases) {
    const Mat3 r = from_rotation_vector(v);
    const Vec3 back = rotation_vector(r);
    expect_matrix_near(from_rotation_vector(back), r, 1e-12);
    EXPECT_NEAR(std::hypot(back[0], back[1], back[2]), std::hypot(v[0], v[1], v[2]), 1e-9);
  }
}

}  // namespace
}  // namespace orvek::sim
