#pragma once
// Motion targets and control outputs, generic over the joint count N.

#include <array>
#include <cstddef>
#include <variant>

#include "robot_behavior/pose.hpp"

namespace robot_behavior {

template <std::size_t N>
struct MotionType {
  struct Joint {
    std::array<double, N> values;
  };
  struct JointVel {
    std::array<double, N> values;
  };
  struct Cartesian {
    Pose pose;
  };
  struct CartesianVel {
    std::array<double, 6> values;
  };
  struct Position {
    Vec3 values;
  };
  struct PositionVel {
    Vec3 values;
  };
  struct Stop {};
  using Variant = std::variant<Joint, JointVel, Cartesian, CartesianVel, Position, PositionVel, Stop>;

  Variant value;
};

template <std::size_t N>
struct ControlType {
  struct Zero {};
  struct Torque {
    std::array<double, N> values;
  };
  using Variant = std::variant<Zero, Torque>;

  Variant value;
};

using Motion6 = MotionType<6>;
using Control6 = ControlType<6>;

}  // namespace robot_behavior
