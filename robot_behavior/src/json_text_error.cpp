#include "robot_behavior/json_text_error.hpp"

#include <string_view>

namespace robot_behavior {
namespace {

// The message as a string literal, with the escapes a reader of the debug form expects.
void append_quoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          out += "\\u{";
          if (byte >= 0x10) out += kHex[byte >> 4];
          out += kHex[byte & 0xf];
          out += '}';
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

}  // namespace

std::string JsonTextError::display() const {
  if (line == 0) return message;
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

std::string JsonTextError::debug() const {
  std::string out = "Error(";
  append_quoted(out, message);
  out += ", line: " + std::to_string(line) + ", column: " + std::to_string(column) + ")";
  return out;
}

}  // namespace robot_behavior
