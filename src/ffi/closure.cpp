// The module function test_closure: calls a function once, as one cycle of the realtime loop
// would (but with a period of 0.125), and prints what it returned to sys.stdout.

#include <string>

#include "boundary.hpp"
#include "closure_methods.hpp"
#include "method_table.hpp"
#include "module_contents.hpp"
#include "py_ref.hpp"
#include "records.hpp"
#include "to_py.hpp"

namespace orvek::ffi {
namespace rb = robot_behavior;
namespace {

constexpr double kSamplePeriod = 0.125;

// Calls the function and forms the line to print; false with a Python error set.
bool call_once(PyObject* closure, std::string& line) {
  const Ref state = Ref::steal(arm_state_to_py(orvek::realtime_placeholder_state()));
  if (!state) return false;
  const Ref period = Ref::steal(PyFloat_FromDouble(kSamplePeriod));
  if (!period) return false;
  PyObject* args[3] = {nullptr, state.get(), period.get()};
  const Ref result = Ref::steal(PyObject_Vectorcall(closure, args + 1, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
  if (!result) return false;
  PyObject* target = nullptr;
  PyObject* finished = nullptr;
  if (!split_result(result.get(), target, finished)) return false;
  const PyMotion* motion = motion_record_of(target);
  if (motion == nullptr) return cannot_convert(target, "MotionType");
  bool done = false;
  if (!to_finished(finished, done)) return false;
  // The label is "Joint: " whatever the variant.
  line = "Joint: ";
  append_text(line, *motion);
  line += done ? ", Is Finished: true\n" : ", Is Finished: false\n";
  return true;
}

// Through sys.stdout, so the line keeps its place among the program's own prints and follows
// any redirection of sys.stdout; C's stdout when sys.stdout cannot be written. Not truncated.
void write_stdout(const std::string& text) { PySys_FormatStdout("%s", text.c_str()); }

PyObject* test_closure(PyObject* closure) {
  std::string line;
  if (call_once(closure, line)) {
    write_stdout(line);
    Py_RETURN_NONE;
  }
  PyErr_Clear();  // the function's own error is not raised
  write_stdout("Failed to call closure\n");
  rb::panic("not yet implemented");
}

}  // namespace

PyMethodDef* test_closure_def() {
  static PyMethodDef def = Function<"test_closure", &test_closure, kind::Object, "closure">::def();
  return &def;
}

}  // namespace orvek::ffi
