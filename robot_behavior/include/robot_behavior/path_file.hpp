#pragma once
// Path files: a JSON array of motion targets, and the JSON text form of one pose.

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "robot_behavior/exception.hpp"
#include "robot_behavior/json_text_error.hpp"
#include "robot_behavior/motion.hpp"
#include "robot_behavior/pose.hpp"

namespace robot_behavior {

// The whole text must be one array of motion targets, surrounded only by whitespace.
std::expected<std::vector<Motion6>, JsonTextError> parse_path(std::string_view text);

// The whole text must be one pose, surrounded only by whitespace.
std::expected<Pose, JsonTextError> parse_pose(std::string_view text);

// Reads a whole file through an 8192-byte buffer. A file that cannot be opened or
// read is NetworkError with the system's text.
Result<std::string> read_text_file(const std::string& path);

}  // namespace robot_behavior
