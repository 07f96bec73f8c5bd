#pragma once
/// @file
/// A snapshot of the arm in which every field may be unknown.

#include <array>
#include <cstddef>
#include <optional>

#include "load.hpp"
#include "pose.hpp"

namespace robot_behavior {

template <std::size_t N>
struct ArmState {
  std::optional<std::array<double, N>> joint;
  std::optional<std::array<double, N>> joint_vel;
  std::optional<std::array<double, N>> joint_acc;
  std::optional<std::array<double, N>> tau;
  std::optional<Pose> pose_o_to_ee;
  std::optional<Pose> pose_ee_to_k;
  std::optional<std::array<double, 6>> cartesian_vel;
  std::optional<LoadState> load;

  friend bool operator==(const ArmState&, const ArmState&) = default;
};

using ArmState6 = ArmState<6>;

}  // namespace robot_behavior
