#pragma once
// Reply records: strict reading from JSON text, and writing (for the simulator, tests and
// benchmarks).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "robot_behavior/exception.hpp"

namespace simdjson::dom {
class parser;
class element;
}  // namespace simdjson::dom

namespace orvek {

using robot_behavior::Result;

// The reply of every command except "get_data".
struct DefaultState {
  std::string error_code;  // "errorCode": "0" is success
  std::string error_msg;   // "errorMsg"

  friend bool operator==(const DefaultState&, const DefaultState&) = default;
};

// The reply of "get_data": every key required, with exactly these types and lengths.
struct GetDataState {
  std::uint16_t len;
  std::array<double, 6> joint_actual_position;
  bool drag_status;
  std::array<double, 6> actual_position;
  std::array<std::uint8_t, 199> din;
  std::array<std::uint8_t, 199> dout;
  std::array<double, 128> ain;
  std::array<double, 128> aout;
  std::array<std::uint8_t, 8> tio_din;
  std::array<std::uint8_t, 8> tio_dout;
  std::array<double, 2> tio_ain;
  std::array<std::uint8_t, 2> relay_io;
  std::array<std::uint8_t, 128> mb_slave_din;
  std::array<std::uint8_t, 128> mb_slave_dout;
  std::array<double, 64> mb_slave_ain;
  std::array<double, 64> mb_slave_aout;
  std::array<std::uint8_t, 64> pn_dev_din;
  std::array<std::uint8_t, 64> pn_dev_dout;
  std::array<double, 64> pn_dev_ain;
  std::array<double, 64> pn_dev_aout;
  std::array<std::uint8_t, 64> eip_adpt_din;
  std::array<std::uint8_t, 64> eip_adpt_dout;
  std::array<double, 48> eip_adpt_ain;
  std::array<double, 48> eip_adpt_aout;
  std::uint8_t task_state;
  std::array<std::uint8_t, 9> homed;
  std::uint8_t task_mode;
  std::uint8_t interp_state;
  bool enabled;
  bool paused;
  double rapidrate;
  std::uint8_t current_tool_id;
  std::uint8_t current_user_id;
  std::uint8_t protective_stop;
  std::uint8_t on_soft_limit;
  std::uint8_t emergency_stop;
  std::array<std::uint8_t, 6> drag_near_limit;
  std::uint8_t powered_on;
  bool inpos;
  std::uint8_t executing_line;
  double curr_tcp_trans_vel;
  std::string error_code;  // "errorCode"
  std::string error_msg;   // "errorMsg"

  friend bool operator==(const GetDataState&, const GetDataState&) = default;
};

// --- reading ---------------------------------------------------------------------------
//
// A reply is an object (keys matched exactly, unknown keys skipped, the last of duplicate
// keys counts, every field required) or an array of the field values in declaration order.
// u8/u16 take only integers in range, bools only true/false, doubles any number, strings
// only strings, arrays exactly their length. A mismatch is DeserializeError naming the key
// and what was expected, e.g.
//   invalid length 198 at key "din": expected an array of 199 integers 0 to 255

// Reads one reply text. `padded_text` must be followed by simdjson::SIMDJSON_PADDING
// readable bytes. Text that is not exactly one JSON value (surrounding whitespace allowed)
// panics with the parser's message. The parser is reused: in steady state no allocation.
Result<DefaultState> deserialize_default(simdjson::dom::parser& parser, std::string_view padded_text);
Result<GetDataState> deserialize_get_data(simdjson::dom::parser& parser, std::string_view padded_text);

// The same, from a value already parsed.
Result<DefaultState> read_default(const simdjson::dom::element& value);
Result<GetDataState> read_get_data(const simdjson::dom::element& value);

// "errorCode" exactly "0" is success; anything else is CommandException "[code: message]".
Result<void> check(DefaultState&& reply);

// --- writing ---------------------------------------------------------------------------

// Each writes the record as one compact JSON object with all its keys in byte order,
// replacing the content of `out` (whose capacity is reused).
void serialize_into(std::string& out, const DefaultState& reply);
void serialize_into(std::string& out, const GetDataState& reply);

// A plausible "get_data" reply of an idle arm: every number and flag zero, "errorCode" "0",
// "errorMsg" empty.
GetDataState default_get_data_state();

}  // namespace orvek
