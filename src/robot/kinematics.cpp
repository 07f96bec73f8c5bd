// Forward kinematics of the arm's serial chain, computed locally.

#include <array>
#include <cmath>

#include "liborvek/robot.hpp"

namespace orvek {
namespace {

using robot_behavior::Isometry;
using robot_behavior::Quaternion;
using robot_behavior::Vec3;

// One revolute joint: its axis (a unit vector) and the point of that axis the joint turns
// about, both in the frame of the previous joint.
struct RevoluteJoint {
  Vec3 axis;
  Vec3 anchor;
};

// Every joint turns about x through the origin: no link lengths, offsets or twists.
constexpr std::array<RevoluteJoint, 6> kChain{{
    {{1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
    {{1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
    {{1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
    {{1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
    {{1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
    {{1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}},
}};

// Hamilton product a ⊗ b, quaternions as (x, y, z, w).
Quaternion hamilton(const Quaternion& a, const Quaternion& b) {
  const auto [x1, y1, z1, w1] = a;
  const auto [x2, y2, z2, w2] = b;
  return {w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2, w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2,
          w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2, w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2};
}

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// v rotated by the quaternion q: v + w t + (q.xyz × t) with t = 2 (q.xyz × v).
Vec3 rotate(const Quaternion& q, const Vec3& v) {
  const Vec3 axis{q[0], q[1], q[2]};
  Vec3 t = cross(axis, v);
  for (double& c : t) c *= 2.0;
  const Vec3 u = cross(axis, t);
  return {v[0] + q[3] * t[0] + u[0], v[1] + q[3] * t[1] + u[1], v[2] + q[3] * t[2] + u[2]};
}

// The turn by `angle` about the joint's axis through its anchor.
Isometry joint_transform(const RevoluteJoint& joint, double angle) {
  const double sh = std::sin(0.5 * angle);
  const double ch = std::cos(0.5 * angle);
  Isometry j;
  j.rotation = {sh * joint.axis[0], sh * joint.axis[1], sh * joint.axis[2], ch};
  // A point p moves to j·(p − anchor) + anchor, so the translation is anchor − j·anchor.
  // A turn that is not a number spoils the translation as well.
  const Vec3 turned = rotate(j.rotation, joint.anchor);
  for (std::size_t k = 0; k < 3; ++k) j.translation[k] = joint.anchor[k] - turned[k];
  return j;
}

}  // namespace

Pose forward_kinematics(const Joints& q) {
  Isometry pose;  // identity
  for (std::size_t i = 0; i < kChain.size(); ++i) {
    const Isometry j = joint_transform(kChain[i], q[i]);
    // pose ← pose · j
    const Vec3 moved = rotate(pose.rotation, j.translation);
    for (std::size_t k = 0; k < 3; ++k) pose.translation[k] += moved[k];
    pose.rotation = hamilton(pose.rotation, j.rotation);
  }
  return Pose::Quat{pose};
}

Pose OrvekRobot::forward_kinematics(const Joints& q) const { return orvek::forward_kinematics(q); }

}  // namespace orvek
