#pragma once
// The simulated controller: power and enable states, a queue of pre-planned motions,
// servo mode, the payload, and the replies to the thirteen commands.
//
// Wire units: joint values in degrees, joint speeds in degrees/s and accelerations in
// degrees/s^2; positions in mm, Cartesian speeds in mm/s and accelerations in mm/s^2;
// the angles of a six-number pose (roll, pitch, yaw) in radians; mass in kg and the
// centroid in mm.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "kinematics.hpp"
#include "motion.hpp"
#include "request_reader.hpp"
#include "types/reply.hpp"

namespace orvek::sim {

// Error codes of the replies; "0" is success.
namespace code {
inline constexpr std::string_view kUnknownCommand = "1";
inline constexpr std::string_view kBadRequest = "2";
inline constexpr std::string_view kNotPowered = "3";
inline constexpr std::string_view kNotEnabled = "4";
inline constexpr std::string_view kBusy = "5";
inline constexpr std::string_view kOutOfRange = "6";
inline constexpr std::string_view kUnreachable = "7";
inline constexpr std::string_view kServoMode = "8";
}  // namespace code

class Controller {
 public:
  static constexpr std::size_t kMaxQueued = 16;       // pre-planned motions waiting or running
  static constexpr double kMinMovingSpeed = 1.0;       // mm/s reported while any motion runs
  static constexpr double kServoPeriod = 0.008;        // s, the shortest step time assumed
  static constexpr double kServoSpeedHold = 0.1;       // s a servo step's speed stays reported
  static constexpr double kMaxDuration = 86400.0;      // s; slower motions are refused
  // Joints at start-up, degrees: the tool points straight down 460 mm above the base.
  static constexpr Joints kHomeDegrees{0.0, 90.0, -90.0, -90.0, -90.0, 0.0};

  Controller();

  // Carries out one request at `now` (seconds on a steady clock) and writes the reply.
  void handle(const SimRequest& request, double now, std::string& reply);
  // The reply to a request whose body could not be read.
  void refuse_malformed(std::string_view message, std::string& reply);

  // Inspection, in wire units (joints in degrees, mm/s).
  Joints joints(double now);
  double tcp_speed(double now);
  bool powered() const { return powered_; }
  bool enabled() const { return enabled_; }
  bool servo_mode() const { return servo_; }
  bool moving(double now);
  const SetPayloadData& payload() const { return payload_; }

 private:
  using Motion = std::variant<JointMotion, LinearMotion>;
  struct Segment {
    Motion motion;
    double start;
  };

  void advance(double now);
  Joints planned_end() const;
  double queue_end(double now) const;  // when the last queued motion ends
  void halt(double now);
  void reply_ok(std::string& reply);
  void reply_error(std::string_view code, std::string_view message, std::string& reply);
  void write_get_data(double now, std::string& reply);

  // One command's handler, and the table from command to handler.
  struct Handler {
    Command command;
    void (Controller::*handle)(const SimRequest&, double now, std::string& reply);
  };
  static const Handler kHandlers[];
  // A handler of a command with a body of type Body.
  template <class Body, void (Controller::*Handle)(const Body&, double, std::string&)>
  void body_handler(const SimRequest& request, double now, std::string& reply) {
    (this->*Handle)(std::get<Body>(request.body), now, reply);
  }

  void get_data(const SimRequest&, double now, std::string& reply);
  void power_on(const SimRequest&, double now, std::string& reply);
  void power_off(const SimRequest&, double now, std::string& reply);
  void enable_robot(const SimRequest&, double now, std::string& reply);
  void disable_robot(const SimRequest&, double now, std::string& reply);
  void stop_program(const SimRequest&, double now, std::string& reply);
  void clear_error(const SimRequest&, double now, std::string& reply);
  void set_payload(const SetPayloadData& d, double now, std::string& reply);
  void joint_move(const JointMoveData& d, double now, std::string& reply);
  void move_linear(const MoveLData& d, double now, std::string& reply);
  void servo_move(const ServoMoveData& d, double now, std::string& reply);
  void servo_j(const ServoJData& d, double now, std::string& reply);
  void servo_p(const ServoPData& d, double now, std::string& reply);
  bool check_can_move(std::string& reply);
  bool check_rel_flag(std::uint8_t rel_flag, std::string& reply);
  // The checks every planned motion passes before its target is read; advances the motion
  // to `now` and makes sure the queue has room. False after writing the error reply.
  bool admit_motion(std::uint8_t rel_flag, double speed, double accel, double now, std::string& reply);
  void servo_step(const Joints& target, double now);

  bool powered_ = false;
  bool enabled_ = false;
  bool servo_ = false;
  Joints rest_;  // degrees; when no motion runs, or at the end of the last finished one
  std::deque<Segment> queue_;
  double servo_step_time_ = -1.0;
  double servo_speed_ = 0.0;
  SetPayloadData payload_{0.0, {0.0, 0.0, 0.0}};
  DefaultState last_error_{"0", ""};  // reported by get_data until clear_error
  DefaultState default_reply_;
  GetDataState data_{};               // the static fields are filled once
};

}  // namespace orvek::sim
