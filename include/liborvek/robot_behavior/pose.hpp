#pragma once
/// @file
/// End-effector poses in five representations and the exact conversions between them.

#include <array>
#include <tuple>
#include <utility>
#include <variant>

namespace robot_behavior {

using Vec3 = std::array<double, 3>;
using Quaternion = std::array<double, 4>;  ///< x, y, z, w: scalar last
using Matrix4 = std::array<double, 16>;    ///< column-major, element (r, c) at 4c + r
using Six = std::array<double, 6>;

/// A rigid transform: rotation first, then translation.
struct Isometry {
  Quaternion rotation{0.0, 0.0, 0.0, 1.0};
  Vec3 translation{0.0, 0.0, 0.0};

  friend bool operator==(const Isometry&, const Isometry&) = default;
};

/// The axis is kept as given; conversions divide it by its length. A zero axis has
/// no rotation: with an angle of exactly zero it converts as the identity, with any
/// other angle to NaN (which no motion sends).
struct AxisAngle {
  Vec3 translation;
  Vec3 axis;
  double angle;

  friend bool operator==(const AxisAngle&, const AxisAngle&) = default;
};

class Pose {
 public:
  struct Euler {
    Vec3 translation;
    Vec3 angles;  ///< roll, pitch, yaw; R = Rz(yaw) * Ry(pitch) * Rx(roll)

    friend bool operator==(const Euler&, const Euler&) = default;
  };
  using Quat = Isometry;
  struct Homo {
    Matrix4 matrix;

    friend bool operator==(const Homo&, const Homo&) = default;
  };
  using AxisAngle = robot_behavior::AxisAngle;
  struct Position {
    Vec3 translation;

    friend bool operator==(const Position&, const Position&) = default;
  };
  using Variant = std::variant<Euler, Quat, Homo, AxisAngle, Position>;

  /// The default pose: Quat with the identity rotation and zero translation.
  Pose() : value_(Isometry{}) {}
  Pose(Euler v) : value_(v) {}          // NOLINT: implicit by design
  Pose(Quat v) : value_(v) {}           // NOLINT
  Pose(Homo v) : value_(v) {}           // NOLINT
  Pose(AxisAngle v) : value_(v) {}      // NOLINT
  Pose(Position v) : value_(v) {}       // NOLINT

  /// The representation as given.
  const Variant& value() const { return value_; }

  /// The same pose in another representation, converted from the stored one (a Position has
  /// the identity rotation). Pure arithmetic: never fails, never throws.
  /// Returns the translation and the angles (roll, pitch, yaw).
  std::pair<Vec3, Vec3> euler() const;
  /// The same pose as a rigid transform (quaternion and translation), converted as euler() is.
  Isometry quat() const;
  /// The same pose as a homogeneous matrix, column-major, converted as euler() is.
  Matrix4 homo() const;
  /// The same pose as translation, axis and angle, converted as euler() is.
  AxisAngle axis_angle() const;
  /// The translation alone.
  Vec3 position() const;
  /// x, y, z, roll, pitch, yaw: the two halves of euler().
  Six six() const;

  /// Same variant and the same stored numbers (NaN never equals itself).
  friend bool operator==(const Pose&, const Pose&) = default;

 private:
  Variant value_;
};

/// The rigid transform nearest to a homogeneous matrix: the rotation nearest to the
/// 3x3 block (least sum of squared differences), the translation from entries 12, 13,
/// 14; the bottom row is ignored. Ends for every input: a block holding NaN or an
/// infinity gives a NaN quaternion, an all-zero block the identity.
Isometry homo_to_isometry(const Matrix4& h);

}  // namespace robot_behavior
