#include "motion.hpp"

#include <algorithm>
#include <cmath>

namespace orvek::sim {

Trapezoid::Trapezoid(double length, double speed, double accel) : length_(std::max(0.0, length)), accel_(accel) {
  if (!(length_ > 0)) return;
  const double ramp_distance = speed * speed / (2.0 * accel);
  if (2.0 * ramp_distance >= length_) {
    ramp_time_ = std::sqrt(length_ / accel);
    peak_ = accel * ramp_time_;
    duration_ = 2.0 * ramp_time_;
  } else {
    ramp_time_ = speed / accel;
    peak_ = speed;
    duration_ = 2.0 * ramp_time_ + (length_ - 2.0 * ramp_distance) / speed;
  }
}

double Trapezoid::distance_at(double t) const {
  if (!(t > 0) || !(length_ > 0)) return 0.0;
  if (t >= duration_) return length_;
  const double ramp = 0.5 * accel_ * ramp_time_ * ramp_time_;
  double s;
  if (t < ramp_time_) {
    s = 0.5 * accel_ * t * t;
  } else if (t <= duration_ - ramp_time_) {
    s = ramp + peak_ * (t - ramp_time_);
  } else {
    const double left = duration_ - t;
    s = length_ - 0.5 * accel_ * left * left;
  }
  return std::clamp(s, 0.0, length_);
}

namespace {
double largest_travel(const Joints& a, const Joints& b) {
  double d = 0;
  for (std::size_t i = 0; i < 6; ++i) d = std::max(d, std::abs(b[i] - a[i]));
  return d;
}
}  // namespace

JointMotion::JointMotion(const Joints& start, const Joints& end, double speed, double accel)
    : start_(start), end_(end), profile_(largest_travel(start, end), speed, accel) {}

Joints JointMotion::joints_at(double t) const {
  if (!(profile_.length() > 0) || t >= profile_.duration()) return end_;
  const double u = profile_.distance_at(t) / profile_.length();
  Joints q{};
  for (std::size_t i = 0; i < 6; ++i) q[i] = start_[i] + (end_[i] - start_[i]) * u;
  return q;
}

Joints JointMotion::cruise_rates() const {
  Joints rates{};
  if (!(profile_.length() > 0)) return rates;
  for (std::size_t i = 0; i < 6; ++i) rates[i] = (end_[i] - start_[i]) / profile_.length() * profile_.peak_speed();
  return rates;
}

std::optional<std::string> LinearMotion::plan(const Joints& start, const Frame& target, double speed, double accel,
                                              std::optional<LinearMotion>& out) {
  LinearMotion m;
  m.start_pose_ = forward(start);
  for (std::size_t k = 0; k < 3; ++k) m.travel_[k] = target.position[k] - m.start_pose_.position[k];
  m.turn_ = rotation_vector(multiply(target.rotation, transpose(m.start_pose_.rotation)));
  const double travel = std::hypot(m.travel_[0], m.travel_[1], m.travel_[2]);
  const double turn = std::hypot(m.turn_[0], m.turn_[1], m.turn_[2]);
  const double length = std::max(travel, turn * kMmPerRadian);
  if (!std::isfinite(length)) return "target is not a finite pose";
  m.profile_ = Trapezoid(length, speed, accel);

  // Samples every 2 mm (at most 2000), each solved from its neighbour so the arm keeps
  // one configuration along the whole line.
  const auto count = static_cast<std::size_t>(std::clamp(std::ceil(length / 2.0), 1.0, 2000.0));
  m.samples_.reserve(count + 1);
  m.samples_.push_back(start);
  for (std::size_t i = 1; i <= count; ++i) {
    const Frame pose = i == count ? target : m.pose_at_fraction(static_cast<double>(i) / static_cast<double>(count));
    const auto q = inverse(pose, m.samples_.back());
    if (!q) return "target is out of reach along the line";
    if (largest_travel(*q, m.samples_.back()) > kMaxSampleStep) return "line passes through a singularity";
    m.samples_.push_back(*q);
  }
  out = std::move(m);
  return std::nullopt;
}

Frame LinearMotion::pose_at_fraction(double u) const {
  Frame f;
  for (std::size_t k = 0; k < 3; ++k) f.position[k] = start_pose_.position[k] + travel_[k] * u;
  f.rotation = multiply(from_rotation_vector({turn_[0] * u, turn_[1] * u, turn_[2] * u}), start_pose_.rotation);
  return f;
}

Joints LinearMotion::joints_at(double t) const {
  if (!(profile_.length() > 0) || t >= profile_.duration()) return samples_.back();
  const double u = profile_.distance_at(t) / profile_.length();
  const double position = u * static_cast<double>(samples_.size() - 1);
  const std::size_t index = std::min(static_cast<std::size_t>(position), samples_.size() - 2);
  const double frac = position - static_cast<double>(index);
  Joints seed{};
  for (std::size_t i = 0; i < 6; ++i)
    seed[i] = samples_[index][i] + (samples_[index + 1][i] - samples_[index][i]) * frac;
  IkOptions refine;
  refine.max_iterations = 20;
  const auto q = inverse(pose_at_fraction(u), seed, refine);
  return q ? *q : seed;
}

double LinearMotion::cruise_speed() const {
  if (!(profile_.length() > 0)) return 0.0;
  return profile_.peak_speed() * std::hypot(travel_[0], travel_[1], travel_[2]) / profile_.length();
}

}  // namespace orvek::sim
