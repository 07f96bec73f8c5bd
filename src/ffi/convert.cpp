#include "convert.hpp"

#include <functional>

#include "python_compat.hpp"
#include "to_py.hpp"

namespace orvek::ffi {

bool cannot_convert(PyObject* object, const char* target) {
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
  if (!name) return false;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
  return false;
}

bool named_argument_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
  Ref first = Ref::steal(PyErr_GetRaisedException());
  Ref message = Ref::steal(PyObject_Str(first.get()));
  if (!message) return false;
  Ref text = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, message.get()));
  if (!text) return false;
  Ref error = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, text.get()));
  if (!error) return false;
  PyException_SetCause(error.get(), first.release());  // steals
  PyErr_SetRaisedException(error.release());          // steals
  return false;
}

bool to_double(PyObject* object, double& out) {
  if (PyFloat_CheckExact(object)) {
    out = PyFloat_AS_DOUBLE(object);
    return true;
  }
  out = PyFloat_AsDouble(object);
  return !(out == -1.0 && PyErr_Occurred());
}

namespace {

bool sequence_size(PyObject* object, Py_ssize_t& size) {
  if (PyList_CheckExact(object) || PyTuple_CheckExact(object)) {
    size = Py_SIZE(object);
    return true;
  }
  if (!PySequence_Check(object)) return cannot_convert(object, "Sequence");
  size = PySequence_Size(object);
  return size >= 0;
}

// Reads `count` numbers from a sequence already known to have that size. A list is read through
// new references, so a __float__ that changes the list cannot pull an item from under us.
bool read_numbers(PyObject* object, double* out, std::size_t count) {
  if (PyTuple_CheckExact(object)) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!to_double(PyTuple_GET_ITEM(object, static_cast<Py_ssize_t>(i)), out[i])) return false;
    }
    return true;
  }
  const bool list = PyList_CheckExact(object);
  std::size_t i = 0;
  // Exact floats run no Python code while they are read, so the list cannot change under a
  // borrowed item: the usual target list is read without taking references.
  for (; list && i < count; ++i) {
    PyObject* const item = PyList_GET_ITEM(object, static_cast<Py_ssize_t>(i));
    if (!PyFloat_CheckExact(item)) break;
    out[i] = PyFloat_AS_DOUBLE(item);
  }
  for (; i < count; ++i) {
    const auto index = static_cast<Py_ssize_t>(i);
    Ref item = Ref::steal(list ? PyList_GetItemRef(object, index) : PySequence_GetItem(object, index));
    if (!item || !to_double(item.get(), out[i])) return false;
  }
  return true;
}

}  // namespace

bool to_doubles(PyObject* object, double* out, std::size_t count) {
  Py_ssize_t size = 0;
  if (!sequence_size(object, size)) return false;
  if (static_cast<std::size_t>(size) != count) {
    PyErr_Format(PyExc_ValueError, "expected a sequence of length %zu (got %zd)", count, size);
    return false;
  }
  return read_numbers(object, out, count);
}

bool list_prologue(PyObject* object, Py_ssize_t& size) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  return sequence_size(object, size);
}

std::size_t reserve_for(PyObject* object, Py_ssize_t size) {
  constexpr Py_ssize_t kUnverified = 4096;
  if (PyList_CheckExact(object) || PyTuple_CheckExact(object) || size <= kUnverified) {
    return static_cast<std::size_t>(size);
  }
  return static_cast<std::size_t>(kUnverified);
}

bool to_vector(PyObject* object, std::vector<double>& out) {
  return to_list(object, out, [](PyObject* item, double& value) { return to_double(item, value); });
}

bool to_string(PyObject* object, std::string& out) {
  if (!PyUnicode_Check(object)) return cannot_convert(object, "PyString");
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return false;
  out.assign(data, static_cast<std::size_t>(size));
  return true;
}

namespace {

// An instance of one of the module's record classes (`record`, or null when `object` is none),
// stored as convert(*record); `name` names the class in the error.
template <class Record, class Out, class Convert>
bool to_record(PyObject* object, const Record* record, const char* name, Out& out, Convert convert) {
  if (record == nullptr) return cannot_convert(object, name);
  out = convert(*record);
  return true;
}

// A Python record as the library's (a Quat normalised: PyPose and the library's Pose are one
// type, so the conversion is asked for by name, never chosen by type).
constexpr auto kToLibrary = [](const auto& record) { return to_library(record); };

}  // namespace

bool to_pose_record(PyObject* object, PyPose& out) {
  return to_record(object, pose_record_of(object), "Pose", out, std::identity{});
}
bool to_pose(PyObject* object, robot_behavior::Pose& out) {
  return to_record(object, pose_record_of(object), "Pose", out, kToLibrary);
}
bool to_motion_record(PyObject* object, PyMotion& out) {
  return to_record(object, motion_record_of(object), "MotionType", out, std::identity{});
}
bool to_motion(PyObject* object, robot_behavior::Motion6& out) {
  return to_record(object, motion_record_of(object), "MotionType", out, kToLibrary);
}

bool to_load(PyObject* object, robot_behavior::LoadState& out) {
  const robot_behavior::LoadState* load = load_of(object);
  if (load == nullptr) return cannot_convert(object, "LoadState");
  out = *load;
  return true;
}

}  // namespace orvek::ffi
