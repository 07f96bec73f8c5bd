#pragma once
// The coordinate-frame selector of motions.

#include <expected>
#include <string_view>
#include <variant>

#include "robot_behavior/json_text_error.hpp"
#include "robot_behavior/pose.hpp"

namespace robot_behavior {

struct Coord {
  struct OCS {};
  struct Shot {};
  struct Interial {};
  struct Other {
    Pose frame;
  };
  using Variant = std::variant<OCS, Shot, Interial, Other>;

  Variant value{OCS{}};

  bool is_ocs() const { return std::holds_alternative<OCS>(value); }
  bool is_user_frame() const { return std::holds_alternative<Other>(value); }
};

// "OCS", "Shot", "Interial" by exact bytes; any other text is parsed as one pose in JSON.
std::expected<Coord, JsonTextError> coord_from_string(std::string_view text);

}  // namespace robot_behavior
