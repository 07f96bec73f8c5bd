#pragma once
/// @file
/// The payload the arm carries.

#include <array>
#include <string>

#include "pose.hpp"

namespace robot_behavior {

struct LoadState {
  double m;                  ///< mass
  Vec3 x;                    ///< centre of mass
  std::array<double, 9> i;   ///< inertia matrix entries

  friend bool operator==(const LoadState&, const LoadState&) = default;
};

/// LoadState { m: 1.5, x: [0.0, 0.0, 0.1], i: [0.0, ...] }
std::string debug(const LoadState& load);

}  // namespace robot_behavior
