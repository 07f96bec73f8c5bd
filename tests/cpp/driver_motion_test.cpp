// OrvekRobot: pre-planned motions, their settings, frames, guard and waits.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "fake_controller.hpp"
#include "liborvek/robot.hpp"

namespace orvek {
namespace {

using testing::panic_text;
using testing::FakeController;
using testing::shown;
using Requests = std::vector<std::string>;

constexpr Joints kZeros{};
// The identity rotation written as Euler angles, so that every angle is sent as +0.0.
const Pose kOrigin = Pose::Euler{};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::string kMoving = "Command exception: Robot is moving";
const std::string kGetData = R"({"cmdName":"get_data"})";

std::string joint_move(const std::string& accel, const std::string& speed, int rel = 0,
                       const std::string& joints = "0.0,0.0,0.0,0.0,0.0,0.0") {
  return R"({"accel":)" + accel + R"(,"cmdName":"joint_move","jointPosition":[)" + joints +
         R"(],"relFlag":)" + std::to_string(rel) + R"(,"speed":)" + speed + "}";
}

std::string move_l(const std::string& accel, const std::string& speed, int rel = 0,
                   const std::string& pose = "0.0,0.0,0.0,0.0,0.0,0.0") {
  return R"({"accel":)" + accel + R"(,"cartPosition":[)" + pose + R"(],"cmdName":"moveL","relFlag":)" +
         std::to_string(rel) + R"(,"speed":)" + speed + "}";
}

// Lets the arm come to rest so that the next motion is not refused.
void settle(OrvekRobot& robot) { ASSERT_FALSE(robot.is_moving()); }

TEST(Motion, BlockingJointMovePollsEveryTenthOfASecondUntilAtRest) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  controller.reply_ok();
  controller.reply_get_data(5.0);
  controller.reply_get_data(0.5);
  controller.reply_get_data(0.1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(shown(robot.move_joint(kZeros)), "ok");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(controller.requests(), (Requests{joint_move("20.0", "9.0"), kGetData, kGetData, kGetData}));
  EXPECT_FALSE(robot.moving());
}

TEST(Motion, AcceptedMovesStayGuardedUntilSeenAtRestAndRefusalsSendNothing) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");
  EXPECT_EQ(shown(robot.move_joint_async(kZeros)), kMoving);
  EXPECT_EQ(shown(robot.move_to(Motion6{Motion6::Cartesian{}})), kMoving);
  settle(robot);
  // An accepted "moveL" keeps the guard up as well, and its blocking form waits.
  ASSERT_EQ(shown(robot.move_cartesian_async(kOrigin)), "ok");
  EXPECT_EQ(shown(robot.move_cartesian_async(kOrigin)), kMoving);
  controller.reply_get_data(3.0);
  EXPECT_TRUE(robot.is_moving());
  settle(robot);
  EXPECT_EQ(shown(robot.move_cartesian(kOrigin)), "ok");
  EXPECT_EQ(controller.requests(), (Requests{joint_move("20.0", "9.0"), kGetData, move_l("200.0", "50.0"),
                                             kGetData, kGetData, move_l("200.0", "50.0"), kGetData}));
}

TEST(Motion, RefusedMotionsAreCommandErrorsAndLeaveTheArmFree) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  controller.reply_default("12", "joint limit");
  EXPECT_EQ(shown(robot.move_joint(kZeros)), "Command exception: [12: joint limit]");
  EXPECT_FALSE(robot.moving());
  controller.reply_default("5", "unreachable");
  EXPECT_EQ(shown(robot.move_cartesian_async(kOrigin)), "Command exception: [5: unreachable]");
  EXPECT_FALSE(robot.moving());
  EXPECT_EQ(controller.request_count(), 2u);  // no wait after a refusal
}

TEST(Motion, SpeedSettingsAndOneShotOverridesAreTakenByTheirKindOfMotion) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  robot.set_speed(0.5);
  robot.with_speed(1.0);
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");  // takes the joint half of with_speed
  settle(robot);
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");
  settle(robot);
  ASSERT_EQ(shown(robot.move_cartesian_async(kOrigin)), "ok");  // the Cartesian half waited
  settle(robot);
  ASSERT_EQ(shown(robot.move_cartesian_async(kOrigin)), "ok");
  settle(robot);
  robot.with_velocity({10, 20, 30, 40, 50, 60}).with_acceleration({7, 0, 0, 0, 0, 0});
  robot.with_cartesian_velocity(11).with_cartesian_acceleration(12).with_jerk({1, 1, 1, 1, 1, 1});
  robot.with_cartesian_jerk(3);
  ASSERT_EQ(shown(robot.move_cartesian_async(kOrigin)), "ok");
  settle(robot);
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");
  const Requests sent = controller.requests();
  const Requests expected = {joint_move("400.0", "180.0"), joint_move("200.0", "90.0"),
                             move_l("4000.0", "1000.0"),   move_l("2000.0", "500.0"),
                             move_l("12.0", "11.0"),       joint_move("7.0", "10.0")};
  Requests motions;
  for (const auto& request : sent) {
    if (request != kGetData) motions.push_back(request);
  }
  EXPECT_EQ(motions, expected);
}

TEST(Motion, FramesSetRelFlagAndOneShotFramesWaitForAnAcceptedStart) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  const Pose::Euler target{{1, 2, 3}, {0.5, -0.25, 1}};
  ASSERT_EQ(shown(robot.move_joint_rel({1, 2, 3, 4, 5, 6})), "ok");
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");
  // A refused start leaves the one-shot frame for the next motion of either kind.
  EXPECT_EQ(shown(robot.move_joint_rel(kZeros)), kMoving);
  EXPECT_EQ(shown(robot.move_to(Motion6{Motion6::Stop{}})),
            "Conflicting instruction error: ArmPreplannedMotion does not support this motion type");
  settle(robot);
  ASSERT_EQ(shown(robot.move_cartesian_async(target)), "ok");
  settle(robot);
  robot.set_coord(Coord{Coord::Interial{}});
  ASSERT_EQ(shown(robot.move_linear_with_euler_async({1, 2, 3, 0, 0, 0})), "ok");
  settle(robot);
  ASSERT_EQ(shown(robot.with_coord(Coord{Coord::OCS{}}).move_cartesian_async(kOrigin)), "ok");
  settle(robot);
  robot.set_coord(Coord{Coord::OCS{}});
  ASSERT_EQ(shown(robot.move_linear_with_euler_int_async({1, 2, 3, 0, 0, 0})), "ok");
  settle(robot);
  ASSERT_EQ(shown(robot.move_int_async(Motion6{Motion6::Joint{kZeros}})), "ok");
  settle(robot);
  ASSERT_EQ(shown(robot.move_cartesian(Pose::Position{{4, 5, 6}})), "ok");
  Requests motions;
  for (const auto& request : controller.requests()) {
    if (request != kGetData) motions.push_back(request);
  }
  EXPECT_EQ(motions, (Requests{joint_move("20.0", "9.0", 1, "1.0,2.0,3.0,4.0,5.0,6.0"), joint_move("20.0", "9.0"),
                               move_l("200.0", "50.0", 1, "1.0,2.0,3.0,0.5,-0.25,1.0"),
                               move_l("200.0", "50.0", 1, "1.0,2.0,3.0,0.0,0.0,0.0"), move_l("200.0", "50.0"),
                               move_l("200.0", "50.0", 1, "1.0,2.0,3.0,0.0,0.0,0.0"),
                               joint_move("20.0", "9.0", 1), move_l("200.0", "50.0", 0, "4.0,5.0,6.0,0.0,0.0,0.0")}));
}

TEST(Motion, UnsupportedTargetsConsumeNothing) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  robot.with_speed(1.0);
  EXPECT_EQ(shown(robot.move_to_async(Motion6{Motion6::JointVel{kZeros}})),
            "Conflicting instruction error: ArmPreplannedMotion does not support this motion type");
  EXPECT_FALSE(robot.moving());
  ASSERT_EQ(shown(robot.move_to_async(Motion6{Motion6::Joint{kZeros}})), "ok");
  EXPECT_EQ(controller.requests(), Requests{joint_move("400.0", "180.0")});
}

TEST(Motion, NonFiniteNumbersAreRefusedAfterTakingTheSettingsAndBeforeSending) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  robot.with_coord(Coord{Coord::Shot{}}).with_velocity({1, 1, 1, 1, 1, 1});
  EXPECT_EQ(shown(robot.move_joint({0, 0, kNaN, 0, 0, 0})),
            "Invalid instruction error: jointPosition[2] is not a finite number: NaN");
  EXPECT_FALSE(robot.moving());
  robot.with_cartesian_velocity(kInf);
  EXPECT_EQ(shown(robot.move_cartesian_async(kOrigin)), "Invalid instruction error: speed is not a finite number: inf");
  robot.with_cartesian_acceleration(-kInf);
  EXPECT_EQ(shown(robot.move_linear_with_euler_async({0, 0, 0, 0, 0, 0})),
            "Invalid instruction error: accel is not a finite number: -inf");
  EXPECT_EQ(shown(robot.move_cartesian_async(Pose::Euler{{0, 0, 0}, {0, kNaN, 0}})),
            "Invalid instruction error: cartPosition[4] (pitch) is not a finite number: NaN");
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");  // every override was used up
  EXPECT_EQ(controller.requests(), Requests{joint_move("20.0", "9.0")});
}

TEST(Motion, UserFramesAreRefusedAfterTakingTheSettingsAndBeforeSending) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  const Coord user{Coord::Other{Pose::Position{{0, 0, 100}}}};
  robot.with_coord(user).with_speed(1.0);
  EXPECT_EQ(shown(robot.move_cartesian(kOrigin)),
            "Unprocessable instruction error: user frames are not supported by this controller");
  EXPECT_FALSE(robot.moving());
  robot.set_coord(user);
  EXPECT_EQ(shown(robot.move_joint_async(kZeros)),
            "Unprocessable instruction error: user frames are not supported by this controller");
  robot.set_coord(Coord{Coord::OCS{}});
  ASSERT_EQ(shown(robot.move_cartesian_async(kOrigin)), "ok");  // Cartesian override taken above
  EXPECT_EQ(controller.requests(), Requests{move_l("200.0", "50.0")});
}

bool interrupt_on_second_check(void* context) { return ++*static_cast<int*>(context) >= 2; }

TEST(Motion, InterruptedWaitStopsTheArmAndEndsWithInterrupted) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  controller.set_unscripted_tcp_speed(20.0);
  int checks = 0;
  robot.set_interrupt_check(&interrupt_on_second_check, &checks);
  EXPECT_THROW((void)robot.move_joint(kZeros), robot_behavior::Interrupted);
  EXPECT_EQ(checks, 2);
  EXPECT_TRUE(robot.moving());
  EXPECT_EQ(controller.requests(),
            (Requests{joint_move("20.0", "9.0"), kGetData, kGetData, R"({"cmdName":"stop_program"})"}));
}

TEST(Motion, PathsAreNotCarriedOutAndLeaveTheirFramePending) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  const std::vector<Joints> joints(2, kZeros);
  EXPECT_EQ(panic_text([&] { (void)robot.move_joint_path(joints); }), "not implemented");
  EXPECT_EQ(panic_text([&] { (void)robot.move_path_start(Motion6{Motion6::Stop{}}); }), "not implemented");
  EXPECT_EQ(shown(robot.move_path_from_file("/nonexistent/path.json")),
            "Network exception: No such file or directory (os error 2)");
  const std::string file = ::testing::TempDir() + "driver_motion_path.json";
  std::ofstream(file) << R"([{"Joint":[0,0,0,0,0,0]}])";
  EXPECT_EQ(panic_text([&] { (void)robot.move_path_prepare_from_file(file); }), "not implemented");
  std::ofstream(file) << "[{\"Joint\":[0,0]}]";
  EXPECT_NE(panic_text([&] { (void)robot.move_path_from_file(file); }), "not implemented");
  std::remove(file.c_str());
  ASSERT_EQ(shown(robot.move_cartesian_async(kOrigin)), "ok");
  EXPECT_EQ(controller.requests(), Requests{move_l("200.0", "50.0", 1)});
}

}  // namespace
}  // namespace orvek
