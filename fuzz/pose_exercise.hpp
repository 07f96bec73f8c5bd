#pragma once
// Runs every conversion of a pose, so that each parsed or generated pose also passes
// through the pose arithmetic under the sanitizers.

#include "robot_behavior/pose.hpp"

namespace orvek::fuzz {

inline void exercise(const robot_behavior::Pose& pose) {
  volatile double sink = 0.0;
  const auto [translation, angles] = pose.euler();
  sink = sink + translation[0] + angles[2];
  const robot_behavior::Isometry iso = pose.quat();
  sink = sink + iso.rotation[3] + iso.translation[0];
  sink = sink + pose.homo()[15];
  const robot_behavior::AxisAngle axis_angle = pose.axis_angle();
  sink = sink + axis_angle.axis[0] + axis_angle.angle;
  sink = sink + pose.position()[2] + pose.six()[5];
  (void)sink;
}

}  // namespace orvek::fuzz
