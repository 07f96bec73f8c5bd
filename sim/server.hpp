#pragma once
// The simulator's network side: one listening socket on port 10001 and any number of
// connections, served by one thread around poll(). Each connection is strictly request
// then reply: the next request is read only once the previous one has been answered
// (or, as a script may say, left unanswered).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "controller.hpp"
#include "script.hpp"

namespace orvek::sim {

inline constexpr std::uint16_t kPort = 10001;
inline constexpr std::size_t kMaxRequest = 64 * 1024;  // larger requests drop the connection

class Server {
 public:
  Server(Controller& controller, Script& script);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Opens the log (one JSON line per request or connection event); empty path: no log.
  std::optional<std::string> open_log(const std::string& path);
  // With a log: also log the arm's joints and pose `rate` times a second (0: never).
  void log_samples(double rate);
  // Binds and listens on host:port; on success `address` is the printable form
  // ("127.0.0.1:10001", "[::1]:10001").
  std::optional<std::string> listen(const std::string& host, std::uint16_t port, std::string& address);
  // Serves until `stop_fd` becomes readable (a signalfd or a pipe). Returns 0, or 1
  // when polling fails.
  int run(int stop_fd);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvek::sim
