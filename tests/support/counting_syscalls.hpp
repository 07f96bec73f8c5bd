#pragma once
// Counts of the socket calls the calling thread made through the wrappers of
// counting_syscalls.cpp. Linked into an executable, the wrappers stand in for the C library's
// functions of the same names for every call made from the executable's own code (the
// transport included), and pass each call on to the C library.

#include <cstddef>

namespace orvek::testing {

struct SocketCalls {
  std::size_t send = 0;
  std::size_t recv = 0;
  std::size_t poll = 0;
  std::size_t setsockopt = 0;

  friend bool operator==(const SocketCalls&, const SocketCalls&) = default;
};

// The calls made on the calling thread so far: a fake controller on another thread does
// not disturb a count.
SocketCalls thread_socket_calls() noexcept;

}  // namespace orvek::testing
