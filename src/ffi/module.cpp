// The module liborvek: single-phase initialisation, one interpreter per process.

#include <atomic>
#include <cstdint>

#include "boundary.hpp"
#include "module_contents.hpp"
#include "py_ref.hpp"
#include "python_compat.hpp"
#include "to_py.hpp"

namespace orvek::ffi {
namespace {

// The interpreter that first imported the module (-1: none yet). Set once.
std::atomic<std::int64_t> g_interpreter{-1};
// The module object, kept for the life of the process once initialisation succeeded.
PyObject* g_module = nullptr;

PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT,
    "liborvek",  // m_name
    "",          // m_doc
    0,           // m_size: no per-module state
    nullptr,     // m_methods: the function is added by the body
    nullptr,     // m_slots
    nullptr,     // m_traverse
    nullptr,     // m_clear
    nullptr,     // m_free
};

// Appends the name to __all__ (created when missing), then sets the attribute.
bool add(PyObject* module, const char* name, PyObject* value) {
  if (value == nullptr) return false;
  PyObject* dict = PyModule_GetDict(module);  // borrowed
  PyObject* all = nullptr;
  if (PyDict_GetItemStringRef(dict, "__all__", &all) < 0) return false;
  Ref all_ref = Ref::steal(all);
  if (!all_ref) {
    all_ref = Ref::steal(PyList_New(0));
    if (!all_ref || PyDict_SetItemString(dict, "__all__", all_ref.get()) < 0) return false;
  }
  Ref text = Ref::steal(PyUnicode_InternFromString(name));
  if (!text || PyList_Append(all_ref.get(), text.get()) < 0) return false;
  return PyModule_AddObjectRef(module, name, value) == 0;
}

PyObject* as_object(PyTypeObject* type) { return reinterpret_cast<PyObject*>(type); }

bool module_body(PyObject* module) {
  if (!add(module, "OrvekRobot", as_object(robot_type()))) return false;
  if (!add(module, "Pose", as_object(pose_type()))) return false;
  if (!add(module, "LoadState", as_object(load_type()))) return false;
  if (!add(module, "ArmState", as_object(arm_state_type()))) return false;
  if (!add(module, "MotionType", as_object(motion_type()))) return false;
  if (!add(module, "ControlType", as_object(control_type()))) return false;
  Ref name = Ref::steal(PyModule_GetNameObject(module));
  if (!name) return false;
  Ref function = Ref::steal(PyCFunction_NewEx(test_closure_def(), module, name.get()));
  return add(module, "test_closure", function.get());
}

PyObject* initialise() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return nullptr;
  }
  std::int64_t expected = -1;
  if (!g_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError,
                    "liborvek does not support sub-interpreters: it is already loaded in another interpreter "
                    "of this process");
    return nullptr;
  }
  if (g_module != nullptr) return Py_NewRef(g_module);
  if (panic_exception_type() == nullptr) return nullptr;
  Ref module = Ref::steal(PyModule_Create2(&g_definition, 1013));
  if (!module || !module_body(module.get())) return nullptr;
  g_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace orvek::ffi

PyMODINIT_FUNC PyInit_liborvek() {
  return orvek::ffi::guard<PyObject*>(nullptr, [] { return orvek::ffi::initialise(); });
}
