#pragma once
/// @file
/// Pre-planned motions of a six-joint arm: the controller plans the whole move from its
/// target. An implementer supplies the primitives (pure virtual); every other operation is
/// written here once, in terms of the primitives, is_moving and with_coord.
///
/// How the provided operations fail: each is built on the primitives below and fails as they
/// do (an error for a refusal, a throw for an internal failure). A blocking form also fails
/// as wait_for_rest does: it throws Interrupted when the host's interrupt check fires (the
/// arm was told to stop), and Panic when a status query fails.

#include <array>
#include <span>
#include <string>

#include "coord.hpp"
#include "exception.hpp"
#include "motion.hpp"
#include "pose.hpp"
#include "robot.hpp"

namespace robot_behavior {

using Joints = std::array<double, 6>;

/// Single-target moves. The blocking forms start the move and wait for rest.
class ArmPreplannedMotionImpl : public RobotBehavior {
 public:
  /// Start a move and return once the controller accepts it; the error says why it did not
  /// start. The implementer documents its own checks.
  virtual Result<void> move_joint_async(const Joints& target) = 0;
  /// @copydoc move_joint_async()
  virtual Result<void> move_cartesian_async(const Pose& target) = 0;

  /// The _async form, then wait_for_rest. Returns once the arm is at rest; an error of the
  /// start is returned at once, without waiting.
  Result<void> move_joint(const Joints& target);
  /// @copydoc move_joint()
  Result<void> move_cartesian(const Pose& target);
};

/// Moves to a MotionType target, relative and inertial forms, and paths.
class ArmPreplannedMotion : public ArmPreplannedMotionImpl {
 public:
  /// Path motions; the implementer documents whether it carries them out.
  virtual Result<void> move_path(std::span<const Motion6> path) = 0;
  /// @copydoc move_path()
  virtual Result<void> move_path_async(std::span<const Motion6> path) = 0;
  /// @copydoc move_path()
  virtual Result<void> move_path_prepare(std::span<const Motion6> path) = 0;
  /// @copydoc move_path()
  virtual Result<void> move_path_start(const Motion6& start) = 0;
  /// The frame of the next motion only; returns the robot to chain a call.
  virtual ArmPreplannedMotion& with_coord(Coord coord) = 0;

  /// A Joint target is a joint move, a Cartesian target a linear move; any other variant is
  /// ConflictingInstruction and nothing is consumed or sent. Blocking, then _async.
  Result<void> move_to(const Motion6& target);
  /// @copydoc move_to()
  Result<void> move_to_async(const Motion6& target);
  /// As move_to, relative to the current position: with_coord(Shot) first.
  Result<void> move_rel(const Motion6& target);
  /// @copydoc move_rel()
  Result<void> move_rel_async(const Motion6& target);
  /// As move_to in the Interial frame: with_coord(Interial) first.
  Result<void> move_int(const Motion6& target);
  /// @copydoc move_int()
  Result<void> move_int_async(const Motion6& target);
};

/// Conveniences every implementer gets. The _rel forms set with_coord(Shot) and the _int
/// forms with_coord(Interial) for that one motion; each fails as the move it makes.
class ArmPreplannedMotionExt : public ArmPreplannedMotion {
 public:
  /// move_joint with with_coord(Shot): relative to where the arm is.
  Result<void> move_joint_rel(const Joints& target);
  /// move_joint_async with with_coord(Shot): relative to where the arm is.
  Result<void> move_joint_rel_async(const Joints& target);
  /// move_path of Joint targets, in the Shot frame.
  Result<void> move_joint_path(std::span<const Joints> path);
  /// move_cartesian with with_coord(Shot): relative to where the arm is.
  Result<void> move_cartesian_rel(const Pose& target);
  /// move_cartesian_async with with_coord(Shot): relative to where the arm is.
  Result<void> move_cartesian_rel_async(const Pose& target);
  /// move_cartesian with with_coord(Interial).
  Result<void> move_cartesian_int(const Pose& target);
  /// move_cartesian_async with with_coord(Interial).
  Result<void> move_cartesian_int_async(const Pose& target);
  /// move_path of Cartesian targets, in the Shot frame.
  Result<void> move_cartesian_path(std::span<const Pose> path);

  /// `target` is x, y, z, roll, pitch, yaw: a linear move to that Euler pose.
  Result<void> move_linear_with_euler(const Six& target);
  /// @copydoc move_linear_with_euler()
  Result<void> move_linear_with_euler_async(const Six& target);
  /// @copydoc move_linear_with_euler()
  Result<void> move_linear_with_euler_rel(const Six& target);
  /// @copydoc move_linear_with_euler()
  Result<void> move_linear_with_euler_rel_async(const Six& target);
  /// @copydoc move_linear_with_euler()
  Result<void> move_linear_with_euler_int(const Six& target);
  /// @copydoc move_linear_with_euler()
  Result<void> move_linear_with_euler_int_async(const Six& target);

  /// Reads a path file (parse_path) and hands its targets to move_path / move_path_prepare.
  /// A file that cannot be read is NetworkError with the system's text, and nothing is sent;
  /// a file that is not a valid path throws Panic with the parser's message and place.
  Result<void> move_path_from_file(const std::string& path);
  /// @copydoc move_path_from_file()
  Result<void> move_path_prepare_from_file(const std::string& path);
};

}  // namespace robot_behavior
