#include "controller.hpp"

#include <algorithm>
#include <cmath>

namespace orvek::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadPerDeg = kPi / 180.0;

Joints to_radians(const Joints& degrees) {
  Joints q{};
  for (std::size_t i = 0; i < 6; ++i) q[i] = degrees[i] * kRadPerDeg;
  return q;
}

Joints to_degrees(const Joints& radians) {
  Joints q{};
  for (std::size_t i = 0; i < 6; ++i) q[i] = radians[i] / kRadPerDeg;
  return q;
}

bool within_degree_limits(const Joints& q) {
  return std::all_of(q.begin(), q.end(), [](double v) { return std::abs(v) <= 360.0; });
}

// Joint moves are planned in degrees, so their targets are reached exactly as sent;
// linear moves come out of the inverse kinematics in radians.
Joints degrees_at(const JointMotion& m, double t) { return m.joints_at(t); }
Joints degrees_at(const LinearMotion& m, double t) { return to_degrees(m.joints_at(t)); }
Joints end_degrees(const JointMotion& m) { return m.end(); }
Joints end_degrees(const LinearMotion& m) { return to_degrees(m.end()); }

double norm3(const Vec3& v) { return std::hypot(v[0], v[1], v[2]); }

// A relative target: offsets in the base frame, the translation added to the tool's
// position and the rotation applied after its current orientation.
Frame offset_from(Frame offset, const Frame& from) {
  for (std::size_t k = 0; k < 3; ++k) offset.position[k] += from.position[k];
  offset.rotation = multiply(offset.rotation, from.rotation);
  return offset;
}

constexpr std::string_view kTooLong = "motion would take longer than a day";

std::string format_limit_message() {
  return "joint target outside the limits of -360 to 360 degrees";
}

}  // namespace

Controller::Controller() : rest_(kHomeDegrees) {
  // Fixed parts of the status: inputs and outputs idle, every axis homed.
  data_.homed.fill(1);
  data_.rapidrate = 1.0;
}

void Controller::advance(double now) {
  while (!queue_.empty()) {
    Segment& front = queue_.front();
    const double end = front.start + std::visit([](const auto& m) { return m.duration(); }, front.motion);
    if (now < end) return;
    rest_ = std::visit([](const auto& m) { return end_degrees(m); }, front.motion);
    queue_.pop_front();
  }
}

Joints Controller::joints(double now) {
  advance(now);
  if (queue_.empty()) return rest_;
  const Segment& front = queue_.front();
  const double t = now - front.start;
  return std::visit([t](const auto& m) { return degrees_at(m, t); }, front.motion);
}

bool Controller::moving(double now) {
  advance(now);
  return !queue_.empty();
}

double Controller::tcp_speed(double now) {
  advance(now);
  if (!queue_.empty()) {
    const Segment& front = queue_.front();
    double speed = 0.0;
    if (const auto* jm = std::get_if<JointMotion>(&front.motion)) {
      // The tool's speed when the joints run at the move's cruise rates, here.
      const Jacobian j = jacobian(to_radians(jm->joints_at(now - front.start)));
      const Joints rates = to_radians(jm->cruise_rates());
      Vec3 v{};
      for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < 6; ++i) v[k] += j[k][i] * rates[i];
      speed = norm3(v);
    } else {
      speed = std::get<LinearMotion>(front.motion).cruise_speed();
    }
    return std::max(speed, kMinMovingSpeed);
  }
  if (servo_ && servo_step_time_ >= 0 && now - servo_step_time_ < kServoSpeedHold) return servo_speed_;
  return 0.0;
}

double Controller::queue_end(double now) const {
  if (queue_.empty()) return now;
  const Segment& last = queue_.back();
  return last.start + std::visit([](const auto& m) { return m.duration(); }, last.motion);
}

Joints Controller::planned_end() const {
  if (queue_.empty()) return rest_;
  return std::visit([](const auto& m) { return end_degrees(m); }, queue_.back().motion);
}

void Controller::halt(double now) {
  rest_ = joints(now);
  queue_.clear();
  servo_ = false;
  servo_step_time_ = -1.0;
  servo_speed_ = 0.0;
}

void Controller::reply_ok(std::string& reply) {
  default_reply_.error_code = "0";
  default_reply_.error_msg.clear();
  serialize_into(reply, default_reply_);
}

void Controller::reply_error(std::string_view error_code, std::string_view message, std::string& reply) {
  default_reply_.error_code.assign(error_code);
  default_reply_.error_msg.assign(message);
  last_error_ = default_reply_;
  serialize_into(reply, default_reply_);
}

void Controller::refuse_malformed(std::string_view message, std::string& reply) {
  reply_error(code::kBadRequest, message, reply);
}

// The commands this controller carries out, each with its handler; every other known
// command is answered as not supported.
const Controller::Handler Controller::kHandlers[] = {
    {Command::get_data, &Controller::get_data},
    {Command::power_on, &Controller::power_on},
    {Command::power_off, &Controller::power_off},
    {Command::enable_robot, &Controller::enable_robot},
    {Command::disable_robot, &Controller::disable_robot},
    {Command::stop_program, &Controller::stop_program},
    {Command::clear_error, &Controller::clear_error},
    {Command::set_payload, &Controller::body_handler<SetPayloadData, &Controller::set_payload>},
    {Command::joint_move, &Controller::body_handler<JointMoveData, &Controller::joint_move>},
    {Command::moveL, &Controller::body_handler<MoveLData, &Controller::move_linear>},
    {Command::servo_move, &Controller::body_handler<ServoMoveData, &Controller::servo_move>},
    {Command::servo_j, &Controller::body_handler<ServoJData, &Controller::servo_j>},
    {Command::servo_p, &Controller::body_handler<ServoPData, &Controller::servo_p>},
};

void Controller::handle(const SimRequest& request, double now, std::string& reply) {
  if (!request.command) {
    std::string message = "unknown command \"";
    message += request.name;
    message += '"';
    return reply_error(code::kUnknownCommand, message, reply);
  }
  for (const Handler& handler : kHandlers) {
    if (handler.command == *request.command) return (this->*handler.handle)(request, now, reply);
  }
  std::string message = "command \"";
  message += request.name;
  message += "\" is not supported";
  reply_error(code::kUnknownCommand, message, reply);
}

void Controller::get_data(const SimRequest&, double now, std::string& reply) { write_get_data(now, reply); }

void Controller::power_on(const SimRequest&, double, std::string& reply) {
  powered_ = true;
  reply_ok(reply);
}

void Controller::power_off(const SimRequest&, double now, std::string& reply) {
  halt(now);
  enabled_ = false;
  powered_ = false;
  reply_ok(reply);
}

void Controller::enable_robot(const SimRequest&, double, std::string& reply) {
  if (!powered_) return reply_error(code::kNotPowered, "robot is not powered on", reply);
  enabled_ = true;
  reply_ok(reply);
}

void Controller::disable_robot(const SimRequest&, double now, std::string& reply) {
  if (!powered_) return reply_error(code::kNotPowered, "robot is not powered on", reply);
  halt(now);
  enabled_ = false;
  reply_ok(reply);
}

void Controller::stop_program(const SimRequest&, double now, std::string& reply) {
  halt(now);
  reply_ok(reply);
}

void Controller::clear_error(const SimRequest&, double, std::string& reply) {
  last_error_ = DefaultState{"0", ""};
  reply_ok(reply);
}

void Controller::set_payload(const SetPayloadData& d, double, std::string& reply) {
  if (d.mass < 0) return reply_error(code::kOutOfRange, "mass must not be negative", reply);
  payload_ = d;
  reply_ok(reply);
}

bool Controller::check_rel_flag(std::uint8_t rel_flag, std::string& reply) {
  if (rel_flag <= 1) return true;
  reply_error(code::kBadRequest, "\"relFlag\" must be 0 or 1", reply);
  return false;
}

bool Controller::check_can_move(std::string& reply) {
  if (!powered_) {
    reply_error(code::kNotPowered, "robot is not powered on", reply);
    return false;
  }
  if (!enabled_) {
    reply_error(code::kNotEnabled, "robot is not enabled", reply);
    return false;
  }
  return true;
}

bool Controller::admit_motion(std::uint8_t rel_flag, double speed, double accel, double now, std::string& reply) {
  if (!check_can_move(reply)) return false;
  if (servo_) {
    reply_error(code::kServoMode, "robot is in servo mode", reply);
    return false;
  }
  if (!check_rel_flag(rel_flag, reply)) return false;
  if (!(speed > 0) || !(accel > 0)) {
    reply_error(code::kOutOfRange, "speed and accel must be greater than 0", reply);
    return false;
  }
  advance(now);
  if (queue_.size() >= kMaxQueued) {
    reply_error(code::kBusy, "motion queue is full", reply);
    return false;
  }
  return true;
}

void Controller::joint_move(const JointMoveData& d, double now, std::string& reply) {
  if (!admit_motion(d.rel_flag, d.speed, d.accel, now, reply)) return;
  const Joints start = planned_end();
  Joints target = d.joint_position;
  if (d.rel_flag == 1)
    for (std::size_t i = 0; i < 6; ++i) target[i] += start[i];
  if (!within_degree_limits(target)) return reply_error(code::kOutOfRange, format_limit_message(), reply);
  JointMotion motion(start, target, d.speed, d.accel);
  if (!(motion.duration() <= kMaxDuration)) return reply_error(code::kOutOfRange, kTooLong, reply);
  queue_.push_back(Segment{motion, queue_end(now)});
  reply_ok(reply);
}

void Controller::move_linear(const MoveLData& d, double now, std::string& reply) {
  if (!admit_motion(d.rel_flag, d.speed, d.accel, now, reply)) return;
  const Joints start = planned_end();
  Frame target = from_six(d.cart_position);
  if (d.rel_flag == 1) target = offset_from(target, forward(to_radians(start)));
  std::optional<LinearMotion> motion;
  if (auto why = LinearMotion::plan(to_radians(start), target, d.speed, d.accel, motion)) {
    return reply_error(code::kUnreachable, *why, reply);
  }
  if (!(motion->duration() <= kMaxDuration)) return reply_error(code::kOutOfRange, kTooLong, reply);
  queue_.push_back(Segment{std::move(*motion), queue_end(now)});
  reply_ok(reply);
}

void Controller::servo_move(const ServoMoveData& d, double now, std::string& reply) {
  if (d.rel_flag == 0) {
    servo_ = false;
    servo_step_time_ = -1.0;
    return reply_ok(reply);
  }
  if (!check_rel_flag(d.rel_flag, reply)) return;
  if (!check_can_move(reply)) return;
  if (moving(now)) return reply_error(code::kBusy, "robot is moving", reply);
  servo_ = true;
  servo_step_time_ = now;
  servo_speed_ = 0.0;
  reply_ok(reply);
}

void Controller::servo_step(const Joints& target, double now) {
  const Vec3 before = forward(to_radians(rest_)).position;
  const Vec3 after = forward(to_radians(target)).position;
  const double dt = std::max(now - servo_step_time_, kServoPeriod);
  servo_speed_ = norm3({after[0] - before[0], after[1] - before[1], after[2] - before[2]}) / dt;
  servo_step_time_ = now;
  rest_ = target;
}

void Controller::servo_j(const ServoJData& d, double now, std::string& reply) {
  if (!servo_) return reply_error(code::kServoMode, "robot is not in servo mode", reply);
  if (!check_rel_flag(d.rel_flag, reply)) return;
  Joints target = d.joint_position;
  if (d.rel_flag == 1)
    for (std::size_t i = 0; i < 6; ++i) target[i] += rest_[i];
  if (!within_degree_limits(target)) return reply_error(code::kOutOfRange, format_limit_message(), reply);
  servo_step(target, now);
  reply_ok(reply);
}

void Controller::servo_p(const ServoPData& d, double now, std::string& reply) {
  if (!servo_) return reply_error(code::kServoMode, "robot is not in servo mode", reply);
  if (!check_rel_flag(d.rel_flag, reply)) return;
  Frame target = from_six(d.cat_position);
  if (d.rel_flag == 1) target = offset_from(target, forward(to_radians(rest_)));
  const auto q = inverse(target, to_radians(rest_));
  if (!q) return reply_error(code::kUnreachable, "target is out of reach", reply);
  servo_step(to_degrees(*q), now);
  reply_ok(reply);
}

void Controller::write_get_data(double now, std::string& reply) {
  const Joints q = joints(now);
  const bool in_motion = !queue_.empty();
  data_.joint_actual_position = q;
  data_.actual_position = to_six(forward(to_radians(q)));
  data_.curr_tcp_trans_vel = tcp_speed(now);
  data_.enabled = enabled_;
  data_.powered_on = powered_ ? 1 : 0;
  data_.task_state = enabled_ ? 3 : powered_ ? 2 : 1;
  data_.task_mode = servo_ ? 1 : 0;
  data_.interp_state = in_motion ? 1 : servo_ ? 2 : 0;
  data_.inpos = !in_motion;
  data_.error_code = last_error_.error_code;
  data_.error_msg = last_error_.error_msg;
  // "len" is the length of the reply text itself; it settles after at most two passes
  // because the digit count of the length changes only at powers of ten.
  serialize_into(reply, data_);
  for (int pass = 0; pass < 2 && reply.size() != data_.len && reply.size() <= 65535; ++pass) {
    data_.len = static_cast<std::uint16_t>(reply.size());
    serialize_into(reply, data_);
  }
}

}  // namespace orvek::sim
