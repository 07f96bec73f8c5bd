// OrvekRobot: realtime closure control and the servo command sequences.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fake_controller.hpp"
#include "liborvek/robot.hpp"

namespace orvek {
namespace {

using robot_behavior::MotionStep;
using testing::panic_text;
using testing::FakeController;
using testing::shown;
using Requests = std::vector<std::string>;

const std::string kEnter = R"({"cmdName":"servo_move","relFlag":1})";
const std::string kLeave = R"({"cmdName":"servo_move","relFlag":0})";
const std::string kServoJ = R"({"cmdName":"servo_j","jointPosition":[1.0,2.0,3.0,4.0,5.0,6.5],"relFlag":0})";
const Motion6 kJoint{Motion6::Joint{{1, 2, 3, 4, 5, 6.5}}};
const Motion6 kStop{Motion6::Stop{}};

// Answers the given steps in order, then finished; counts its calls.
struct Script {
  std::vector<MotionStep> steps;
  int calls = 0;
  MotionStep operator()(const ArmState6&, std::chrono::nanoseconds) {
    const auto index = static_cast<std::size_t>(calls++);
    return index < steps.size() ? steps[index] : MotionStep{kStop, true};
  }
};

TEST(Realtime, StreamsTargetsUntilFinishedAndDoesNotSendTheLastOne) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  int calls = 0;
  auto closure = [&](const ArmState6& state, std::chrono::nanoseconds period) -> MotionStep {
    EXPECT_EQ(period, std::chrono::milliseconds(8));
    EXPECT_EQ(state.joint, Joints{});
    EXPECT_EQ(state.joint_vel, Joints{});
    EXPECT_EQ(state.joint_acc, Joints{});
    EXPECT_EQ(state.tau, Joints{});
    EXPECT_EQ(state.cartesian_vel, robot_behavior::Six{});
    EXPECT_TRUE(state.pose_o_to_ee && state.pose_ee_to_k && state.load);
    if (state.pose_o_to_ee && state.load) {
      EXPECT_EQ(state.pose_o_to_ee->quat().rotation, (robot_behavior::Quaternion{0, 0, 0, 1}));
      EXPECT_EQ(state.load->m, 0.0);
    }
    switch (calls++) {
      case 0: return {kJoint, false};
      case 1: return {Motion6{Motion6::Cartesian{Pose::Euler{{1, 2, 3}, {0.5, 0, -1}}}}, false};
      default: return {kJoint, true};
    }
  };
  ASSERT_EQ(shown(robot.move_with_closure(closure)), "ok");
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(robot.moving());
  EXPECT_EQ(controller.requests(),
            (Requests{kEnter, kServoJ,
                      R"({"catPosition":[1.0,2.0,3.0,0.5,0.0,-1.0],"cmdName":"servo_p","relFlag":0})", kLeave}));
}

TEST(Realtime, GuardAndUnimplementedControlSendNothingAndCallNothing) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  Script script;
  auto control = [&](const ArmState6&, std::chrono::nanoseconds) -> robot_behavior::ControlStep {
    ++script.calls;
    return {robot_behavior::Control6{robot_behavior::Control6::Zero{}}, true};
  };
  EXPECT_EQ(panic_text([&] { (void)robot.control_with_closure(control); }), "not implemented");
  ASSERT_EQ(shown(robot.move_joint_async(Joints{})), "ok");
  EXPECT_EQ(shown(robot.move_with_closure(script)), "Command exception: Robot is moving");
  EXPECT_EQ(panic_text([&] { (void)robot.control_with_closure(control); }), "not implemented");
  EXPECT_EQ(script.calls, 0);
  EXPECT_EQ(controller.request_count(), 1u);
}

TEST(Realtime, RefusedEntryEndsTheRunAtOnceAndFreesTheArm) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  Script script{{{kJoint, false}}};
  controller.reply_default("21", "not enabled");
  EXPECT_EQ(shown(robot.move_with_closure(script)), "Command exception: [21: not enabled]");
  EXPECT_EQ(script.calls, 0);
  EXPECT_FALSE(robot.moving());
  EXPECT_EQ(controller.requests(), Requests{kEnter});
}

// Every failure after servo mode was entered leaves it once, and keeps the guard up.
TEST(Realtime, FailuresInTheCycleLeaveServoModeAndReportTheOriginalError) {
  FakeController controller;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const Joints zeros{};
  const std::vector<std::pair<Motion6, std::string>> refused = {
      {Motion6{Motion6::JointVel{zeros}}, "Command exception: Invalid motion type"},
      {Motion6{Motion6::CartesianVel{zeros}}, "Command exception: Invalid motion type"},
      {Motion6{Motion6::Position{}}, "Command exception: Invalid motion type"},
      {Motion6{Motion6::PositionVel{}}, "Command exception: Invalid motion type"},
      {kStop, "Command exception: Invalid motion type"},
      {Motion6{Motion6::Joint{{0, kNaN, 0, 0, 0, 0}}},
       "Invalid instruction error: jointPosition[1] is not a finite number: NaN"},
      {Motion6{Motion6::Cartesian{Pose::Euler{{0, 0, -std::numeric_limits<double>::infinity()}, {}}}},
       "Invalid instruction error: catPosition[2] (z) is not a finite number: -inf"},
  };
  for (const auto& [motion, error] : refused) {
    OrvekRobot robot(controller.host());
    Script script{{{kJoint, false}, {motion, false}}};
    EXPECT_EQ(shown(robot.move_with_closure(script)), error);
    EXPECT_EQ(script.calls, 2);
    EXPECT_TRUE(robot.moving());
    EXPECT_EQ(controller.requests(), (Requests{kEnter, kServoJ, kLeave})) << error;
    controller.clear_requests();
  }
}

TEST(Realtime, ControllerRefusalsOfServoCommandsEndTheRun) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  Script script{{{kJoint, false}, {kJoint, false}}};
  controller.reply_ok();
  controller.reply_default("3", "out of reach");
  EXPECT_EQ(shown(robot.move_with_closure(script)), "Command exception: [3: out of reach]");
  EXPECT_EQ(script.calls, 1);
  EXPECT_TRUE(robot.moving());
  EXPECT_EQ(controller.requests(), (Requests{kEnter, kServoJ, kLeave}));
  // A refused exit is reported too; the arm stays guarded.
  ASSERT_FALSE(robot.is_moving());
  controller.clear_requests();
  script = Script{};
  controller.reply_ok();
  controller.reply_default("8", "busy");
  EXPECT_EQ(shown(robot.move_with_closure(script)), "Command exception: [8: busy]");
  EXPECT_TRUE(robot.moving());
  EXPECT_EQ(controller.requests(), (Requests{kEnter, kLeave}));
}

TEST(Realtime, AThrowingCallableLeavesServoModeAndPropagates) {
  FakeController controller;
  OrvekRobot robot(controller.host());
  int calls = 0;
  auto closure = [&](const ArmState6&, std::chrono::nanoseconds) -> MotionStep {
    if (calls++ == 1) robot_behavior::panic("called `Result::unwrap()` on an `Err` value: ValueError: bad");
    return {kJoint, false};
  };
  EXPECT_EQ(panic_text([&] { (void)robot.move_with_closure(closure); }),
            "called `Result::unwrap()` on an `Err` value: ValueError: bad");
  EXPECT_TRUE(robot.moving());
  EXPECT_EQ(controller.requests(), (Requests{kEnter, kServoJ, kLeave}));
}

TEST(Realtime, TransportFaultsInTheCycleEndTheRunWithTheFault) {
  FakeController controller;
  // A silent controller: the exchange times out and the stream is dropped, so the attempt
  // to leave servo mode cannot reach the wire and the time-out is what is reported.
  OrvekRobot robot(controller.host(), Timeouts{std::chrono::milliseconds(1000), std::chrono::milliseconds(200)});
  Script script{{{kJoint, false}, {kJoint, false}}};
  controller.reply_ok();
  controller.stay_silent();
  EXPECT_NE(panic_text([&] { (void)robot.move_with_closure(script); }), "no failure");
  EXPECT_EQ(script.calls, 1);
  EXPECT_TRUE(robot.moving());
  EXPECT_EQ(controller.requests(), (Requests{kEnter, kServoJ}));
}

}  // namespace
}  // namespace orvek
