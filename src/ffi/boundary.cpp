#include "boundary.hpp"

#include <new>

#include "py_ref.hpp"
#include "python_compat.hpp"
#include "robot_behavior/robot.hpp"

namespace orvek::ffi {
namespace {

PyObject* g_panic_type = nullptr;  // strong reference, kept for the life of the process

constexpr const char kPanicDoc[] =
    "The library's internal failure: an operation that cannot go on. Derives from BaseException,\n"
    "not Exception, so `except Exception` does not catch it. Its one argument is the failure's text.";

// str(object) as UTF-8; empty when it cannot be had (the error is cleared).
std::string text_of(PyObject* object) {
  Ref text = Ref::steal(PyObject_Str(object));
  if (!text) {
    PyErr_Clear();
    return {};
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (data == nullptr) {
    PyErr_Clear();
    return {};
  }
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

PyObject* panic_exception_type() {
  if (g_panic_type == nullptr) {
    g_panic_type = PyErr_NewExceptionWithDoc("liborvek.PanicException", kPanicDoc, PyExc_BaseException, nullptr);
  }
  return g_panic_type;
}

void raise_panic(std::string_view message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the error of the failed creation stays set
  Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

void raise_robot_exception(const robot_behavior::RobotException& error) noexcept {
  try {
    const std::string text = error.display();
    Ref value = Ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (value) PyErr_SetObject(PyExc_Exception, value.get());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const PythonFailure& failure) {
    raise_panic(failure.what());
    if (failure.exception() == nullptr) return;
    Ref panic = Ref::steal(PyErr_GetRaisedException());
    if (!panic) return;
    PyException_SetCause(panic.get(), Py_NewRef(failure.exception()));  // steals the cause
    PyErr_SetRaisedException(panic.release());
  } catch (const robot_behavior::Panic& failure) {
    raise_panic(failure.what());
  } catch (const robot_behavior::Interrupted&) {
    // A wait (for rest or for the controller) ended on a pending signal: its Python error is
    // the call's outcome.
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& failure) {
    raise_panic(failure.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
}

namespace {

// The failure text of a Python exception (see take_python_error_as_failure); null: none was set.
std::string failure_text(PyObject* error) {
  if (error == nullptr) return std::string(robot_behavior::kUnwrapPrefix) + "no Python error was set";
  PyObject* panic_type = panic_exception_type();
  if (panic_type == nullptr) PyErr_Clear();
  if (panic_type != nullptr && PyObject_TypeCheck(error, reinterpret_cast<PyTypeObject*>(panic_type))) {
    Ref args = Ref::steal(PyObject_GetAttrString(error, "args"));
    if (args && PyTuple_Check(args.get()) && PyTuple_GET_SIZE(args.get()) > 0 &&
        PyUnicode_Check(PyTuple_GET_ITEM(args.get(), 0))) {
      Py_ssize_t size = 0;
      const char* data = PyUnicode_AsUTF8AndSize(PyTuple_GET_ITEM(args.get(), 0), &size);
      if (data != nullptr) return std::string(data, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    return "Unwrapped panic from Python code";
  }
  std::string out(robot_behavior::kUnwrapPrefix);
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(error)));
  out += name ? text_of(name.get()) : std::string("<unknown>");
  if (!name) PyErr_Clear();
  out += ": ";
  out += text_of(error);
  return out;
}

}  // namespace

std::string take_python_error_as_failure() {
  const Ref error = Ref::steal(PyErr_GetRaisedException());
  return failure_text(error.get());
}

PythonFailure::PythonFailure(const std::string& text, PyObject* exception)
    : robot_behavior::Panic(text), exception_(exception) {}

PythonFailure::PythonFailure(const PythonFailure& other)
    : robot_behavior::Panic(other), exception_(Py_XNewRef(other.exception_)) {}

PythonFailure::~PythonFailure() { Py_XDECREF(exception_); }

void panic_from_python_error() {
  Ref error = Ref::steal(PyErr_GetRaisedException());
  std::string text = failure_text(error.get());
  throw PythonFailure(text, error.release());
}

}  // namespace orvek::ffi
