#pragma once
/// @file
/// Errors in JSON texts written by people (path files, frame poses): what and where.

#include <cstddef>
#include <string>

namespace robot_behavior {

struct JsonTextError {
  std::string message;  ///< what was expected, e.g. "expected an array of 6 numbers at item 2, key \"Joint\""
  std::size_t line = 0;    ///< 1-based; 0 when unknown
  std::size_t column = 0;  ///< 1-based; 0 when unknown

  /// message + " at line L column C"; the message alone when the place is unknown.
  std::string display() const;
  /// Error("message", line: L, column: C), the message quoted and escaped.
  std::string debug() const;

  friend bool operator==(const JsonTextError&, const JsonTextError&) = default;
};

}  // namespace robot_behavior
