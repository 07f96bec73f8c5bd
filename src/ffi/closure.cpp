// The module function test_closure.
//
// Its signature and docstring are final; it reports "not implemented" until the realtime binding
// gives it its body.

#include "method_table.hpp"
#include "module_contents.hpp"

namespace orvek::ffi {
namespace {

PyObject* test_closure(PyObject* /*closure*/) { robot_behavior::panic("not implemented"); }

}  // namespace

PyMethodDef* test_closure_def() {
  static PyMethodDef def = Function<"test_closure", &test_closure, kind::Object, "closure">::def();
  return &def;
}

}  // namespace orvek::ffi
