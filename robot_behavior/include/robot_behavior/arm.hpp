#pragma once
// Pre-planned motions of a six-joint arm: the controller plans the whole move from its
// target. An implementer supplies the primitives (pure virtual); every other operation is
// written here once, in terms of the primitives, is_moving and with_coord.

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

// Single-target moves. The blocking forms start the move and wait for rest.
class ArmPreplannedMotionImpl : public RobotBehavior {
 public:
  virtual Result<void> move_joint_async(const Joints& target) = 0;
  virtual Result<void> move_cartesian_async(const Pose& target) = 0;

  Result<void> move_joint(const Joints& target);
  Result<void> move_cartesian(const Pose& target);
};

// Moves to a MotionType target, relative and inertial forms, and paths.
class ArmPreplannedMotion : public ArmPreplannedMotionImpl {
 public:
  virtual Result<void> move_path(std::span<const Motion6> path) = 0;
  virtual Result<void> move_path_async(std::span<const Motion6> path) = 0;
  virtual Result<void> move_path_prepare(std::span<const Motion6> path) = 0;
  virtual Result<void> move_path_start(const Motion6& start) = 0;
  // The frame of the next motion only.
  virtual ArmPreplannedMotion& with_coord(Coord coord) = 0;

  // Joint and Cartesian targets only; any other variant is ConflictingInstruction and
  // nothing is consumed or sent.
  Result<void> move_to(const Motion6& target);
  Result<void> move_to_async(const Motion6& target);
  Result<void> move_rel(const Motion6& target);
  Result<void> move_rel_async(const Motion6& target);
  Result<void> move_int(const Motion6& target);
  Result<void> move_int_async(const Motion6& target);
};

// Conveniences every implementer gets.
class ArmPreplannedMotionExt : public ArmPreplannedMotion {
 public:
  Result<void> move_joint_rel(const Joints& target);
  Result<void> move_joint_rel_async(const Joints& target);
  Result<void> move_joint_path(std::span<const Joints> path);
  Result<void> move_cartesian_rel(const Pose& target);
  Result<void> move_cartesian_rel_async(const Pose& target);
  Result<void> move_cartesian_int(const Pose& target);
  Result<void> move_cartesian_int_async(const Pose& target);
  Result<void> move_cartesian_path(std::span<const Pose> path);

  // `target` is x, y, z, roll, pitch, yaw: moves to that Euler pose.
  Result<void> move_linear_with_euler(const Six& target);
  Result<void> move_linear_with_euler_async(const Six& target);
  Result<void> move_linear_with_euler_rel(const Six& target);
  Result<void> move_linear_with_euler_rel_async(const Six& target);
  Result<void> move_linear_with_euler_int(const Six& target);
  Result<void> move_linear_with_euler_int_async(const Six& target);

  // A file that cannot be read is NetworkError with the system's text; a file that is not
  // a valid path is an internal failure.
  Result<void> move_path_from_file(const std::string& path);
  Result<void> move_path_prepare_from_file(const std::string& path);
};

}  // namespace robot_behavior
