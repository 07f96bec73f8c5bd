#pragma once
// The binding's chief header: the Python classes of the value types and the conversions between
// their objects and the library's types, for the robot class and the realtime callables.
//
// Every function returning PyObject* returns a new reference, or nullptr with a Python error set.
// Conversions from Python are in convert.hpp; failure mapping in boundary.hpp.

#include <Python.h>

#include <cstddef>

#include "records.hpp"
#include "robot_behavior/arm_state.hpp"
#include "robot_behavior/load.hpp"
#include "robot_behavior/pose.hpp"

namespace orvek::ffi {

// The classes, each created once per process on first need (borrowed; null with an error set
// only if creation fails). The variant classes hang off their base: Pose.Euler, MotionType.Joint ...
PyTypeObject* pose_type();
PyTypeObject* motion_type();
PyTypeObject* control_type();
PyTypeObject* load_type();
PyTypeObject* arm_state_type();

// Library values -> new Python objects.
PyObject* pose_to_py(const robot_behavior::Pose& pose);  // an instance of the matching variant class
PyObject* motion_to_py(const PyMotion& motion);
PyObject* control_to_py(const PyControl& control);
PyObject* load_to_py(const robot_behavior::LoadState& load);
// One allocation: the object holds the state by value; lists and poses are built when read.
PyObject* arm_state_to_py(const robot_behavior::ArmState6& state);
PyObject* arm_state_to_py(const PyArmState& state);

// A new list of floats.
PyObject* list_to_py(const double* values, std::size_t count);
template <class Array>
PyObject* list_to_py(const Array& values) {
  return list_to_py(values.data(), values.size());
}

// The records inside Python objects (null, no error set, if the object is not of the class).
const PyPose* pose_record_of(PyObject* object);
const PyMotion* motion_record_of(PyObject* object);
const PyControl* control_record_of(PyObject* object);
const robot_behavior::LoadState* load_of(PyObject* object);
const PyArmState* arm_state_of(PyObject* object);

}  // namespace orvek::ffi
