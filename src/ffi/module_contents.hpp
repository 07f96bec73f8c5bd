#pragma once
// The pieces the module body adds besides the value classes of to_py.hpp.

#include <Python.h>

namespace orvek::ffi {

// The OrvekRobot class (robot_class.cpp), created once on first need; borrowed, or nullptr with an
// error set.
PyTypeObject* robot_type();

// The definition of the module function test_closure (closure.cpp); static storage.
PyMethodDef* test_closure_def();

}  // namespace orvek::ffi
