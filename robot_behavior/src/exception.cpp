#include "robot_behavior/exception.hpp"

#include <cstring>
#include <string_view>

#include "robot_behavior/string_escape.hpp"

namespace robot_behavior {
namespace {

struct KindText {
  std::string_view name;     // debug form
  std::string_view display;  // prefix of the display text
};

constexpr KindText kKinds[] = {
    {"NoException", "none"},
    {"ModelException", "Model exception: "},
    {"NetworkError", "Network exception: "},
    {"IncompatibleVersionException", "Incompatible version: "},
    {"RealtimeException", "Realtime exception: "},
    {"UnprocessableInstructionError", "Unprocessable instruction error: "},
    {"ConflictingInstruction", "Conflicting instruction error: "},
    {"CommandException", "Command exception: "},
    {"InvalidInstruction", "Invalid instruction error: "},
    {"DeserializeError", "Deserialize error: "},
    {"UnWarpError", "UnWarp error: "},
};

const KindText& kind_text(RobotException::Kind kind) { return kKinds[static_cast<std::size_t>(kind)]; }

}  // namespace

RobotException RobotException::incompatible_version(std::uint64_t server_version, std::uint64_t client_version) {
  RobotException error(Kind::IncompatibleVersionException, {});
  error.server_version_ = server_version;
  error.client_version_ = client_version;
  return error;
}

std::string os_error_text(int error_number) {
  char buffer[256];
  // GNU strerror_r returns a pointer that may or may not be the buffer.
  const char* message = strerror_r(error_number, buffer, sizeof buffer);
  std::string text(message);
  text += " (os error ";
  text += std::to_string(error_number);
  text += ')';
  return text;
}

RobotException RobotException::from_errno(int error_number) { return network(os_error_text(error_number)); }

std::string RobotException::display() const {
  std::string out(kind_text(kind_).display);
  if (kind_ == Kind::IncompatibleVersionException) {
    out += "server version " + std::to_string(server_version_) + ", client version " + std::to_string(client_version_);
  } else if (kind_ != Kind::NoException) {
    out += text_;
  }
  return out;
}

std::string RobotException::debug() const {
  std::string out(kind_text(kind_).name);
  if (kind_ == Kind::IncompatibleVersionException) {
    out += " { server_version: " + std::to_string(server_version_) +
           ", client_version: " + std::to_string(client_version_) + " }";
  } else if (kind_ != Kind::NoException) {
    out += '(';
    append_debug_string(out, text_);
    out += ')';
  }
  return out;
}

void panic(const std::string& message) { throw Panic(message); }

}  // namespace robot_behavior
