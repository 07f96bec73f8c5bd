// The pose conversions on arbitrary doubles: every bit pattern, NaN, infinities,
// subnormals, huge and tiny scales. No undefined behaviour, no endless loop (run with
// -timeout), and the nearest rotation keeps its promises:
//  - a block holding NaN or an infinity gives a NaN quaternion, an all-zero block the
//    identity, every other block a unit quaternion;
//  - that rotation is at least as near to the block as the identity and the three half
//    turns about the axes, which is where a descent from the identity stalls;
//  - the matrix of a quaternion (of any finite, non-zero, not extreme length) gives the
//    same rotation back, up to sign.
//
// The input is up to 16 doubles (missing ones are zero); every pose variant takes its
// numbers from the front of the same array.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.hpp"
#include "pose_exercise.hpp"
#include "robot_behavior/pose.hpp"

namespace {

using robot_behavior::Isometry;
using robot_behavior::Matrix4;
using robot_behavior::Pose;
using robot_behavior::Quaternion;

std::string show(const Quaternion& q) {
  return std::to_string(q[0]) + ", " + std::to_string(q[1]) + ", " + std::to_string(q[2]) + ", " +
         std::to_string(q[3]);
}

using Block = std::array<std::array<long double, 3>, 3>;

Block rotation_of(const Quaternion& q) {
  const long double x = q[0], y = q[1], z = q[2], w = q[3];
  return {{{w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)},
           {2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)},
           {2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z}}};
}

// trace(R^T M): larger is nearer, as |R - M|^2 = 3 + |M|^2 - 2 trace(R^T M).
long double closeness(const Block& r, const Block& m) {
  long double sum = 0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) sum += r[i][j] * m[i][j];
  }
  return sum;
}

void check_nearest(const Matrix4& h) {
  const Isometry iso = robot_behavior::homo_to_isometry(h);
  const Quaternion& q = iso.rotation;
  for (int i = 0; i < 3; ++i) {
    ORVEK_FUZZ_CHECK(std::memcmp(&iso.translation[i], &h[12 + i], sizeof(double)) == 0, "the translation changed");
  }
  bool finite = true;
  double largest = 0.0;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) {
      const double x = h[4 * c + r];
      finite = finite && std::isfinite(x);
      if (std::isfinite(x)) largest = std::fmax(largest, std::fabs(x));
    }
  }
  if (!finite) {
    for (double x : q) ORVEK_FUZZ_CHECK(std::isnan(x), "a block with NaN or an infinity gave a rotation: " + show(q));
    return;
  }
  if (largest == 0.0) {
    ORVEK_FUZZ_CHECK(q == (Quaternion{0.0, 0.0, 0.0, 1.0}), "an all-zero block did not give the identity: " + show(q));
    return;
  }
  const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  ORVEK_FUZZ_CHECK(std::fabs(norm - 1.0) < 1e-9, "not a unit quaternion: " + show(q));

  // Compare on the block scaled to a largest entry of about 1 (exact in long double).
  int exponent = 0;
  std::frexp(largest, &exponent);
  Block m{};
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) m[r][c] = std::ldexp(static_cast<long double>(h[4 * c + r]), -exponent);
  }
  const long double found = closeness(rotation_of(q), m);
  const Quaternion others[] = {{0, 0, 0, 1}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  for (const Quaternion& other : others) {
    const long double better = closeness(rotation_of(other), m) - found;
    ORVEK_FUZZ_CHECK(better <= 1e-9L, "the rotation " + show(q) + " is farther from the block than " + show(other));
  }
}

void check_round_trip(const Quaternion& given) {
  const double length = std::sqrt(given[0] * given[0] + given[1] * given[1] + given[2] * given[2] + given[3] * given[3]);
  // Outside this range the entries of the matrix (length squared) leave the normal doubles.
  if (!std::isfinite(length) || length < 1e-100 || length > 1e100) return;
  const Quaternion unit{given[0] / length, given[1] / length, given[2] / length, given[3] / length};
  const Quaternion back = robot_behavior::homo_to_isometry(Pose(Isometry{given, {0.0, 0.0, 0.0}}).homo()).rotation;
  double dot = 0.0;
  for (int i = 0; i < 4; ++i) dot += unit[i] * back[i];
  ORVEK_FUZZ_CHECK(std::fabs(std::fabs(dot) - 1.0) < 1e-9,
                   "the matrix of " + show(given) + " came back as the rotation " + show(back));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<double, 16> d{};
  std::memcpy(d.data(), data, size < sizeof d ? size : sizeof d);

  Matrix4 h;
  std::copy(d.begin(), d.end(), h.begin());
  check_nearest(h);
  check_round_trip({d[0], d[1], d[2], d[3]});

  const Pose poses[] = {
      Pose::Euler{{d[0], d[1], d[2]}, {d[3], d[4], d[5]}},
      Isometry{{d[0], d[1], d[2], d[3]}, {d[4], d[5], d[6]}},
      Pose::Homo{h},
      robot_behavior::AxisAngle{{d[0], d[1], d[2]}, {d[3], d[4], d[5]}, d[6]},
      Pose::Position{{d[0], d[1], d[2]}},
  };
  for (const Pose& pose : poses) orvek::fuzz::exercise(pose);
  return 0;
}
