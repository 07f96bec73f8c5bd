#pragma once
// The library's own text for each fault the JSON parser reports. simdjson rewords its
// messages between releases; these texts stay the same whatever simdjson the build uses,
// so logs and scripts that match them keep working across a distribution upgrade.

#include <string_view>

#include <simdjson.h>

namespace robot_behavior {

std::string_view parser_error_text(simdjson::error_code error) noexcept;

// Whether the parser refused a number: one that is no JSON number, or that fits neither a
// double nor a 64-bit integer (later releases report the latter with a code of their own).
bool is_number_error(simdjson::error_code error) noexcept;

}  // namespace robot_behavior
