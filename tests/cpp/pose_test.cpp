#include "robot_behavior/pose.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

using namespace robot_behavior;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kS = 0.7071067811865476;  // sin(pi/4) as written in pose texts
const double kNaN = std::numeric_limits<double>::quiet_NaN();

const Matrix4 kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void expect_near(const auto& actual, const auto& expected, double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "index " << i;
}

// The same rotation: q and -q are the same.
void expect_same_rotation(const Quaternion& a, const Quaternion& b, double tolerance) {
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
  const double sign = dot < 0 ? -1.0 : 1.0;
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], sign * b[i], tolerance) << "component " << i;
}

Quaternion random_unit_quat(std::mt19937_64& rng) {
  std::normal_distribution<double> normal;
  Quaternion q{normal(rng), normal(rng), normal(rng), normal(rng)};
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (double& c : q) c /= n;
  return q;
}

}  // namespace

TEST(Pose, DefaultIsQuatIdentityAndConvertsToZeroAnglesIdentityMatrixAndXAxis) {
  const Pose pose;
  ASSERT_TRUE(std::holds_alternative<Pose::Quat>(pose.value()));
  EXPECT_EQ(pose.quat(), (Isometry{{0, 0, 0, 1}, {0, 0, 0}}));
  EXPECT_EQ(pose.euler(), (std::pair{Vec3{0, 0, 0}, Vec3{0, 0, 0}}));
  EXPECT_EQ(pose.homo(), kIdentity);
  EXPECT_EQ(pose.axis_angle(), (AxisAngle{{0, 0, 0}, {1, 0, 0}, 0}));
}

TEST(Pose, EulerAnglesAreReturnedAsStoredButComeBackWrappedThroughAQuaternion) {
  const Pose euler = Pose::Euler{{1, 2, 3}, {4.0, 0, 0}};
  EXPECT_EQ(euler.euler().second, (Vec3{4.0, 0, 0}));
  const Pose quat = euler.quat();
  const auto [translation, angles] = quat.euler();
  EXPECT_EQ(translation, (Vec3{1, 2, 3}));
  EXPECT_NEAR(angles[0], 4.0 - 2 * kPi, 1e-14);
  EXPECT_NEAR(angles[1], 0.0, 1e-15);
  EXPECT_NEAR(angles[2], 0.0, 1e-15);
}

TEST(Pose, EulerPitchHalfPiGivesExactlyMinusOneAtR20) {
  const Matrix4 h = Pose(Pose::Euler{{0, 0, 0}, {0, kPi / 2, 0}}).homo();
  EXPECT_EQ(h[2], -1.0);
  EXPECT_EQ(h[3], 0.0);
  EXPECT_EQ(h[15], 1.0);
}

TEST(Pose, MatrixToEulerTakesEachOfItsThreeBranches) {
  // |R20| < 1: the general branch gives back the angles.
  const Vec3 angles{0.3, -0.7, 2.1};
  const Pose general = Pose(Pose::Euler{{0, 0, 0}, angles}).quat();
  expect_near(general.euler().second, angles, 1e-14);

  // R20 = -1.0000000000000002: pitch +pi/2, yaw 0.
  const Pose up = Pose::Quat{{0, kS, 0, kS}, {0, 0, 0}};
  EXPECT_EQ(up.homo()[2], -1.0000000000000002);
  EXPECT_EQ(up.euler().second, (Vec3{0, 1.5707963267948966, 0}));

  // R20 >= 1: pitch -pi/2. The roll is -atan2(R01, -R02) = -atan2(-0.0, 1.0000000000000002),
  // which is +0.0.
  const Pose down = Pose::Quat{{0, -kS, 0, kS}, {0, 0, 0}};
  const Vec3 down_angles = down.euler().second;
  EXPECT_EQ(down.homo()[2], 1.0000000000000002);
  EXPECT_EQ(down_angles, (Vec3{0, -1.5707963267948966, 0}));
  EXPECT_FALSE(std::signbit(down_angles[0]));

  // A NaN R20 also takes the last branch.
  const Vec3 nan_angles = Pose(Pose::Quat{{kNaN, 0, 0, 1}, {0, 0, 0}}).euler().second;
  EXPECT_TRUE(std::isnan(nan_angles[0]));
  EXPECT_EQ(nan_angles[1], -1.5707963267948966);
  EXPECT_EQ(nan_angles[2], 0.0);
}

TEST(Pose, AxisAngleKeepsItsAxisButConvertsWithTheUnitAxis) {
  const Pose pose = AxisAngle{{0, 0, 0}, {0, 0, 2}, 1.0};
  EXPECT_EQ(pose.axis_angle(), (AxisAngle{{0, 0, 0}, {0, 0, 2}, 1.0}));
  EXPECT_EQ(pose.quat().rotation, (Quaternion{0, 0, std::sin(0.5), std::cos(0.5)}));
  expect_near(pose.homo(), Pose(AxisAngle{{0, 0, 0}, {0, 0, 1}, 1.0}).homo(), 0.0);
  expect_near(pose.euler().second, (Vec3{0, 0, 1.0}), 1e-15);
}

TEST(Pose, QuatToAxisAngleFlipsTheSignWhenWIsNegative) {
  const AxisAngle aa = Pose(Pose::Quat{{0, 0, kS, -kS}, {0, 0, 0}}).axis_angle();
  EXPECT_EQ(aa.axis, (Vec3{0, 0, -1}));
  EXPECT_EQ(aa.angle, 1.5707963267948966);

  // A NaN w flips too; the angle is NaN.
  const AxisAngle nan = Pose(Pose::Quat{{1, 0, 0, kNaN}, {0, 0, 0}}).axis_angle();
  EXPECT_EQ(nan.axis, (Vec3{-1, 0, 0}));
  EXPECT_TRUE(std::isnan(nan.angle));
}

TEST(Pose, NoRotationGivesXAxisAndZeroAngleFromEveryRepresentation) {
  const AxisAngle expected{{1, 2, 3}, {1, 0, 0}, 0};
  EXPECT_EQ(Pose(Pose::Euler{{1, 2, 3}, {0, 0, 0}}).axis_angle(), expected);
  EXPECT_EQ(Pose(Pose::Quat{{0, 0, 0, 1}, {1, 2, 3}}).axis_angle(), expected);
  EXPECT_EQ(Pose(Pose::Quat{{0, 0, 0, -1}, {1, 2, 3}}).axis_angle(), expected);
  EXPECT_EQ(Pose(Pose::Homo{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}}).axis_angle(), expected);
  EXPECT_EQ(Pose(Pose::Position{{1, 2, 3}}).axis_angle(), expected);
}

TEST(Pose, PositionHasNoRotation) {
  const Pose pose = Pose::Position{{1, 2, 3}};
  EXPECT_EQ(pose.six(), (Six{1, 2, 3, 0, 0, 0}));
  EXPECT_EQ(pose.quat(), (Isometry{{0, 0, 0, 1}, {1, 2, 3}}));
  EXPECT_EQ(pose.homo(), (Matrix4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}));
}

TEST(Pose, ZeroAxisWithZeroAngleIsTheIdentityAndWithAnyOtherAngleIsNaN) {
  const Pose still = AxisAngle{{1, 2, 3}, {0, 0, 0}, 0.0};
  EXPECT_EQ(still.homo(), (Matrix4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}));
  EXPECT_EQ(still.quat().rotation, (Quaternion{0, 0, 0, 1}));
  EXPECT_EQ(still.six(), (Six{1, 2, 3, 0, 0, 0}));
  EXPECT_EQ(still.axis_angle(), (AxisAngle{{1, 2, 3}, {0, 0, 0}, 0.0}));

  const Pose undefined = AxisAngle{{0, 0, 0}, {0, 0, 0}, 1.0};
  const Quaternion q = undefined.quat().rotation;
  EXPECT_TRUE(std::isnan(q[0]) && std::isnan(q[1]) && std::isnan(q[2]));
  EXPECT_TRUE(std::isnan(undefined.six()[3]));
}

TEST(Pose, QuatIsUsedAsStoredWithoutNormalising) {
  const Pose pose = Pose::Quat{{0, 0, 0, 2}, {0, 0, 0}};
  EXPECT_EQ(pose.quat().rotation, (Quaternion{0, 0, 0, 2}));
  const Matrix4 h = pose.homo();
  EXPECT_EQ(h[0], 4.0);
  EXPECT_EQ(h[5], 4.0);
  EXPECT_EQ(h[10], 4.0);
  EXPECT_EQ(pose.euler().second, (Vec3{0, 0, 0}));
  EXPECT_EQ(pose.axis_angle(), (AxisAngle{{0, 0, 0}, {1, 0, 0}, 0}));

  // A non-unit quaternion still gives a unit axis.
  const AxisAngle aa = Pose(Pose::Quat{{0, 0, 3, 3}, {0, 0, 0}}).axis_angle();
  EXPECT_EQ(aa.axis, (Vec3{0, 0, 1}));
  EXPECT_DOUBLE_EQ(aa.angle, kPi / 2);
}

TEST(Pose, HomoKeepsAllSixteenValuesAndTakesTranslationFromTwelveToFourteen) {
  Matrix4 numbers{};
  for (int i = 0; i < 16; ++i) numbers[i] = i;
  const Pose pose = Pose::Homo{numbers};
  EXPECT_EQ(pose.homo(), numbers);
  EXPECT_EQ(pose.position(), (Vec3{12, 13, 14}));
  EXPECT_EQ(pose.quat().translation, (Vec3{12, 13, 14}));
  EXPECT_EQ(pose.euler().first, (Vec3{12, 13, 14}));
}

TEST(Pose, HomoOfTwiceARotationGivesThatRotationAndIgnoresTheBottomRow) {
  const Quaternion q{0.1825741858350554, 0.3651483716701107, 0.5477225575051661, 0.7302967433402214};
  Matrix4 h = Pose(Pose::Quat{q, {7, 8, 9}}).homo();
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) h[i] *= 2;
  h[3] = 5;
  h[7] = -1;
  h[11] = 0.5;
  h[15] = 9;
  const Isometry iso = Pose(Pose::Homo{h}).quat();
  expect_same_rotation(iso.rotation, q, 1e-15);
  EXPECT_EQ(iso.translation, (Vec3{7, 8, 9}));
}

TEST(Pose, EulerOfAHomoComesFromTheOrthonormalisedRotation) {
  const Vec3 angles{0.4, 0.2, -1.1};
  Matrix4 h = Pose(Pose::Euler{{0, 0, 0}, angles}).homo();
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) h[i] *= 3.5;
  expect_near(Pose(Pose::Homo{h}).euler().second, angles, 1e-14);

  // The exact half turn about y: R = diag(-1, 1, -1) reads as roll pi, pitch 0, yaw pi.
  const Pose half = Pose::Homo{{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}};
  const Vec3 half_angles = half.euler().second;
  EXPECT_DOUBLE_EQ(half_angles[0], kPi);
  EXPECT_EQ(half_angles[1], 0.0);
  EXPECT_DOUBLE_EQ(half_angles[2], kPi);
}

// Seeded random poses: every path between representations describes the same rotation.
TEST(Pose, ConversionsAgreeOnRandomRotations) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  std::uniform_real_distribution<double> half_pitch(-kPi / 2 + 1e-3, kPi / 2 - 1e-3);
  std::uniform_real_distribution<double> coordinate(-1000, 1000);
  for (int trial = 0; trial < 2000; ++trial) {
    const Vec3 t{coordinate(rng), coordinate(rng), coordinate(rng)};
    const Quaternion q = random_unit_quat(rng);
    const Pose quat = Pose::Quat{q, t};

    // quat of euler of a quaternion: the same rotation up to sign.
    const auto [et, ea] = quat.euler();
    EXPECT_EQ(et, t);
    expect_same_rotation(Pose(Pose::Euler{et, ea}).quat().rotation, q, 1e-12);

    // homo of a Quat pose back through homo_to_isometry: the same rotation.
    const Isometry back = homo_to_isometry(quat.homo());
    expect_same_rotation(back.rotation, q, 1e-12);
    EXPECT_EQ(back.translation, t);

    // axis and angle give back the quaternion; the angle lies in [0, pi].
    const AxisAngle aa = quat.axis_angle();
    EXPECT_GE(aa.angle, 0.0);
    EXPECT_LE(aa.angle, kPi);
    expect_same_rotation(Pose(aa).quat().rotation, q, 1e-12);
    expect_near(Pose(aa).homo(), quat.homo(), 1e-12);

    // The matrix of the angles and the matrix of their quaternion are one matrix; the angles survive in the principal range.
    const Vec3 angles{angle(rng), half_pitch(rng), angle(rng)};
    const Pose euler = Pose::Euler{t, angles};
    expect_near(Pose(euler.quat()).homo(), euler.homo(), 1e-12);
    expect_near(Pose(euler.quat()).euler().second, angles, 1e-9);
  }
}
