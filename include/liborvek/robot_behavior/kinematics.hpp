#pragma once
/// @file
/// Kinematics computed locally, without the controller.

#include <string_view>

#include "arm.hpp"
#include "pose.hpp"

namespace robot_behavior {

inline constexpr std::string_view kInverseKinematicsMissing =
    "not implemented: inverse kinematics is not implemented because the representation method of the "
    "robotic arm configuration has not been determined";

class ArmKinematics {
 public:
  virtual ~ArmKinematics() = default;

  /// The tool's pose for joint values `q`, computed locally; never fails.
  virtual Pose forward_kinematics(const Joints& q) const = 0;
  /// Not available for any arm: always an internal failure with kInverseKinematicsMissing.
  [[noreturn]] Joints inverse_kinematics(const Pose& pose) const;

 protected:
  ArmKinematics() = default;
  ArmKinematics(const ArmKinematics&) = default;
  ArmKinematics(ArmKinematics&&) = default;
  ArmKinematics& operator=(const ArmKinematics&) = default;
  ArmKinematics& operator=(ArmKinematics&&) = default;
};

}  // namespace robot_behavior
