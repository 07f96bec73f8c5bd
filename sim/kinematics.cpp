#include "kinematics.hpp"

#include <algorithm>
#include <cmath>

#include "robot_behavior/pose.hpp"

namespace orvek::sim {

using robot_behavior::Pose;

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kLengthScale = 1000.0;  // mm weighed like one radian by the solver
constexpr double kDegree = kPi / 180.0;  // as Python's math.radians, so both models agree to the bit
}  // namespace

// d and a in millimetres, alpha in radians, from the model file the viewer draws too
// (models/orvek-sim.json; sim/CMakeLists.txt generates the rows).
const std::array<DhLink, 6> kArm = {{
#include "arm_links.inc"
}};

bool within_limits(const Joints& q) {
  return std::all_of(q.begin(), q.end(), [](double v) { return std::isfinite(v) && std::abs(v) <= kJointLimit; });
}

Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
  return r;
}

Mat3 transpose(const Mat3& a) { return {a[0], a[3], a[6], a[1], a[4], a[7], a[2], a[5], a[8]}; }

namespace {

Vec3 apply(const Mat3& r, const Vec3& v) {
  return {r[0] * v[0] + r[1] * v[1] + r[2] * v[2], r[3] * v[0] + r[4] * v[1] + r[5] * v[2],
          r[6] * v[0] + r[7] * v[1] + r[8] * v[2]};
}

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The behaviour layer's homogeneous matrix (column-major, element (r, c) at 4c + r) of a
// rotation and a translation, and the rotation block of one.
robot_behavior::Matrix4 homo(const Mat3& r, const Vec3& t) {
  return {r[0], r[3], r[6], 0.0, r[1], r[4], r[7], 0.0, r[2], r[5], r[8], 0.0, t[0], t[1], t[2], 1.0};
}

Mat3 rotation_block(const robot_behavior::Matrix4& h) {
  return {h[0], h[4], h[8], h[1], h[5], h[9], h[2], h[6], h[10]};
}

// The frames of the base and of links 1 to 6.
std::array<Frame, 7> chain(const Joints& q) {
  std::array<Frame, 7> frames{};
  for (std::size_t i = 0; i < 6; ++i) {
    const DhLink& link = kArm[i];
    const double ct = std::cos(q[i]), st = std::sin(q[i]);
    const double ca = std::cos(link.alpha), sa = std::sin(link.alpha);
    const Mat3 local{ct, -st * ca, st * sa, st, ct * ca, -ct * sa, 0.0, sa, ca};
    const Vec3 offset{link.a * ct, link.a * st, link.d};
    const Frame& prev = frames[i];
    Frame& next = frames[i + 1];
    next.rotation = multiply(prev.rotation, local);
    const Vec3 moved = apply(prev.rotation, offset);
    for (int k = 0; k < 3; ++k) next.position[k] = prev.position[k] + moved[k];
  }
  return frames;
}

// Solves a x = b for a 6 x 6 system with partial pivoting; false when singular.
bool solve6(std::array<std::array<double, 6>, 6> a, std::array<double, 6>& b) {
  for (int col = 0; col < 6; ++col) {
    int pivot = col;
    for (int row = col + 1; row < 6; ++row)
      if (std::abs(a[row][col]) > std::abs(a[pivot][col])) pivot = row;
    if (!(std::abs(a[pivot][col]) > 1e-300)) return false;
    std::swap(a[col], a[pivot]);
    std::swap(b[col], b[pivot]);
    for (int row = col + 1; row < 6; ++row) {
      const double f = a[row][col] / a[col][col];
      for (int k = col; k < 6; ++k) a[row][k] -= f * a[col][k];
      b[row] -= f * b[col];
    }
  }
  for (int row = 5; row >= 0; --row) {
    double s = b[row];
    for (int k = row + 1; k < 6; ++k) s -= a[row][k] * b[k];
    b[row] = s / a[row][row];
  }
  return true;
}

// Pose error (target minus current): position scaled to the solver's length unit,
// orientation as the rotation vector taking the current orientation to the target's.
std::array<double, 6> pose_error(const Frame& target, const Frame& current) {
  const Vec3 w = rotation_vector(multiply(target.rotation, transpose(current.rotation)));
  return {(target.position[0] - current.position[0]) / kLengthScale,
          (target.position[1] - current.position[1]) / kLengthScale,
          (target.position[2] - current.position[2]) / kLengthScale,
          w[0],
          w[1],
          w[2]};
}

double norm6(const std::array<double, 6>& e) {
  double s = 0;
  for (double v : e) s += v * v;
  return std::sqrt(s);
}

}  // namespace

Frame forward(const Joints& q) { return chain(q)[6]; }

Jacobian jacobian(const Joints& q) {
  const auto frames = chain(q);
  const Vec3& tip = frames[6].position;
  Jacobian j{};
  for (std::size_t i = 0; i < 6; ++i) {
    const Frame& f = frames[i];  // joint i + 1 turns about the z axis of frame i
    const Vec3 z{f.rotation[2], f.rotation[5], f.rotation[8]};
    const Vec3 r{tip[0] - f.position[0], tip[1] - f.position[1], tip[2] - f.position[2]};
    const Vec3 v = cross(z, r);
    for (std::size_t k = 0; k < 3; ++k) {
      j[k][i] = v[k];
      j[k + 3][i] = z[k];
    }
  }
  return j;
}

Vec3 rotation_vector(const Mat3& r) {
  const robot_behavior::AxisAngle turn = Pose(Pose::Homo{homo(r, {0.0, 0.0, 0.0})}).axis_angle();
  return {turn.axis[0] * turn.angle, turn.axis[1] * turn.angle, turn.axis[2] * turn.angle};
}

Mat3 from_rotation_vector(const Vec3& v) {
  // The length as the conversion takes the axis's: where the squares underflow it is 0,
  // which converts as no rotation.
  const double angle = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return rotation_block(Pose(Pose::AxisAngle{{0.0, 0.0, 0.0}, v, angle}).homo());
}

std::array<double, 6> to_six(const Frame& f) { return Pose(Pose::Homo{homo(f.rotation, f.position)}).six(); }

Frame from_six(const std::array<double, 6>& six) {
  const robot_behavior::Matrix4 h = Pose(Pose::Euler{{six[0], six[1], six[2]}, {six[3], six[4], six[5]}}).homo();
  return Frame{rotation_block(h), {h[12], h[13], h[14]}};
}

std::optional<Joints> inverse(const Frame& target, const Joints& seed, const IkOptions& options) {
  for (double v : target.rotation)
    if (!std::isfinite(v)) return std::nullopt;
  for (double v : target.position)
    if (!std::isfinite(v)) return std::nullopt;

  Joints q = seed;
  auto error = pose_error(target, forward(q));
  double error_norm = norm6(error);
  double lambda = 1e-3;
  for (int iteration = 0; iteration < options.max_iterations; ++iteration) {
    const double position_error =
        std::sqrt(error[0] * error[0] + error[1] * error[1] + error[2] * error[2]) * kLengthScale;
    const double orientation_error = std::sqrt(error[3] * error[3] + error[4] * error[4] + error[5] * error[5]);
    if (position_error <= options.position_tolerance && orientation_error <= options.orientation_tolerance) {
      if (!within_limits(q)) return std::nullopt;
      return q;
    }
    Jacobian j = jacobian(q);
    for (std::size_t k = 0; k < 3; ++k)
      for (double& v : j[k]) v /= kLengthScale;
    // dq = J^T (J J^T + lambda^2 I)^-1 e
    std::array<std::array<double, 6>, 6> a{};
    for (std::size_t r = 0; r < 6; ++r)
      for (std::size_t c = 0; c < 6; ++c) {
        double s = 0;
        for (std::size_t k = 0; k < 6; ++k) s += j[r][k] * j[c][k];
        a[r][c] = s + (r == c ? lambda * lambda : 0.0);
      }
    std::array<double, 6> y = error;
    if (!solve6(a, y)) {
      lambda *= 10.0;
      if (lambda > 1e3) return std::nullopt;
      continue;
    }
    Joints step{};
    double largest = 0;
    for (std::size_t c = 0; c < 6; ++c) {
      double s = 0;
      for (std::size_t r = 0; r < 6; ++r) s += j[r][c] * y[r];
      step[c] = s;
      largest = std::max(largest, std::abs(s));
    }
    if (!std::isfinite(largest)) return std::nullopt;
    const double limit = 0.5;  // rad per iteration keeps the search on the seed's branch
    const double scale = largest > limit ? limit / largest : 1.0;
    Joints candidate{};
    for (std::size_t c = 0; c < 6; ++c) candidate[c] = q[c] + step[c] * scale;
    const auto candidate_error = pose_error(target, forward(candidate));
    const double candidate_norm = norm6(candidate_error);
    if (candidate_norm < error_norm) {
      q = candidate;
      error = candidate_error;
      error_norm = candidate_norm;
      lambda = std::max(lambda / 4.0, 1e-9);
    } else {
      lambda *= 4.0;
      if (lambda > 1e3) return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace orvek::sim
