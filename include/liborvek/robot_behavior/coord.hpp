#pragma once
/// @file
/// The coordinate-frame selector of motions.

#include <expected>
#include <string_view>
#include <variant>

#include "json_text_error.hpp"
#include "pose.hpp"

namespace robot_behavior {

struct Coord {
  struct OCS {
    friend bool operator==(const OCS&, const OCS&) = default;
  };
  struct Shot {
    friend bool operator==(const Shot&, const Shot&) = default;
  };
  struct Interial {
    friend bool operator==(const Interial&, const Interial&) = default;
  };
  struct Other {
    Pose frame;

    friend bool operator==(const Other&, const Other&) = default;
  };
  using Variant = std::variant<OCS, Shot, Interial, Other>;

  Variant value{OCS{}};

  bool is_ocs() const { return std::holds_alternative<OCS>(value); }
  bool is_user_frame() const { return std::holds_alternative<Other>(value); }

  friend bool operator==(const Coord&, const Coord&) = default;
};

/// "OCS", "Shot", "Interial" by exact bytes (case-sensitive, no trimming); any other
/// text is parsed as one pose in JSON (parse_pose) and becomes Other. The error: a text that
/// is no pose, with what was expected and where. Never throws.
std::expected<Coord, JsonTextError> coord_from_string(std::string_view text);

}  // namespace robot_behavior
