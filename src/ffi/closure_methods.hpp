#pragma once
// The callable-driven motions of OrvekRobot. Each runs the driver's servo loop with the
// user's Python function turned into the loop's callable; the robot class binds them as
// rows with one borrowed `closure` argument (kind::Object) and exclusive use.

#include <Python.h>

#include "robot/robot.hpp"

namespace orvek::ffi {

robot_behavior::Result<void> move_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> control_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_joint_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_joint_vel_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_cartesian_with_closure(orvek::OrvekRobot& robot, PyObject* closure);
robot_behavior::Result<void> move_cartesian_vel_with_closure(orvek::OrvekRobot& robot, PyObject* closure);

}  // namespace orvek::ffi
