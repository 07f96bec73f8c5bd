// OrvekRobot: construction, the robot operations, status, payload and settings.

#include "liborvek/robot.hpp"

#include <memory>
#include <utility>

#include "network/network.hpp"
#include "robot/exchange.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

using robot_behavior::fail;
using robot_behavior::panic;
using robot_behavior::Result;
using robot_behavior::RobotException;

OrvekRobot::OrvekRobot(std::string_view ip, Timeouts timeouts, robot_behavior::InterruptCheck interrupt)
    : network_(std::make_unique<NetWork>(ip, timeouts, interrupt)), exchange_timeout_(timeouts.exchange) {
  RobotBehavior::set_interrupt_check(interrupt.check, interrupt.context);
}

OrvekRobot::OrvekRobot(OrvekRobot&&) noexcept = default;
OrvekRobot& OrvekRobot::operator=(OrvekRobot&&) noexcept = default;
OrvekRobot::~OrvekRobot() = default;

// --- RobotBehavior -----------------------------------------------------------------------

std::string OrvekRobot::version() const { return "0.1.0"; }

void OrvekRobot::set_interrupt_check(bool (*check)(void* context), void* context) noexcept {
  RobotBehavior::set_interrupt_check(check, context);
  network_->set_interrupt_check({check, context});
}

Result<void> OrvekRobot::init() { return send_checked(Command::power_on, EmptyBody{}); }

Result<void> OrvekRobot::shutdown() { return send_checked(Command::power_off, EmptyBody{}); }

Result<void> OrvekRobot::enable() {
  // The controller may report an arm that is already powered; only enabling counts.
  if (auto powered = exchange<DefaultState>(Command::power_on, EmptyBody{}); !powered) {
    return fail(std::move(powered.error()));
  }
  return send_checked(Command::enable_robot, EmptyBody{});
}

Result<void> OrvekRobot::disable() { return send_checked(Command::disable_robot, EmptyBody{}); }

Result<void> OrvekRobot::reset() { panic("not implemented"); }

bool OrvekRobot::is_moving() {
  if (!moving_) return false;
  auto reply = exchange<GetDataState>(Command::get_data, EmptyBody{});
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
  auto reply = exchange<GetDataState>(Command::get_data, EmptyBody{});
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

void OrvekRobot::set_coord(Coord frame) { coord_.default_value = std::move(frame); }

OrvekRobot& OrvekRobot::with_coord(Coord frame) {
  coord_.once = std::move(frame);
  return *this;
}

void OrvekRobot::set_speed(double speed) {
  const Speeds speeds = speeds_for(speed);
  joint_velocity_.default_value = speeds.joint_velocity;
  joint_acceleration_.default_value = speeds.joint_acceleration;
  cartesian_velocity_.default_value = speeds.cartesian_velocity;
  cartesian_acceleration_.default_value = speeds.cartesian_acceleration;
}

OrvekRobot& OrvekRobot::with_speed(double speed) {
  const Speeds speeds = speeds_for(speed);
  joint_velocity_.once = speeds.joint_velocity;
  joint_acceleration_.once = speeds.joint_acceleration;
  cartesian_velocity_.once = speeds.cartesian_velocity;
  cartesian_acceleration_.once = speeds.cartesian_acceleration;
  return *this;
}

OrvekRobot& OrvekRobot::with_velocity(const Joints& joint_vel) {
  joint_velocity_.once = joint_vel;
  return *this;
}

OrvekRobot& OrvekRobot::with_acceleration(const Joints& joint_acc) {
  joint_acceleration_.once = joint_acc;
  return *this;
}

OrvekRobot& OrvekRobot::with_cartesian_velocity(double cartesian_vel) {
  cartesian_velocity_.once = cartesian_vel;
  return *this;
}

OrvekRobot& OrvekRobot::with_cartesian_acceleration(double cartesian_acc) {
  cartesian_acceleration_.once = cartesian_acc;
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
