// Realtime closure control: servo mode, one target per cycle from the caller's callable.

#include <algorithm>
#include <utility>
#include <variant>

#include "robot/exchange.hpp"
#include "robot/motion_check.hpp"
#include "liborvek/robot.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

using robot_behavior::fail;
using robot_behavior::Result;
using robot_behavior::RobotException;

ArmState6 realtime_placeholder_state() {
  constexpr Joints zeros{};
  ArmState6 state;
  state.joint = zeros;
  state.joint_vel = zeros;
  state.joint_acc = zeros;
  state.tau = zeros;
  state.pose_o_to_ee = Pose{};
  state.pose_ee_to_k = Pose{};
  state.cartesian_vel = robot_behavior::Six{};
  state.load = LoadState{0.0, {0.0, 0.0, 0.0}, {}};
  return state;
}

Result<void> OrvekRobot::move_with_closure(robot_behavior::MotionClosure closure) {
  if (moving_) return fail(RobotException::command("Robot is moving"));
  moving_ = true;

  if (auto entered = exchange<DefaultState>(Command::servo_move, ServoMoveData{1}); !entered) {
    return fail(std::move(entered.error()));
  } else if (auto accepted = check(std::move(*entered)); !accepted) {
    moving_ = false;  // the controller did not enter servo mode: nothing started
    return accepted;
  }

  // From here on every failure leaves servo mode before it is reported. The cycles wait for
  // their replies at most kServoExchangeTimeout; leaving servo mode waits as long as any
  // other command.
  Result<void> cycles;
  try {
    network_->set_exchange_timeout(std::min(exchange_timeout_, kServoExchangeTimeout));
    cycles = servo_cycles(closure);
    network_->set_exchange_timeout(exchange_timeout_);
  } catch (...) {
    network_->set_exchange_timeout(exchange_timeout_);
    leave_servo_mode_best_effort();
    throw;
  }
  if (!cycles) {
    leave_servo_mode_best_effort();
    return cycles;
  }

  if (auto left = send_checked(Command::servo_move, ServoMoveData{0}); !left) return left;
  moving_ = false;
  return {};
}

Result<void> OrvekRobot::servo_cycles(robot_behavior::MotionClosure closure) {
  // The same state every cycle (the controller reports none during servo mode), made once.
  static const ArmState6 state = realtime_placeholder_state();
  for (;;) {
    const auto [motion, finished] = closure(state, kServoPeriod);
    if (finished) return {};

    Result<void> sent;
    if (const auto* joint = std::get_if<Motion6::Joint>(&motion.value)) {
      if (auto ok = require_finite("jointPosition", joint->values); !ok) return ok;
      sent = send_checked(Command::servo_j, ServoJData{joint->values, 0});
    } else if (const auto* cartesian = std::get_if<Motion6::Cartesian>(&motion.value)) {
      const robot_behavior::Six six = cartesian->pose.six();
      if (auto ok = require_finite("catPosition", six, kSixNames); !ok) return ok;
      sent = send_checked(Command::servo_p, ServoPData{six, 0});
    } else {
      return fail(RobotException::command("Invalid motion type"));
    }
    if (!sent) return sent;
  }
}

void OrvekRobot::leave_servo_mode_best_effort() noexcept {
  try {
    (void)exchange<DefaultState>(Command::servo_move, ServoMoveData{0});
  } catch (...) {
    // The original failure is what the caller needs to see.
  }
}

Result<void> OrvekRobot::control_with_closure(robot_behavior::ControlClosure /*closure*/) {
  robot_behavior::panic("not implemented");
}

}  // namespace orvek
