// The Pose class and its five variant classes.

#include <array>

#include "classes.hpp"
#include "convert.hpp"
#include "to_py.hpp"

namespace orvek::ffi {
namespace rb = robot_behavior;
namespace {

using PoseObject = ValueObject<PyPose>;
PyTypeObject* g_pose_type = nullptr;

template <class... Items>
PyObject* tuple_of(Items&&... items) {
  Ref refs[] = {Ref::steal(items)...};
  for (const Ref& item : refs) {
    if (!item) return nullptr;
  }
  PyObject* tuple = PyTuple_New(sizeof...(Items));
  if (tuple == nullptr) return nullptr;
  for (std::size_t i = 0; i < sizeof...(Items); ++i) PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), refs[i].release());
  return tuple;
}

std::size_t pose_len(const PyPose& pose) {
  static constexpr std::size_t kLengths[] = {2, 2, 1, 3, 1};  // Euler, Quat, Homo, AxisAngle, Position
  return kLengths[pose.value().index()];
}

// Payload item `index` of the record, in record order (a Quat's translation comes first).
PyObject* pose_item(const PyPose& pose, std::size_t index) {
  if (index >= pose_len(pose)) return index_out_of_range();
  return std::visit(
      [&](const auto& v) -> PyObject* {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, rb::Pose::Euler>) {
          return list_to_py(index == 0 ? v.translation : v.angles);
        } else if constexpr (std::is_same_v<V, rb::Pose::Quat>) {
          return index == 0 ? list_to_py(v.translation) : list_to_py(v.rotation);
        } else if constexpr (std::is_same_v<V, rb::Pose::Homo>) {
          return list_to_py(v.matrix);
        } else if constexpr (std::is_same_v<V, rb::Pose::AxisAngle>) {
          if (index == 2) return PyFloat_FromDouble(v.angle);
          return list_to_py(index == 0 ? v.translation : v.axis);
        } else {
          return list_to_py(v.translation);
        }
      },
      pose.value());
}

// --- conversion methods -------------------------------------------------------------------------

template <class F>
PyObject* convert_method(PyObject* self, F&& convert) {
  return guard<PyObject*>(nullptr, [&] {
    const PyPose& pose = value_of<PyPose>(self);
    // Only a Quat differs from the library's pose (normalised on the way in): the others
    // convert in place, without a copy.
    if (!std::holds_alternative<rb::Pose::Quat>(pose.value())) return convert(pose);
    return convert(to_library(pose));
  });
}

PyObject* euler(PyObject* self, PyObject*) {
  return convert_method(self, [](const rb::Pose& pose) {
    const auto [translation, angles] = pose.euler();
    return tuple_of(list_to_py(translation), list_to_py(angles));
  });
}

PyObject* quat(PyObject* self, PyObject*) {
  return convert_method(self, [](const rb::Pose& pose) {
    const rb::Isometry iso = pose.quat();
    return tuple_of(list_to_py(iso.translation), list_to_py(iso.rotation));
  });
}

PyObject* homo(PyObject* self, PyObject*) {
  return convert_method(self, [](const rb::Pose& pose) { return list_to_py(pose.homo()); });
}

PyObject* axis_angle(PyObject* self, PyObject*) {
  return convert_method(self, [](const rb::Pose& pose) {
    const rb::AxisAngle aa = pose.axis_angle();
    return tuple_of(list_to_py(aa.translation), list_to_py(aa.axis), PyFloat_FromDouble(aa.angle));
  });
}

PyObject* position(PyObject* self, PyObject*) {
  return convert_method(self, [](const rb::Pose& pose) { return list_to_py(pose.position()); });
}

PyMethodDef kMethods[] = {
    {"euler", euler, METH_NOARGS, "euler($self)\n--\n\n"},
    {"quat", quat, METH_NOARGS, "quat($self)\n--\n\n"},
    {"homo", homo, METH_NOARGS, "homo($self)\n--\n\n"},
    {"axis_angle", axis_angle, METH_NOARGS, "axis_angle($self)\n--\n\n"},
    {"position", position, METH_NOARGS, "position($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// --- constructors -------------------------------------------------------------------------------

template <std::size_t N>
bool fixed(PyObject* object, const char* param, std::array<double, N>& out) {
  return to_array(object, out) || named_argument_error(param);
}

PyObject* new_euler(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyPose_Euler.__new__", kTwo, [&](PyObject** v) -> PyObject* {
    rb::Pose::Euler pose{};
    if (!fixed(v[0], "_0", pose.translation) || !fixed(v[1], "_1", pose.angles)) return nullptr;
    return new_value_object<PyPose>(type, pose);
  });
}

PyObject* new_quat(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyPose_Quat.__new__", kTwo, [&](PyObject** v) -> PyObject* {
    rb::Isometry pose;
    if (!fixed(v[0], "_0", pose.translation) || !fixed(v[1], "_1", pose.rotation)) return nullptr;
    return new_value_object<PyPose>(type, pose);  // stored as passed; normalised on the way in
  });
}

PyObject* new_homo(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyPose_Homo.__new__", kOne, [&](PyObject** v) -> PyObject* {
    rb::Pose::Homo pose{};
    if (!fixed(v[0], "_0", pose.matrix)) return nullptr;
    return new_value_object<PyPose>(type, pose);
  });
}

PyObject* new_axis_angle(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyPose_AxisAngle.__new__", kThree, [&](PyObject** v) -> PyObject* {
    rb::AxisAngle pose{};
    if (!fixed(v[0], "_0", pose.translation) || !fixed(v[1], "_1", pose.axis)) return nullptr;
    if (!to_double(v[2], pose.angle)) return argument_failed("_2");
    return new_value_object<PyPose>(type, pose);
  });
}

PyObject* new_position(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyPose_Position.__new__", kOne, [&](PyObject** v) -> PyObject* {
    rb::Pose::Position pose{};
    if (!fixed(v[0], "_0", pose.translation)) return nullptr;
    return new_value_object<PyPose>(type, pose);
  });
}

const VariantClass kVariants[] = {
    {"PyPose_Euler", "Euler", "PyPose_Euler(_0, _1)\n--\n\n", kTwo, new_euler},
    {"PyPose_Quat", "Quat", "PyPose_Quat(_0, _1)\n--\n\n", kTwo, new_quat},
    {"PyPose_Homo", "Homo", "PyPose_Homo(_0)\n--\n\n", kOne, new_homo},
    {"PyPose_AxisAngle", "AxisAngle", "PyPose_AxisAngle(_0, _1, _2)\n--\n\n", kThree, new_axis_angle},
    {"PyPose_Position", "Position", "PyPose_Position(_0)\n--\n\n", kOne, new_position},
};

PyType_Slot kBaseSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc_value_object<PyPose>)},
    {Py_tp_methods, kMethods},
    {Py_mp_length, reinterpret_cast<void*>(&length<PyPose, pose_len>)},
    {Py_mp_subscript, reinterpret_cast<void*>(&subscript<PyPose, pose_item>)},
    {0, nullptr},
};

// The variant class for each index of the library's pose variant.
PyTypeObject* g_variant_types[std::variant_size_v<rb::Pose::Variant>] = {};

}  // namespace

PyTypeObject* pose_type() {
  return family_type(g_pose_type, g_variant_types,
                     FamilyClass{"Pose", sizeof(PoseObject), kBaseSlots, get_item<PyPose, pose_item>, kVariants});
}

const PyPose* pose_record_of(PyObject* object) {
  if (g_pose_type == nullptr || !PyObject_TypeCheck(object, g_pose_type)) return nullptr;
  return &value_of<PyPose>(object);
}

PyObject* pose_to_py(const rb::Pose& pose) {
  if (pose_type() == nullptr) return nullptr;
  return new_value_object<PyPose>(g_variant_types[pose.value().index()], from_library(pose));
}

PyObject* list_to_py(const double* values, std::size_t count) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(count)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* number = PyFloat_FromDouble(values[i]);
    if (number == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), number);
  }
  return list.release();
}

}  // namespace orvek::ffi
