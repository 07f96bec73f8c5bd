#pragma once
// End-effector poses in five representations and the exact conversions between them.

#include <array>
#include <tuple>
#include <utility>
#include <variant>

namespace robot_behavior {

using Vec3 = std::array<double, 3>;
using Quaternion = std::array<double, 4>;  // x, y, z, w: scalar last
using Matrix4 = std::array<double, 16>;    // column-major, element (r, c) at 4c + r
using Six = std::array<double, 6>;

// A rigid transform: rotation first, then translation.
struct Isometry {
  Quaternion rotation{0.0, 0.0, 0.0, 1.0};
  Vec3 translation{0.0, 0.0, 0.0};
};

struct AxisAngle {
  Vec3 translation;
  Vec3 axis;
  double angle;
};

class Pose {
 public:
  struct Euler {
    Vec3 translation;
    Vec3 angles;  // roll, pitch, yaw; R = Rz(yaw) * Ry(pitch) * Rx(roll)
  };
  using Quat = Isometry;
  struct Homo {
    Matrix4 matrix;
  };
  using AxisAngle = robot_behavior::AxisAngle;
  struct Position {
    Vec3 translation;
  };
  using Variant = std::variant<Euler, Quat, Homo, AxisAngle, Position>;

  // The default pose: Quat with the identity rotation and zero translation.
  Pose() : value_(Isometry{}) {}
  Pose(Euler v) : value_(v) {}          // NOLINT: implicit by design
  Pose(Quat v) : value_(v) {}           // NOLINT
  Pose(Homo v) : value_(v) {}           // NOLINT
  Pose(AxisAngle v) : value_(v) {}      // NOLINT
  Pose(Position v) : value_(v) {}       // NOLINT

  const Variant& value() const { return value_; }

  std::pair<Vec3, Vec3> euler() const;  // translation, (roll, pitch, yaw)
  Isometry quat() const;
  Matrix4 homo() const;
  AxisAngle axis_angle() const;
  Vec3 position() const;
  // x, y, z, roll, pitch, yaw: the two halves of euler().
  Six six() const;

 private:
  Variant value_;
};

// The rigid transform nearest to a homogeneous matrix (its rotation block is pulled
// to the nearest rotation; the bottom row is ignored).
Isometry homo_to_isometry(const Matrix4& h);

}  // namespace robot_behavior
