// Wrappers around send, recv, poll and setsockopt that count each call per thread and pass
// it on to the C library's own function (found once with dlsym, RTLD_NEXT).

#include "counting_syscalls.hpp"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>

namespace {

thread_local orvek::testing::SocketCalls t_calls;

template <class Function>
Function next(const char* name) {
  void* found = ::dlsym(RTLD_NEXT, name);
  if (found == nullptr) std::abort();  // no C library to pass the call on to
  return reinterpret_cast<Function>(found);
}

}  // namespace

namespace orvek::testing {

SocketCalls thread_socket_calls() noexcept { return t_calls; }

}  // namespace orvek::testing

extern "C" {

ssize_t send(int fd, const void* data, size_t size, int flags) {
  static const auto real = next<ssize_t (*)(int, const void*, size_t, int)>("send");
  ++t_calls.send;
  return real(fd, data, size, flags);
}

ssize_t recv(int fd, void* data, size_t size, int flags) {
  static const auto real = next<ssize_t (*)(int, void*, size_t, int)>("recv");
  ++t_calls.recv;
  return real(fd, data, size, flags);
}

int poll(pollfd* entries, nfds_t count, int timeout) {
  static const auto real = next<int (*)(pollfd*, nfds_t, int)>("poll");
  ++t_calls.poll;
  return real(entries, count, timeout);
}

int setsockopt(int fd, int level, int name, const void* value, socklen_t size) noexcept {
  static const auto real = next<int (*)(int, int, int, const void*, socklen_t)>("setsockopt");
  ++t_calls.setsockopt;
  return real(fd, level, name, value, size);
}

}  // extern "C"
