#pragma once
// The driver's exchanges with the controller: only the driver's own sources include this,
// so the transport and the wire records stay out of the installed header.

#include <utility>

#include "network/network.hpp"
#include "liborvek/robot.hpp"
#include "types/command.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

template <class Reply, class Body>
robot_behavior::Result<Reply> OrvekRobot::exchange(Command command, const Body& body) {
  if (!network_) {
    return robot_behavior::fail(robot_behavior::RobotException::network("TCP command stream is not initialized"));
  }
  return network_->send_and_recv<Reply>(command, body);
}

template <class Body>
robot_behavior::Result<void> OrvekRobot::send_checked(Command command, const Body& body) {
  auto reply = exchange<DefaultState>(command, body);
  if (!reply) return robot_behavior::fail(std::move(reply.error()));
  return check(std::move(*reply));
}

}  // namespace orvek
