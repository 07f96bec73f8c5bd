#pragma once
/// @file
/// How long the driver waits for the controller. A value type of the installed interface,
/// kept apart from the transport so that a user's compiler never sees the transport.

#include <chrono>

namespace orvek {

/// Fixed limits on waiting for the controller.
///  - connect: a controller on the local network answers a connection attempt within
///    milliseconds; 5 s still covers two lost SYNs (retransmitted after 1 s and 3 s).
///  - exchange: from sending a request until its whole reply has arrived. Most commands
///    answer within milliseconds, but "power_on" and "enable_robot" wait for the drives and
///    brakes, which takes seconds; 30 s leaves ample room for those and still ends a call
///    to a controller that has stopped answering.
/// Either time-out is an internal failure "Connection timed out (os error 110)".
struct Timeouts {
  std::chrono::milliseconds connect{5000};
  std::chrono::milliseconds exchange{30000};
};

}  // namespace orvek
