#pragma once
// The callable-driven motions of OrvekRobot. Each runs the driver's servo loop with the
// user's Python function turned into the loop's callable; the robot class binds them as
// rows with one borrowed `closure` argument (kind::Object) and exclusive use.
//
// Every cycle the function is called with (ArmState, 0.008) and must return the tuple
// (target, finished). The state is the driver's placeholder (zeros and the default pose),
// not a reading from the controller. A failing call, or a result that cannot be read, ends
// the run with robot_behavior::Panic "called `Result::unwrap()` on an `Err` value: <error>"
// (a PanicException raised by the function keeps its own text); the driver leaves servo
// mode before the failure reaches Python.

#include <Python.h>

#include "liborvek/robot.hpp"

namespace orvek::ffi {

robot_behavior::Result<void> move_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> control_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_joint_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_joint_vel_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_cartesian_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_cartesian_vel_with_closure(orvek::OrvekRobot& robot, PyObject* closure);

// Reading the function's result; each returns false with a Python error set.

// The two items of a result tuple (borrowed from it). Not a tuple:
// TypeError "'list' object cannot be converted to 'PyTuple'"; another length:
// ValueError "expected tuple of length 2, but got tuple of length 3".
bool split_result(PyObject* result, PyObject*& target, PyObject*& finished);
// The finished flag: a bool or a NumPy boolean. Anything else, an int included:
// TypeError "'int' object cannot be converted to 'PyBool'".
bool to_finished(PyObject* object, bool& out);

}  // namespace orvek::ffi
