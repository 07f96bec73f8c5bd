// The callable-driven motions: the user's Python function as the driver's servo-loop callable.
//
// Per cycle the library's own work is one vectorcall, the reading of the result tuple and the
// release of the objects, plus a Python ArmState when the last one cannot serve again (see
// CycleState); the period float is made once per run and handed to every call. The interpreter lock stays held for the whole run.

#include "closure_methods.hpp"

#include <chrono>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "boundary.hpp"
#include "classes.hpp"
#include "convert.hpp"
#include "py_ref.hpp"
#include "records.hpp"
#include "to_py.hpp"

namespace orvek::ffi {
namespace rb = robot_behavior;
using rb::Motion6;
using rb::MotionStep;
using rb::Result;

namespace {

// The NumPy boolean class, remembered the first time one is seen so that later flags are
// recognised by one pointer comparison. NumPy itself is never imported here. Its scalar
// types are static C types named "numpy.bool" (NumPy 2) or "numpy.bool_" (NumPy 1); a class
// defined in Python cannot pass for it, because heap types are refused.
PyTypeObject* g_numpy_bool = nullptr;  // strong reference once set

bool is_numpy_bool(PyTypeObject* type) {
  if (g_numpy_bool != nullptr) return type == g_numpy_bool;
  if ((type->tp_flags & Py_TPFLAGS_HEAPTYPE) != 0) return false;
  if (type->tp_as_number == nullptr || type->tp_as_number->nb_bool == nullptr) return false;
  const std::string_view name(type->tp_name);
  if (name != "numpy.bool" && name != "numpy.bool_") return false;
  g_numpy_bool = reinterpret_cast<PyTypeObject*>(Py_NewRef(reinterpret_cast<PyObject*>(type)));
  return true;
}

// Readers of (target, finished) into the loop's step; false with a Python error set. The target
// is read first, then the flag.

template <class Variant>
bool read_six(PyObject* target, PyObject* finished, MotionStep& out) {
  Variant motion{};
  if (!to_array(target, motion.values) || !to_finished(finished, out.second)) return false;
  out.first.value = motion;
  return true;
}

bool read_pose(PyObject* target, PyObject* finished, MotionStep& out) {
  Motion6::Cartesian motion{};
  if (!to_pose(target, motion.pose) || !to_finished(finished, out.second)) return false;
  out.first.value = motion;
  return true;
}

// A MotionType object. Its lists are checked against the variant's length only after the flag
// has been read, so a bad flag is reported before a bad list; a list of the wrong length throws
// Panic "called `Result::unwrap()` on an `Err` value: [1.0, 2.0, 3.0]".
bool read_motion(PyObject* target, PyObject* finished, MotionStep& out) {
  const PyMotion* record = motion_record_of(target);
  if (record == nullptr) return cannot_convert(target, "MotionType");
  if (!to_finished(finished, out.second)) return false;
  out.first = to_library(*record);
  return true;
}

using ReadStep = bool (*)(PyObject* target, PyObject* finished, MotionStep& out);

// The ArmState handed to the function. When the function kept no reference to the last
// cycle's object, that object is handed out again, its value reset when the function
// assigned to it: the class has no weak references and makes new lists on every access, so
// nothing can tell it from a fresh one, and the cycle saves an allocation. The driver's state
// is converted again only when its bytes change.
class CycleState {
 public:
  // Borrowed; nullptr with a Python error set.
  PyObject* get(const rb::ArmState6& state) {
    static_assert(std::is_trivially_copyable_v<rb::ArmState6>, "compared and kept as bytes");
    bool converted = false;
    if (!converted_ || std::memcmp(made_from_, &state, sizeof state) != 0) {
      value_ = from_library(state);
      std::memcpy(made_from_, &state, sizeof state);
      converted_ = converted = true;
    }
    if (object_ && Py_REFCNT(object_.get()) == 1) {
      PyArmState& held = value_of<PyArmState>(object_.get());
      if (converted || held.changed) held = value_;  // undoes what the function set on it
    } else {
      object_ = Ref::steal(arm_state_to_py(value_));
    }
    return object_.get();
  }

 private:
  PyArmState value_;
  alignas(rb::ArmState6) unsigned char made_from_[sizeof(rb::ArmState6)];
  bool converted_ = false;
  Ref object_;
};

template <ReadStep Read>
Result<void> run(orvek::OrvekRobot& robot, PyObject* closure) {
  const Ref keep = Ref::borrow(closure);  // the function stays alive for the whole run
  const Ref period =
      Ref::steal(PyFloat_FromDouble(std::chrono::duration<double>(orvek::OrvekRobot::kServoPeriod).count()));
  if (!period) panic_from_python_error();

  CycleState cycle_state;
  return robot.move_with_closure([&](const rb::ArmState6& state, std::chrono::nanoseconds) -> MotionStep {
    PyObject* const py_state = cycle_state.get(state);
    if (py_state == nullptr) panic_from_python_error();
    // One free slot before the arguments lets a bound method be called without a new tuple.
    PyObject* args[3] = {nullptr, py_state, period.get()};
    const Ref result =
        Ref::steal(PyObject_Vectorcall(closure, args + 1, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!result) {
      // Ctrl-C in the function ends the run as Ctrl-C in a blocking wait does: the driver
      // leaves servo mode and the KeyboardInterrupt reaches the caller as itself.
      if (PyErr_ExceptionMatches(PyExc_KeyboardInterrupt)) throw rb::Interrupted{};
      panic_from_python_error();
    }
    PyObject* target = nullptr;
    PyObject* finished = nullptr;
    MotionStep step;
    if (!split_result(result.get(), target, finished) || !Read(target, finished, step)) panic_from_python_error();
    return step;
  });
}

}  // namespace

bool split_result(PyObject* result, PyObject*& target, PyObject*& finished) {
  if (!PyTuple_Check(result)) return cannot_convert(result, "PyTuple");
  const Py_ssize_t size = PyTuple_GET_SIZE(result);
  if (size != 2) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd", size);
    return false;
  }
  target = PyTuple_GET_ITEM(result, 0);
  finished = PyTuple_GET_ITEM(result, 1);
  return true;
}

bool to_finished(PyObject* object, bool& out) {
  if (PyBool_Check(object)) {
    out = object == Py_True;
    return true;
  }
  PyTypeObject* type = Py_TYPE(object);
  if (is_numpy_bool(type)) {
    const int truth = type->tp_as_number->nb_bool(object);
    if (truth < 0) return false;
    out = truth != 0;
    return true;
  }
  return cannot_convert(object, "PyBool");
}

Result<void> move_with_closure(orvek::OrvekRobot& robot, PyObject* closure) { return run<read_motion>(robot, closure); }

Result<void> move_joint_with_closure(orvek::OrvekRobot& robot, PyObject* closure) {
  return run<read_six<Motion6::Joint>>(robot, closure);
}

Result<void> move_joint_vel_with_closure(orvek::OrvekRobot& robot, PyObject* closure) {
  return run<read_six<Motion6::JointVel>>(robot, closure);
}

Result<void> move_cartesian_with_closure(orvek::OrvekRobot& robot, PyObject* closure) {
  return run<read_pose>(robot, closure);
}

Result<void> move_cartesian_vel_with_closure(orvek::OrvekRobot& robot, PyObject* closure) {
  return run<read_six<Motion6::CartesianVel>>(robot, closure);
}

// The driver has no control outputs: it refuses before it would call the function, so the
// function is never asked for one.
Result<void> control_with_closure(orvek::OrvekRobot& robot, PyObject* closure) {
  const Ref keep = Ref::borrow(closure);
  return robot.control_with_closure([](const rb::ArmState6&, std::chrono::nanoseconds) -> rb::ControlStep {
    rb::panic("not implemented");
  });
}

}  // namespace orvek::ffi
