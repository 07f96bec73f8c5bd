#pragma once
// The records behind the Python value classes, their conversions to and from the library's
// types, and their text forms. Nothing here touches Python.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "robot_behavior/arm_state.hpp"
#include "robot_behavior/load.hpp"
#include "robot_behavior/motion.hpp"
#include "robot_behavior/pose.hpp"

namespace orvek::ffi {

// A pose as Python gave it: the library's variant, except that a Quat keeps its quaternion exactly
// as passed (normalised only on the way into the library).
using PyPose = robot_behavior::Pose;

// A motion target as Python gave it: list payloads of any length (checked on the way in).
struct PyMotion {
  template <int Tag>
  struct List {
    std::vector<double> values;
  };
  using Joint = List<0>;
  using JointVel = List<1>;
  struct Cartesian {
    PyPose pose;
  };
  using CartesianVel = List<3>;
  using Position = List<4>;
  using PositionVel = List<5>;
  struct Stop {};
  using Variant = std::variant<Joint, JointVel, Cartesian, CartesianVel, Position, PositionVel, Stop>;

  Variant value;
};

struct PyControl {
  struct Zero {};
  struct Torque {
    std::vector<double> values;
  };
  using Variant = std::variant<Zero, Torque>;

  Variant value;
};

// An optional list of doubles of any length; six entries (the library's case) stay inline, so a
// state built from a library ArmState costs no allocation of its own.
class DoubleList {
 public:
  DoubleList() = default;
  explicit DoubleList(const std::optional<std::array<double, 6>>& values);

  bool present() const { return present_; }
  std::size_t size() const { return size_; }
  const double* data() const { return size_ == kInline ? inline_.data() : spill_.data(); }

  void reset();
  void assign(const double* values, std::size_t count);

 private:
  static constexpr std::size_t kInline = 6;
  bool present_ = false;
  std::size_t size_ = 0;
  std::array<double, kInline> inline_{};
  std::vector<double> spill_;
};

// The arm state as Python sees it: the joint lists may be given any length from Python.
struct PyArmState {
  DoubleList joint;
  DoubleList joint_vel;
  DoubleList joint_acc;
  DoubleList tau;
  std::optional<PyPose> pose_o_to_ee;
  std::optional<PyPose> pose_ee_to_k;
  std::optional<robot_behavior::Six> cartesian_vel;
  std::optional<robot_behavior::LoadState> load;
  // Set by every assignment to an attribute from Python: a realtime cycle's state that is
  // handed out again needs its value reset only then.
  bool changed = false;
};

// Python record -> library pose: a Quat's quaternion is divided by its length (an all-zero
// quaternion has no direction and becomes NaNs, which every motion refuses to send).
robot_behavior::Pose to_library(const PyPose& pose);
// Library pose -> Python record: the numbers are copied unchanged.
inline PyPose from_library(const robot_behavior::Pose& pose) { return pose; }

// Python record -> library motion (six joints). A list of the wrong length for its variant is an
// internal failure: "called `Result::unwrap()` on an `Err` value: [1.0, 2.0, 3.0]".
robot_behavior::Motion6 to_library(const PyMotion& motion);

PyArmState from_library(const robot_behavior::ArmState6& state);

// Text forms, numbers in the debug form: "Quat([0.0, 0.0, 0.0], [0.0, 0.0, 0.0, 1.0])",
// "Cartesian(Position([1.0, 0.5, 1e-5]))", "Stop", "Torque([1.0])".
std::string text(const PyPose& pose);
std::string text(const PyMotion& motion);
std::string text(const PyControl& control);
void append_text(std::string& out, const PyPose& pose);
void append_text(std::string& out, const PyMotion& motion);

// "LoadState { m: 1.5, x: [0.0, 0.0, 0.1], i: [...] }"
void append_debug(std::string& out, const robot_behavior::LoadState& load);
// "LoadState(m=1.5, x=[0, 0, 0.1], i=[...])", numbers in the display form.
std::string repr(const robot_behavior::LoadState& load);
// "ArmState:\n    |> joint: Some([...]),\n ... |> load: None"
std::string repr(const PyArmState& state);

}  // namespace orvek::ffi
