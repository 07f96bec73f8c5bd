// OrvekRobot: construction, the robot operations, status, payload and settings.

#include "robot/robot.hpp"

#include <utility>

#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

using robot_behavior::fail;
using robot_behavior::panic;
using robot_behavior::Result;
using robot_behavior::RobotException;

OrvekRobot::OrvekRobot(std::string_view ip, Timeouts timeouts, robot_behavior::InterruptCheck interrupt)
    : network_(ip, timeouts, interrupt) {
  RobotBehavior::set_interrupt_check(interrupt.check, interrupt.context);
}

OrvekRobot::OrvekRobot(NetWork network) : network_(std::move(network)) {}

// --- RobotBehavior -----------------------------------------------------------------------

std::string OrvekRobot::version() const { return "0.1.0"; }

void OrvekRobot::set_interrupt_check(bool (*check)(void* context), void* context) noexcept {
  RobotBehavior::set_interrupt_check(check, context);
  network_.set_interrupt_check({check, context});
}

Result<void> OrvekRobot::init() { return send_checked(Command::power_on, EmptyBody{}); }

Result<void> OrvekRobot::shutdown() { return send_checked(Command::power_off, EmptyBody{}); }

Result<void> OrvekRobot::enable() {
  // The controller may report an arm that is already powered; only enabling counts.
  if (auto powered = network_.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}); !powered) {
    return fail(std::move(powered.error()));
  }
  return send_checked(Command::enable_robot, EmptyBody{});
}

Result<void> OrvekRobot::disable() { return send_checked(Command::disable_robot, EmptyBody{}); }

Result<void> OrvekRobot::reset() { panic("not implemented"); }

bool OrvekRobot::is_moving() {
  if (!moving_) return false;
  auto reply = network_.send_and_recv<GetDataState>(Command::get_data, EmptyBody{});
  if (!reply) panic(std::string(robot_behavior::kUnwrapPrefix) + reply.error().debug());
  // The tool centre point's speed alone tells motion from rest; 0.1 counts as rest.
  moving_ = reply->curr_tcp_trans_vel > 0.1;
  return moving_;
}

Result<void> OrvekRobot::stop() { return send_checked(Command::stop_program, EmptyBody{}); }

Result<void> OrvekRobot::pause() { panic("not implemented"); }

Result<void> OrvekRobot::resume() { panic("not implemented"); }

Result<void> OrvekRobot::emergency_stop() { panic("not implemented"); }

Result<void> OrvekRobot::clear_emergency_stop() { return send_checked(Command::clear_error, EmptyBody{}); }

// --- status and payload ------------------------------------------------------------------

Result<ArmState6> OrvekRobot::state() {
  auto reply = network_.send_and_recv<GetDataState>(Command::get_data, EmptyBody{});
  if (!reply) return fail(std::move(reply.error()));
  const auto& p = reply->actual_position;
  ArmState6 state{};
  state.joint = reply->joint_actual_position;
  state.pose_o_to_ee = Pose::Euler{{p[0], p[1], p[2]}, {p[3], p[4], p[5]}};
  return state;
}

Result<void> OrvekRobot::set_load(const LoadState& load) {
  return send_checked(Command::set_payload, SetPayloadData{load.m, load.x});
}

// --- settings ----------------------------------------------------------------------------

void OrvekRobot::set_coord(Coord frame) { coord.default_value = std::move(frame); }

OrvekRobot& OrvekRobot::with_coord(Coord frame) {
  coord.once = std::move(frame);
  return *this;
}

void OrvekRobot::set_speed(double speed) {
  joint_velocity.default_value.fill(180.0 * speed);
  joint_acceleration.default_value.fill(400.0 * speed);
  cartesian_velocity.default_value = 1000.0 * speed;
  cartesian_acceleration.default_value = 4000.0 * speed;
}

OrvekRobot& OrvekRobot::with_speed(double speed) {
  joint_velocity.once.emplace().fill(180.0 * speed);
  joint_acceleration.once.emplace().fill(400.0 * speed);
  cartesian_velocity.once = 1000.0 * speed;
  cartesian_acceleration.once = 4000.0 * speed;
  return *this;
}

OrvekRobot& OrvekRobot::with_velocity(const Joints& joint_vel) {
  joint_velocity.once = joint_vel;
  return *this;
}

OrvekRobot& OrvekRobot::with_acceleration(const Joints& joint_acc) {
  joint_acceleration.once = joint_acc;
  return *this;
}

OrvekRobot& OrvekRobot::with_cartesian_velocity(double cartesian_vel) {
  cartesian_velocity.once = cartesian_vel;
  return *this;
}

OrvekRobot& OrvekRobot::with_cartesian_acceleration(double cartesian_acc) {
  cartesian_acceleration.once = cartesian_acc;
  return *this;
}

OrvekRobot& OrvekRobot::with_jerk(const Joints& /*joint_jerk*/) { return *this; }

OrvekRobot& OrvekRobot::with_cartesian_jerk(double /*cartesian_jerk*/) { return *this; }

// --- paths -------------------------------------------------------------------------------

Result<void> OrvekRobot::move_path(std::span<const Motion6> /*path*/) { panic("not implemented"); }

Result<void> OrvekRobot::move_path_async(std::span<const Motion6> /*path*/) { panic("not implemented"); }

Result<void> OrvekRobot::move_path_prepare(std::span<const Motion6> /*path*/) { panic("not implemented"); }

Result<void> OrvekRobot::move_path_start(const Motion6& /*start*/) { panic("not implemented"); }

}  // namespace orvek
