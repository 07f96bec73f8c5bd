#include "robot_behavior/pose.hpp"

#include <cmath>
#include <limits>

namespace robot_behavior {
namespace {

// A 3x3 rotation (or any 3x3 block), m[row][column].
struct Mat3 {
  double m[3][3];
};

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();  // 2.220446049250313e-16
constexpr double kHalfPi = 1.5707963267948966;
constexpr Quaternion kIdentityQuat{0.0, 0.0, 0.0, 1.0};

constexpr Mat3 identity3() { return Mat3{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}}; }

// Unrolled here and in distance2: at -O2 the loop control is a good part of their cost in
// nearest_rotation.
Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 r{};
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
#pragma GCC unroll 3
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
  }
  return r;
}

// Sum of squared element differences.
double distance2(const Mat3& a, const Mat3& b) {
  double sum = 0.0;
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
#pragma GCC unroll 3
    for (int j = 0; j < 3; ++j) {
      const double d = a.m[i][j] - b.m[i][j];
      sum += d * d;
    }
  }
  return sum;
}

// The rotation matrix of a quaternion (x, y, z, w), Hamilton convention, from the four
// components as stored: a quaternion that is not of unit length is not normalised first.
Mat3 quat_to_matrix(const Quaternion& q) {
  const double x = q[0], y = q[1], z = q[2], w = q[3];
  return Mat3{{{w * w + x * x - y * y - z * z, 2.0 * (x * y - w * z), 2.0 * (x * z + w * y)},
               {2.0 * (x * y + w * z), w * w - x * x + y * y - z * z, 2.0 * (y * z - w * x)},
               {2.0 * (x * z - w * y), 2.0 * (y * z + w * x), w * w - x * x - y * y + z * z}}};
}

// x / c is x rounded once for every c in [1.4e-8, 1]: x is zero, or normal and not so
// large that the quotient overflows. False for NaN and the infinities.
bool quotient_safe(double x) {
  const double a = std::fabs(x);
  return a == 0.0 || (a >= std::numeric_limits<double>::min() && a <= 1e300);
}

// Roll, pitch and yaw of a rotation matrix, for R = Rz(yaw) * Ry(pitch) * Rx(roll) (fixed
// axes x, then y, then z). At pitch = ±pi/2 (|R20| = 1) roll and yaw are one angle: yaw is
// taken as 0. A NaN R20 takes the last branch.
Vec3 matrix_to_euler(const Mat3& r) {
  const double r20 = r.m[2][0];
  if (std::fabs(r20) < 1.0) {
    const double pitch = -std::asin(r20);
    // Dividing both arguments of atan2 by cos(pitch) > 0 changes its result by rounding
    // only, unless a quotient leaves the normal range (cos(pitch) >= 1.4e-8 here): then
    // the quotients are taken as they come. Without the division the two atan2 calls
    // need not wait for asin and cos.
    if (quotient_safe(r.m[2][1]) && quotient_safe(r.m[2][2]) && quotient_safe(r.m[1][0]) &&
        quotient_safe(r.m[0][0])) {
      return {std::atan2(r.m[2][1], r.m[2][2]), pitch, std::atan2(r.m[1][0], r.m[0][0])};
    }
    const double c = std::cos(pitch);
    return {std::atan2(r.m[2][1] / c, r.m[2][2] / c), pitch, std::atan2(r.m[1][0] / c, r.m[0][0] / c)};
  }
  if (r20 <= -1.0) return {std::atan2(r.m[0][1], r.m[0][2]), kHalfPi, 0.0};
  return {-std::atan2(r.m[0][1], -r.m[0][2]), -kHalfPi, 0.0};
}

// Roll, pitch and yaw of a quaternion, through its matrix; flattened so that only the
// entries matrix_to_euler reads are computed.
[[gnu::flatten]] Vec3 quat_to_euler(const Quaternion& q) { return matrix_to_euler(quat_to_matrix(q)); }

// The rotation matrix of roll, pitch and yaw: R = Rz(yaw) * Ry(pitch) * Rx(roll).
Mat3 euler_to_matrix(const Vec3& a) {
  const double sr = std::sin(a[0]), cr = std::cos(a[0]);
  const double sp = std::sin(a[1]), cp = std::cos(a[1]);
  const double sy = std::sin(a[2]), cy = std::cos(a[2]);
  return Mat3{{{cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr},
               {sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr},
               {-sp, cp * sr, cp * cr}}};
}

// The quaternion (x, y, z, w) of roll, pitch and yaw, the same rotation as euler_to_matrix,
// composed from the half angles.
Quaternion euler_to_quat(const Vec3& a) {
  const double sr = std::sin(a[0] * 0.5), cr = std::cos(a[0] * 0.5);
  const double sp = std::sin(a[1] * 0.5), cp = std::cos(a[1] * 0.5);
  const double sy = std::sin(a[2] * 0.5), cy = std::cos(a[2] * 0.5);
  return {sr * cp * cy - cr * sp * sy, cr * sp * cy + sr * cp * sy, cr * cp * sy - sr * sp * cy,
          cr * cp * cy + sr * sp * sy};
}

double norm3(const Vec3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// The quaternion of a rotation by `angle` about `axis` (right hand): (sin(angle/2) u,
// cos(angle/2)) with u the axis divided by its length, whatever that is. A zero axis with a
// zero angle is the identity (as axis_angle_to_matrix has it); a zero axis with any other angle has no
// rotation and gives NaN in the vector part, which no motion will send.
Quaternion axis_angle_to_quat(const Vec3& axis, double angle) {
  const double n = norm3(axis);
  if (n == 0.0 && angle == 0.0) return kIdentityQuat;
  const double s = std::sin(angle * 0.5);
  return {s * axis[0] / n, s * axis[1] / n, s * axis[2] / n, std::cos(angle * 0.5)};
}

// Rodrigues' rotation matrix about the unit axis u, from the sine and cosine of the angle.
// constexpr for the steps of the descent; kept out of line so that its callers' code, and
// with it the sign of a NaN it produces, stays as it was.
[[gnu::noinline]] constexpr Mat3 rotation_matrix(const Vec3& u, double s, double c) {
  const double t = 1.0 - c;
  const double ux = u[0], uy = u[1], uz = u[2];
  return Mat3{{{ux * ux + (1.0 - ux * ux) * c, ux * uy * t - uz * s, ux * uz * t + uy * s},
               {ux * uy * t + uz * s, uy * uy + (1.0 - uy * uy) * c, uy * uz * t - ux * s},
               {ux * uz * t - uy * s, uy * uz * t + ux * s, uz * uz + (1.0 - uz * uz) * c}}};
}

// The rotation matrix of a rotation by `angle` about `axis` (divided by its length). An angle
// of exactly zero (either sign) is the identity without looking at the axis.
Mat3 axis_angle_to_matrix(const Vec3& axis, double angle) {
  if (angle == 0.0) return identity3();
  const double n = norm3(axis);
  const Vec3 u{axis[0] / n, axis[1] / n, axis[2] / n};
  return rotation_matrix(u, std::sin(angle), std::cos(angle));
}

// Axis and angle of a quaternion: q and -q are the same rotation, so the one with w >= 0 is
// used, which keeps the angle in [0, pi]. No rotation gives the x axis and angle 0; a NaN
// quaternion stays NaN.
std::pair<Vec3, double> quat_to_axis_angle(const Quaternion& q) {
  const double sign = q[3] >= 0.0 ? 1.0 : -1.0;
  const Vec3 v{sign * q[0], sign * q[1], sign * q[2]};
  const double n2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  if (n2 == 0.0) return {{1.0, 0.0, 0.0}, 0.0};
  const double n = std::sqrt(n2);
  const double angle = 2.0 * std::atan2(std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]), std::fabs(q[3]));
  return {{v[0] / n, v[1] / n, v[2] / n}, angle};
}

// The quaternion of a rotation matrix, computed from its largest diagonal term (or the
// trace) so that the square root and the division are taken where they are best conditioned.
Quaternion matrix_to_quat(const Mat3& r) {
  const double r00 = r.m[0][0], r11 = r.m[1][1], r22 = r.m[2][2];
  const double trace = r00 + r11 + r22;
  if (trace > 0.0) {
    const double s = 2.0 * std::sqrt(trace + 1.0);
    return {(r.m[2][1] - r.m[1][2]) / s, (r.m[0][2] - r.m[2][0]) / s, (r.m[1][0] - r.m[0][1]) / s, s / 4.0};
  }
  if (r00 > r11 && r00 > r22) {
    const double s = 2.0 * std::sqrt(1.0 + r00 - r11 - r22);
    return {s / 4.0, (r.m[0][1] + r.m[1][0]) / s, (r.m[0][2] + r.m[2][0]) / s, (r.m[2][1] - r.m[1][2]) / s};
  }
  if (r11 > r22) {
    const double s = 2.0 * std::sqrt(1.0 + r11 - r00 - r22);
    return {(r.m[0][1] + r.m[1][0]) / s, s / 4.0, (r.m[1][2] + r.m[2][1]) / s, (r.m[0][2] - r.m[2][0]) / s};
  }
  const double s = 2.0 * std::sqrt(1.0 + r22 - r00 - r11);
  return {(r.m[0][2] + r.m[2][0]) / s, (r.m[1][2] + r.m[2][1]) / s, s / 4.0, (r.m[1][0] - r.m[0][1]) / s};
}

// ---- nearest rotation -------------------------------------------------------------
//
// The rotation R nearest to a block M (least sum of squared differences) maximises
// trace(R^T M). For a unit quaternion q that trace is the quadratic form q^T K q of
// the symmetric 4x4 matrix K below, so the best q is the eigenvector of K with the
// largest eigenvalue. That answer is global: it holds for half turns, for blocks with
// a negative determinant and for rank-deficient blocks, where the descent below,
// started from the identity, can stall (the half turn diag(-1, 1, -1) is a stationary
// point of the descent at the identity, and the perturbation search then cannot tell
// the two apart) or circle for ever (a block equal to -I).
//
// The descent is still run, from that answer: where it converges to the nearest
// rotation from the identity, it converges to the same rotation from there, so the
// result is the same up to rounding; its steps are bounded, so it ends for every input.

// Jacobi rotations on a symmetric 4x4 matrix; returns the unit eigenvector of the
// largest eigenvalue as (x, y, z, w).
Quaternion dominant_eigenvector(double a[4][4]) {
  double v[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  double scale = 0.0;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) scale += a[i][j] * a[i][j];
  }
  // Only the eigenvector of the largest eigenvalue is wanted, and the descent that
  // follows polishes it: stop once its row is off-diagonal to about 1e-12 relative.
  // Convergence is quadratic, so this takes a sweep or two.
  int best = 0;
  for (int sweep = 0; sweep < 16; ++sweep) {
    best = 0;
    for (int i = 1; i < 4; ++i) {
      if (a[i][i] > a[best][best]) best = i;
    }
    double off = 0.0;
    for (int j = 0; j < 4; ++j) {
      if (j != best) off += a[best][j] * a[best][j];
    }
    if (off <= 1e-24 * scale) break;
    for (int p = 0; p < 4; ++p) {
      for (int q = p + 1; q < 4; ++q) {
        const double apq = a[p][q];
        if (apq == 0.0) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * apq);
        double t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        if (std::fabs(theta) > 1e150) t = 0.5 / std::fabs(theta);
        if (theta < 0.0) t = -t;
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        for (int r = 0; r < 4; ++r) {
          if (r == p || r == q) continue;
          const double arp = a[r][p], arq = a[r][q];
          a[r][p] = a[p][r] = c * arp - s * arq;
          a[r][q] = a[q][r] = s * arp + c * arq;
        }
        a[p][p] -= t * apq;
        a[q][q] += t * apq;
        a[p][q] = a[q][p] = 0.0;
        for (int r = 0; r < 4; ++r) {
          const double vrp = v[r][p], vrq = v[r][q];
          v[r][p] = c * vrp - s * vrq;
          v[r][q] = s * vrp + c * vrq;
        }
      }
    }
  }
  const double n = std::sqrt(v[0][best] * v[0][best] + v[1][best] * v[1][best] + v[2][best] * v[2][best] +
                             v[3][best] * v[3][best]);
  return {v[0][best] / n, v[1][best] / n, v[2][best] / n, v[3][best] / n};
}

// The quaternion maximising trace(R(q)^T M).
Quaternion best_quat(const Mat3& mat) {
  const auto& m = mat.m;
  double k[4][4] = {
      {m[0][0] - m[1][1] - m[2][2], m[0][1] + m[1][0], m[0][2] + m[2][0], m[2][1] - m[1][2]},
      {m[0][1] + m[1][0], m[1][1] - m[0][0] - m[2][2], m[1][2] + m[2][1], m[0][2] - m[2][0]},
      {m[0][2] + m[2][0], m[1][2] + m[2][1], m[2][2] - m[0][0] - m[1][1], m[1][0] - m[0][1]},
      {m[2][1] - m[1][2], m[0][2] - m[2][0], m[1][0] - m[0][1], m[0][0] + m[1][1] + m[2][2]},
  };
  return dominant_eigenvector(k);
}

// Safety net for the descent: rotations applied by its two stages (the gradient steps and
// the perturbation search) together. From the
// optimum a handful suffice; only blocks whose nearest rotation is not unique (where
// the perturbation search sees no change) use the budget up, and then any rotation
// reached is as near as the start.
constexpr int kDescentBudget = 200;

Mat3 descend(const Mat3& m, Mat3 r) {
  constexpr double kDelta = 1.4901161193847656e-08;  // sqrt(epsilon) = 2^-26
  // Its sine and cosine to double precision: the next Taylor terms are below rounding.
  constexpr double kSinDelta = kDelta - kDelta * kDelta * kDelta / 6.0;
  constexpr double kCosDelta = 1.0 - kDelta * kDelta / 2.0;
  // The perturbation steps about x, y and z, taken in the order x, z, y, x, ...
  static constexpr Mat3 kSteps[3] = {rotation_matrix({1.0, 0.0, 0.0}, kSinDelta, kCosDelta),
                                     rotation_matrix({0.0, 1.0, 0.0}, kSinDelta, kCosDelta),
                                     rotation_matrix({0.0, 0.0, 1.0}, kSinDelta, kCosDelta)};
  int axis = 0;
  int budget = kDescentBudget;
  for (;;) {
    for (;;) {
      Vec3 omega{0.0, 0.0, 0.0};
      double d = 0.0;
      for (int k = 0; k < 3; ++k) {
        const double rx = r.m[0][k], ry = r.m[1][k], rz = r.m[2][k];
        const double mx = m.m[0][k], my = m.m[1][k], mz = m.m[2][k];
        omega[0] += ry * mz - rz * my;
        omega[1] += rz * mx - rx * mz;
        omega[2] += rx * my - ry * mx;
        d += rx * mx + ry * my + rz * mz;
      }
      const double scale = std::fabs(d) + kEpsilon;
      const Vec3 v{omega[0] / scale, omega[1] / scale, omega[2] / scale};
      const double n2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
      if (!(n2 > kEpsilon * kEpsilon)) break;
      if (--budget < 0) return r;
      const double n = std::sqrt(n2);
      r = multiply(axis_angle_to_matrix({v[0] / n, v[1] / n, v[2] / n}, n), r);
    }
    const double e0 = distance2(m, r);
    const Mat3& step = kSteps[axis];
    Mat3 p = r;
    double e1 = e0;
    do {
      if (--budget < 0) return r;
      p = multiply(p, step);
      e1 = distance2(m, p);
    } while (!(std::fabs(e0 - e1) > kEpsilon));
    if (e0 < e1) return r;
    axis = (axis + 2) % 3;
    r = p;
  }
}

// The quaternion of the rotation nearest to the 3x3 block of a column-major 4x4 matrix.
Quaternion nearest_rotation(const Matrix4& h) {
  Mat3 m{{{h[0], h[4], h[8]}, {h[1], h[5], h[9]}, {h[2], h[6], h[10]}}};
  double largest = 0.0;
  for (const auto& row : m.m) {
    for (const double x : row) {
      // NaN or an infinity: there is no nearest rotation. A NaN quaternion says so and
      // carries through every conversion; the identity would look like a real answer
      // and a motion would go there, while a NaN target is refused before sending.
      if (!std::isfinite(x)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan, nan};
      }
      largest = std::fabs(x) > largest ? std::fabs(x) : largest;  // both finite: fmax
    }
  }
  // An all-zero block says nothing about orientation: every rotation is equally near.
  // The identity is the answer a pose without orientation has.
  if (largest == 0.0) return kIdentityQuat;
  // Bring the largest entry into [1, 2) by a power of two: exact, keeps the nearest
  // rotation, and keeps the squared distances of the descent far from overflow and
  // underflow whatever the scale of the block.
  int exponent = 0;
  std::frexp(largest, &exponent);
  if (exponent != 1) {
    // One factor when it is a normal number; otherwise entry by entry.
    const bool one_factor = exponent > -1000 && exponent < 1000;
    const double factor = std::ldexp(1.0, 1 - exponent);
    for (auto& row : m.m) {
      for (double& x : row) x = one_factor ? x * factor : std::ldexp(x, 1 - exponent);
    }
  }
  const Mat3 r = descend(m, quat_to_matrix(best_quat(m)));
  return matrix_to_quat(r);
}

Matrix4 to_homo(const Mat3& r, const Vec3& t) {
  return {r.m[0][0], r.m[1][0], r.m[2][0], 0.0, r.m[0][1], r.m[1][1], r.m[2][1], 0.0,
          r.m[0][2], r.m[1][2], r.m[2][2], 0.0, t[0],      t[1],      t[2],      1.0};
}

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
// Spelled out for compilers without class template argument deduction for aggregates.
template <class... F>
Overload(F...) -> Overload<F...>;

}  // namespace

Isometry homo_to_isometry(const Matrix4& h) { return Isometry{nearest_rotation(h), {h[12], h[13], h[14]}}; }

std::pair<Vec3, Vec3> Pose::euler() const {
  return std::visit(
      Overload{
          [](const Euler& e) { return std::pair{e.translation, e.angles}; },
          [](const Quat& q) { return std::pair{q.translation, quat_to_euler(q.rotation)}; },
          [](const Homo& h) {
            const Isometry iso = homo_to_isometry(h.matrix);
            return std::pair{iso.translation, quat_to_euler(iso.rotation)};
          },
          [](const AxisAngle& a) {
            return std::pair{a.translation, quat_to_euler(axis_angle_to_quat(a.axis, a.angle))};
          },
          [](const Position& p) { return std::pair{p.translation, Vec3{0.0, 0.0, 0.0}}; },
      },
      value_);
}

Isometry Pose::quat() const {
  return std::visit(Overload{
                        [](const Euler& e) { return Isometry{euler_to_quat(e.angles), e.translation}; },
                        [](const Quat& q) { return q; },
                        [](const Homo& h) { return homo_to_isometry(h.matrix); },
                        [](const AxisAngle& a) { return Isometry{axis_angle_to_quat(a.axis, a.angle), a.translation}; },
                        [](const Position& p) { return Isometry{kIdentityQuat, p.translation}; },
                    },
                    value_);
}

Matrix4 Pose::homo() const {
  return std::visit(Overload{
                        [](const Euler& e) { return to_homo(euler_to_matrix(e.angles), e.translation); },
                        [](const Quat& q) { return to_homo(quat_to_matrix(q.rotation), q.translation); },
                        [](const Homo& h) { return h.matrix; },
                        [](const AxisAngle& a) { return to_homo(axis_angle_to_matrix(a.axis, a.angle), a.translation); },
                        [](const Position& p) { return to_homo(identity3(), p.translation); },
                    },
                    value_);
}

AxisAngle Pose::axis_angle() const {
  const auto from_quat = [](const Quaternion& q, const Vec3& t) {
    const auto [axis, angle] = quat_to_axis_angle(q);
    return AxisAngle{t, axis, angle};
  };
  return std::visit(Overload{
                        [&](const Euler& e) { return from_quat(euler_to_quat(e.angles), e.translation); },
                        [&](const Quat& q) { return from_quat(q.rotation, q.translation); },
                        [&](const Homo& h) {
                          const Isometry iso = homo_to_isometry(h.matrix);
                          return from_quat(iso.rotation, iso.translation);
                        },
                        [](const AxisAngle& a) { return a; },
                        [](const Position& p) { return AxisAngle{p.translation, {1.0, 0.0, 0.0}, 0.0}; },
                    },
                    value_);
}

Vec3 Pose::position() const {
  return std::visit(Overload{
                        [](const Euler& e) { return e.translation; },
                        [](const Quat& q) { return q.translation; },
                        [](const Homo& h) { return Vec3{h.matrix[12], h.matrix[13], h.matrix[14]}; },
                        [](const AxisAngle& a) { return a.translation; },
                        [](const Position& p) { return p.translation; },
                    },
                    value_);
}

Six Pose::six() const {
  const auto [t, a] = euler();
  return {t[0], t[1], t[2], a[0], a[1], a[2]};
}

}  // namespace robot_behavior
