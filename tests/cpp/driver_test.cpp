// OrvekRobot: construction, robot operations, status, payload.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake_controller.hpp"
#include "liborvek/robot.hpp"

namespace orvek {
namespace {

using robot_behavior::Result;
using testing::panic_text;
using testing::FakeController;
using testing::shown;
using Requests = std::vector<std::string>;

constexpr Joints kZeros{};

TEST(Driver, ConnectsWithoutSendingAndIsNotMovingUntilItMoves) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  EXPECT_EQ(robot.version(), "0.1.0");
  EXPECT_FALSE(robot.is_moving());
  ASSERT_EQ(shown(robot.stop()), "ok");  // the first bytes on the wire are the stop
  EXPECT_EQ(controller.requests(), Requests{R"({"cmdName":"stop_program"})"});
}

TEST(Driver, CheckedOperationsSendOneCommandAndReportControllerErrors) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  const std::vector<std::pair<std::function<Result<void>()>, std::string>> operations = {
      {[&] { return robot.init(); }, R"({"cmdName":"power_on"})"},
      {[&] { return robot.shutdown(); }, R"({"cmdName":"power_off"})"},
      {[&] { return robot.disable(); }, R"({"cmdName":"disable_robot"})"},
      {[&] { return robot.stop(); }, R"({"cmdName":"stop_program"})"},
      {[&] { return robot.clear_emergency_stop(); }, R"({"cmdName":"clear_error"})"},
      {[&] { return robot.set_load({1.5, {0.0, 0.0, 50.0}, {1, 2, 3, 4, 5, 6, 7, 8, 9}}); },
       R"({"centroid":[0.0,0.0,50.0],"cmdName":"set_payload","mass":1.5})"},
  };
  for (const auto& [operation, request] : operations) {
    controller.clear_requests();
    controller.reply_default("0", "ignored text");
    EXPECT_EQ(shown(operation()), "ok") << request;
    controller.reply_default("4", "abc");
    EXPECT_EQ(shown(operation()), "Command exception: [4: abc]") << request;
    controller.reply_default("00", "ok");
    EXPECT_EQ(shown(operation()), "Command exception: [00: ok]") << request;
    EXPECT_EQ(controller.requests(), Requests(3, request));
  }
}

TEST(Driver, EnableIgnoresThePowerOnReplyAndChecksEnabling) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  controller.reply_default("3", "already on");
  controller.reply_ok();
  EXPECT_EQ(shown(robot.enable()), "ok");
  controller.reply_ok();
  controller.reply_default("7", "x");
  EXPECT_EQ(shown(robot.enable()), "Command exception: [7: x]");
  const std::string on = R"({"cmdName":"power_on"})", enable = R"({"cmdName":"enable_robot"})";
  EXPECT_EQ(controller.requests(), (Requests{on, enable, on, enable}));
}

TEST(Driver, WithoutAStreamEveryExchangeIsANetworkErrorAndIsMovingFails) {
  // A controller that stops answering: the exchange time-out drops the stream.
  FakeController controller("127.0.10.9");
  OrvekRobot robot("127.0.10.9", Timeouts{.connect = std::chrono::seconds(5), .exchange = std::chrono::milliseconds(50)});
  controller.stay_silent();
  EXPECT_EQ(panic_text([&] { (void)robot.stop(); }), "Connection timed out (os error 110)");
  const std::string absent = "Network exception: TCP command stream is not initialized";
  EXPECT_EQ(shown(robot.init()), absent);
  EXPECT_EQ(shown(robot.enable()), absent);
  EXPECT_EQ(shown(robot.state()), absent);
  EXPECT_EQ(shown(robot.set_load({1.0, {}, {}})), absent);
  // The motion started before its send failed: the arm may move, so the guard stays up.
  EXPECT_EQ(shown(robot.move_joint_async(kZeros)), absent);
  EXPECT_TRUE(robot.moving());
  EXPECT_EQ(shown(robot.move_cartesian_async(Pose{})), "Command exception: Robot is moving");
  EXPECT_EQ(panic_text([&] { robot.is_moving(); }),
            R"(called `Result::unwrap()` on an `Err` value: NetworkError("TCP command stream is not initialized"))");
}

// The driver owns its transport through a pointer: a move hands the connection over and
// leaves the source without one, never with a dangling transport.
TEST(Driver, AMoveHandsTheConnectionOverAndTheSourceAnswersNetworkError) {
  FakeController controller("127.0.10.8");
  OrvekRobot source("127.0.10.8");
  OrvekRobot robot(std::move(source));
  ASSERT_EQ(shown(robot.stop()), "ok");
  const std::string absent = "Network exception: TCP command stream is not initialized";
  EXPECT_EQ(shown(source.stop()), absent);  // NOLINT(bugprone-use-after-move): what is tested
  EXPECT_EQ(shown(source.move_joint_async(kZeros)), absent);
  source = std::move(robot);
  ASSERT_EQ(shown(source.init()), "ok");
  EXPECT_EQ(controller.requests(), (Requests{R"({"cmdName":"stop_program"})", R"({"cmdName":"power_on"})"}));
}

TEST(Driver, UnimplementedOperationsFailWithoutSending) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  EXPECT_EQ(panic_text([&] { (void)robot.reset(); }), "not implemented");
  EXPECT_EQ(panic_text([&] { (void)robot.pause(); }), "not implemented");
  EXPECT_EQ(panic_text([&] { (void)robot.resume(); }), "not implemented");
  EXPECT_EQ(panic_text([&] { (void)robot.emergency_stop(); }), "not implemented");
  EXPECT_EQ(panic_text([&] { (void)robot.inverse_kinematics(Pose{}); }),
            "not implemented: inverse kinematics is not implemented because the representation method of "
            "the robotic arm configuration has not been determined");
  ASSERT_EQ(shown(robot.stop()), "ok");
  EXPECT_EQ(controller.requests(), Requests{R"({"cmdName":"stop_program"})"});
}

TEST(Driver, IsMovingQueriesOnlyWhileGuardedAndTreatsPointOneAsRest) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  ASSERT_EQ(shown(robot.move_joint_async(kZeros)), "ok");
  controller.reply_get_data(0.1000001);
  EXPECT_TRUE(robot.is_moving());
  controller.reply_get_data(0.1);
  EXPECT_FALSE(robot.is_moving());
  EXPECT_FALSE(robot.moving());
  EXPECT_FALSE(robot.is_moving());  // no query once at rest
  EXPECT_EQ(controller.request_count(), 3u);
}

TEST(Driver, StateCarriesJointsAndEulerPoseAsReceivedEvenWithAnErrorCode) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  GetDataState data = default_get_data_state();
  data.joint_actual_position = {1.5, -2, 3, 4, 5, 600};
  data.actual_position = {100, 200, 300, 0.1, 0.2, 0.3};
  data.error_code = "9";
  controller.reply_get_data(data);
  const auto state = robot.state();
  ASSERT_TRUE(state);
  EXPECT_EQ(state->joint, (Joints{1.5, -2, 3, 4, 5, 600}));
  ASSERT_TRUE(state->pose_o_to_ee);
  const auto* euler = std::get_if<Pose::Euler>(&state->pose_o_to_ee->value());
  ASSERT_NE(euler, nullptr);
  EXPECT_EQ(euler->translation, (robot_behavior::Vec3{100, 200, 300}));
  EXPECT_EQ(euler->angles, (robot_behavior::Vec3{0.1, 0.2, 0.3}));
  EXPECT_FALSE(state->joint_vel || state->joint_acc || state->tau || state->pose_ee_to_k ||
               state->cartesian_vel || state->load);
  EXPECT_EQ(controller.requests(), Requests{R"({"cmdName":"get_data"})"});
}

TEST(Driver, MalformedRepliesAreInternalFailures) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  controller.reply(R"({"errorCode":0,"errorMsg":""})");
  EXPECT_NE(panic_text([&] { (void)robot.init(); }), "no failure");
  controller.reply(R"({"errorCode":"0","errorMsg":""})");  // a later exchange still works
  EXPECT_EQ(shown(robot.init()), "ok");
}

}  // namespace
}  // namespace orvek
