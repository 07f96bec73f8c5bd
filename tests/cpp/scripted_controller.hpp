#pragma once
// A controller stand-in on a thread of the test: listens on <ip>:10001, records every
// request text exactly as received and answers from a scripted queue.
//
// Each test uses its own loopback address (127.0.A.B) so tests can run side by side.

#include <arpa/inet.h>
#include <netinet/in.h>
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
  enum class Action { Reply, Silent };

  explicit ScriptedController(const std::string& ip) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(10001);
    if (::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) throw std::runtime_error("bad address " + ip);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0) {
      const std::string error = std::strerror(errno);
      ::close(listener_);
      throw std::runtime_error("listen on " + ip + ":10001: " + error);
    }
    thread_ = std::thread([this] { serve(); });
  }

  ScriptedController(const ScriptedController&) = delete;
  ScriptedController& operator=(const ScriptedController&) = delete;

  ~ScriptedController() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  // --- the script: one entry per request, in order ---

  void reply(std::string text) { push(Action::Reply, std::move(text)); }
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
  void stay_silent() { push(Action::Silent, {}); }

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

 private:
  struct Step {
    Action action;
    std::string text;
  };

  void push(Action action, std::string text) {
    std::lock_guard lock(mutex_);
    script_.push_back({action, std::move(text)});
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
    return {Action::Reply, std::move(text)};
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
      while (const std::size_t length = complete_object(pending)) {
        const Step step = next_step(std::string_view(pending).substr(0, length));
        pending.erase(0, length);
        switch (step.action) {
          case Action::Reply:
            if (!send_all(fd, step.text)) return;
            break;
          case Action::Silent:
            break;
        }
      }
    }
  }

  void serve() {
    while (wait_readable(listener_)) {
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      serve_connection(fd);
      ::close(fd);
    }
  }

  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::deque<Step> script_;
  std::vector<std::string> requests_;
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
