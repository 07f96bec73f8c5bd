// One pose in JSON text: the text form of a user frame (coord_from_string).
//
// The text is read as a pose and as a frame selector. Either ends with a value or with a
// message and a place inside the text; both agree; a pose is accepted only as one object
// with one member that simdjson accepts (numbers too large for a double aside, in skipped
// members). Every pose read passes through the conversions.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "fuzz_check.hpp"
#include "pose_exercise.hpp"
#include "robot_behavior/coord.hpp"
#include "robot_behavior/path_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto pose = robot_behavior::parse_pose(text);
  const auto coord = robot_behavior::coord_from_string(text);

  const bool frame_name = text == "OCS" || text == "Shot" || text == "Interial";
  if (frame_name) {
    ORVEK_FUZZ_CHECK(coord.has_value() && !coord->is_user_frame(), "a frame name was not read as that frame");
    return 0;
  }
  ORVEK_FUZZ_CHECK(pose.has_value() == coord.has_value(), "the frame and the pose disagree on a text");
  if (!pose) {
    ORVEK_FUZZ_CHECK(pose.error() == coord.error(), "the frame and the pose refuse a text differently");
    ORVEK_FUZZ_CHECK(!pose.error().message.empty(), "a refusal without a message");
    std::size_t lines = 1;
    for (char c : text) lines += c == '\n';
    ORVEK_FUZZ_CHECK(pose.error().line >= 1 && pose.error().line <= lines, pose.error().debug());
    ORVEK_FUZZ_CHECK(pose.error().column >= 1 && pose.error().column <= text.size() + 1, pose.error().debug());
    return 0;
  }
  ORVEK_FUZZ_CHECK(coord->is_user_frame(), "a pose text gave a named frame");

  static simdjson::dom::parser parser;
  const simdjson::padded_string padded(text);
  simdjson::dom::element root;
  const simdjson::error_code verdict = parser.parse(padded).get(root);
  ORVEK_FUZZ_CHECK(verdict == simdjson::SUCCESS || verdict == simdjson::NUMBER_ERROR,
                   std::string("a pose simdjson refuses was read: ") + simdjson::error_message(verdict));
  if (verdict == simdjson::SUCCESS) {
    simdjson::dom::object object;
    ORVEK_FUZZ_CHECK(root.get_object().get(object) == simdjson::SUCCESS && object.size() == 1,
                     "a pose that is not an object with one member was read");
  }
  orvek::fuzz::exercise(*pose);
  return 0;
}
