#pragma once
/// @file
/// OrvekRobot, the driver of one six-axis arm controller; this header includes the rest of the
/// installed interface.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "network/timeouts.hpp"
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

// The transport and the command names stay behind the library's boundary.
class NetWork;
enum class Command : std::uint8_t;

using robot_behavior::ArmState6;
using robot_behavior::Coord;
using robot_behavior::Joints;
using robot_behavior::LoadState;
using robot_behavior::Motion6;
using robot_behavior::Pose;

/// A setting: a standing value plus an override that the next motion reading it uses up.
template <class T>
struct OverrideOnce {
  T default_value;
  std::optional<T> once{};

  /// The override if one is pending (and clears it), else the standing value.
  T take() {
    if (once) {
      T value = std::move(*once);
      once.reset();
      return value;
    }
    return default_value;
  }
};

/// The arm's pose computed from six joint values, without the controller: a Quat pose.
/// A joint value that is NaN or infinite makes all seven numbers NaN. Never fails.
Pose forward_kinematics(const Joints& q);

/// The state handed to a realtime callable on every cycle: zeros, the default poses and an
/// empty payload. It is a placeholder, not a reading from the controller.
ArmState6 realtime_placeholder_state();

/// The driver of one six-axis arm controller. It owns the connection, the motion
/// settings and the flag that guards against starting a motion while one is under way.
///
/// How the operations fail (each comment below names its own cases):
///  - Returns an error (robot_behavior::Result's RobotException) when the controller or the
///    robot refuses: the controller's answer is CommandException "[code: message]"; a motion
///    the robot refuses before sending anything is CommandException "Robot is moving",
///    InvalidInstruction (a number that is not finite) or UnprocessableInstructionError (a
///    user frame); with no connection left (after an exchange time-out) it is NetworkError
///    "TCP command stream is not initialized". The robot stays usable after any of them.
///  - Throws robot_behavior::Panic on an internal failure: a transport fault (the connection
///    fails or closes, a time-out, a reply that is malformed or does not fit its record) and
///    the operations this controller does not carry out ("not implemented"). The robot stays
///    usable afterwards (after a time-out without its connection).
///
/// Every operation waits for the controller's answer on the calling thread; one robot is
/// used by one thread at a time.
///
/// Besides the operations declared here, the robot has the provided ones of its interfaces
/// (robot_behavior/arm.hpp): move_joint, move_cartesian (blocking), move_to, move_rel,
/// move_int, the _rel, _int and _async forms, move_linear_with_euler and the path forms,
/// each documented there.
class OrvekRobot final : public robot_behavior::ArmPreplannedMotionExt,
                         public robot_behavior::ArmRealtimeControl,
                         public robot_behavior::ArmKinematics {
 public:
  /// The nominal period handed to a realtime callable.
  static constexpr std::chrono::nanoseconds kServoPeriod{8'000'000};
  /// The exchange time-out of each cycle of a realtime run (its "servo_j" or "servo_p"), when
  /// shorter than the robot's own. A lost packet is resent by TCP after about 0.2 s, each
  /// further loss of it doubling the wait (0.2, 0.4, 0.85, 1.7 s after the first send): 2 s
  /// outlasts four losses of one packet in a row, or one lost reply from a stack that waits
  /// its 1 s minimum, and ends a servo run on a dead link after 250 cycles instead of 30 s.
  static constexpr std::chrono::milliseconds kServoExchangeTimeout{2000};

  /// Connects to `ip` (a name or an address) port 10001 and sends nothing. Throws Panic with
  /// the system's text when no address accepts within timeouts.connect
  /// ("Connection refused (os error 111)", "Connection timed out (os error 110)").
  /// `interrupt` is asked while the connection and every later wait for the controller or
  /// for rest go on (see set_interrupt_check); when it fires the wait ends by throwing
  /// robot_behavior::Interrupted.
  explicit OrvekRobot(std::string_view ip, Timeouts timeouts = {}, robot_behavior::InterruptCheck interrupt = {});

  /// A moved-from robot has no connection: its exchanges return NetworkError.
  OrvekRobot(OrvekRobot&&) noexcept;
  OrvekRobot& operator=(OrvekRobot&&) noexcept;
  OrvekRobot(const OrvekRobot&) = delete;
  OrvekRobot& operator=(const OrvekRobot&) = delete;
  /// Closes the connection.
  ~OrvekRobot() override;

  /// @name Power and status
  /// @{

  /// The driver's version string, always "0.1.0" (the package's version is in the CMake
  /// package, liborvek_VERSION). Sends nothing, never fails.
  std::string version() const override;
  /// Asked between the polls of the wait for rest and between the slices of every wait for a
  /// reply; when it fires the wait ends by throwing robot_behavior::Interrupted.
  void set_interrupt_check(bool (*check)(void* context), void* context) noexcept override;
  /// Powers the arm on ("power_on"). Error: the controller's refusal, no connection.
  /// Throws Panic on a transport fault.
  robot_behavior::Result<void> init() override;
  /// Powers the arm off ("power_off"); the connection stays. Errors and throws as init.
  robot_behavior::Result<void> shutdown() override;
  /// Powers on ("power_on", whose refusal is ignored: the arm may be powered already) and
  /// enables the arm ("enable_robot"). Error: the refusal of "enable_robot", no connection.
  /// Throws Panic on a transport fault.
  robot_behavior::Result<void> enable() override;
  /// Disables the arm ("disable_robot"). Errors and throws as init.
  robot_behavior::Result<void> disable() override;
  /// Stops the running program and the motion ("stop_program"). Errors and throws as init.
  robot_behavior::Result<void> stop() override;
  /// Clears the controller's error ("clear_error"). Errors and throws as init.
  robot_behavior::Result<void> clear_emergency_stop() override;
  /// Whether a motion this robot started may still be under way. False at once, sending
  /// nothing, when none was started; otherwise asks the controller ("get_data") and clears
  /// the motion guard once the tool stands still. Throws Panic on a transport fault and
  /// when there is no connection.
  bool is_moving() override;
  /// Not carried out by this controller: each throws Panic "not implemented", sending nothing.
  robot_behavior::Result<void> reset() override;
  /// @copydoc reset()
  robot_behavior::Result<void> pause() override;
  /// @copydoc reset()
  robot_behavior::Result<void> resume() override;
  /// @copydoc reset()
  robot_behavior::Result<void> emergency_stop() override;

  /// @}

  /// @name State and payload
  /// @{

  /// The joint values and the tool's Euler pose (pose_o_to_ee) as the controller reports
  /// them ("get_data"); the other fields are empty. Error: no connection. Throws Panic on a
  /// transport fault.
  robot_behavior::Result<ArmState6> state();
  /// Sends the payload's mass and centre of mass ("set_payload"); the inertia is not sent.
  /// Errors and throws as init.
  robot_behavior::Result<void> set_load(const LoadState& load);

  /// @}

  /// @name Settings
  /// Nothing is sent, nothing fails; each applies from the next motion on.
  /// @{

  /// The standing frame of every later motion: OCS (absolute, initially), Shot or Interial
  /// (relative). A user frame (Other) is accepted here and refused by the motion that uses it.
  void set_coord(Coord frame);
  /// The frame of the next motion only.
  OrvekRobot& with_coord(Coord frame) override;
  /// Standing speeds: joint moves 180 * speed and acceleration 400 * speed, linear moves
  /// 1000 * speed and 4000 * speed. Initially set_speed(0.05).
  void set_speed(double speed);
  /// The same speeds for the next motion only; the with_ setters return the robot to chain.
  OrvekRobot& with_speed(double speed);
  /// Joint speed and acceleration of the next joint move (element 0 is sent).
  OrvekRobot& with_velocity(const Joints& joint_vel);
  /// @copydoc with_velocity()
  OrvekRobot& with_acceleration(const Joints& joint_acc);
  /// Speed and acceleration of the next linear move.
  OrvekRobot& with_cartesian_velocity(double cartesian_vel);
  /// @copydoc with_cartesian_velocity()
  OrvekRobot& with_cartesian_acceleration(double cartesian_acc);
  /// Accepted and ignored: no command carries a jerk.
  OrvekRobot& with_jerk(const Joints& joint_jerk);
  /// @copydoc with_jerk()
  OrvekRobot& with_cartesian_jerk(double cartesian_jerk);

  /// @}

  /// @name Pre-planned motions
  /// @{

  /// Starts a joint move to `target` ("joint_move") and returns once the controller accepts
  /// it (move_joint also waits for rest). Takes the one-shot settings first, then checks.
  /// Error, nothing sent: CommandException "Robot is moving" while a started motion may
  /// still run (no setting taken); UnprocessableInstructionError for a user frame;
  /// InvalidInstruction naming a value that is not finite. Error after sending: the
  /// controller's refusal (nothing started), no connection. Throws Panic on a transport
  /// fault (the move may have started: the motion guard stays set).
  robot_behavior::Result<void> move_joint_async(const Joints& target) override;
  /// Starts a linear move to `target` ("moveL", its six-number form x, y, z, roll, pitch,
  /// yaw); move_cartesian also waits for rest. Errors and throws as move_joint_async.
  robot_behavior::Result<void> move_cartesian_async(const Pose& target) override;
  /// Paths are not carried out by this controller: each throws Panic "not implemented".
  robot_behavior::Result<void> move_path(std::span<const Motion6> path) override;
  /// @copydoc move_path()
  robot_behavior::Result<void> move_path_async(std::span<const Motion6> path) override;
  /// @copydoc move_path()
  robot_behavior::Result<void> move_path_prepare(std::span<const Motion6> path) override;
  /// @copydoc move_path()
  robot_behavior::Result<void> move_path_start(const Motion6& start) override;

  /// @}

  /// @name Realtime
  /// @{

  /// Enters servo mode ("servo_move" 1), then asks `closure` once per cycle for the next
  /// target and sends it ("servo_j" for Joint, "servo_p" for Cartesian) until the closure
  /// reports finished, then leaves servo mode ("servo_move" 0). Returns when the run ends.
  /// Error: CommandException "Robot is moving" (nothing sent); the refusal of servo mode
  /// (nothing more sent); a target of another kind (CommandException "Invalid motion type")
  /// or with a value that is not finite (InvalidInstruction); a refused target; no
  /// connection. Throws what the closure throws, and Panic on a transport fault. After
  /// servo mode was entered, every failure first leaves it (best effort).
  robot_behavior::Result<void> move_with_closure(robot_behavior::MotionClosure closure) override;
  /// Not carried out by this controller: throws Panic "not implemented", sending nothing.
  robot_behavior::Result<void> control_with_closure(robot_behavior::ControlClosure closure) override;

  /// @}

  /// @name Kinematics
  /// @{

  /// As the free forward_kinematics above: computed locally, never fails.
  Pose forward_kinematics(const Joints& q) const override;
  /// @}

  /// The motion guard: set by every motion start, cleared when is_moving sees the arm at
  /// rest, by a refused motion and by a finished realtime run.
  bool moving() const noexcept { return moving_; }

 private:
  // What one speed factor stands for (set_speed, with_speed): joint moves at 180 * speed
  // and accelerate at 400 * speed, linear moves at 1000 * speed and 4000 * speed.
  struct Speeds {
    Joints joint_velocity;
    Joints joint_acceleration;
    double cartesian_velocity;
    double cartesian_acceleration;
  };
  static constexpr Speeds speeds_for(double speed) {
    const double jv = 180.0 * speed, ja = 400.0 * speed;
    return {{jv, jv, jv, jv, jv, jv}, {ja, ja, ja, ja, ja, ja}, 1000.0 * speed, 4000.0 * speed};
  }
  static constexpr double kInitialSpeed = 0.05;

  // Motion settings, initially those of set_speed(kInitialSpeed) and the OCS frame. Joint
  // moves read element 0 of the joint settings; every motion reads the frame.
  OverrideOnce<Joints> joint_velocity_{speeds_for(kInitialSpeed).joint_velocity};
  OverrideOnce<Joints> joint_acceleration_{speeds_for(kInitialSpeed).joint_acceleration};
  OverrideOnce<double> cartesian_velocity_{speeds_for(kInitialSpeed).cartesian_velocity};
  OverrideOnce<double> cartesian_acceleration_{speeds_for(kInitialSpeed).cartesian_acceleration};
  OverrideOnce<Coord> coord_{Coord{Coord::OCS{}}};

  // One exchange; NetworkError when the robot has no transport (moved from). Defined in
  // robot/exchange.hpp, which only the driver's own sources include.
  template <class Reply, class Body>
  robot_behavior::Result<Reply> exchange(Command command, const Body& body);
  // One exchange whose reply's "errorCode" is checked.
  template <class Body>
  robot_behavior::Result<void> send_checked(Command command, const Body& body);
  // Sends "servo_move" 0 and ignores every outcome.
  void leave_servo_mode_best_effort() noexcept;
  // The cycles of a realtime run, after servo mode was entered. Returns success when the
  // callable reported finished; a failure otherwise. Throws what the callable throws.
  robot_behavior::Result<void> servo_cycles(robot_behavior::MotionClosure closure);

  std::unique_ptr<NetWork> network_;             // null only in a moved-from robot
  std::chrono::milliseconds exchange_timeout_;  // the network's, outside the cycles of a realtime run
  bool moving_ = false;
};

}  // namespace orvek
