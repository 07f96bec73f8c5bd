#include "robot_behavior/coord.hpp"

#include "robot_behavior/path_file.hpp"

namespace robot_behavior {

std::expected<Coord, JsonTextError> coord_from_string(std::string_view text) {
  if (text == "OCS") return Coord{Coord::OCS{}};
  if (text == "Shot") return Coord{Coord::Shot{}};
  if (text == "Interial") return Coord{Coord::Interial{}};
  auto pose = parse_pose(text);
  if (!pose) return std::unexpected(std::move(pose.error()));
  return Coord{Coord::Other{*pose}};
}

}  // namespace robot_behavior
