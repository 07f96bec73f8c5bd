#include "records.hpp"

#include <cmath>
#include <string_view>
#include <type_traits>

#include "robot_behavior/exception.hpp"
#include "robot_behavior/number_format.hpp"

namespace orvek::ffi {
namespace rb = robot_behavior;

namespace {

template <class... F>
struct Overload : F... {
  using F::operator()...;
};

void append_list(std::string& out, const double* values, std::size_t count) {
  rb::append_debug_list(out, values, count);
}

template <class Array>
void append_list(std::string& out, const Array& values) {
  append_list(out, values.data(), values.size());
}

void append_display_list(std::string& out, const double* values, std::size_t count) {
  out += '[';
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += ", ";
    rb::append_display(out, values[i]);
  }
  out += ']';
}

template <std::size_t N>
std::array<double, N> exactly(const std::vector<double>& values) {
  if (values.size() != N) {
    std::string message(rb::kUnwrapPrefix);
    append_list(message, values);
    rb::panic(message);
  }
  std::array<double, N> out;
  for (std::size_t i = 0; i < N; ++i) out[i] = values[i];
  return out;
}

template <class T>
void append_optional(std::string& out, const std::optional<T>& value, auto&& append_value) {
  if (!value) {
    out += "None";
    return;
  }
  out += "Some(";
  append_value(*value);
  out += ')';
}

}  // namespace

// --- DoubleList ---------------------------------------------------------------------------------

DoubleList::DoubleList(const std::optional<std::array<double, 6>>& values) {
  if (values) {
    present_ = true;
    size_ = kInline;
    inline_ = *values;
  }
}

void DoubleList::reset() {
  present_ = false;
  size_ = 0;
  spill_ = {};
}

void DoubleList::assign(const double* values, std::size_t count) {
  if (count == kInline) {
    for (std::size_t i = 0; i < kInline; ++i) inline_[i] = values[i];
    spill_ = {};
  } else {
    spill_.assign(values, values + count);
  }
  present_ = true;
  size_ = count;
}

// --- conversions --------------------------------------------------------------------------------

rb::Pose to_library(const PyPose& pose) {
  if (const auto* quat = std::get_if<rb::Pose::Quat>(&pose.value())) {
    const rb::Quaternion& q = quat->rotation;
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    rb::Isometry out;
    for (std::size_t i = 0; i < 4; ++i) out.rotation[i] = q[i] / length;
    out.translation = quat->translation;
    return rb::Pose(out);
  }
  return pose;
}

rb::Motion6 to_library(const PyMotion& motion) {
  using M = rb::Motion6;
  return std::visit(Overload{
                        [](const PyMotion::Joint& v) { return M{M::Joint{exactly<6>(v.values)}}; },
                        [](const PyMotion::JointVel& v) { return M{M::JointVel{exactly<6>(v.values)}}; },
                        [](const PyMotion::Cartesian& v) { return M{M::Cartesian{to_library(v.pose)}}; },
                        [](const PyMotion::CartesianVel& v) { return M{M::CartesianVel{exactly<6>(v.values)}}; },
                        [](const PyMotion::Position& v) { return M{M::Position{exactly<3>(v.values)}}; },
                        [](const PyMotion::PositionVel& v) { return M{M::PositionVel{exactly<3>(v.values)}}; },
                        [](const PyMotion::Stop&) { return M{M::Stop{}}; },
                    },
                    motion.value);
}

PyArmState from_library(const rb::ArmState6& state) {
  PyArmState out;
  out.joint = DoubleList(state.joint);
  out.joint_vel = DoubleList(state.joint_vel);
  out.joint_acc = DoubleList(state.joint_acc);
  out.tau = DoubleList(state.tau);
  out.pose_o_to_ee = state.pose_o_to_ee;
  out.pose_ee_to_k = state.pose_ee_to_k;
  out.cartesian_vel = state.cartesian_vel;
  out.load = state.load;
  return out;
}

// --- text forms ---------------------------------------------------------------------------------

namespace {

// One part of a pose's text: a list, or a number in its debug form.
void append_part(std::string& out, double value) { rb::append_debug(out, value); }
template <class Array>
void append_part(std::string& out, const Array& values) {
  append_list(out, values);
}

// "Name(part, part, ...)".
template <class... Parts>
void append_call(std::string& out, std::string_view name, const Parts&... parts) {
  out += name;
  out += '(';
  std::string_view separator;
  ((out += separator, append_part(out, parts), separator = ", "), ...);
  out += ')';
}

}  // namespace

void append_text(std::string& out, const PyPose& pose) {
  std::visit(Overload{
                 [&](const rb::Pose::Euler& v) { append_call(out, "Euler", v.translation, v.angles); },
                 [&](const rb::Pose::Quat& v) { append_call(out, "Quat", v.translation, v.rotation); },
                 [&](const rb::Pose::Homo& v) { append_call(out, "Homo", v.matrix); },
                 [&](const rb::Pose::AxisAngle& v) { append_call(out, "AxisAngle", v.translation, v.axis, v.angle); },
                 [&](const rb::Pose::Position& v) { append_call(out, "Position", v.translation); },
             },
             pose.value());
}

void append_text(std::string& out, const PyMotion& motion) {
  static constexpr const char* kNames[] = {"Joint", "JointVel", "Cartesian", "CartesianVel",
                                           "Position", "PositionVel", "Stop"};
  out += kNames[motion.value.index()];
  std::visit(Overload{
                 [&](const PyMotion::Cartesian& v) {
                   out += '(';
                   append_text(out, v.pose);
                   out += ')';
                 },
                 [&](const PyMotion::Stop&) {},
                 [&](const auto& v) {
                   out += '(';
                   append_list(out, v.values);
                   out += ')';
                 },
             },
             motion.value);
}

std::string text(const PyPose& pose) {
  std::string out;
  append_text(out, pose);
  return out;
}

std::string text(const PyMotion& motion) {
  std::string out;
  append_text(out, motion);
  return out;
}

std::string text(const PyControl& control) {
  if (const auto* torque = std::get_if<PyControl::Torque>(&control.value)) {
    std::string out = "Torque(";
    append_list(out, torque->values);
    out += ')';
    return out;
  }
  return "Zero";
}

void append_debug(std::string& out, const rb::LoadState& load) {
  out += "LoadState { m: ";
  rb::append_debug(out, load.m);
  out += ", x: ";
  append_list(out, load.x);
  out += ", i: ";
  append_list(out, load.i);
  out += " }";
}

std::string repr(const rb::LoadState& load) {
  std::string out = "LoadState(m=";
  rb::append_display(out, load.m);
  out += ", x=";
  append_display_list(out, load.x.data(), load.x.size());
  out += ", i=";
  append_display_list(out, load.i.data(), load.i.size());
  out += ')';
  return out;
}

std::string repr(const PyArmState& state) {
  std::string out = "ArmState:";
  const auto field = [&](const char* name, bool first) {
    out += first ? "\n    |> " : ",\n    |> ";
    out += name;
    out += ": ";
  };
  const auto list = [&](const DoubleList& values) {
    if (!values.present()) {
      out += "None";
      return;
    }
    out += "Some(";
    append_list(out, values.data(), values.size());
    out += ')';
  };
  field("joint", true);
  list(state.joint);
  field("joint_vel", false);
  list(state.joint_vel);
  field("joint_acc", false);
  list(state.joint_acc);
  field("tau", false);
  list(state.tau);
  field("pose_o_to_ee", false);
  append_optional(out, state.pose_o_to_ee, [&](const PyPose& pose) { append_text(out, pose); });
  field("pose_ee_to_k", false);
  append_optional(out, state.pose_ee_to_k, [&](const PyPose& pose) { append_text(out, pose); });
  field("cartesian_vel", false);
  append_optional(out, state.cartesian_vel, [&](const rb::Six& values) { append_list(out, values); });
  field("load", false);
  append_optional(out, state.load, [&](const rb::LoadState& load) { append_debug(out, load); });
  return out;
}

}  // namespace orvek::ffi
