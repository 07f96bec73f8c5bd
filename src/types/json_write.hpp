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
#include "robot_behavior/string_escape.hpp"

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
  robot_behavior::append_quoted(out, text, robot_behavior::Escapes::Json);
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
