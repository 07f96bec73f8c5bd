#pragma once
// Reads one request text (a JSON object naming its command under "cmdName") into the
// request bodies the library writes.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <simdjson.h>

#include "types/command.hpp"
#include "types/request.hpp"

namespace orvek::sim {

using Body = std::variant<EmptyBody, JointMoveData, MoveLData, ServoJData, ServoPData, ServoMoveData, SetPayloadData>;

struct SimRequest {
  std::string name;                // "cmdName" as sent; empty when absent or not a string
  std::optional<Command> command;  // when the name is one of the controller's commands
  Body body;
};

enum class ReadStatus {
  Ok,
  NotJson,  // not one well-formed JSON object: the connection is dropped
  Invalid,  // well-formed but not a request the simulator can carry out: error reply
};

struct ReadResult {
  ReadStatus status;
  std::string message;  // why, for NotJson and Invalid
};

class RequestReader {
 public:
  // `text` is one complete JSON object as framed from the stream. `out.name` is set
  // whenever "cmdName" is a string, even when the rest of the body is invalid.
  ReadResult read(std::string_view text, SimRequest& out);

 private:
  simdjson::dom::parser parser_;
  std::string padded_;  // the text followed by the parser's padding
};

}  // namespace orvek::sim
