// The MotionType and ControlType classes and their variant classes.

#include "classes.hpp"
#include "convert.hpp"
#include "to_py.hpp"

namespace orvek::ffi {
namespace {

PyTypeObject* g_motion_type = nullptr;
PyTypeObject* g_control_type = nullptr;
PyTypeObject* g_motion_variants[std::variant_size_v<PyMotion::Variant>] = {};
PyTypeObject* g_control_variants[std::variant_size_v<PyControl::Variant>] = {};

// Every payload is one item, except Stop and Zero which carry none.
std::size_t motion_len(const PyMotion& motion) { return std::holds_alternative<PyMotion::Stop>(motion.value) ? 0 : 1; }
std::size_t control_len(const PyControl& control) {
  return std::holds_alternative<PyControl::Zero>(control.value) ? 0 : 1;
}

PyObject* motion_item(const PyMotion& motion, std::size_t index) {
  if (index >= motion_len(motion)) return index_out_of_range();
  if (const auto* cartesian = std::get_if<PyMotion::Cartesian>(&motion.value)) return pose_to_py(cartesian->pose);
  return std::visit(
      [](const auto& v) -> PyObject* {
        if constexpr (requires { v.values; }) {
          return list_to_py(v.values);
        } else {
          return index_out_of_range();
        }
      },
      motion.value);
}

PyObject* control_item(const PyControl& control, std::size_t index) {
  if (index >= control_len(control)) return index_out_of_range();
  return list_to_py(std::get<PyControl::Torque>(control.value).values);
}

// --- constructors -------------------------------------------------------------------------------

// A variant whose payload is one list of doubles of any length.
template <class Variant>
PyObject* new_list_motion(PyTypeObject* type, PyObject* args, PyObject* kwargs, const char* name) {
  return construct(args, kwargs, name, kOne, [&](PyObject** v) -> PyObject* {
    Variant variant;
    if (!to_vector(v[0], variant.values)) return argument_failed("_0");
    return new_value_object<PyMotion>(type, PyMotion{std::move(variant)});
  });
}

PyObject* new_joint(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return new_list_motion<PyMotion::Joint>(type, args, kwargs, "PyMotionType_Joint.__new__");
}
PyObject* new_joint_vel(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return new_list_motion<PyMotion::JointVel>(type, args, kwargs, "PyMotionType_JointVel.__new__");
}
PyObject* new_cartesian_vel(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return new_list_motion<PyMotion::CartesianVel>(type, args, kwargs, "PyMotionType_CartesianVel.__new__");
}
PyObject* new_position(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return new_list_motion<PyMotion::Position>(type, args, kwargs, "PyMotionType_Position.__new__");
}
PyObject* new_position_vel(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return new_list_motion<PyMotion::PositionVel>(type, args, kwargs, "PyMotionType_PositionVel.__new__");
}

PyObject* new_cartesian(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyMotionType_Cartesian.__new__", kOne, [&](PyObject** v) -> PyObject* {
    PyMotion::Cartesian variant;
    if (!to_pose_record(v[0], variant.pose)) return argument_failed("_0");
    return new_value_object<PyMotion>(type, PyMotion{variant});
  });
}

PyObject* new_stop(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyMotionType_Stop.__new__", kNone,
                   [&](PyObject**) { return new_value_object<PyMotion>(type, PyMotion{PyMotion::Stop{}}); });
}

PyObject* new_zero(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyControlType_Zero.__new__", kNone,
                   [&](PyObject**) { return new_value_object<PyControl>(type, PyControl{PyControl::Zero{}}); });
}

PyObject* new_torque(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return construct(args, kwargs, "PyControlType_Torque.__new__", kOne, [&](PyObject** v) -> PyObject* {
    PyControl::Torque variant;
    if (!to_vector(v[0], variant.values)) return argument_failed("_0");
    return new_value_object<PyControl>(type, PyControl{std::move(variant)});
  });
}

// In the order of the record's variants.
const VariantClass kMotionVariants[] = {
    {"PyMotionType_Joint", "Joint", "PyMotionType_Joint(_0)\n--\n\n", kOne, new_joint},
    {"PyMotionType_JointVel", "JointVel", "PyMotionType_JointVel(_0)\n--\n\n", kOne, new_joint_vel},
    {"PyMotionType_Cartesian", "Cartesian", "PyMotionType_Cartesian(_0)\n--\n\n", kOne, new_cartesian},
    {"PyMotionType_CartesianVel", "CartesianVel", "PyMotionType_CartesianVel(_0)\n--\n\n", kOne, new_cartesian_vel},
    {"PyMotionType_Position", "Position", "PyMotionType_Position(_0)\n--\n\n", kOne, new_position},
    {"PyMotionType_PositionVel", "PositionVel", "PyMotionType_PositionVel(_0)\n--\n\n", kOne, new_position_vel},
    {"PyMotionType_Stop", "Stop", "PyMotionType_Stop()\n--\n\n", kNone, new_stop},
};

const VariantClass kControlVariants[] = {
    {"PyControlType_Zero", "Zero", "PyControlType_Zero()\n--\n\n", kNone, new_zero},
    {"PyControlType_Torque", "Torque", "PyControlType_Torque(_0)\n--\n\n", kOne, new_torque},
};

PyType_Slot kMotionSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc_value_object<PyMotion>)},
    {Py_mp_length, reinterpret_cast<void*>(&length<PyMotion, motion_len>)},
    {Py_mp_subscript, reinterpret_cast<void*>(&subscript<PyMotion, motion_item>)},
    {0, nullptr},
};

PyType_Slot kControlSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc_value_object<PyControl>)},
    {Py_mp_length, reinterpret_cast<void*>(&length<PyControl, control_len>)},
    {Py_mp_subscript, reinterpret_cast<void*>(&subscript<PyControl, control_item>)},
    {0, nullptr},
};

}  // namespace

PyTypeObject* motion_type() {
  return family_type(g_motion_type, g_motion_variants,
                     FamilyClass{"MotionType", sizeof(ValueObject<PyMotion>), kMotionSlots,
                                 get_item<PyMotion, motion_item>, kMotionVariants});
}

PyTypeObject* control_type() {
  return family_type(g_control_type, g_control_variants,
                     FamilyClass{"ControlType", sizeof(ValueObject<PyControl>), kControlSlots,
                                 get_item<PyControl, control_item>, kControlVariants});
}

const PyMotion* motion_record_of(PyObject* object) {
  if (g_motion_type == nullptr || !PyObject_TypeCheck(object, g_motion_type)) return nullptr;
  return &value_of<PyMotion>(object);
}

const PyControl* control_record_of(PyObject* object) {
  if (g_control_type == nullptr || !PyObject_TypeCheck(object, g_control_type)) return nullptr;
  return &value_of<PyControl>(object);
}

PyObject* motion_to_py(const PyMotion& motion) {
  if (motion_type() == nullptr) return nullptr;
  return new_value_object<PyMotion>(g_motion_variants[motion.value.index()], motion);
}

PyObject* control_to_py(const PyControl& control) {
  if (control_type() == nullptr) return nullptr;
  return new_value_object<PyControl>(g_control_variants[control.value.index()], control);
}

}  // namespace orvek::ffi
