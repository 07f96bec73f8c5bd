#pragma once
// Reply records and their strict reading from JSON text.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "robot_behavior/exception.hpp"

namespace simdjson::ondemand {
class parser;
}

namespace orvek {

using robot_behavior::Result;

// The reply of every command except "get_data".
struct DefaultState {
  std::string error_code;  // "errorCode": "0" is success
  std::string error_msg;   // "errorMsg"
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
};

// Reads one reply. `text` must be followed by simdjson::SIMDJSON_PADDING readable bytes.
// Malformed JSON (or anything but one JSON value with surrounding whitespace) panics with
// the parser's message; a value that does not fit the record is DeserializeError.
Result<DefaultState> deserialize_default(simdjson::ondemand::parser& parser, std::string_view padded_text);
Result<GetDataState> deserialize_get_data(simdjson::ondemand::parser& parser, std::string_view padded_text);

// "errorCode" exactly "0" is success; anything else is CommandException "[code: message]".
Result<void> check(DefaultState&& reply);

}  // namespace orvek
