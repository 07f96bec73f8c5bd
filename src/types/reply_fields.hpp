#pragma once
// The keys of the reply records, once, in declaration order. The reader, the writer and the
// array form all follow these tables, so the three can never disagree.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "types/reply.hpp"

namespace orvek::reply_fields {

// X(member, "key") for every field, in declaration order.
#define ORVEK_DEFAULT_STATE_FIELDS(X) X(error_code, "errorCode") X(error_msg, "errorMsg")

#define ORVEK_GET_DATA_FIELDS(X)                                                                     \
  X(len, "len") X(joint_actual_position, "joint_actual_position") X(drag_status, "drag_status")     \
  X(actual_position, "actual_position") X(din, "din") X(dout, "dout") X(ain, "ain") X(aout, "aout") \
  X(tio_din, "tio_din") X(tio_dout, "tio_dout") X(tio_ain, "tio_ain") X(relay_io, "relay_io")       \
  X(mb_slave_din, "mb_slave_din") X(mb_slave_dout, "mb_slave_dout") X(mb_slave_ain, "mb_slave_ain") \
  X(mb_slave_aout, "mb_slave_aout") X(pn_dev_din, "pn_dev_din") X(pn_dev_dout, "pn_dev_dout")       \
  X(pn_dev_ain, "pn_dev_ain") X(pn_dev_aout, "pn_dev_aout") X(eip_adpt_din, "eip_adpt_din")         \
  X(eip_adpt_dout, "eip_adpt_dout") X(eip_adpt_ain, "eip_adpt_ain") X(eip_adpt_aout, "eip_adpt_aout") \
  X(task_state, "task_state") X(homed, "homed") X(task_mode, "task_mode")                           \
  X(interp_state, "interp_state") X(enabled, "enabled") X(paused, "paused") X(rapidrate, "rapidrate") \
  X(current_tool_id, "current_tool_id") X(current_user_id, "current_user_id")                       \
  X(protective_stop, "protective_stop") X(on_soft_limit, "on_soft_limit")                           \
  X(emergency_stop, "emergency_stop") X(drag_near_limit, "drag_near_limit")                         \
  X(powered_on, "powered_on") X(inpos, "inpos") X(executing_line, "executing_line")                 \
  X(curr_tcp_trans_vel, "curr_tcp_trans_vel") X(error_code, "errorCode") X(error_msg, "errorMsg")

#define ORVEK_FIELD_KEY(member, key) key,

template <class Record>
struct Keys;

template <>
struct Keys<DefaultState> {
  static constexpr std::array<std::string_view, 2> value = {ORVEK_DEFAULT_STATE_FIELDS(ORVEK_FIELD_KEY)};
};

template <>
struct Keys<GetDataState> {
  static constexpr std::array<std::string_view, 43> value = {ORVEK_GET_DATA_FIELDS(ORVEK_FIELD_KEY)};
};

template <class Record>
inline constexpr std::size_t kFieldCount = Keys<Record>::value.size();

// Field indices sorted by the byte order of their keys: the order the writer uses.
template <class Record>
constexpr auto byte_order() {
  constexpr auto& keys = Keys<Record>::value;
  std::array<std::size_t, keys.size()> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  return order;
}

}  // namespace orvek::reply_fields
