#pragma once
// Python -> C++ conversion, one helper per kind of argument. Each returns false with a Python
// error set; the messages are the ones users see:
//   float            "must be real number, not str"                       (TypeError)
//   fixed sequence   "expected a sequence of length 3 (got 2)"            (ValueError)
//                    "'int' object cannot be converted to 'Sequence'"     (TypeError)
//   free sequence    "Can't extract `str` to `Vec`"                       (TypeError)
//   Pose             "'int' object cannot be converted to 'Pose'"         (TypeError)
//   MotionType       "'int' object cannot be converted to 'MotionType'"   (TypeError)
//   LoadState        "'int' object cannot be converted to 'LoadState'"    (TypeError)
//   str              "'int' object cannot be converted to 'PyString'"     (TypeError)
// `named_argument_error` turns a TypeError into "argument 'speed': <first message>"; other errors
// (ValueError for a wrong length, OverflowError, ...) pass unchanged.
//
// The argument kinds of the method tables (method_table.hpp) wrap these helpers: each kind names
// its C++ value type and its conversion.

#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "py_ref.hpp"
#include "records.hpp"
#include "robot_behavior/load.hpp"
#include "robot_behavior/motion.hpp"
#include "robot_behavior/pose.hpp"

namespace orvek::ffi {

// Sets TypeError "'<type name>' object cannot be converted to '<target>'"; returns false.
bool cannot_convert(PyObject* object, const char* target);
// Re-raises a pending TypeError as "argument '<name>': <message>" (chained); returns false.
bool named_argument_error(const char* name);
// The same, for functions returning an object: returns nullptr.
inline PyObject* argument_failed(const char* name) {
  named_argument_error(name);
  return nullptr;
}

bool to_double(PyObject* object, double& out);
// Any sequence (not checked for str) of exactly `count` numbers.
bool to_doubles(PyObject* object, double* out, std::size_t count);
template <std::size_t N>
bool to_array(PyObject* object, std::array<double, N>& out) {
  return to_doubles(object, out.data(), N);
}
// Any sequence except str, of any length.
bool to_vector(PyObject* object, std::vector<double>& out);
bool to_string(PyObject* object, std::string& out);

// Python pose objects. `to_pose_record` copies the record as stored; `to_pose` converts it for
// the library (a Quat is normalised).
bool to_pose_record(PyObject* object, PyPose& out);
bool to_pose(PyObject* object, robot_behavior::Pose& out);
// Python motion objects. `to_motion` throws robot_behavior::Panic when a list has the wrong length
// for its variant ("called `Result::unwrap()` on an `Err` value: [1.0, 2.0, 3.0]").
bool to_motion_record(PyObject* object, PyMotion& out);
bool to_motion(PyObject* object, robot_behavior::Motion6& out);
bool to_load(PyObject* object, robot_behavior::LoadState& out);

// A sequence (not str) converted item by item, in order, with `item`.
template <class T, class F>
bool to_list(PyObject* object, std::vector<T>& out, F&& item);

// --- implementation ------------------------------------------------------------------------------

bool list_prologue(PyObject* object, Py_ssize_t& size);

// Room to reserve for a sequence that says it has `size` items. Only a list's or a tuple's own
// size is a fact; any other length comes from a __len__ that may lie (a three-item object
// claiming 2**40 items must not make us allocate for them), so memory for more than a few
// thousand items is only taken as the items are actually read.
std::size_t reserve_for(PyObject* object, Py_ssize_t size);

template <class T, class F>
bool to_list(PyObject* object, std::vector<T>& out, F&& item) {
  Py_ssize_t size = 0;
  if (!list_prologue(object, size)) return false;
  out.clear();
  out.reserve(reserve_for(object, size));
  for (Py_ssize_t index = 0; index < size; ++index) {
    Ref element = Ref::steal(PySequence_GetItem(object, index));
    if (!element) return false;
    T value{};
    if (!item(element.get(), value)) return false;
    out.push_back(std::move(value));
  }
  return true;
}

}  // namespace orvek::ffi
