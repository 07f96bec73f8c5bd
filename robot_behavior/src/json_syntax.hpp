#pragma once
// Where and why a text is not JSON. The reader parses with simdjson; when simdjson
// refuses a text, this check names the first fault and its place, which simdjson's
// error codes do not.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "robot_behavior/json_scanner.hpp"

namespace robot_behavior {

// Arrays and objects nested deeper than this are refused.
inline constexpr std::size_t kMaxJsonDepth = JsonScanner::kMaxDepth;

struct JsonSyntaxFault {
  std::size_t offset;  // byte offset of the offending character or token
  std::string message;
};

// The first syntax fault of `text` read as one JSON value with only whitespace around
// it, or nothing when the text is JSON.
std::optional<JsonSyntaxFault> find_json_syntax_error(std::string_view text);

// True when `token` is exactly one number in JSON's grammar.
bool is_json_number(std::string_view token);

inline bool is_json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// 1-based line and column of a byte offset; columns count characters, not bytes.
struct TextPosition {
  std::size_t line;
  std::size_t column;
};
TextPosition text_position(std::string_view text, std::size_t offset);

}  // namespace robot_behavior
