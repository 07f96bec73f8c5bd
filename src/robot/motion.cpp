// The pre-planned motion primitives: one "joint_move" or "moveL" exchange each.

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

#include "robot/exchange.hpp"
#include "robot/motion_check.hpp"
#include "liborvek/robot.hpp"
#include "robot_behavior/number_format.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

using robot_behavior::fail;
using robot_behavior::Result;
using robot_behavior::RobotException;

namespace {

std::uint8_t rel_flag(const Coord& frame) { return frame.is_ocs() ? 0 : 1; }

}  // namespace

Result<void> require_finite(std::string_view field, std::span<const double> values,
                            std::span<const std::string_view> element_names) {
  for (std::size_t index = 0; index < values.size(); ++index) {
    if (std::isfinite(values[index])) continue;
    std::string text(field);
    if (values.size() > 1) {
      text += '[';
      text += std::to_string(index);
      text += ']';
    }
    if (index < element_names.size()) {
      text += " (";
      text += element_names[index];
      text += ')';
    }
    text += " is not a finite number: ";
    robot_behavior::append_display(text, values[index]);
    return fail(RobotException::invalid(std::move(text)));
  }
  return {};
}

Result<void> require_named_frame(const Coord& frame) {
  if (frame.is_user_frame()) {
    return fail(RobotException::unprocessable("user frames are not supported by this controller"));
  }
  return {};
}

namespace {

Result<void> require_sendable(const Coord& frame, std::string_view target_field, std::span<const double> target,
                              std::span<const std::string_view> target_names, double speed, double accel) {
  if (auto ok = require_named_frame(frame); !ok) return ok;
  if (auto ok = require_finite(target_field, target, target_names); !ok) return ok;
  if (auto ok = require_finite("speed", std::span(&speed, 1)); !ok) return ok;
  return require_finite("accel", std::span(&accel, 1));
}

}  // namespace

Result<void> OrvekRobot::move_joint_async(const Joints& target) {
  if (moving_) return fail(RobotException::command("Robot is moving"));
  const Coord frame = coord_.take();
  const double speed = joint_velocity_.take()[0];
  const double accel = joint_acceleration_.take()[0];
  if (auto ok = require_sendable(frame, "jointPosition", target, {}, speed, accel); !ok) return ok;

  moving_ = true;
  auto reply = exchange<DefaultState>(Command::joint_move,
                                                    JointMoveData{target, speed, accel, rel_flag(frame)});
  if (!reply) return fail(std::move(reply.error()));  // the move may have started: stay guarded
  auto accepted = check(std::move(*reply));
  if (!accepted) moving_ = false;  // refused: nothing started
  return accepted;
}

Result<void> OrvekRobot::move_cartesian_async(const Pose& target) {
  if (moving_) return fail(RobotException::command("Robot is moving"));
  const Coord frame = coord_.take();
  const double speed = cartesian_velocity_.take();
  const double accel = cartesian_acceleration_.take();
  const robot_behavior::Six six = target.six();
  if (auto ok = require_sendable(frame, "cartPosition", six, kSixNames, speed, accel); !ok) return ok;

  moving_ = true;
  auto reply =
      exchange<DefaultState>(Command::moveL, MoveLData{six, speed, accel, rel_flag(frame)});
  if (!reply) return fail(std::move(reply.error()));
  auto accepted = check(std::move(*reply));
  if (!accepted) moving_ = false;
  return accepted;
}

}  // namespace orvek
