#pragma once
// The boundary between the interpreter and the library: every function that CPython calls
// runs its body under `guard`, so that no C++ exception ever unwinds into the interpreter.
//
// Failures become Python exceptions as follows:
//   PythonFailure                                      -> PanicException(text), its __cause__ the
//                                                         Python exception behind it
//   robot_behavior::Panic and any other std::exception -> PanicException(text)
//   robot_behavior::Interrupted                        -> the pending KeyboardInterrupt (or whatever
//                                                         the signal handler raised) stays set
//   std::bad_alloc                                     -> MemoryError
//   anything else                                      -> PanicException("unknown internal failure")
//   a RobotException returned by the library           -> Exception(display text), see raise_robot_exception
//
// PanicException is the library's internal-failure exception. It derives from BaseException (not
// Exception), so `except Exception` does not catch it, and its one argument is the failure's text.
// It is not one of the module's public names: its type is created once per process, reachable from
// Python as the type of a raised instance (`type(e).__name__ == "PanicException"`, `__module__`
// "liborvek"), and from C++ through panic_exception_type().

#include <Python.h>

#include <string>
#include <string_view>

#include "robot_behavior/exception.hpp"

namespace orvek::ffi {

// The PanicException type (borrowed; created on first need). Null with a Python error set only
// when it cannot be created.
PyObject* panic_exception_type();

// Sets PanicException(message) as the current Python error.
void raise_panic(std::string_view message) noexcept;

// Sets the built-in Exception (no subclass) with the error's display text.
void raise_robot_exception(const robot_behavior::RobotException& error) noexcept;

// Inside a catch block: sets the Python error that the in-flight C++ exception stands for.
void raise_current_exception() noexcept;

// The failure text for a Python error that a library operation cannot go on after (a failing
// user callable, a result that cannot be read): "called `Result::unwrap()` on an `Err` value: "
// followed by "TypeName: message". A PanicException passes on its own text instead
// ("Unwrapped panic from Python code" when that cannot be read). Consumes the current error.
std::string take_python_error_as_failure();

// An internal failure caused by Python code the library called (a realtime function, or its
// result): a robot_behavior::Panic, so the driver treats it as any other, that also keeps the
// Python exception itself. At the boundary it becomes the PanicException's __cause__, so the
// traceback shows the user's line. Copied and destroyed only with the interpreter lock held
// (every call of the library holds it throughout).
class PythonFailure : public robot_behavior::Panic {
 public:
  PythonFailure(const std::string& text, PyObject* exception);  // takes the reference
  PythonFailure(const PythonFailure& other);
  PythonFailure& operator=(const PythonFailure&) = delete;
  ~PythonFailure() override;
  PyObject* exception() const noexcept { return exception_; }  // borrowed; may be null

 private:
  PyObject* exception_;
};

// Consumes the current Python error and throws it as a PythonFailure with the text of
// take_python_error_as_failure.
[[noreturn]] void panic_from_python_error();

// Runs `body` and returns its result; if it throws, sets the matching Python error and returns
// `on_failure` (nullptr for object results, -1 for int results).
template <class R, class F>
R guard(R on_failure, F&& body) noexcept {
  try {
    return static_cast<F&&>(body)();
  } catch (...) {
    raise_current_exception();
    return on_failure;
  }
}

}  // namespace orvek::ffi
