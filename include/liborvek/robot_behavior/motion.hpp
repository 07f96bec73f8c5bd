#pragma once
/// @file
/// Motion targets and control outputs, generic over the joint count N.

#include <array>
#include <cstddef>
#include <variant>

#include "pose.hpp"

namespace robot_behavior {

template <std::size_t N>
struct MotionType {
  struct Joint {
    std::array<double, N> values;

    friend bool operator==(const Joint&, const Joint&) = default;
  };
  struct JointVel {
    std::array<double, N> values;

    friend bool operator==(const JointVel&, const JointVel&) = default;
  };
  struct Cartesian {
    Pose pose;

    friend bool operator==(const Cartesian&, const Cartesian&) = default;
  };
  struct CartesianVel {
    std::array<double, 6> values;

    friend bool operator==(const CartesianVel&, const CartesianVel&) = default;
  };
  struct Position {
    Vec3 values;

    friend bool operator==(const Position&, const Position&) = default;
  };
  struct PositionVel {
    Vec3 values;

    friend bool operator==(const PositionVel&, const PositionVel&) = default;
  };
  struct Stop {
    friend bool operator==(const Stop&, const Stop&) = default;
  };
  using Variant = std::variant<Joint, JointVel, Cartesian, CartesianVel, Position, PositionVel, Stop>;

  Variant value;

  friend bool operator==(const MotionType&, const MotionType&) = default;
};

template <std::size_t N>
struct ControlType {
  struct Zero {
    friend bool operator==(const Zero&, const Zero&) = default;
  };
  struct Torque {
    std::array<double, N> values;

    friend bool operator==(const Torque&, const Torque&) = default;
  };
  using Variant = std::variant<Zero, Torque>;

  Variant value;

  friend bool operator==(const ControlType&, const ControlType&) = default;
};

using Motion6 = MotionType<6>;
using Control6 = ControlType<6>;

}  // namespace robot_behavior
