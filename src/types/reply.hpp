#pragma once
// Reply records: strict reading from JSON text, and writing (for the simulator, tests and
// benchmarks).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "robot_behavior/exception.hpp"
#include "types/fields.hpp"

namespace simdjson::dom {
class parser;
class element;
}  // namespace simdjson::dom

namespace orvek {

using robot_behavior::Result;

// The reply of every command except "get_data".
struct DefaultState {
#define ORVEK_FIELDS(X)                                        \
  X(error_code, "errorCode", std::string) /* "0" is success */ \
  X(error_msg, "errorMsg", std::string)
  ORVEK_WIRE_FIELDS(DefaultState, ORVEK_FIELDS)
#undef ORVEK_FIELDS

  friend bool operator==(const DefaultState&, const DefaultState&) = default;
};

// The reply of "get_data": every key required, with exactly these types and lengths. The
// array form of a reply lists the values in this order.
struct GetDataState {
#define ORVEK_FIELDS(X)                                                    \
  X(len, "len", std::uint16_t)                                             \
  X(joint_actual_position, "joint_actual_position", std::array<double, 6>) \
  X(drag_status, "drag_status", bool)                                      \
  X(actual_position, "actual_position", std::array<double, 6>)             \
  X(din, "din", std::array<std::uint8_t, 199>)                             \
  X(dout, "dout", std::array<std::uint8_t, 199>)                           \
  X(ain, "ain", std::array<double, 128>)                                   \
  X(aout, "aout", std::array<double, 128>)                                 \
  X(tio_din, "tio_din", std::array<std::uint8_t, 8>)                       \
  X(tio_dout, "tio_dout", std::array<std::uint8_t, 8>)                     \
  X(tio_ain, "tio_ain", std::array<double, 2>)                             \
  X(relay_io, "relay_io", std::array<std::uint8_t, 2>)                     \
  X(mb_slave_din, "mb_slave_din", std::array<std::uint8_t, 128>)           \
  X(mb_slave_dout, "mb_slave_dout", std::array<std::uint8_t, 128>)         \
  X(mb_slave_ain, "mb_slave_ain", std::array<double, 64>)                  \
  X(mb_slave_aout, "mb_slave_aout", std::array<double, 64>)                \
  X(pn_dev_din, "pn_dev_din", std::array<std::uint8_t, 64>)                \
  X(pn_dev_dout, "pn_dev_dout", std::array<std::uint8_t, 64>)              \
  X(pn_dev_ain, "pn_dev_ain", std::array<double, 64>)                      \
  X(pn_dev_aout, "pn_dev_aout", std::array<double, 64>)                    \
  X(eip_adpt_din, "eip_adpt_din", std::array<std::uint8_t, 64>)            \
  X(eip_adpt_dout, "eip_adpt_dout", std::array<std::uint8_t, 64>)          \
  X(eip_adpt_ain, "eip_adpt_ain", std::array<double, 48>)                  \
  X(eip_adpt_aout, "eip_adpt_aout", std::array<double, 48>)                \
  X(task_state, "task_state", std::uint8_t)                                \
  X(homed, "homed", std::array<std::uint8_t, 9>)                           \
  X(task_mode, "task_mode", std::uint8_t)                                  \
  X(interp_state, "interp_state", std::uint8_t)                            \
  X(enabled, "enabled", bool)                                              \
  X(paused, "paused", bool)                                                \
  X(rapidrate, "rapidrate", double)                                        \
  X(current_tool_id, "current_tool_id", std::uint8_t)                      \
  X(current_user_id, "current_user_id", std::uint8_t)                      \
  X(protective_stop, "protective_stop", std::uint8_t)                      \
  X(on_soft_limit, "on_soft_limit", std::uint8_t)                          \
  X(emergency_stop, "emergency_stop", std::uint8_t)                        \
  X(drag_near_limit, "drag_near_limit", std::array<std::uint8_t, 6>)       \
  X(powered_on, "powered_on", std::uint8_t)                                \
  X(inpos, "inpos", bool)                                                  \
  X(executing_line, "executing_line", std::uint8_t)                        \
  X(curr_tcp_trans_vel, "curr_tcp_trans_vel", double)                      \
  X(error_code, "errorCode", std::string)                                  \
  X(error_msg, "errorMsg", std::string)
  ORVEK_WIRE_FIELDS(GetDataState, ORVEK_FIELDS)
#undef ORVEK_FIELDS

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
