#include "robot_behavior/json_text_error.hpp"

#include "robot_behavior/string_escape.hpp"

namespace robot_behavior {

std::string JsonTextError::display() const {
  if (line == 0) return message;
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

std::string JsonTextError::debug() const {
  std::string out = "Error(";
  append_debug_string(out, message);
  out += ", line: " + std::to_string(line) + ", column: " + std::to_string(column) + ")";
  return out;
}

}  // namespace robot_behavior
