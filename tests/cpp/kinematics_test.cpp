// Forward kinematics of the driver: six turns about x, composed in joint order.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "fake_controller.hpp"
#include "liborvek/robot.hpp"

namespace orvek {
namespace {

using robot_behavior::Isometry;

Isometry fk(const Joints& q) { return std::get<Pose::Quat>(forward_kinematics(q).value()); }

TEST(ForwardKinematics, IsTheTurnBySumOfJointsAboutXWithoutTranslation) {
  const Isometry home = fk({});
  EXPECT_EQ(home.rotation, (robot_behavior::Quaternion{0, 0, 0, 1}));
  EXPECT_EQ(home.translation, (robot_behavior::Vec3{0, 0, 0}));

  EXPECT_EQ(fk({1, 0, 0, 0, 0, 0}).rotation, (robot_behavior::Quaternion{0.479425538604203, 0, 0, 0.8775825618903728}));
  EXPECT_EQ(fk({0, 0, 0, 0, 0, 1}).rotation, (robot_behavior::Quaternion{0.479425538604203, 0, 0, 0.8775825618903728}));
  EXPECT_EQ(fk({-1, 0, 0, 0, 0, 0}).rotation, (robot_behavior::Quaternion{-0.479425538604203, 0, 0, 0.8775825618903728}));
  EXPECT_EQ(fk({std::numbers::pi / 2, 0, 0, 0, 0, 0}).rotation,
            (robot_behavior::Quaternion{0.7071067811865475, 0, 0, 0.7071067811865476}));

  const Isometry mixed = fk({0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
  EXPECT_NEAR(mixed.rotation[0], 0.867423225594017, 2e-16);
  EXPECT_NEAR(mixed.rotation[3], 0.4975710478917269, 1e-16);
  EXPECT_EQ(mixed.translation, (robot_behavior::Vec3{0, 0, 0}));
  const Isometry permuted = fk({0.6, 0.4, 0.2, 0.1, 0.5, 0.3});
  EXPECT_NEAR(permuted.rotation[0], mixed.rotation[0], 4e-16);
  EXPECT_NEAR(permuted.rotation[3], mixed.rotation[3], 4e-16);
}

TEST(ForwardKinematics, KeepsTheSignOfWAfterFullTurns) {
  constexpr double pi = std::numbers::pi;
  const Isometry turned = fk({pi, pi, pi, pi, pi, pi});
  EXPECT_EQ(turned.rotation[3], -1.0);
  EXPECT_LT(std::abs(turned.rotation[0]), 1e-15);
}

TEST(ForwardKinematics, ANonFiniteJointMakesEveryNumberNaN) {
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    for (std::size_t joint = 0; joint < 6; ++joint) {
      Joints q{0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
      q[joint] = bad;
      const Isometry pose = fk(q);
      for (const double v : pose.rotation) EXPECT_TRUE(std::isnan(v)) << "joint " << joint;
      for (const double v : pose.translation) EXPECT_TRUE(std::isnan(v)) << "joint " << joint;
    }
  }
}

TEST(ForwardKinematics, TheDriverComputesItWithoutItsController) {
  testing::FakeController controller("127.0.10.10");
  const OrvekRobot robot("127.0.10.10");
  const Pose pose = robot.forward_kinematics({1, 0, 0, 0, 0, 0});
  EXPECT_EQ(std::get<Pose::Quat>(pose.value()).rotation[0], 0.479425538604203);
}

}  // namespace
}  // namespace orvek
