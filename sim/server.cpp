#include "server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include <simdjson.h>

#include "framing.hpp"
#include "kinematics.hpp"
#include "request_reader.hpp"
#include "robot_behavior/number_format.hpp"
#include "robot_behavior/string_escape.hpp"

namespace orvek::sim {

namespace {

using Clock = std::chrono::steady_clock;

struct Action {
  enum class Kind { Write, Close };
  Kind kind;
  double due;
  std::string bytes;
};

struct Connection {
  int fd = -1;
  unsigned id = 0;
  std::string in;
  Framer framer{kMaxRequest};
  std::string out;
  std::size_t out_pos = 0;
  std::deque<Action> actions;
  bool eof = false;  // the client has sent all it will; its last requests are still served
  bool closed = false;

  bool answering() const { return !actions.empty() || out_pos < out.size(); }
};

void set_nonblocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string errno_text(int error) { return std::strerror(error); }

// A log line's string: when `bytes` is not UTF-8, each byte from 0x80 up is written as
// \u00XX, so the line stays JSON.
void append_log_string(std::string& out, std::string_view bytes) {
  const bool utf8 = simdjson::validate_utf8(bytes.data(), bytes.size());
  robot_behavior::append_quoted(out, bytes, utf8 ? robot_behavior::Escapes::Json : robot_behavior::Escapes::JsonBytes);
}

}  // namespace

struct Server::Impl {
  Controller& controller;
  Script& script;
  Clock::time_point start = Clock::now();
  int listen_fd = -1;
  int log_fd = -1;
  double sample_period = 0;  // > 0: the arm's joints and pose are logged at this period
  double next_sample = 0;
  unsigned next_id = 1;
  double accept_paused_until = 0;  // out of descriptors: stop accepting for a moment
  std::vector<std::unique_ptr<Connection>> connections;
  Traffic* traffic = nullptr;  // what arrives is recorded here too, when set
  RequestReader reader;
  SimRequest request;
  std::string reply;
  std::string line;

  Impl(Controller& c, Script& s) : controller(c), script(s) {}

  ~Impl() {
    for (auto& c : connections)
      if (c->fd >= 0) ::close(c->fd);
    if (listen_fd >= 0) ::close(listen_fd);
    if (log_fd >= 0) ::close(log_fd);
  }

  // Adds to the traffic record, when there is one.
  template <class Record>
  void record(Record&& add) {
    if (traffic == nullptr) return;
    const std::lock_guard lock(traffic->mutex_);
    add(*traffic);
  }

  double now() const { return std::chrono::duration<double>(Clock::now() - start).count(); }

  void write_log_line() {
    if (log_fd < 0) return;
    line += '\n';
    std::size_t done = 0;
    while (done < line.size()) {
      const ssize_t n = ::write(log_fd, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a full disk must not stop the controller
      done += static_cast<std::size_t>(n);
    }
  }

  void log_head(unsigned conn) {
    char head[64];
    std::snprintf(head, sizeof head, "{\"conn\":%u,\"t\":%.6f,", conn, now());
    line.assign(head);
  }

  // {"conn":N,"t":T,"KEY":"TEXT"}
  void log_text(unsigned conn, std::string_view key, std::string_view text) {
    if (log_fd < 0) return;
    log_head(conn);
    line += '"';
    line += key;
    line += "\":";
    append_log_string(line, text);
    line += '}';
    write_log_line();
  }
  void log_request(unsigned conn, std::string_view raw) { log_text(conn, "raw", raw); }
  void log_event(unsigned conn, std::string_view event) { log_text(conn, "event", event); }

  // {"t":T,"joint":[6 degrees],"pose":[x,y,z mm, roll,pitch,yaw rad]}: where the arm is,
  // whatever the clients ask, so a plot can show the motion between their requests.
  void log_sample(double t) {
    const Joints q = controller.joints(t);
    Joints radians{};
    for (std::size_t i = 0; i < 6; ++i) radians[i] = q[i] * (3.14159265358979323846 / 180.0);
    const auto pose = to_six(forward(radians));
    char head[32];
    std::snprintf(head, sizeof head, "{\"t\":%.6f,\"joint\":", t);
    line.assign(head);
    for (const auto* values : {&q, &pose}) {
      if (values == &pose) line += ",\"pose\":";
      for (std::size_t i = 0; i < 6; ++i) {
        line += i == 0 ? '[' : ',';
        robot_behavior::append_json_number(line, (*values)[i]);
      }
      line += ']';
    }
    line += '}';
    write_log_line();
  }

  // Logs the samples that are due; a late turn skips the ones it missed.
  void log_due_samples() {
    if (sample_period <= 0 || log_fd < 0) return;
    const double t = now();
    if (t < next_sample) return;
    log_sample(t);
    next_sample += sample_period * (std::floor((t - next_sample) / sample_period) + 1);
  }

  void close_connection(Connection& c, std::string_view event) {
    if (c.closed) return;
    record([](Traffic& r) { --r.open_; });
    log_event(c.id, event);
    ::close(c.fd);
    c.fd = -1;
    c.closed = true;
  }

  void accept_all() {
    for (;;) {
      const int fd = ::accept(listen_fd, nullptr, nullptr);
      if (fd < 0) {
        // Without a free descriptor the pending connection stays readable; polling it at
        // once again would spin, so wait a little before the next try.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) accept_paused_until = now() + 0.1;
        return;  // EAGAIN, or a connection that vanished before it was taken
      }
      set_nonblocking(fd);
      const int one = 1;
      // Each segment of a scripted reply must leave at once as its own TCP segment.
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Connection>();
      c->fd = fd;
      c->id = next_id++;
      log_event(c->id, "open");
      record([](Traffic& r) { ++r.open_; });
      connections.push_back(std::move(c));
    }
  }

  void flush(Connection& c) {
    while (!c.closed && c.out_pos < c.out.size()) {
      const ssize_t n = ::send(c.fd, c.out.data() + c.out_pos, c.out.size() - c.out_pos, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        close_connection(c, "close");
        return;
      }
      c.out_pos += static_cast<std::size_t>(n);
    }
    if (c.out_pos == c.out.size()) {
      c.out.clear();
      c.out_pos = 0;
    }
  }

  // Carries out the actions that are due; true while some are still waiting.
  void run_due(Connection& c, double t) {
    while (!c.closed && !c.actions.empty() && c.actions.front().due <= t) {
      Action& a = c.actions.front();
      if (a.kind == Action::Kind::Close) {
        flush(c);
        if (c.out_pos < c.out.size()) return;  // send what is queued before hanging up
        close_connection(c, "hangup");
        return;
      }
      c.out += a.bytes;
      c.actions.pop_front();
      flush(c);
    }
  }

  void answer(Connection& c, std::string_view text, double t) {
    log_request(c.id, text);
    record([&](Traffic& r) { r.requests_.emplace_back(text); });
    const ReadResult read = reader.read(text, request);
    if (read.status == ReadStatus::NotJson) {
      close_connection(c, "drop");
      return;
    }
    std::optional<Step> step;
    if (!script.empty()) step = script.next(request.name);

    const bool simulate = !step || step->execute;
    if (simulate) {
      if (read.status == ReadStatus::Invalid) controller.refuse_malformed(read.message, reply);
      else controller.handle(request, t, reply);
    }
    if (!step) {
      c.actions.push_back({Action::Kind::Write, t, reply});
      return;
    }
    double due = t + step->delay;
    switch (step->answer) {
      case Step::Answer::Simulated: {
        const bool patched = !step->patch.empty() || !step->remove.empty();
        c.actions.push_back({Action::Kind::Write, due, patched ? apply_patch(reply, *step) : reply});
        break;
      }
      case Step::Answer::Bytes:
        for (std::size_t i = 0; i < step->segments.size(); ++i) {
          if (i > 0) due += step->pause;
          c.actions.push_back({Action::Kind::Write, due, step->segments[i]});
        }
        break;
      case Step::Answer::Nothing:
        return;
      case Step::Answer::Close:
        c.actions.push_back({Action::Kind::Close, due, {}});
        return;
    }
    if (step->then_close) c.actions.push_back({Action::Kind::Close, due, {}});
  }

  // Takes complete requests from the input while the connection is free to answer.
  void serve_input(Connection& c) {
    while (!c.closed && !c.answering()) {
      const FrameResult frame = c.framer.scan(c.in);
      if (frame.status == FrameStatus::NeedMore) return;
      if (frame.status != FrameStatus::Complete) {
        close_connection(c, "drop");
        return;
      }
      const double t = now();
      answer(c, std::string_view(c.in).substr(frame.begin, frame.end - frame.begin), t);
      c.in.erase(0, frame.end);
      c.framer.reset();
      run_due(c, t);
    }
  }

  void read_input(Connection& c) {
    char buffer[16 * 1024];
    // Read at most a few buffers per turn so one busy client cannot starve the others.
    for (int round = 0; round < 4 && !c.closed; ++round) {
      const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        close_connection(c, "close");
        return;
      }
      if (n == 0) {
        c.eof = true;
        return;
      }
      c.in.append(buffer, static_cast<std::size_t>(n));
      record([&](Traffic& r) { r.bytes_.append(buffer, static_cast<std::size_t>(n)); });
      if (c.in.size() > 2 * kMaxRequest) return;  // the framer decides on what is there
    }
  }
};

std::string Traffic::bytes() const {
  const std::lock_guard lock(mutex_);
  return bytes_;
}

std::vector<std::string> Traffic::requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t Traffic::request_count() const {
  const std::lock_guard lock(mutex_);
  return requests_.size();
}

void Traffic::clear_requests() {
  const std::lock_guard lock(mutex_);
  requests_.clear();
}

std::size_t Traffic::open_connections() const {
  const std::lock_guard lock(mutex_);
  return open_;
}

Server::Server(Controller& controller, Script& script) : impl_(std::make_unique<Impl>(controller, script)) {}
Server::~Server() = default;

std::optional<std::string> Server::open_log(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot open log " + path + ": " + errno_text(errno);
  impl_->log_fd = fd;
  return std::nullopt;
}

void Server::log_samples(double rate) { impl_->sample_period = rate > 0 ? 1.0 / rate : 0; }

void Server::keep_traffic(Traffic& traffic) { impl_->traffic = &traffic; }

std::optional<std::string> Server::listen(const std::string& host, std::uint16_t port, std::string& address,
                                          int* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    return "cannot resolve " + host + ": " + gai_strerror(rc);
  }
  std::string last_error = "no address";
  int last_errno = 0;
  for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      last_errno = errno;
      last_error = errno_text(last_errno);
      continue;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (ai->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 128) != 0) {
      last_errno = errno;
      last_error = errno_text(last_errno);
      ::close(fd);
      continue;
    }
    char numeric[NI_MAXHOST];
    if (::getnameinfo(ai->ai_addr, ai->ai_addrlen, numeric, sizeof numeric, nullptr, 0, NI_NUMERICHOST) != 0) {
      std::snprintf(numeric, sizeof numeric, "%s", host.c_str());
    }
    address = ai->ai_family == AF_INET6 ? "[" + std::string(numeric) + "]" : std::string(numeric);
    address += ":" + service;
    set_nonblocking(fd);
    impl_->listen_fd = fd;
    ::freeaddrinfo(found);
    return std::nullopt;
  }
  ::freeaddrinfo(found);
  if (error != nullptr) *error = last_errno;
  return "cannot listen on " + host + ":" + service + ": " + last_error;
}

int Server::run(int stop_fd) {
  Impl& s = *impl_;
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({stop_fd, POLLIN, 0});
    const bool accepting = s.now() >= s.accept_paused_until;
    fds.push_back({s.listen_fd, static_cast<short>(accepting ? POLLIN : 0), 0});
    double next_due = accepting ? -1 : s.accept_paused_until;
    if (s.sample_period > 0 && s.log_fd >= 0 && (next_due < 0 || s.next_sample < next_due)) next_due = s.next_sample;
    for (const auto& c : s.connections) {
      short events = 0;
      if (!c->answering() && !c->eof) events |= POLLIN;
      if (c->out_pos < c->out.size()) events |= POLLOUT;
      fds.push_back({c->fd, events, 0});
      // A connection whose output is backed up waits for POLLOUT, not for a timer.
      if (c->out_pos < c->out.size() || c->actions.empty()) continue;
      if (next_due < 0 || c->actions.front().due < next_due) next_due = c->actions.front().due;
    }
    timespec timeout{};
    timespec* timeout_ptr = nullptr;
    if (next_due >= 0) {
      const double wait = std::max(0.0, next_due - s.now());
      timeout.tv_sec = static_cast<time_t>(wait);
      timeout.tv_nsec = static_cast<long>((wait - std::floor(wait)) * 1e9);
      timeout_ptr = &timeout;
    }
    const int ready = ::ppoll(fds.data(), fds.size(), timeout_ptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "orvek-sim: poll failed: %s\n", std::strerror(errno));
      return 1;
    }
    if (fds[0].revents != 0) return 0;
    s.log_due_samples();
    if (fds[1].revents & POLLIN) s.accept_all();

    const double t = s.now();
    // Connections accepted above have no entry in fds yet; they are polled next turn.
    for (std::size_t i = 0; i + 2 < fds.size(); ++i) {
      Connection& c = *s.connections[i];
      const short revents = fds[i + 2].revents;
      if (revents & POLLOUT) s.flush(c);
      if ((revents & (POLLIN | POLLHUP | POLLERR)) && !c.answering()) s.read_input(c);
      else if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) s.close_connection(c, "close");
      s.run_due(c, t);
      s.serve_input(c);
      if (c.eof && !c.answering()) s.close_connection(c, "close");
    }
    std::erase_if(s.connections, [](const std::unique_ptr<Connection>& c) { return c->closed; });
  }
}

}  // namespace orvek::sim
