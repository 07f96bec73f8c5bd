#pragma once
// The one channel to the controller: a TCP stream carrying one request and its one
// reply at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "robot_behavior/exception.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

struct Timeouts {
  std::chrono::milliseconds connect{5000};
  std::chrono::milliseconds exchange{30000};
};

class NetWork {
 public:
  static constexpr std::uint16_t kPort = 10001;
  static constexpr std::size_t kReadSize = 10240;       // one read of the reply
  static constexpr std::size_t kMaxReply = 1u << 20;    // bound on a reassembled reply

  // No stream: every exchange returns NetworkError "TCP command stream is not initialized".
  NetWork() noexcept;
  // Resolves `ip` + ":10001" and connects to the first address that accepts; panics with
  // the system's error text when none does.
  explicit NetWork(std::string_view ip, Timeouts timeouts = {});
  NetWork(NetWork&&) noexcept;
  NetWork& operator=(NetWork&&) noexcept;
  NetWork(const NetWork&) = delete;
  NetWork& operator=(const NetWork&) = delete;
  ~NetWork();

  bool has_stream() const noexcept;

  // One exchange: writes the request, reads one complete reply and reads it into Reply
  // (DefaultState or GetDataState). Transport faults and malformed replies panic; only the
  // absent stream is returned as an error.
  template <class Reply, class Body>
  Result<Reply> send_and_recv(Command command, const Body& body);

  template <class Reply, class Body>
  Result<Reply> send_and_recv(const Request<Body>& request) {
    return send_and_recv<Reply>(request.command, request.body);
  }

 private:
  struct Impl;
  // Sends out_ and returns the reply text (padded for the parser); panics on faults.
  Result<std::string_view> exchange_text();
  Result<DefaultState> read_reply(std::string_view text, DefaultState*);
  Result<GetDataState> read_reply(std::string_view text, GetDataState*);

  std::unique_ptr<Impl> impl_;  // null when there is no stream
  std::string out_;             // reused request buffer
};

template <class Reply, class Body>
Result<Reply> NetWork::send_and_recv(Command command, const Body& body) {
  if (!has_stream()) {
    return robot_behavior::fail(robot_behavior::RobotException::network("TCP command stream is not initialized"));
  }
  serialize_into(out_, command, body);
  auto text = exchange_text();
  if (!text) return robot_behavior::fail(std::move(text.error()));
  return read_reply(*text, static_cast<Reply*>(nullptr));
}

}  // namespace orvek
