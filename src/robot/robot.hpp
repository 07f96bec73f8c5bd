#pragma once
// OrvekRobot: the driver of one six-axis arm controller. It owns the connection, the motion
// settings and the flag that guards against starting a motion while one is under way.

#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "network/network.hpp"
#include "robot_behavior/arm.hpp"
#include "robot_behavior/arm_state.hpp"
#include "robot_behavior/coord.hpp"
#include "robot_behavior/exception.hpp"
#include "robot_behavior/kinematics.hpp"
#include "robot_behavior/load.hpp"
#include "robot_behavior/motion.hpp"
#include "robot_behavior/pose.hpp"
#include "robot_behavior/realtime.hpp"

namespace orvek {

using robot_behavior::ArmState6;
using robot_behavior::Coord;
using robot_behavior::Joints;
using robot_behavior::LoadState;
using robot_behavior::Motion6;
using robot_behavior::Pose;

// A setting: a standing value plus an override that the next motion reading it uses up.
template <class T>
struct OverrideOnce {
  T default_value;
  std::optional<T> once{};

  // The override if one is pending (and clears it), else the standing value.
  T take() {
    if (once) {
      T value = std::move(*once);
      once.reset();
      return value;
    }
    return default_value;
  }
};

// The arm's pose computed from six joint values, without the controller: a Quat pose.
// A joint value that is NaN or infinite makes all seven numbers NaN.
Pose forward_kinematics(const Joints& q);

// The state handed to a realtime callable on every cycle: zeros, the default poses and an
// empty payload. It is a placeholder, not a reading from the controller.
ArmState6 realtime_placeholder_state();

class OrvekRobot final : public robot_behavior::ArmPreplannedMotionExt,
                         public robot_behavior::ArmRealtimeControl,
                         public robot_behavior::ArmKinematics {
 public:
  // The nominal period handed to a realtime callable.
  static constexpr std::chrono::nanoseconds kServoPeriod{8'000'000};

  // Connects to `ip` port 10001 (an internal failure when that fails). Sends nothing.
  // `interrupt` is asked while the connection and every later wait for the controller or
  // for rest go on (see set_interrupt_check); when it fires the wait ends with
  // robot_behavior::Interrupted.
  explicit OrvekRobot(std::string_view ip, Timeouts timeouts = {}, robot_behavior::InterruptCheck interrupt = {});
  // Drives the controller on the other end of `network` (which may have no stream).
  explicit OrvekRobot(NetWork network);

  OrvekRobot(OrvekRobot&&) noexcept = default;
  OrvekRobot& operator=(OrvekRobot&&) noexcept = default;
  OrvekRobot(const OrvekRobot&) = delete;
  OrvekRobot& operator=(const OrvekRobot&) = delete;
  ~OrvekRobot() override = default;

  // --- RobotBehavior ---
  std::string version() const override;                    // "0.1.0"
  // Asked by the wait for rest and by the transport's waits for a reply.
  void set_interrupt_check(bool (*check)(void* context), void* context) noexcept override;
  robot_behavior::Result<void> init() override;             // "power_on", checked
  robot_behavior::Result<void> shutdown() override;         // "power_off", checked
  robot_behavior::Result<void> enable() override;           // "power_on" unchecked, "enable_robot" checked
  robot_behavior::Result<void> disable() override;          // "disable_robot", checked
  robot_behavior::Result<void> reset() override;            // internal failure "not implemented"
  bool is_moving() override;                                // "get_data" while the flag is set
  robot_behavior::Result<void> stop() override;             // "stop_program", checked
  robot_behavior::Result<void> pause() override;            // internal failure "not implemented"
  robot_behavior::Result<void> resume() override;           // internal failure "not implemented"
  robot_behavior::Result<void> emergency_stop() override;   // internal failure "not implemented"
  robot_behavior::Result<void> clear_emergency_stop() override;  // "clear_error", checked

  // --- status and payload ---
  // Joint values and the Euler pose of "get_data"; the other fields absent.
  robot_behavior::Result<ArmState6> state();
  // Sends the mass and the centre of mass; the inertia is not sent.
  robot_behavior::Result<void> set_load(const LoadState& load);

  // --- settings: nothing is sent; each applies from the next motion on ---
  void set_coord(Coord frame);
  OrvekRobot& with_coord(Coord frame) override;
  // Joint speed 180 s and acceleration 400 s, Cartesian speed 1000 s and acceleration 4000 s.
  void set_speed(double speed);
  OrvekRobot& with_speed(double speed);
  OrvekRobot& with_velocity(const Joints& joint_vel);
  OrvekRobot& with_acceleration(const Joints& joint_acc);
  OrvekRobot& with_cartesian_velocity(double cartesian_vel);
  OrvekRobot& with_cartesian_acceleration(double cartesian_acc);
  // Accepted and ignored: no command carries a jerk.
  OrvekRobot& with_jerk(const Joints& joint_jerk);
  OrvekRobot& with_cartesian_jerk(double cartesian_jerk);

  // --- pre-planned motion primitives ---
  robot_behavior::Result<void> move_joint_async(const Joints& target) override;
  robot_behavior::Result<void> move_cartesian_async(const Pose& target) override;
  // Paths are not carried out by this controller: internal failure "not implemented".
  robot_behavior::Result<void> move_path(std::span<const Motion6> path) override;
  robot_behavior::Result<void> move_path_async(std::span<const Motion6> path) override;
  robot_behavior::Result<void> move_path_prepare(std::span<const Motion6> path) override;
  robot_behavior::Result<void> move_path_start(const Motion6& start) override;

  // --- realtime ---
  robot_behavior::Result<void> move_with_closure(robot_behavior::MotionClosure closure) override;
  // Internal failure "not implemented", before anything else.
  robot_behavior::Result<void> control_with_closure(robot_behavior::ControlClosure closure) override;

  // --- kinematics ---
  Pose forward_kinematics(const Joints& q) const override;

  // The motion guard: set by every motion start, cleared when is_moving sees the arm at
  // rest, by a refused motion and by a finished realtime run.
  bool moving() const noexcept { return moving_; }

  // Motion settings, initially those of set_speed(0.05) and the OCS frame. Joint moves
  // read element 0 of the joint settings; every motion reads the frame.
  OverrideOnce<Joints> joint_velocity{{9.0, 9.0, 9.0, 9.0, 9.0, 9.0}};
  OverrideOnce<Joints> joint_acceleration{{20.0, 20.0, 20.0, 20.0, 20.0, 20.0}};
  OverrideOnce<double> cartesian_velocity{50.0};
  OverrideOnce<double> cartesian_acceleration{200.0};
  OverrideOnce<Coord> coord{Coord{Coord::OCS{}}};

 private:
  template <class Body>
  robot_behavior::Result<void> send_checked(Command command, const Body& body);
  // Sends "servo_move" 0 and ignores every outcome.
  void leave_servo_mode_best_effort() noexcept;
  // The cycles of a realtime run, after servo mode was entered. Returns success when the
  // callable reported finished; a failure otherwise. Throws what the callable throws.
  robot_behavior::Result<void> servo_cycles(robot_behavior::MotionClosure closure);

  NetWork network_;
  bool moving_ = false;
};

template <class Body>
robot_behavior::Result<void> OrvekRobot::send_checked(Command command, const Body& body) {
  auto reply = network_.send_and_recv<DefaultState>(command, body);
  if (!reply) return robot_behavior::fail(std::move(reply.error()));
  return check(std::move(*reply));
}

}  // namespace orvek
