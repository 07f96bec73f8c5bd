#include "types/reply.hpp"

namespace orvek {

Result<void> check(DefaultState&& reply) {
  if (reply.error_code == "0") return {};
  std::string text;
  text.reserve(reply.error_code.size() + reply.error_msg.size() + 4);
  text += '[';
  text += reply.error_code;
  text += ": ";
  text += reply.error_msg;
  text += ']';
  return robot_behavior::fail(robot_behavior::RobotException::command(std::move(text)));
}

}  // namespace orvek
