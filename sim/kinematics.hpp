#pragma once
// The simulated arm: a six-joint serial chain described by standard Denavit-Hartenberg
// parameters, its forward kinematics, geometric Jacobian and a numeric inverse.
//
// Internal units: millimetres and radians. The wire units (joint values in degrees) are
// converted by the controller, not here.

#include <array>
#include <optional>

namespace orvek::sim {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<double, 9>;  // row-major: element (r, c) at 3r + c
using Joints = std::array<double, 6>;
using Jacobian = std::array<std::array<double, 6>, 6>;  // rows: vx vy vz wx wy wz

struct Frame {
  Mat3 rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
  Vec3 position{0, 0, 0};
};

// One link in standard DH form: T = Rz(theta) Tz(d) Tx(a) Rx(alpha).
struct DhLink {
  double d;
  double a;
  double alpha;
};

extern const std::array<DhLink, 6> kArm;

// Every joint may turn from -kJointLimit to +kJointLimit (radians).
inline constexpr double kJointLimit = 2.0 * 3.14159265358979323846;

bool within_limits(const Joints& q);

// The flange (tool centre point) in the base frame.
Frame forward(const Joints& q);

// Geometric Jacobian at q: linear rows in mm per radian, angular rows in radians per radian.
Jacobian jacobian(const Joints& q);

// Composition of rotations (the chain's own arithmetic).
Mat3 multiply(const Mat3& a, const Mat3& b);
Mat3 transpose(const Mat3& a);

// Conversions, all through the behaviour layer's poses (robot_behavior::Pose), so the
// simulator reports and reads poses exactly as the library converts them.
// The rotation vector (axis times angle, angle in [0, pi]) of a rotation matrix, and back.
Vec3 rotation_vector(const Mat3& r);
Mat3 from_rotation_vector(const Vec3& v);

// Six-number pose form: x, y, z in mm, roll, pitch, yaw in radians, R = Rz(yaw) Ry(pitch) Rx(roll).
std::array<double, 6> to_six(const Frame& f);
Frame from_six(const std::array<double, 6>& six);

struct IkOptions {
  int max_iterations = 500;
  double position_tolerance = 1e-7;     // mm
  double orientation_tolerance = 1e-10;  // rad
};

// Joints reaching `target`, found by damped least squares starting at `seed`, so the
// solution is the one nearest the seed's branch. Empty when the iteration does not
// converge (target out of reach) or the result leaves the joint limits.
std::optional<Joints> inverse(const Frame& target, const Joints& seed, const IkOptions& options = {});

}  // namespace orvek::sim
