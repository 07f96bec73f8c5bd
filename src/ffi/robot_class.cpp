// The OrvekRobot class: one driver per Python object, one table row per method.
//
// Each row names the method, how it uses the object (exclusive or shared), the driver operation
// it calls and, for a method with an argument, the argument's kind and name. Parsing, borrowing,
// conversion (complete before the driver runs), result conversion and failure mapping come from
// method_table.hpp. The with_ rows are wrapped in `chain` and return the object itself.

#include <string>

#include "classes.hpp"
#include "closure_methods.hpp"
#include "method_table.hpp"
#include "module_contents.hpp"
#include "liborvek/robot.hpp"

namespace orvek::ffi {
namespace {

using orvek::OrvekRobot;

PyTypeObject* g_robot_type = nullptr;

struct RobotClass {
  using Value = OrvekRobot;
  static constexpr FixedString name = "OrvekRobot";
  static PyTypeObject* type() { return robot_type(); }
};
using M = Methods<RobotClass>;

// Asked by the driver between the status queries of a blocking move and between the slices
// of every wait for the controller (the interpreter lock is held throughout): runs the Python
// signal handlers, so a Ctrl-C leaves its KeyboardInterrupt set and the driver ends the wait
// (boundary.cpp reports it).
bool python_signal_pending(void* /*context*/) { return PyErr_CheckSignals() != 0; }

// Connects at once; a connection failure is an internal failure, a Ctrl-C during the
// connection a KeyboardInterrupt, and no object is made.
OrvekRobot make_robot(const std::string& ip) { return OrvekRobot(ip, {}, {&python_signal_pending, nullptr}); }

constexpr Use X = Use::exclusive;
constexpr Use S = Use::shared;

using kind::Coord;
using kind::Float;
using kind::List;
using kind::Load;
using kind::Motion;
using kind::Object;
using kind::Six;
using kind::Str;
using PoseArg = kind::Pose;
using MotionList = List<Motion>;

PyMethodDef kMethods[] = {
    // robot operations
    M::method<"version", S, &OrvekRobot::version>(),
    M::method<"init", X, &OrvekRobot::init>(),
    M::method<"shutdown", X, &OrvekRobot::shutdown>(),
    M::method<"enable", X, &OrvekRobot::enable>(),
    M::method<"disable", X, &OrvekRobot::disable>(),
    M::method<"reset", X, &OrvekRobot::reset>(),
    M::method<"is_moving", X, &OrvekRobot::is_moving>(),
    M::method<"stop", X, &OrvekRobot::stop>(),
    M::method<"pause", X, &OrvekRobot::pause>(),
    M::method<"resume", X, &OrvekRobot::resume>(),
    M::method<"emergency_stop", X, &OrvekRobot::emergency_stop>(),
    M::method<"clear_emergency_stop", X, &OrvekRobot::clear_emergency_stop>(),

    // status, payload and settings
    M::method<"state", X, &OrvekRobot::state>(),
    M::method<"set_load", X, &OrvekRobot::set_load, Load, "load">(),
    M::method<"set_coord", X, &OrvekRobot::set_coord, Coord, "coord">(),
    M::method<"with_coord", X, chain<&OrvekRobot::with_coord>, Coord, "coord">(),
    M::method<"set_speed", X, &OrvekRobot::set_speed, Float, "speed">(),
    M::method<"with_speed", X, chain<&OrvekRobot::with_speed>, Float, "speed">(),
    M::method<"with_velocity", X, chain<&OrvekRobot::with_velocity>, Six, "joint_vel">(),
    M::method<"with_acceleration", X, chain<&OrvekRobot::with_acceleration>, Six, "joint_acc">(),
    M::method<"with_jerk", X, chain<&OrvekRobot::with_jerk>, Six, "joint_jerk">(),
    M::method<"with_cartesian_velocity", X, chain<&OrvekRobot::with_cartesian_velocity>, Float, "cartesian_vel">(),
    M::method<"with_cartesian_acceleration", X, chain<&OrvekRobot::with_cartesian_acceleration>, Float,
              "cartesian_acc">(),
    M::method<"with_cartesian_jerk", X, chain<&OrvekRobot::with_cartesian_jerk>, Float, "cartesian_jerk">(),

    // kinematics: no controller traffic
    M::method<"forward_kinematics", S, &OrvekRobot::forward_kinematics, Six, "q">(),
    M::method<"inverse_kinematics", S, &OrvekRobot::inverse_kinematics, PoseArg, "pose">(),

    // motions to a MotionType target, and paths
    M::method<"move_to", X, &OrvekRobot::move_to, Motion, "target">(),
    M::method<"move_to_async", X, &OrvekRobot::move_to_async, Motion, "target">(),
    M::method<"move_rel", X, &OrvekRobot::move_rel, Motion, "target">(),
    M::method<"move_rel_async", X, &OrvekRobot::move_rel_async, Motion, "target">(),
    M::method<"move_int", X, &OrvekRobot::move_int, Motion, "target">(),
    M::method<"move_int_async", X, &OrvekRobot::move_int_async, Motion, "target">(),
    M::method<"move_path", X, &OrvekRobot::move_path, MotionList, "path">(),
    M::method<"move_path_async", X, &OrvekRobot::move_path_async, MotionList, "path">(),
    M::method<"move_path_prepare", X, &OrvekRobot::move_path_prepare, MotionList, "path">(),
    M::method<"move_path_start", X, &OrvekRobot::move_path_start, Motion, "start">(),

    // joint and Cartesian moves
    M::method<"move_joint", X, &OrvekRobot::move_joint, Six, "target">(),
    M::method<"move_joint_async", X, &OrvekRobot::move_joint_async, Six, "target">(),
    M::method<"move_cartesian", X, &OrvekRobot::move_cartesian, PoseArg, "target">(),
    M::method<"move_cartesian_async", X, &OrvekRobot::move_cartesian_async, PoseArg, "target">(),
    M::method<"move_joint_rel", X, &OrvekRobot::move_joint_rel, Six, "target">(),
    M::method<"move_joint_rel_async", X, &OrvekRobot::move_joint_rel_async, Six, "target">(),
    M::method<"move_joint_path", X, &OrvekRobot::move_joint_path, List<Six>, "target">(),
    M::method<"move_cartesian_rel", X, &OrvekRobot::move_cartesian_rel, PoseArg, "target">(),
    M::method<"move_cartesian_rel_async", X, &OrvekRobot::move_cartesian_rel_async, PoseArg, "target">(),
    M::method<"move_cartesian_int", X, &OrvekRobot::move_cartesian_int, PoseArg, "target">(),
    M::method<"move_cartesian_int_async", X, &OrvekRobot::move_cartesian_int_async, PoseArg, "target">(),
    M::method<"move_cartesian_path", X, &OrvekRobot::move_cartesian_path, List<PoseArg>, "target">(),
    M::method<"move_linear_with_euler", X, &OrvekRobot::move_linear_with_euler, Six, "target">(),
    M::method<"move_linear_with_euler_async", X, &OrvekRobot::move_linear_with_euler_async, Six, "target">(),
    M::method<"move_linear_with_euler_rel", X, &OrvekRobot::move_linear_with_euler_rel, Six, "target">(),
    M::method<"move_linear_with_euler_rel_async", X, &OrvekRobot::move_linear_with_euler_rel_async, Six,
              "target">(),
    M::method<"move_linear_with_euler_int", X, &OrvekRobot::move_linear_with_euler_int, Six, "target">(),
    M::method<"move_linear_with_euler_int_async", X, &OrvekRobot::move_linear_with_euler_int_async, Six,
              "target">(),
    M::method<"move_path_from_file", X, &OrvekRobot::move_path_from_file, Str, "path">(),
    M::method<"move_path_prepare_from_file", X, &OrvekRobot::move_path_prepare_from_file, Str, "path">(),

    // driven by a Python function, cycle by cycle (closure_methods.hpp)
    M::method<"move_with_closure", X, &move_with_closure, Object, "closure">(),
    M::method<"control_with_closure", X, &control_with_closure, Object, "closure">(),
    M::method<"move_joint_with_closure", X, &move_joint_with_closure, Object, "closure">(),
    M::method<"move_joint_vel_with_closure", X, &move_joint_vel_with_closure, Object, "closure">(),
    M::method<"move_cartesian_with_closure", X, &move_cartesian_with_closure, Object, "closure">(),
    M::method<"move_cartesian_vel_with_closure", X, &move_cartesian_vel_with_closure, Object, "closure">(),

    kMethodsEnd,
};

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&M::constructor<make_robot, kind::Str, "ip">)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&M::dealloc)},
    {Py_tp_doc, const_cast<char*>("OrvekRobot(ip)\n--\n\n")},
    {Py_tp_methods, kMethods},
    {0, nullptr},
};

}  // namespace

PyTypeObject* robot_type() {
  if (g_robot_type == nullptr) {
    // Not a base type: Python classes cannot derive from it.
    g_robot_type = create_class("OrvekRobot", sizeof(M::Object), Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, kSlots);
  }
  return g_robot_type;
}

}  // namespace orvek::ffi
