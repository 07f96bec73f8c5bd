// Path files, as people write them.
//
// Whatever the text, parse_path ends with a list or with a message and a place inside the
// text. It accepts a text only if simdjson does (numbers too large for a double aside, which
// a skipped member may hold), and then the list has one target per array item. A text that
// simdjson refuses for its syntax is refused. Every pose read passes through the
// conversions.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include <simdjson.h>

#include "fuzz_check.hpp"
#include "pose_exercise.hpp"
#include "robot_behavior/path_file.hpp"

namespace {


// The place of a refusal lies inside the text, or just past its last character.
void check_place(std::string_view text, const robot_behavior::JsonTextError& error) {
  ORVEK_FUZZ_CHECK(!error.message.empty(), "a refusal without a message");
  std::size_t lines = 1;
  for (char c : text) lines += c == '\n';
  ORVEK_FUZZ_CHECK(error.line >= 1 && error.line <= lines, error.debug());
  ORVEK_FUZZ_CHECK(error.column >= 1 && error.column <= text.size() + 1, error.debug());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto path = robot_behavior::parse_path(text);

  static simdjson::dom::parser parser;
  const simdjson::padded_string padded(text);
  simdjson::dom::element root;
  const simdjson::error_code verdict = parser.parse(padded).get(root);
  const bool range_only = verdict == simdjson::NUMBER_ERROR;

  if (!path) {
    check_place(text, path.error());
    return 0;
  }
  ORVEK_FUZZ_CHECK(verdict == simdjson::SUCCESS || range_only,
                   std::string("a path simdjson refuses was read: ") + simdjson::error_message(verdict));
  if (verdict == simdjson::SUCCESS) {
    simdjson::dom::array items;
    ORVEK_FUZZ_CHECK(root.get_array().get(items) == simdjson::SUCCESS, "a path that is not an array was read");
    ORVEK_FUZZ_CHECK(items.size() == path->size(), "the list does not have one target per item");
  }
  for (const robot_behavior::Motion6& motion : *path) {
    if (const auto* cartesian = std::get_if<robot_behavior::Motion6::Cartesian>(&motion.value)) {
      orvek::fuzz::exercise(cartesian->pose);
    }
  }
  return 0;
}
