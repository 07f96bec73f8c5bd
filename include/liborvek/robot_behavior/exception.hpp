#pragma once
/// @file
/// The one error type of every fallible operation, and the internal failure.

#include <cstdint>
#include <expected>
#include <stdexcept>
#include <string>

namespace robot_behavior {

class RobotException {
 public:
  enum class Kind : std::uint8_t {
    NoException,
    ModelException,
    NetworkError,
    IncompatibleVersionException,
    RealtimeException,
    UnprocessableInstructionError,
    ConflictingInstruction,
    CommandException,
    InvalidInstruction,
    DeserializeError,
    UnWarpError,
  };

  static RobotException no_exception() { return RobotException(Kind::NoException, {}); }
  static RobotException model(std::string text) { return {Kind::ModelException, std::move(text)}; }
  static RobotException network(std::string text) { return {Kind::NetworkError, std::move(text)}; }
  static RobotException incompatible_version(std::uint64_t server_version, std::uint64_t client_version);
  static RobotException realtime(std::string text) { return {Kind::RealtimeException, std::move(text)}; }
  static RobotException unprocessable(std::string text) {
    return {Kind::UnprocessableInstructionError, std::move(text)};
  }
  static RobotException conflicting(std::string text) { return {Kind::ConflictingInstruction, std::move(text)}; }
  static RobotException command(std::string text) { return {Kind::CommandException, std::move(text)}; }
  static RobotException invalid(std::string text) { return {Kind::InvalidInstruction, std::move(text)}; }
  static RobotException deserialize(std::string text) { return {Kind::DeserializeError, std::move(text)}; }
  static RobotException unwarp(std::string text) { return {Kind::UnWarpError, std::move(text)}; }
  /// An I/O error with an operating-system error number: "<strerror> (os error N)".
  static RobotException from_errno(int error_number);

  Kind kind() const { return kind_; }
  /// The payload text of a text variant; empty for the other two.
  const std::string& text() const { return text_; }
  std::uint64_t server_version() const { return server_version_; }
  std::uint64_t client_version() const { return client_version_; }

  /// "Command exception: Robot is moving"
  std::string display() const;
  /// CommandException("Robot is moving")
  std::string debug() const;

  friend bool operator==(const RobotException&, const RobotException&) = default;

 private:
  RobotException(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_;
  std::string text_;
  std::uint64_t server_version_ = 0;
  std::uint64_t client_version_ = 0;
};

template <class T>
using Result = std::expected<T, RobotException>;

inline std::unexpected<RobotException> fail(RobotException error) { return std::unexpected(std::move(error)); }

/// The system's text for an operating-system error number followed by " (os error N)".
std::string os_error_text(int error_number);

/// An internal failure: aborts the current call and surfaces at the binding boundary.
class Panic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void panic(const std::string& message);

/// The prefix of every failure that unwraps an error that was not expected to happen.
inline constexpr std::string_view kUnwrapPrefix = "called `Result::unwrap()` on an `Err` value: ";

}  // namespace robot_behavior
