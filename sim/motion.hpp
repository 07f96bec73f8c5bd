#pragma once
// Pre-planned motions of the simulated arm: a trapezoidal speed profile along a path,
// a joint move (all joints interpolated together) and a straight-line tool move.

#include <optional>
#include <string>
#include <vector>

#include "kinematics.hpp"

namespace orvek::sim {

// Distance travelled along a path of `length` with speed limit `speed` and acceleration
// `accel`: accelerate, cruise, decelerate; short paths never reach `speed` (a triangle).
class Trapezoid {
 public:
  Trapezoid() = default;
  Trapezoid(double length, double speed, double accel);

  double length() const { return length_; }
  double duration() const { return duration_; }
  // The highest speed reached: `speed`, or less on a path too short to get there.
  double peak_speed() const { return peak_; }
  // Distance covered after `t` seconds, clamped to [0, length].
  double distance_at(double t) const;

 private:
  double length_ = 0;
  double accel_ = 1;
  double peak_ = 0;
  double ramp_time_ = 0;
  double duration_ = 0;
};

// Interpolates the joints from `start` to `end` in proportion, timed so that the joint
// with the largest travel follows the profile (speed and accel in the joints' unit).
class JointMotion {
 public:
  JointMotion(const Joints& start, const Joints& end, double speed, double accel);

  double duration() const { return profile_.duration(); }
  Joints joints_at(double t) const;
  const Joints& end() const { return end_; }
  // Joint rates at the cruise speed of the profile, per second.
  Joints cruise_rates() const;

 private:
  Joints start_;
  Joints end_;
  Trapezoid profile_;
};

// Moves the tool centre point along the straight line from the pose at `start` to
// `target`, turning the orientation evenly about one axis on the way. The path length is
// the larger of the travel in mm and the turn in radians times kMmPerRadian.
class LinearMotion {
 public:
  static constexpr double kMmPerRadian = 100.0;
  // Largest step of any joint between neighbouring path samples before the path is
  // taken to cross a singularity or change configuration.
  static constexpr double kMaxSampleStep = 0.35;  // rad

  // Plans the motion; on failure returns the reason and leaves `out` unset.
  static std::optional<std::string> plan(const Joints& start, const Frame& target, double speed, double accel,
                                         std::optional<LinearMotion>& out);

  double duration() const { return profile_.duration(); }
  Joints joints_at(double t) const;
  const Joints& end() const { return samples_.back(); }
  // The tool's planned translational speed at cruise, mm/s.
  double cruise_speed() const;
  Frame pose_at_fraction(double u) const;

 private:
  LinearMotion() = default;
  Frame start_pose_;
  Vec3 travel_{};
  Vec3 turn_{};  // rotation vector, base frame
  Trapezoid profile_;
  std::vector<Joints> samples_;  // joints at evenly spaced fractions 0 .. 1
};

}  // namespace orvek::sim
