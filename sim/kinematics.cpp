#include "kinematics.hpp"

#include <algorithm>
#include <cmath>

namespace orvek::sim {

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

Mat3 from_euler(double roll, double pitch, double yaw) {
  const double cr = std::cos(roll), sr = std::sin(roll);
  const double cp = std::cos(pitch), sp = std::sin(pitch);
  const double cy = std::cos(yaw), sy = std::sin(yaw);
  return {cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr,
          sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr,
          -sp,     cp * sr,                cp * cr};
}

Vec3 to_euler(const Mat3& r) {
  const double sp = std::clamp(-r[6], -1.0, 1.0);
  const double pitch = std::asin(sp);
  if (std::abs(r[6]) < 1.0 - 1e-12) {
    return {std::atan2(r[7], r[8]), pitch, std::atan2(r[3], r[0])};
  }
  // Pitch at +-90 degrees: roll and yaw turn about the same axis; put it all in yaw.
  return {0.0, pitch, std::atan2(-r[1], r[4])};
}

Vec3 rotation_vector(const Mat3& r) {
  // Through the quaternion (Shepperd's method), which stays accurate near half turns.
  double w, x, y, z;
  const double trace = r[0] + r[4] + r[8];
  if (trace > r[0] && trace > r[4] && trace > r[8]) {
    const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + trace));
    w = 0.25 * s;
    x = (r[7] - r[5]) / s;
    y = (r[2] - r[6]) / s;
    z = (r[3] - r[1]) / s;
  } else if (r[0] >= r[4] && r[0] >= r[8]) {
    const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + r[0] - r[4] - r[8]));
    w = (r[7] - r[5]) / s;
    x = 0.25 * s;
    y = (r[1] + r[3]) / s;
    z = (r[2] + r[6]) / s;
  } else if (r[4] >= r[8]) {
    const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 - r[0] + r[4] - r[8]));
    w = (r[2] - r[6]) / s;
    x = (r[1] + r[3]) / s;
    y = 0.25 * s;
    z = (r[5] + r[7]) / s;
  } else {
    const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 - r[0] - r[4] + r[8]));
    w = (r[3] - r[1]) / s;
    x = (r[2] + r[6]) / s;
    y = (r[5] + r[7]) / s;
    z = 0.25 * s;
  }
  if (w < 0) {
    w = -w;
    x = -x;
    y = -y;
    z = -z;
  }
  const double n = std::sqrt(x * x + y * y + z * z);
  if (!(n > 1e-300)) return {0.0, 0.0, 0.0};
  const double angle = 2.0 * std::atan2(n, w);
  return {x / n * angle, y / n * angle, z / n * angle};
}

Mat3 from_rotation_vector(const Vec3& v) {
  const double angle = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(angle > 1e-300)) return Mat3{1, 0, 0, 0, 1, 0, 0, 0, 1};
  const double x = v[0] / angle, y = v[1] / angle, z = v[2] / angle;
  const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  return {t * x * x + c,     t * x * y - s * z, t * x * z + s * y,
          t * x * y + s * z, t * y * y + c,     t * y * z - s * x,
          t * x * z - s * y, t * y * z + s * x, t * z * z + c};
}

std::array<double, 6> to_six(const Frame& f) {
  const Vec3 e = to_euler(f.rotation);
  return {f.position[0], f.position[1], f.position[2], e[0], e[1], e[2]};
}

Frame from_six(const std::array<double, 6>& six) {
  return Frame{from_euler(six[3], six[4], six[5]), {six[0], six[1], six[2]}};
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
