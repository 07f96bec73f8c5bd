#pragma once
// The one channel to the controller: a TCP stream carrying one request and its one
// reply at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "network/timeouts.hpp"
#include "robot_behavior/exception.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

class NetWork {
 public:
  static constexpr std::uint16_t kPort = 10001;
  static constexpr std::size_t kReadSize = 10240;     // the first read of a reply takes at most this
  static constexpr std::size_t kMaxReply = 1u << 20;  // bound on a reassembled reply

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

  // One exchange: writes the request, reads until one complete JSON value has arrived and
  // reads it into Reply (DefaultState or GetDataState). Transport faults, malformed replies
  // and replies that do not fit the record panic; only the absent stream is returned as an
  // error. A time-out, or a reply longer than kMaxReply, also drops the stream: the rest of
  // that reply must never be taken for the answer to a later command.
  template <class Reply, class Body>
  Result<Reply> send_and_recv(Command command, const Body& body);

  template <class Reply, class Body>
  Result<Reply> send_and_recv(const Request<Body>& request) {
    return send_and_recv<Reply>(request.command, request.body);
  }

 private:
  struct Impl;
  // Sends out_, receives and parses the reply, reads the record; panics on every fault.
  Result<DefaultState> exchange(DefaultState*);
  Result<GetDataState> exchange(GetDataState*);
  // Sends out_ and returns the parsed reply (owned by the stream's parser until the next
  // exchange).
  simdjson::dom::element round_trip();

  std::unique_ptr<Impl> impl_;  // null when there is no stream
  std::string out_;             // reused request buffer
};

template <class Reply, class Body>
Result<Reply> NetWork::send_and_recv(Command command, const Body& body) {
  if (!has_stream()) {
    return robot_behavior::fail(robot_behavior::RobotException::network("TCP command stream is not initialized"));
  }
  serialize_into(out_, command, body);
  return exchange(static_cast<Reply*>(nullptr));
}

}  // namespace orvek
