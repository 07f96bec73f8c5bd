// Placeholder bodies until the realtime binding lands: every callable-driven motion is
// an internal failure.

#include "closure_methods.hpp"

namespace orvek::ffi {

#define ORVEK_PENDING_CLOSURE_METHOD(name)                                        \
  robot_behavior::Result<void> name(orvek::OrvekRobot&, PyObject*) { robot_behavior::panic("not implemented"); }
ORVEK_PENDING_CLOSURE_METHOD(move_with_closure)
ORVEK_PENDING_CLOSURE_METHOD(control_with_closure)
ORVEK_PENDING_CLOSURE_METHOD(move_joint_with_closure)
ORVEK_PENDING_CLOSURE_METHOD(move_joint_vel_with_closure)
ORVEK_PENDING_CLOSURE_METHOD(move_cartesian_with_closure)
ORVEK_PENDING_CLOSURE_METHOD(move_cartesian_vel_with_closure)
#undef ORVEK_PENDING_CLOSURE_METHOD

}  // namespace orvek::ffi
