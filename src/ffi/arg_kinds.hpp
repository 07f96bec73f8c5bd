#pragma once
// Argument kinds of method rows (method_table.hpp): each kind names the C++ type an argument
// becomes and converts to it (false with an error set).

#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "robot_behavior/coord.hpp"
#include "robot_behavior/exception.hpp"

namespace orvek::ffi::kind {

struct Float {
  using type = double;
  static bool convert(PyObject* object, type& out) { return to_double(object, out); }
};
template <std::size_t N>
struct Floats {
  using type = std::array<double, N>;
  static bool convert(PyObject* object, type& out) { return to_array(object, out); }
};
using Six = Floats<6>;
struct Str {
  using type = std::string;
  static bool convert(PyObject* object, type& out) { return to_string(object, out); }
};
struct Pose {
  using type = robot_behavior::Pose;
  static bool convert(PyObject* object, type& out) { return to_pose(object, out); }
};
struct Motion {
  using type = robot_behavior::Motion6;
  static bool convert(PyObject* object, type& out) { return to_motion(object, out); }
};
struct Load {
  using type = robot_behavior::LoadState;
  static bool convert(PyObject* object, type& out) { return to_load(object, out); }
};
// A frame: "OCS", "Shot", "Interial" or the JSON text of a pose. A text that is none of these is
// an internal failure: "called `Result::unwrap()` on an `Err` value: " + the parser's error.
struct Coord {
  using type = robot_behavior::Coord;
  static bool convert(PyObject* object, type& out) {
    std::string text;
    if (!to_string(object, text)) return false;
    auto frame = robot_behavior::coord_from_string(text);
    if (!frame) robot_behavior::panic(std::string(robot_behavior::kUnwrapPrefix) + frame.error().debug());
    out = std::move(*frame);
    return true;
  }
};
// Any object, borrowed for the call (a callable, for example).
struct Object {
  using type = PyObject*;
  static bool convert(PyObject* object, type& out) {
    out = object;
    return true;
  }
};
// A sequence (not str) of items of kind K, converted in order.
template <class K>
struct List {
  using type = std::vector<typename K::type>;
  static bool convert(PyObject* object, type& out) { return to_list(object, out, &K::convert); }
};

}  // namespace orvek::ffi::kind
