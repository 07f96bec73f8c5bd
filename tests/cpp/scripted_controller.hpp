#pragma once
// A controller stand-in on a thread of the test: listens on <ip>:10001 (IPv4 or IPv6),
// records every request text and every byte exactly as received and answers from a
// scripted queue.
//
// Each test uses its own loopback address (127.0.A.B) so tests can run side by side.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "types/reply.hpp"

namespace orvek::testing {

class ScriptedController {
 public:
  // Listens on a loopback address of its own, 127.0.A.B with A from 20 to 99: each process
  // starts at a place set by its id, so that test programs running at once start apart, and
  // an address another process holds is skipped. host() names it.
  ScriptedController() {
    static std::atomic<unsigned> next{static_cast<unsigned>(::getpid()) * 7919u};
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const unsigned index = next++ % (80 * 254);
      const std::string ip = "127.0." + std::to_string(20 + index / 254) + "." + std::to_string(1 + index % 254);
      if (listen_on(ip, /*taken_is_failure=*/false)) return;
    }
    throw std::runtime_error("no free loopback address for a scripted controller");
  }

  explicit ScriptedController(const std::string& ip) { listen_on(ip, /*taken_is_failure=*/true); }

  const std::string& host() const { return host_; }

  ScriptedController(const ScriptedController&) = delete;
  ScriptedController& operator=(const ScriptedController&) = delete;

  ~ScriptedController() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

 private:
  // Listens on ip:10001 and starts serving; false when the address is taken and that is no
  // failure.
  bool listen_on(const std::string& ip, bool taken_is_failure) {
    sockaddr_storage address{};
    socklen_t size = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, ip.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(10001);
      size = sizeof *v4;
    } else if (::inet_pton(AF_INET6, ip.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(10001);
      size = sizeof *v6;
    } else {
      throw std::runtime_error("bad address " + ip);
    }
    listener_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 4) != 0) {
      const int error = errno;
      ::close(listener_);
      listener_ = -1;
      if (error == EADDRINUSE && !taken_is_failure) return false;
      throw std::runtime_error("listen on " + ip + ":10001: " + std::strerror(error));
    }
    host_ = ip;
    thread_ = std::thread([this] { serve(); });
    return true;
  }

 public:

  // --- the script: one entry per request, in order ---

  void reply(std::string text) { push({{std::move(text)}}); }
  // Each part is its own TCP segment, sent `pause` after the one before.
  void reply_in_parts(std::vector<std::string> parts, std::chrono::milliseconds pause) {
    push({std::move(parts), pause});
  }
  // Sends `text`, then ends the connection.
  void reply_and_close(std::string text) { push({{std::move(text)}, {}, true}); }
  void reply_ok() { reply_default("0", ""); }
  void reply_default(const std::string& code, const std::string& message) {
    std::string text;
    serialize_into(text, DefaultState{code, message});
    reply(std::move(text));
  }
  // A "get_data" reply of an idle arm except for the tool centre point's speed.
  void reply_get_data(double tcp_speed) {
    GetDataState state = default_get_data_state();
    state.curr_tcp_trans_vel = tcp_speed;
    reply_get_data(state);
  }
  void reply_get_data(const GetDataState& state) {
    std::string text;
    serialize_into(text, state);
    reply(std::move(text));
  }
  // Reads the request and answers nothing.
  void stay_silent() { push({}); }

  // When the script is empty: "get_data" gets an idle arm moving at this speed (0 unless
  // set), every other command {"errorCode":"0","errorMsg":""}.
  void set_unscripted_tcp_speed(double speed) {
    std::lock_guard lock(mutex_);
    unscripted_speed_ = speed;
  }

  // --- what arrived ---

  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::size_t request_count() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
  }
  void clear_requests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }
  // Every byte the client wrote, once it has closed its connection (waits up to 10 s).
  std::string received() const {
    for (int i = 0; i < 10000 && open_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  struct Step {
    std::vector<std::string> parts;  // none: stay silent
    std::chrono::milliseconds pause{};
    bool close = false;
  };

  void push(Step step) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(step));
  }

  // Waits until `fd` is readable or the controller is told to stop.
  bool wait_readable(int fd) const {
    while (!stop_) {
      pollfd entry{fd, POLLIN, 0};
      const int ready = ::poll(&entry, 1, 20);
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
    }
    return false;
  }

  // The length of the first complete JSON object in `text`, or 0 while it is incomplete.
  static std::size_t complete_object(std::string_view text) {
    int depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (in_string) {
        if (escaped) {
          escaped = false;
        } else if (c == '\\') {
          escaped = true;
        } else if (c == '"') {
          in_string = false;
        }
      } else if (c == '"') {
        in_string = true;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if (c == '}' || c == ']') {
        if (--depth == 0) return i + 1;
      }
    }
    return 0;
  }

  Step next_step(std::string_view request) {
    std::lock_guard lock(mutex_);
    requests_.emplace_back(request);
    if (!script_.empty()) {
      Step step = std::move(script_.front());
      script_.pop_front();
      return step;
    }
    std::string text;
    if (request == R"({"cmdName":"get_data"})") {
      GetDataState state = default_get_data_state();
      state.curr_tcp_trans_vel = unscripted_speed_;
      serialize_into(text, state);
    } else {
      serialize_into(text, DefaultState{"0", ""});
    }
    return {{std::move(text)}};
  }

  static bool send_all(int fd, std::string_view text) {
    while (!text.empty()) {
      const ssize_t sent = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      if (sent <= 0) return false;
      text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  void serve_connection(int fd) {
    std::string pending;
    char buffer[4096];
    while (wait_readable(fd)) {
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;
      pending.append(buffer, static_cast<std::size_t>(got));
      {
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<std::size_t>(got));
      }
      while (const std::size_t length = complete_object(pending)) {
        const Step step = next_step(std::string_view(pending).substr(0, length));
        pending.erase(0, length);
        for (std::size_t i = 0; i < step.parts.size(); ++i) {
          if (i > 0) std::this_thread::sleep_for(step.pause);
          if (!send_all(fd, step.parts[i])) return;
        }
        if (step.close) {
          ::shutdown(fd, SHUT_RDWR);
          return;
        }
      }
    }
  }

  void serve() {
    while (wait_readable(listener_)) {
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      open_ = true;
      serve_connection(fd);
      ::close(fd);
      open_ = false;
    }
  }

  int listener_ = -1;
  std::string host_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> open_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::deque<Step> script_;
  std::vector<std::string> requests_;
  std::string received_;
  double unscripted_speed_ = 0.0;
};

}  // namespace orvek::testing

namespace orvek::testing {

// "ok", or the display text of the error.
template <class T>
std::string shown(const robot_behavior::Result<T>& result) {
  return result ? std::string("ok") : result.error().display();
}

// The text of the internal failure `action` ends with, or "no failure".
template <class F>
std::string panic_text(F&& action) {
  try {
    action();
  } catch (const robot_behavior::Panic& failure) {
    return failure.what();
  }
  return "no failure";
}

}  // namespace orvek::testing
