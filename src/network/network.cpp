#include "network/network.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <simdjson.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "network/json_scanner.hpp"
#include "robot_behavior/parser_error_text.hpp"

namespace orvek {
namespace {

using Clock = std::chrono::steady_clock;
using robot_behavior::os_error_text;
using robot_behavior::panic;

// Milliseconds left until `deadline`, rounded up so that a wait never ends early.
int remaining_ms(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

// Waits until `fd` is ready for `events`. Returns 0 when ready, ETIMEDOUT when the deadline
// passed first, or the error of poll itself.
int wait_ready(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, remaining_ms(deadline));
    if (ready > 0) return 0;  // readiness, an error or a hang-up: the next call reports which
    if (ready == 0) {
      if (Clock::now() >= deadline) return ETIMEDOUT;
      continue;  // the rounded wait ended a hair early
    }
    if (errno != EINTR) return errno;
  }
}

// One connection attempt with a time-out; the connected socket is blocking again. Returns
// the descriptor, or -1 with the attempt's error in `error`.
int connect_one(const addrinfo& address, std::chrono::milliseconds timeout, int& error) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  error = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      error = errno;
    } else if ((error = wait_ready(fd, POLLOUT, Clock::now() + timeout)) == 0) {
      socklen_t size = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    }
  }
  if (error == 0) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The parser's name for what the scanner found wrong.
simdjson::error_code parser_error(JsonScanner::Fault fault) {
  switch (fault) {
    case JsonScanner::Fault::Number: return simdjson::NUMBER_ERROR;
    case JsonScanner::Fault::Escape: return simdjson::STRING_ERROR;
    case JsonScanner::Fault::Control: return simdjson::UNESCAPED_CHARS;
    case JsonScanner::Fault::Utf8: return simdjson::UTF8_ERROR;
    case JsonScanner::Fault::True: return simdjson::T_ATOM_ERROR;
    case JsonScanner::Fault::False: return simdjson::F_ATOM_ERROR;
    case JsonScanner::Fault::Null: return simdjson::N_ATOM_ERROR;
    case JsonScanner::Fault::Depth: return simdjson::DEPTH_ERROR;
    case JsonScanner::Fault::None:
    case JsonScanner::Fault::Structure: break;
  }
  return simdjson::TAPE_ERROR;
}

}  // namespace

namespace {

// The reply parser of the calling thread, shared by every connection the thread uses. A
// reply is read into its record before the thread can start another exchange, so no two
// replies ever need the parser at once; its buffers (about 40 KiB once a "get_data" reply
// has passed through, up to 1 MiB after the longest reply allowed) are paid once per thread
// instead of once per robot. A connection used from several threads uses the parser of the
// thread making each exchange. Made with room for the usual reply size.
simdjson::dom::parser& thread_parser() {
  thread_local simdjson::dom::parser parser(NetWork::kMaxReply);
  thread_local const bool sized = parser.allocate(NetWork::kReadSize) == simdjson::SUCCESS;
  if (!sized) throw std::bad_alloc();
  return parser;
}

}  // namespace

struct NetWork::Impl {
  Impl(int socket, Timeouts limits) : fd(socket), timeouts(limits) {
    (void)thread_parser();  // made now, so that the first exchange on this thread allocates nothing
  }
  ~Impl() { ::close(fd); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void send_all(std::string_view text, Clock::time_point deadline);
  simdjson::dom::element receive(Clock::time_point deadline);
  simdjson::dom::element parse(std::size_t size);
  void grow(std::size_t used);
  [[noreturn]] void lose_sync(const std::string& message);

  int fd;
  Timeouts timeouts;
  // The reply buffer: `capacity` bytes of text and the parser's padding after them. It is
  // allocated once, grows only for a reply longer than any before (up to kMaxReply), and is
  // never cleared: the parser reads exactly the bytes received.
  std::size_t capacity = kReadSize;
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kReadSize + simdjson::SIMDJSON_PADDING);
  JsonScanner scanner;
  // Set when the stream can no longer be trusted to start at a reply's first byte.
  bool out_of_sync = false;
};

// The rest of the reply may still arrive, and would be read as the answer to the next
// command: the stream is dropped before the failure is reported.
void NetWork::Impl::lose_sync(const std::string& message) {
  out_of_sync = true;
  panic(message);
}

void NetWork::Impl::send_all(std::string_view text, Clock::time_point deadline) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left != 0) {
    // MSG_NOSIGNAL: a peer that has gone away is a write error, not the end of the process.
    const ssize_t sent = ::send(fd, next, left, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
      next += sent;
      left -= static_cast<std::size_t>(sent);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) panic(os_error_text(errno));
    // A request that cannot be written in time may still go out later, in part or whole.
    if (const int error = wait_ready(fd, POLLOUT, deadline); error != 0) {
      if (error == ETIMEDOUT) lose_sync(os_error_text(error));
      panic(os_error_text(error));
    }
  }
}

simdjson::dom::element NetWork::Impl::parse(std::size_t size) {
  simdjson::dom::element root;
  const auto code = thread_parser().parse(buffer.get(), size, false).get(root);
  if (code != simdjson::SUCCESS) panic(std::string(robot_behavior::parser_error_text(code)));
  return root;
}

void NetWork::Impl::grow(std::size_t used) {
  if (capacity >= kMaxReply) {
    lose_sync("the controller's reply is longer than " + std::to_string(kMaxReply) + " bytes");
  }
  const std::size_t larger = capacity * 2 < kMaxReply ? capacity * 2 : kMaxReply;
  auto bigger = std::make_unique<char[]>(larger + simdjson::SIMDJSON_PADDING);
  std::memcpy(bigger.get(), buffer.get(), used);
  buffer = std::move(bigger);
  capacity = larger;
}

// Reads until one complete JSON value has arrived and parses it.
//
// The usual reply arrives whole in the first read and ends with its closing bracket: it is
// parsed at once, exactly as read. Otherwise the scanner follows the text across reads and
// ends the wait as soon as a value is complete, or as soon as a byte shows that the text
// can never become one; the parser then reads everything received and reports any fault.
simdjson::dom::element NetWork::Impl::receive(Clock::time_point deadline) {
  std::size_t used = 0;
  bool scanning = false;
  for (;;) {
    if (used == capacity) grow(used);
    if (const int error = wait_ready(fd, POLLIN, deadline); error != 0) {
      if (error == ETIMEDOUT) lose_sync(os_error_text(error));
      panic(os_error_text(error));
    }
    // The first read takes at most kReadSize bytes, whatever the buffer has grown to.
    const std::size_t room = used == 0 && capacity > kReadSize ? kReadSize : capacity - used;
    const ssize_t got = ::recv(fd, buffer.get() + used, room, 0);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      panic(os_error_text(errno));
    }
    if (got == 0) return parse(used);  // the peer closed: what has arrived is all there is

    const char* fresh = buffer.get() + used;
    used += static_cast<std::size_t>(got);
    JsonScanner::Status status;
    if (!scanning) {
      std::size_t end = used;
      while (end != 0 && (buffer[end - 1] == ' ' || buffer[end - 1] == '\n' || buffer[end - 1] == '\r' ||
                          buffer[end - 1] == '\t')) {
        --end;
      }
      if (end != 0 && (buffer[end - 1] == '}' || buffer[end - 1] == ']')) {
        simdjson::dom::element root;
        if (thread_parser().parse(buffer.get(), used, false).get(root) == simdjson::SUCCESS) return root;
      }
      scanning = true;
      scanner.reset();
      status = scanner.feed(buffer.get(), used);
    } else {
      status = scanner.feed(fresh, static_cast<std::size_t>(got));
    }
    if (status == JsonScanner::Status::NeedMore) status = scanner.end_of_read();
    if (status == JsonScanner::Status::Complete) return parse(used);
    if (status == JsonScanner::Status::Invalid) {
      // The parser would complain about the unfinished text; the scanner knows the fault.
      simdjson::dom::element root;
      if (thread_parser().parse(buffer.get(), used, false).get(root) == simdjson::SUCCESS) return root;
      panic(std::string(robot_behavior::parser_error_text(parser_error(scanner.fault()))));
    }
  }
}

NetWork::NetWork() noexcept = default;
NetWork::NetWork(NetWork&&) noexcept = default;
NetWork& NetWork::operator=(NetWork&&) noexcept = default;
NetWork::~NetWork() = default;

NetWork::NetWork(std::string_view ip, Timeouts timeouts) {
  // The address is the caller's text with the port appended; the text before the last
  // colon is the host, so "::1" and "[::1]" both name the IPv6 loopback.
  std::string address(ip);
  address += ':';
  address += std::to_string(kPort);
  std::string host = address.substr(0, address.rfind(':'));
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.find('\0') != std::string::npos) panic("the address contains a NUL byte");

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(kPort);
  if (const int code = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); code != 0) {
    if (code == EAI_SYSTEM) panic(os_error_text(errno));
    panic(std::string("failed to look up address information: ") + ::gai_strerror(code));
  }
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  int fd = -1;
  int error = 0;
  bool tried = false;
  for (const addrinfo* entry = list.get(); entry != nullptr && fd < 0; entry = entry->ai_next) {
    tried = true;
    fd = connect_one(*entry, timeouts.connect, error);
  }
  if (!tried) panic("could not resolve to any addresses");
  if (fd < 0) panic(os_error_text(error));
  try {
    impl_ = std::make_unique<Impl>(fd, timeouts);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

bool NetWork::has_stream() const noexcept { return impl_ != nullptr; }

namespace {

template <class Reply>
void panic_unless_read(const Result<Reply>& reply) {
  if (!reply) panic(reply.error().display());
}

}  // namespace

Result<DefaultState> NetWork::exchange(DefaultState*) {
  Result<DefaultState> reply = read_default(round_trip());
  panic_unless_read(reply);
  return reply;
}

Result<GetDataState> NetWork::exchange(GetDataState*) {
  Result<GetDataState> reply = read_get_data(round_trip());
  panic_unless_read(reply);
  return reply;
}

simdjson::dom::element NetWork::round_trip() {
  Impl& io = *impl_;
  const auto deadline = Clock::now() + io.timeouts.exchange;
  try {
    io.send_all(out_, deadline);
    return io.receive(deadline);
  } catch (...) {
    if (io.out_of_sync) impl_.reset();
    throw;
  }
}

}  // namespace orvek
