#pragma once
// The tests' fake controller: the simulator's server (orvek_sim_core) on a thread of the
// test, listening on <ip>:10001 (IPv4 or IPv6), answering from a script of one step per
// request (the script's "*" steps) and recording every request and every byte as received.
// Unscripted, "get_data" gets an idle arm and every other command {"errorCode":"0",...}:
// the simulated arm itself never answers.
//
// Each test uses its own loopback address (127.0.A.B) so tests can run side by side.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "controller.hpp"
#include "script.hpp"
#include "server.hpp"
#include "types/reply.hpp"

namespace orvek::testing {

class FakeController {
 public:
  // Listens on a loopback address of its own, 127.0.A.B with A from 20 to 99: each process
  // starts at a place set by its id, so that test programs running at once start apart, and
  // an address another process holds is skipped. host() names it.
  FakeController() {
    static std::atomic<unsigned> next{static_cast<unsigned>(::getpid()) * 7919u};
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const unsigned index = next++ % (80 * 254);
      const std::string ip = "127.0." + std::to_string(20 + index / 254) + "." + std::to_string(1 + index % 254);
      if (listen_on(ip, /*taken_is_failure=*/false)) return;
    }
    throw std::runtime_error("no free loopback address for a fake controller");
  }

  explicit FakeController(const std::string& ip) { listen_on(ip, /*taken_is_failure=*/true); }

  FakeController(const FakeController&) = delete;
  FakeController& operator=(const FakeController&) = delete;

  ~FakeController() {
    if (thread_.joinable()) {
      const char stop = 's';
      (void)!::write(stop_[1], &stop, 1);
      thread_.join();
    }
    ::close(stop_[0]);
    ::close(stop_[1]);
  }

  const std::string& host() const { return host_; }

  // --- the script: one step per request, in order ---

  void reply(std::string text) { script_.add(sim::Script::kAnyRequest, bytes({std::move(text)})); }
  // Each part is its own TCP segment, sent `pause` after the one before.
  void reply_in_parts(std::vector<std::string> parts, std::chrono::milliseconds pause) {
    script_.add(sim::Script::kAnyRequest, bytes(std::move(parts), pause));
  }
  // Sends `text`, then ends the connection.
  void reply_and_close(std::string text) {
    sim::Step step = bytes({std::move(text)});
    step.then_close = true;
    script_.add(sim::Script::kAnyRequest, std::move(step));
  }
  void reply_ok() { reply_default("0", ""); }
  void reply_default(const std::string& code, const std::string& message) { reply(default_text(code, message)); }
  // A "get_data" reply of an idle arm except for the tool centre point's speed.
  void reply_get_data(double tcp_speed) { reply(get_data_text(tcp_speed)); }
  void reply_get_data(const GetDataState& state) {
    std::string text;
    serialize_into(text, state);
    reply(std::move(text));
  }
  // Reads the request and answers nothing.
  void stay_silent() {
    sim::Step step;
    step.answer = sim::Step::Answer::Nothing;
    step.execute = false;
    script_.add(sim::Script::kAnyRequest, std::move(step));
  }

  // When the script is empty: "get_data" gets an idle arm moving at this speed (0 unless
  // set), every other command {"errorCode":"0","errorMsg":""}.
  void set_unscripted_tcp_speed(double speed) { script_.set_default("get_data", bytes({get_data_text(speed)})); }

  // --- what arrived ---

  std::vector<std::string> requests() const { return traffic_.requests(); }
  std::size_t request_count() const { return traffic_.request_count(); }
  void clear_requests() { traffic_.clear_requests(); }
  // Every byte the client wrote, once it has closed its connection (waits up to 10 s).
  std::string received() const {
    for (int i = 0; i < 10000 && traffic_.open_connections() != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return traffic_.bytes();
  }

 private:
  static sim::Step bytes(std::vector<std::string> segments, std::chrono::milliseconds pause = {}) {
    sim::Step step;
    step.answer = sim::Step::Answer::Bytes;
    step.segments = std::move(segments);
    step.pause = std::chrono::duration<double>(pause).count();
    step.execute = false;
    return step;
  }
  static std::string default_text(const std::string& code, const std::string& message) {
    std::string text;
    serialize_into(text, DefaultState{code, message});
    return text;
  }
  static std::string get_data_text(double tcp_speed) {
    GetDataState state = default_get_data_state();
    state.curr_tcp_trans_vel = tcp_speed;
    std::string text;
    serialize_into(text, state);
    return text;
  }

  // Listens on ip:10001 and starts serving; false when the address is taken and that is no
  // failure.
  bool listen_on(const std::string& ip, bool taken_is_failure) {
    std::string address;
    int error = 0;
    if (auto failure = server_.listen(ip, sim::kPort, address, &error)) {
      if (error == EADDRINUSE && !taken_is_failure) return false;
      throw std::runtime_error(*failure);
    }
    host_ = ip;
    script_.set_default(sim::Script::kAnyRequest, bytes({default_text("0", "")}));
    set_unscripted_tcp_speed(0.0);
    server_.keep_traffic(traffic_);
    if (::pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { server_.run(stop_[0]); });
    return true;
  }

  sim::Controller controller_;
  sim::Script script_;
  sim::Traffic traffic_;
  sim::Server server_{controller_, script_};
  int stop_[2] = {-1, -1};
  std::string host_;
  std::thread thread_;
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
