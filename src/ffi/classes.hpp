#pragma once
// Helpers for building the module's classes: heap types created once per process whose
// __module__ is "builtins" and whose __name__ and __qualname__ are the bare class name, objects
// that hold a C++ record by value, and the sum-type families (a base class with one subclass per
// variant, reached as class attributes of the base: Pose.Euler is "PyPose_Euler").

#include <Python.h>

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <utility>

#include "args.hpp"
#include "boundary.hpp"
#include "py_ref.hpp"

namespace orvek::ffi {

// A Python object holding a C++ value by value.
template <class T>
struct ValueObject {
  PyObject ob_base;
  T value;
};

template <class T>
T& value_of(PyObject* self) {
  return reinterpret_cast<ValueObject<T>*>(self)->value;
}

// A new instance of `type` (whose layout is ValueObject<T>) holding T(args...). One allocation.
template <class T, class... A>
PyObject* new_value_object(PyTypeObject* type, A&&... args) {
  void* memory = PyObject_Malloc(static_cast<std::size_t>(type->tp_basicsize));
  if (memory == nullptr) return PyErr_NoMemory();
  auto* object = static_cast<ValueObject<T>*>(memory);
  try {
    std::construct_at(&object->value, std::forward<A>(args)...);
  } catch (...) {
    PyObject_Free(memory);
    throw;
  }
  return PyObject_Init(reinterpret_cast<PyObject*>(object), type);  // takes a reference to the type
}

template <class T>
void dealloc_value_object(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  std::destroy_at(&value_of<T>(self));
  PyObject_Free(self);
  Py_DECREF(type);
}

// Creates a heap type named `name` (static storage) with __module__ "builtins". `slots` ends with
// {0, nullptr}. Returns a new reference or nullptr with an error set.
PyTypeObject* create_class(const char* name, int basicsize, unsigned flags, PyType_Slot* slots,
                           PyTypeObject* base = nullptr);
// Sets an attribute in a class's own namespace (also for immutable classes).
bool set_class_attribute(PyTypeObject* type, const char* name, PyObject* value);

// Sets TypeError "No constructor defined for <name>"; for tp_new of classes without a constructor.
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs);
// For tp_setattro-style setters: deleting is refused with AttributeError "can't delete attribute".
int refuse_delete();

// Converts the `idx` of __getitem__: a non-negative int.
bool index_argument(PyObject* key, std::size_t& index);
// Sets IndexError "tuple index out of range" and returns nullptr.
PyObject* index_out_of_range();

// Constructors: parses (args, kwargs) against `params` (the message names `name`), then calls
// build(PyObject** values), which converts the values in order and creates the object.
template <std::size_t N, class Build>
PyObject* construct(PyObject* args, PyObject* kwargs, const char* name, const std::array<const char*, N>& params,
                    Build&& build) {
  return guard<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* values[N > 0 ? N : 1] = {};
    if (!parse_arguments(Signature{name, true, params}, args, kwargs, values)) return nullptr;
    return build(static_cast<PyObject**>(values));
  });
}

inline constexpr std::array<const char*, 0> kNone = {};
inline constexpr std::array<const char*, 1> kOne = {"_0"};
inline constexpr std::array<const char*, 2> kTwo = {"_0", "_1"};
inline constexpr std::array<const char*, 3> kThree = {"_0", "_1", "_2"};

// --- sum-type families --------------------------------------------------------------------------

struct VariantClass {
  const char* name;                     // "PyPose_Euler"
  const char* attribute;                // "Euler": the class attribute of the base
  const char* doc;                      // "PyPose_Euler(_0, _1)\n--\n\n"
  std::span<const char* const> params;  // also the property names and __match_args__
  newfunc construct;
};

struct FamilyClass {
  const char* name;         // "Pose"
  int basicsize;            // sizeof(ValueObject<Record>)
  PyType_Slot* base_slots;  // dealloc, methods, __len__, __getitem__, ...; no tp_new (refused)
  getter item;              // reads payload item *(std::size_t*)closure
  std::span<const VariantClass> variants;
};

// Creates the base class and its variants; the base is then closed to further subclassing.
// Returns a new reference to the base, or nullptr with an error set.
PyTypeObject* create_family(const FamilyClass& family);

// Creates a family once and records its variant classes by variant index.
template <std::size_t N>
inline PyTypeObject* family_type(PyTypeObject*& cell, PyTypeObject* (&variants)[N], const FamilyClass& family) {
  if (cell == nullptr) {
    Ref base = Ref::steal(reinterpret_cast<PyObject*>(create_family(family)));
    if (!base) return nullptr;
    for (std::size_t i = 0; i < N; ++i) {
      Ref variant = Ref::steal(PyObject_GetAttrString(base.get(), family.variants[i].attribute));
      if (!variant) return nullptr;
      variants[i] = reinterpret_cast<PyTypeObject*>(variant.get());  // kept alive by the base
    }
    cell = reinterpret_cast<PyTypeObject*>(base.release());
  }
  return cell;
}

// The payload item index a property getter was registered with.
inline std::size_t item_index(void* closure) { return *static_cast<const std::size_t*>(closure); }

// A family's tuple-like access, from the record's item count and item: the property getter of
// each payload item (`_0`, `_1`, ...), __len__ and __getitem__.
template <class Record, PyObject* (*Item)(const Record&, std::size_t)>
PyObject* get_item(PyObject* self, void* closure) {
  return guard<PyObject*>(nullptr, [&] { return Item(value_of<Record>(self), item_index(closure)); });
}

template <class Record, std::size_t (*Len)(const Record&)>
Py_ssize_t length(PyObject* self) {
  return static_cast<Py_ssize_t>(Len(value_of<Record>(self)));
}

template <class Record, PyObject* (*Item)(const Record&, std::size_t)>
PyObject* subscript(PyObject* self, PyObject* key) {
  return guard<PyObject*>(nullptr, [&]() -> PyObject* {
    std::size_t index = 0;
    if (!index_argument(key, index)) return nullptr;
    return Item(value_of<Record>(self), index);
  });
}

}  // namespace orvek::ffi
