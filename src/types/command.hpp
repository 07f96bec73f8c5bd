#pragma once
// The controller's command names, in the controller's own order.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvek {

#define ORVEK_COMMANDS(X)                                                                              \
  X(power_on) X(power_off) X(enable_robot) X(joint_move) X(end_move) X(shutdown) X(quit)             \
  X(get_robot_state) X(disable_robot) X(torque_control_enable) X(torque_feedforward) X(servo_move)  \
  X(servo_j) X(servo_p) X(get_data) X(rapid_rate) X(load_program) X(get_loaded_program)             \
  X(play_program) X(pause_program) X(resume_program) X(stop_program) X(get_program_state)           \
  X(set_digital_output) X(get_digital_input_status) X(set_analog_output) X(set_tool_offsets)        \
  X(set_tool_id) X(set_user_offsets) X(set_user_id) X(get_extio_status) X(get_funcdi_status)        \
  X(drag_status) X(query_user_defined_variable) X(modify_user_defined_variable)                     \
  X(protective_stop_status) X(jog) X(moveL) X(wait_complete) X(set_payload) X(get_payload)          \
  X(set_clsn_sensitivity) X(get_clsn_sensitivity) X(kine_forward) X(kine_inverse) X(clear_error)    \
  X(get_joint_pos) X(get_tcp_pos)

// Each member is named after the string sent under "cmdName".
enum class Command : std::uint8_t {
#define ORVEK_COMMAND_MEMBER(name) name,
  ORVEK_COMMANDS(ORVEK_COMMAND_MEMBER)
#undef ORVEK_COMMAND_MEMBER
};

inline constexpr auto kCommandNames = std::to_array<std::string_view>({
#define ORVEK_COMMAND_NAME(name) #name,
    ORVEK_COMMANDS(ORVEK_COMMAND_NAME)
#undef ORVEK_COMMAND_NAME
});
static_assert(kCommandNames.size() <= 256, "a Command is one byte");

constexpr std::string_view wire_name(Command command) { return kCommandNames[static_cast<std::size_t>(command)]; }

constexpr std::optional<Command> command_from_wire_name(std::string_view name) {
  for (std::size_t index = 0; index < kCommandNames.size(); ++index) {
    if (kCommandNames[index] == name) return static_cast<Command>(index);
  }
  return std::nullopt;
}

}  // namespace orvek
