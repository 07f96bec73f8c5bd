#pragma once
// Owned references to Python objects. A `Ref` releases its reference in its destructor;
// a plain `PyObject*` is always a borrowed reference.

#include <Python.h>

#include <utility>

namespace orvek::ffi {

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (which may be null after a failed call).
  static Ref steal(PyObject* object) { return Ref(object); }
  // Adds a reference of its own to a borrowed object.
  static Ref borrow(PyObject* object) { return Ref(Py_XNewRef(object)); }

  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(object_);
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (to return it to the interpreter or to a stealing call).
  [[nodiscard]] PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace orvek::ffi
