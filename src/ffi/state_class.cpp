// The LoadState and ArmState classes.

#include <type_traits>

#include "classes.hpp"
#include "convert.hpp"
#include "to_py.hpp"

namespace orvek::ffi {
namespace rb = robot_behavior;
namespace {

PyTypeObject* g_load_type = nullptr;
PyTypeObject* g_arm_state_type = nullptr;

PyObject* text_to_py(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// Attribute setters: refuse deletion, convert, and change the object only on success.
template <class F>
int set_attribute(PyObject* value, F&& assign) {
  if (value == nullptr) return refuse_delete();
  return guard<int>(-1, [&] { return assign() ? 0 : -1; });
}

// --- LoadState ----------------------------------------------------------------------------------

rb::LoadState& load_value(PyObject* self) { return value_of<rb::LoadState>(self); }

PyObject* load_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 3> kParams = {"m", "x", "i"};
  return construct(args, kwargs, "LoadState.__new__", kParams, [&](PyObject** v) -> PyObject* {
    rb::LoadState load{};
    if (!to_double(v[0], load.m)) return argument_failed("m");
    if (!to_array(v[1], load.x)) return argument_failed("x");
    if (!to_array(v[2], load.i)) return argument_failed("i");
    return new_value_object<rb::LoadState>(type, load);
  });
}

PyObject* load_get_m(PyObject* self, void*) { return PyFloat_FromDouble(load_value(self).m); }
PyObject* load_get_x(PyObject* self, void*) { return list_to_py(load_value(self).x); }
PyObject* load_get_i(PyObject* self, void*) { return list_to_py(load_value(self).i); }

int load_set_m(PyObject* self, PyObject* value, void*) {
  return set_attribute(value, [&] {
    double m = 0;
    if (!to_double(value, m)) return named_argument_error("m");
    load_value(self).m = m;
    return true;
  });
}

template <std::size_t N, std::array<double, N> rb::LoadState::*Member>
int load_set_array(PyObject* self, PyObject* value, void* closure) {
  return set_attribute(value, [&] {
    std::array<double, N> values;
    if (!to_array(value, values)) return named_argument_error(static_cast<const char*>(closure));
    load_value(self).*Member = values;
    return true;
  });
}

PyObject* load_repr(PyObject* self) {
  return guard<PyObject*>(nullptr, [&] { return text_to_py(repr(load_value(self))); });
}

PyGetSetDef kLoadProperties[] = {
    {"m", load_get_m, load_set_m, nullptr, nullptr},
    {"x", load_get_x, load_set_array<3, &rb::LoadState::x>, nullptr, const_cast<char*>("x")},
    {"i", load_get_i, load_set_array<9, &rb::LoadState::i>, nullptr, const_cast<char*>("i")},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kLoadSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&load_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc_value_object<rb::LoadState>)},
    {Py_tp_doc, const_cast<char*>("LoadState(m, x, i)\n--\n\n")},
    {Py_tp_getset, kLoadProperties},
    {Py_tp_repr, reinterpret_cast<void*>(&load_repr)},
    {0, nullptr},
};

// --- ArmState -----------------------------------------------------------------------------------

PyArmState& state_value(PyObject* self) { return value_of<PyArmState>(self); }

// An attribute of a state assigned from Python (marked changed even when the value is refused).
template <class F>
int set_state_attribute(PyObject* self, PyObject* value, F&& assign) {
  state_value(self).changed = true;
  return set_attribute(value, std::forward<F>(assign));
}

template <DoubleList PyArmState::*Member>
PyObject* get_list(PyObject* self, void*) {
  const DoubleList& list = state_value(self).*Member;
  if (!list.present()) Py_RETURN_NONE;
  return list_to_py(list.data(), list.size());
}

template <DoubleList PyArmState::*Member>
int set_list(PyObject* self, PyObject* value, void* closure) {
  return set_state_attribute(self, value, [&] {
    DoubleList& list = state_value(self).*Member;
    if (value == Py_None) {
      list.reset();
      return true;
    }
    std::vector<double> values;
    if (!to_vector(value, values)) return named_argument_error(static_cast<const char*>(closure));
    list.assign(values.data(), values.size());
    return true;
  });
}

// The attributes that may be unset: None when unset; assigning None unsets, any other value
// is converted by FromPy (the property's closure names it in the error).
template <auto Member, auto ToPy>
PyObject* get_optional(PyObject* self, void*) {
  const auto& stored = state_value(self).*Member;
  if (!stored) Py_RETURN_NONE;
  return ToPy(*stored);
}

template <auto Member, auto FromPy>
int set_optional(PyObject* self, PyObject* value, void* closure) {
  return set_state_attribute(self, value, [&] {
    auto& stored = state_value(self).*Member;
    if (value == Py_None) {
      stored.reset();
      return true;
    }
    typename std::remove_cvref_t<decltype(stored)>::value_type converted{};
    if (!FromPy(value, converted)) return named_argument_error(static_cast<const char*>(closure));
    stored = converted;
    return true;
  });
}

constexpr auto kPoseToPy = [](const PyPose& pose) { return pose_to_py(pose); };
constexpr auto kSixToPy = [](const rb::Six& values) { return list_to_py(values); };
constexpr auto kSixFromPy = [](PyObject* value, rb::Six& values) { return to_array(value, values); };

PyObject* state_repr(PyObject* self) {
  return guard<PyObject*>(nullptr, [&] { return text_to_py(repr(state_value(self))); });
}

#define ORVEK_LIST_PROPERTY(name) \
  {#name, get_list<&PyArmState::name>, set_list<&PyArmState::name>, nullptr, const_cast<char*>(#name)}
#define ORVEK_OPTIONAL_PROPERTY(name, to_py, from_py)                                                    \
  {#name, get_optional<&PyArmState::name, to_py>, set_optional<&PyArmState::name, from_py>, nullptr, \
   const_cast<char*>(#name)}

PyGetSetDef kStateProperties[] = {
    ORVEK_LIST_PROPERTY(joint),
    ORVEK_LIST_PROPERTY(joint_vel),
    ORVEK_LIST_PROPERTY(joint_acc),
    ORVEK_LIST_PROPERTY(tau),
    ORVEK_OPTIONAL_PROPERTY(pose_o_to_ee, kPoseToPy, to_pose_record),
    ORVEK_OPTIONAL_PROPERTY(pose_ee_to_k, kPoseToPy, to_pose_record),
    ORVEK_OPTIONAL_PROPERTY(cartesian_vel, kSixToPy, kSixFromPy),
    ORVEK_OPTIONAL_PROPERTY(load, load_to_py, to_load),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef ORVEK_LIST_PROPERTY
#undef ORVEK_OPTIONAL_PROPERTY

PyType_Slot kStateSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc_value_object<PyArmState>)},
    {Py_tp_getset, kStateProperties},
    {Py_tp_repr, reinterpret_cast<void*>(&state_repr)},
    {0, nullptr},
};

PyTypeObject* class_once(PyTypeObject*& cell, const char* name, int basicsize, PyType_Slot* slots) {
  if (cell == nullptr) cell = create_class(name, basicsize, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots);
  return cell;
}

}  // namespace

PyTypeObject* load_type() {
  return class_once(g_load_type, "LoadState", sizeof(ValueObject<rb::LoadState>), kLoadSlots);
}

PyTypeObject* arm_state_type() {
  return class_once(g_arm_state_type, "ArmState", sizeof(ValueObject<PyArmState>), kStateSlots);
}

const rb::LoadState* load_of(PyObject* object) {
  if (g_load_type == nullptr || !PyObject_TypeCheck(object, g_load_type)) return nullptr;
  return &load_value(object);
}

const PyArmState* arm_state_of(PyObject* object) {
  if (g_arm_state_type == nullptr || !PyObject_TypeCheck(object, g_arm_state_type)) return nullptr;
  return &state_value(object);
}

PyObject* load_to_py(const rb::LoadState& load) {
  PyTypeObject* type = load_type();
  return type != nullptr ? new_value_object<rb::LoadState>(type, load) : nullptr;
}

PyObject* arm_state_to_py(const rb::ArmState6& state) {
  PyTypeObject* type = arm_state_type();
  return type != nullptr ? new_value_object<PyArmState>(type, from_library(state)) : nullptr;
}

PyObject* arm_state_to_py(const PyArmState& state) {
  PyTypeObject* type = arm_state_type();
  return type != nullptr ? new_value_object<PyArmState>(type, state) : nullptr;
}

}  // namespace orvek::ffi
