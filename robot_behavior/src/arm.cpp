// The provided operations of the generic robot and arm interfaces, written once in terms
// of the primitives an implementer supplies.

#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "robot_behavior/arm.hpp"
#include "robot_behavior/kinematics.hpp"
#include "robot_behavior/path_file.hpp"
#include "robot_behavior/robot.hpp"

namespace robot_behavior {
namespace {

Coord shot() { return Coord{Coord::Shot{}}; }
Coord interial() { return Coord{Coord::Interial{}}; }

Pose euler_pose(const Six& target) {
  return Pose::Euler{{target[0], target[1], target[2]}, {target[3], target[4], target[5]}};
}

// Reads and parses a path file; a file that is not a valid path is an internal failure.
Result<std::vector<Motion6>> read_path_file(const std::string& path) {
  auto text = read_text_file(path);
  if (!text) return fail(std::move(text.error()));
  auto parsed = parse_path(*text);
  if (!parsed) panic(parsed.error().display());
  return std::move(*parsed);
}

}  // namespace

// --- RobotBehavior -----------------------------------------------------------------------

void RobotBehavior::wait_for_rest() {
  while (is_moving()) {
    std::this_thread::sleep_for(kRestPollPeriod);
    if (interrupt_.requested()) {
      // Leave the arm stopping, whatever the stop exchange does.
      try {
        (void)stop();
      } catch (...) {
      }
      throw Interrupted{};
    }
  }
}

// --- ArmPreplannedMotionImpl -------------------------------------------------------------

Result<void> ArmPreplannedMotionImpl::move_joint(const Joints& target) {
  if (auto started = move_joint_async(target); !started) return started;
  wait_for_rest();
  return {};
}

Result<void> ArmPreplannedMotionImpl::move_cartesian(const Pose& target) {
  if (auto started = move_cartesian_async(target); !started) return started;
  wait_for_rest();
  return {};
}

// --- ArmPreplannedMotion -----------------------------------------------------------------

Result<void> ArmPreplannedMotion::move_to_async(const Motion6& target) {
  if (const auto* joint = std::get_if<Motion6::Joint>(&target.value)) return move_joint_async(joint->values);
  if (const auto* cartesian = std::get_if<Motion6::Cartesian>(&target.value)) {
    return move_cartesian_async(cartesian->pose);
  }
  return fail(RobotException::conflicting("ArmPreplannedMotion does not support this motion type"));
}

Result<void> ArmPreplannedMotion::move_to(const Motion6& target) {
  if (auto started = move_to_async(target); !started) return started;
  wait_for_rest();
  return {};
}

Result<void> ArmPreplannedMotion::move_rel(const Motion6& target) {
  with_coord(shot());
  return move_to(target);
}

Result<void> ArmPreplannedMotion::move_rel_async(const Motion6& target) {
  with_coord(shot());
  return move_to_async(target);
}

Result<void> ArmPreplannedMotion::move_int(const Motion6& target) {
  with_coord(interial());
  return move_to(target);
}

Result<void> ArmPreplannedMotion::move_int_async(const Motion6& target) {
  with_coord(interial());
  return move_to_async(target);
}

// --- ArmPreplannedMotionExt --------------------------------------------------------------

Result<void> ArmPreplannedMotionExt::move_joint_rel(const Joints& target) {
  with_coord(shot());
  return move_joint(target);
}

Result<void> ArmPreplannedMotionExt::move_joint_rel_async(const Joints& target) {
  with_coord(shot());
  return move_joint_async(target);
}

Result<void> ArmPreplannedMotionExt::move_joint_path(std::span<const Joints> path) {
  std::vector<Motion6> targets;
  targets.reserve(path.size());
  for (const Joints& joints : path) targets.push_back(Motion6{Motion6::Joint{joints}});
  with_coord(shot());
  return move_path(targets);
}

Result<void> ArmPreplannedMotionExt::move_cartesian_rel(const Pose& target) {
  with_coord(shot());
  return move_cartesian(target);
}

Result<void> ArmPreplannedMotionExt::move_cartesian_rel_async(const Pose& target) {
  with_coord(shot());
  return move_cartesian_async(target);
}

Result<void> ArmPreplannedMotionExt::move_cartesian_int(const Pose& target) {
  with_coord(interial());
  return move_cartesian(target);
}

Result<void> ArmPreplannedMotionExt::move_cartesian_int_async(const Pose& target) {
  with_coord(interial());
  return move_cartesian_async(target);
}

Result<void> ArmPreplannedMotionExt::move_cartesian_path(std::span<const Pose> path) {
  std::vector<Motion6> targets;
  targets.reserve(path.size());
  for (const Pose& pose : path) targets.push_back(Motion6{Motion6::Cartesian{pose}});
  with_coord(shot());
  return move_path(targets);
}

Result<void> ArmPreplannedMotionExt::move_linear_with_euler(const Six& target) {
  return move_cartesian(euler_pose(target));
}

Result<void> ArmPreplannedMotionExt::move_linear_with_euler_async(const Six& target) {
  return move_cartesian_async(euler_pose(target));
}

Result<void> ArmPreplannedMotionExt::move_linear_with_euler_rel(const Six& target) {
  with_coord(shot());
  return move_linear_with_euler(target);
}

Result<void> ArmPreplannedMotionExt::move_linear_with_euler_rel_async(const Six& target) {
  with_coord(shot());
  return move_linear_with_euler_async(target);
}

Result<void> ArmPreplannedMotionExt::move_linear_with_euler_int(const Six& target) {
  with_coord(interial());
  return move_linear_with_euler(target);
}

Result<void> ArmPreplannedMotionExt::move_linear_with_euler_int_async(const Six& target) {
  with_coord(interial());
  return move_linear_with_euler_async(target);
}

Result<void> ArmPreplannedMotionExt::move_path_from_file(const std::string& path) {
  auto targets = read_path_file(path);
  if (!targets) return fail(std::move(targets.error()));
  return move_path(*targets);
}

Result<void> ArmPreplannedMotionExt::move_path_prepare_from_file(const std::string& path) {
  auto targets = read_path_file(path);
  if (!targets) return fail(std::move(targets.error()));
  return move_path_prepare(*targets);
}

// --- ArmKinematics -----------------------------------------------------------------------

Joints ArmKinematics::inverse_kinematics(const Pose& /*pose*/) const { panic(std::string(kInverseKinematicsMissing)); }

}  // namespace robot_behavior
