#pragma once
// Small pieces of compact JSON text, appended to a caller's buffer. Shared by the request
// and reply writers; no intermediate document is ever built.

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "robot_behavior/number_format.hpp"

namespace orvek::json {

inline void append_uint(std::string& out, unsigned value) {
  char text[12];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, static_cast<std::size_t>(result.ptr - text));
}

inline void append_value(std::string& out, std::uint8_t value) { append_uint(out, value); }
inline void append_value(std::string& out, std::uint16_t value) { append_uint(out, value); }
inline void append_value(std::string& out, bool value) { out += value ? "true" : "false"; }
inline void append_value(std::string& out, double value) { robot_behavior::append_json_number(out, value); }

// A JSON string with the standard escapes; bytes from 0x80 up are copied as they are.
inline void append_value(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;  // start of the run of bytes that need no escape
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xf];
    }
  }
  out.append(text.data() + plain, text.size() - plain);
  out += '"';
}
inline void append_value(std::string& out, const std::string& text) { append_value(out, std::string_view(text)); }

template <std::size_t N>
void append_value(std::string& out, const std::array<double, N>& values) {
  robot_behavior::append_json_list(out, values.data(), N);
}

template <class T, std::size_t N>
void append_value(std::string& out, const std::array<T, N>& values) {
  out += '[';
  for (std::size_t i = 0; i < N; ++i) {
    if (i != 0) out += ',';
    append_value(out, values[i]);
  }
  out += ']';
}

}  // namespace orvek::json
