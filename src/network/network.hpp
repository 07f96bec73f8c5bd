#pragma once
// The one channel to the controller: a TCP stream carrying one request and its one
// reply at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "liborvek/network/timeouts.hpp"
#include "robot_behavior/exception.hpp"
#include "robot_behavior/robot.hpp"
#include "types/reply.hpp"
#include "types/request.hpp"

namespace orvek {

// Every wait for the controller (the connection, a request that cannot be written at once,
// a reply that has not arrived) goes in slices of at most kWaitSlice; between two slices the
// host's interruption check is asked, and when it fires the wait ends with
// robot_behavior::Interrupted. An exchange ended so drops the stream as a time-out does.
// The slices are the socket's own receive and send time-outs, set once: a reply that has
// arrived when it is asked for costs one send and one recv, nothing more.
class NetWork {
 public:
  static constexpr std::uint16_t kPort = 10001;
  static constexpr std::size_t kReadSize = 10240;     // the first read of a reply takes at most this
  static constexpr std::size_t kMaxReply = 1u << 20;  // bound on a reassembled reply
  static constexpr std::chrono::milliseconds kWaitSlice{100};  // see Timeouts

  // No stream: every exchange returns NetworkError "TCP command stream is not initialized".
  NetWork() noexcept;
  // Resolves `ip` + ":10001" and connects to the first address that accepts; panics with
  // the system's error text when none does, throws robot_behavior::Interrupted when
  // `interrupt` fires while a connection attempt waits.
  explicit NetWork(std::string_view ip, Timeouts timeouts = {}, robot_behavior::InterruptCheck interrupt = {});
  NetWork(NetWork&&) noexcept;
  NetWork& operator=(NetWork&&) noexcept;
  NetWork(const NetWork&) = delete;
  NetWork& operator=(const NetWork&) = delete;
  ~NetWork();

  bool has_stream() const noexcept;

  // The check asked between the slices of every later wait (none: wait to the deadline).
  void set_interrupt_check(robot_behavior::InterruptCheck interrupt) noexcept;
  // The time-out of every later exchange, from sending the request until its whole reply
  // has arrived (initially Timeouts::exchange); it must be positive. Without a stream
  // there is nothing to set.
  void set_exchange_timeout(std::chrono::milliseconds timeout);

  // One exchange: writes the request, reads until one complete JSON value has arrived and
  // reads it into Reply (DefaultState or GetDataState). Transport faults, malformed replies
  // and replies that do not fit the record panic; only the absent stream is returned as an
  // error. A time-out, an interruption (robot_behavior::Interrupted) or a reply longer than
  // kMaxReply also drops the stream: the rest of that reply must never be taken for the
  // answer to a later command.
  template <class Reply, class Body>
  Result<Reply> send_and_recv(Command command, const Body& body);

  template <class Reply, class Body>
  Result<Reply> send_and_recv(const Request<Body>& request) {
    return send_and_recv<Reply>(request.command, request.body);
  }

 private:
  struct Impl;
  // Sends out_, receives the reply and reads it into the record; panics on every fault.
  // Made for DefaultState and GetDataState.
  template <class Reply>
  Result<Reply> exchange();

  std::unique_ptr<Impl> impl_;  // null when there is no stream
  std::string out_;             // reused request buffer
};

template <class Reply, class Body>
Result<Reply> NetWork::send_and_recv(Command command, const Body& body) {
  if (!has_stream()) {
    return robot_behavior::fail(robot_behavior::RobotException::network("TCP command stream is not initialized"));
  }
  serialize_into(out_, command, body);
  return exchange<Reply>();
}

}  // namespace orvek
