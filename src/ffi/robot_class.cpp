// The OrvekRobot class.
//
// Until the driver's methods are bound this is the class's shell: its name, docstring, layout and
// constructor signature are final, the constructor reports "not implemented", and the method table
// is empty. Binding the driver means: Value becomes orvek::OrvekRobot, make_robot constructs it,
// and kMethods gets one row per method (method_table.hpp).

#include "classes.hpp"
#include "method_table.hpp"
#include "module_contents.hpp"

namespace orvek::ffi {
namespace {

struct PendingRobot {};

PyTypeObject* g_robot_type = nullptr;

struct RobotClass {
  using Value = PendingRobot;
  static constexpr FixedString name = "OrvekRobot";
  static PyTypeObject* type() { return robot_type(); }
};
using M = Methods<RobotClass>;

PendingRobot make_robot(const std::string&) { robot_behavior::panic("not implemented"); }

PyMethodDef kMethods[] = {
    kMethodsEnd,
};

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&M::constructor<make_robot, kind::Str, "ip">)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&M::dealloc)},
    {Py_tp_doc, const_cast<char*>("OrvekRobot(ip)\n--\n\n")},
    {Py_tp_methods, kMethods},
    {0, nullptr},
};

}  // namespace

PyTypeObject* robot_type() {
  if (g_robot_type == nullptr) {
    // Not a base type: Python classes cannot derive from it.
    g_robot_type = create_class("OrvekRobot", sizeof(M::Object), Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, kSlots);
  }
  return g_robot_type;
}

}  // namespace orvek::ffi
