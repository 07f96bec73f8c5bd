#pragma once
// The one argument parser of the binding. Every parameter of every function, method and
// constructor of the module is required and may be given by position or by keyword; the errors
// are worded as the interpreter words them for a Python function of the same signature, e.g.
//   "OrvekRobot.set_speed() missing 1 required positional argument: 'speed'"
//   "OrvekRobot.set_speed() takes 2 positional arguments but 3 were given"   (self counted)
//   "test_closure() got an unexpected keyword argument 'f'"
//   "PyPose_Euler.__new__() got multiple values for argument '_0'"

#include <Python.h>

#include <cstddef>
#include <span>

namespace orvek::ffi {

struct Signature {
  const char* name;                     // as shown in messages, without "()": "OrvekRobot.set_speed"
  bool bound;                           // a method or constructor: an implicit first parameter is counted
  std::span<const char* const> params;  // parameter names, in order
};

// METH_FASTCALL | METH_KEYWORDS convention. Fills out[0 .. params.size()) with borrowed
// references; returns false with TypeError set.
bool parse_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                     PyObject** out);

// The tuple-and-dict convention of tp_new. Same result.
bool parse_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** out);

}  // namespace orvek::ffi
