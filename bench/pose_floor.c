/* The floor of a Pose method: the call and its Python result, nothing computed. Each
 * function returns a fresh result of the shape of the method of the same name, built from
 * numbers that are already there:
 *
 *   euler()       -> ([x, y, z], [roll, pitch, yaw])
 *   quat()        -> ([x, y, z], [qx, qy, qz, qw])
 *   homo()        -> [16 numbers]
 *   axis_angle()  -> ([x, y, z], [ax, ay, az], angle)
 *   position()    -> [x, y, z]
 *
 * Called as a method of a module without arguments (METH_NOARGS), as the Pose methods are
 * called on their object. A module of the benchmarks only (bench/worker.py), not of liborvek.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

static const double kNumbers[16] = {0.9, -0.2, 0.4, 0.0, 0.3, 0.8, -0.5, 0.0,
                                    -0.1, 0.6, 0.7, 0.0, 400.0, -20.0, 300.0, 1.0};

static PyObject* list_of(Py_ssize_t count) {
  PyObject* list = PyList_New(count);
  if (list == NULL) return NULL;
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* number = PyFloat_FromDouble(kNumbers[i]);
    if (number == NULL) {
      Py_DECREF(list);
      return NULL;
    }
    PyList_SET_ITEM(list, i, number);
  }
  return list;
}

/* Steals the references it is given, as the tuple does. */
static PyObject* pair(PyObject* a, PyObject* b) {
  if (a == NULL || b == NULL) {
    Py_XDECREF(a);
    Py_XDECREF(b);
    return NULL;
  }
  PyObject* tuple = PyTuple_New(2);
  if (tuple == NULL) {
    Py_DECREF(a);
    Py_DECREF(b);
    return NULL;
  }
  PyTuple_SET_ITEM(tuple, 0, a);
  PyTuple_SET_ITEM(tuple, 1, b);
  return tuple;
}

static PyObject* euler(PyObject* self, PyObject* unused) { return pair(list_of(3), list_of(3)); }
static PyObject* quat(PyObject* self, PyObject* unused) { return pair(list_of(3), list_of(4)); }
static PyObject* homo(PyObject* self, PyObject* unused) { return list_of(16); }
static PyObject* position(PyObject* self, PyObject* unused) { return list_of(3); }

static PyObject* axis_angle(PyObject* self, PyObject* unused) {
  PyObject* t = list_of(3);
  PyObject* axis = list_of(3);
  PyObject* angle = PyFloat_FromDouble(1.2);
  PyObject* tuple = PyTuple_New(3);
  if (t == NULL || axis == NULL || angle == NULL || tuple == NULL) {
    Py_XDECREF(t);
    Py_XDECREF(axis);
    Py_XDECREF(angle);
    Py_XDECREF(tuple);
    return NULL;
  }
  PyTuple_SET_ITEM(tuple, 0, t);
  PyTuple_SET_ITEM(tuple, 1, axis);
  PyTuple_SET_ITEM(tuple, 2, angle);
  return tuple;
}

static PyMethodDef kMethods[] = {
    {"euler", euler, METH_NOARGS, NULL},
    {"quat", quat, METH_NOARGS, NULL},
    {"homo", homo, METH_NOARGS, NULL},
    {"axis_angle", axis_angle, METH_NOARGS, NULL},
    {"position", position, METH_NOARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "pose_floor", NULL, 0, kMethods};

PyMODINIT_FUNC PyInit_pose_floor(void) { return PyModule_Create(&kModule); }
