#pragma once
// The simulator's network side: one listening socket on port 10001 and any number of
// connections, served by one thread around poll(). Each connection is strictly request
// then reply: the next request is read only once the previous one has been answered
// (or, as a script may say, left unanswered).

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controller.hpp"
#include "script.hpp"

namespace orvek::sim {

inline constexpr std::uint16_t kPort = 10001;
inline constexpr std::size_t kMaxRequest = 64 * 1024;  // larger requests drop the connection

// What a server has received, kept for a caller on another thread (the C++ tests' fake
// controller): every byte in the order it arrived, each request's text as it was cut out of
// the stream (as the log's "raw"), and how many connections are open.
class Traffic {
 public:
  std::string bytes() const;
  std::vector<std::string> requests() const;
  std::size_t request_count() const;
  void clear_requests();
  std::size_t open_connections() const;

 private:
  friend class Server;
  mutable std::mutex mutex_;
  std::string bytes_;
  std::vector<std::string> requests_;
  std::size_t open_ = 0;
};

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
  // Records what arrives into `traffic` from now on.
  void keep_traffic(Traffic& traffic);
  // Binds and listens on host:port; on success `address` is the printable form
  // ("127.0.0.1:10001", "[::1]:10001"). On failure, `error` (when given) gets the errno of
  // the last attempt.
  std::optional<std::string> listen(const std::string& host, std::uint16_t port, std::string& address,
                                    int* error = nullptr);
  // Serves until `stop_fd` becomes readable (a signalfd or a pipe). Returns 0, or 1
  // when polling fails.
  int run(int stop_fd);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvek::sim
