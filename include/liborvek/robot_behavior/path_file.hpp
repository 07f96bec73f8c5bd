#pragma once
/// @file
/// Path files: a JSON array of motion targets, and the JSON text form of one pose.
///
/// Errors say what was expected and where: the line and column of the offending
/// value or character, and for a misshapen target its item and keys, e.g.
/// "expected an array of 6 numbers, found 5 items (item 0 > \"Joint\")".

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "exception.hpp"
#include "json_text_error.hpp"
#include "motion.hpp"
#include "pose.hpp"

namespace robot_behavior {

/// The whole text must be one array of motion targets, surrounded only by whitespace.
/// Returns the targets; the error says what was expected and where. Neither parser throws.
std::expected<std::vector<Motion6>, JsonTextError> parse_path(std::string_view text);

/// The whole text must be one pose, surrounded only by whitespace.
std::expected<Pose, JsonTextError> parse_pose(std::string_view text);

/// The largest file read_text_file takes; a longer one is refused as EFBIG.
inline constexpr std::size_t kMaxTextFileSize = std::size_t{64} << 20;

/// Reads a whole file through an 8192-byte buffer. A file that cannot be opened or
/// read is NetworkError with the system's text ("No such file or directory (os error
/// 2)"); so is a file longer than kMaxTextFileSize, and a name holding a NUL byte.
Result<std::string> read_text_file(const std::string& path);

}  // namespace robot_behavior
