#pragma once
// The binding is written against the C API of CPython 3.13. For the older interpreters it also
// builds for (3.10 on), this header supplies the functions they lack, each doing what the newer
// interpreter's own does: the same results, the same errors, the same references. Include it
// after Python.h in every file that uses one of them.

#include <Python.h>

#include <cstring>

#if PY_VERSION_HEX < 0x030B0000  // 3.10

// The class's __name__: the name a heap type was given, or tp_name after its last dot.
inline PyObject* PyType_GetName(PyTypeObject* type) {
  if ((type->tp_flags & Py_TPFLAGS_HEAPTYPE) != 0) {
    return Py_NewRef(reinterpret_cast<PyHeapTypeObject*>(type)->ht_name);
  }
  const char* dot = std::strrchr(type->tp_name, '.');
  return PyUnicode_FromString(dot != nullptr ? dot + 1 : type->tp_name);
}

#endif

#if PY_VERSION_HEX < 0x030C0000  // 3.10, 3.11

// The raised exception as one normalized object carrying its traceback; the indicator is cleared.
inline PyObject* PyErr_GetRaisedException() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return nullptr;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return value;
}

// Raises `exception` (stolen) with the traceback it carries; nullptr clears the indicator.
inline void PyErr_SetRaisedException(PyObject* exception) {
  PyObject* type = nullptr;
  PyObject* traceback = nullptr;
  if (exception != nullptr) {
    type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    traceback = PyException_GetTraceback(exception);
  }
  PyErr_Restore(type, exception, traceback);
}

inline PyObject* PyType_GetDict(PyTypeObject* type) { return Py_XNewRef(type->tp_dict); }

// Only the metaclass of the bases (nullptr, or `type` itself) can be had before 3.12.
inline PyObject* PyType_FromMetaclass(PyTypeObject* metaclass, PyObject* module, PyType_Spec* spec, PyObject* bases) {
  if (metaclass != nullptr && metaclass != &PyType_Type) {
    PyErr_SetString(PyExc_SystemError, "a metaclass other than type needs Python 3.12");
    return nullptr;
  }
  return PyType_FromModuleAndSpec(module, spec, bases);
}

#endif

#if PY_VERSION_HEX < 0x030D0000  // 3.10 to 3.12

// 1 when `unicode` (a str) is the UTF-8 text `text`, else 0; never raises. A str with a lone
// surrogate has no UTF-8 form and equals no text. (An ASCII str is its own UTF-8 form: reading it
// copies nothing.)
inline int PyUnicode_EqualToUTF8(PyObject* unicode, const char* text) {
  const std::size_t length = std::strlen(text);
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(unicode, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return 0;
  }
  return static_cast<std::size_t>(size) == length && std::memcmp(data, text, length) == 0;
}

// A new reference to list[index]; IndexError "list index out of range", TypeError for a non-list.
inline PyObject* PyList_GetItemRef(PyObject* list, Py_ssize_t index) {
  if (!PyList_Check(list)) {
    PyErr_SetString(PyExc_TypeError, "expected a list");
    return nullptr;
  }
  return Py_XNewRef(PyList_GetItem(list, index));
}

// 1 and a new reference in *result when `key` is in the dict, 0 when not, -1 with an error set.
inline int PyDict_GetItemStringRef(PyObject* dict, const char* key, PyObject** result) {
  *result = nullptr;
  PyObject* key_object = PyUnicode_FromString(key);
  if (key_object == nullptr) return -1;
  PyObject* value = PyDict_GetItemWithError(dict, key_object);  // borrowed
  Py_DECREF(key_object);
  if (value == nullptr) return PyErr_Occurred() != nullptr ? -1 : 0;
  *result = Py_NewRef(value);
  return 1;
}

#endif
