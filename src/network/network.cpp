#include "network/network.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <simdjson.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "robot_behavior/json_scanner.hpp"
#include "robot_behavior/parser_error_text.hpp"
#include "types/reply_one_pass.hpp"

namespace orvek {
namespace {

using Clock = std::chrono::steady_clock;
using robot_behavior::InterruptCheck;
using robot_behavior::JsonScanner;
using robot_behavior::os_error_text;
using robot_behavior::panic;

constexpr const char* kInterruptedExchange = "interrupted while waiting for the controller";

// Milliseconds left until `deadline`, rounded up so that a wait never ends early.
int remaining_ms(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

// Closes the descriptor it holds unless released.
struct OwnedFd {
  int fd;
  ~OwnedFd() {
    if (fd >= 0) ::close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

// Waits for a connection attempt on `fd` to finish, in slices between which `interrupt` is
// asked. Returns 0 when it finished (SO_ERROR tells how), ETIMEDOUT when the deadline passed
// first, or the error of poll itself; throws Interrupted when the host asks to stop.
int wait_connected(int fd, Clock::time_point deadline, const InterruptCheck& interrupt) {
  const int slice = static_cast<int>(NetWork::kWaitSlice.count());
  for (;;) {
    pollfd entry{fd, POLLOUT, 0};
    const int left = remaining_ms(deadline);
    const int ready = ::poll(&entry, 1, left < slice ? left : slice);
    if (ready > 0) return 0;  // writable, an error or a hang-up: SO_ERROR reports which
    if (ready < 0 && errno != EINTR) return errno;
    if (interrupt.requested()) throw robot_behavior::Interrupted("interrupted while connecting to the controller");
    if (ready == 0 && Clock::now() >= deadline) return ETIMEDOUT;
  }
}

// One connection attempt with a time-out; the connected socket is blocking again. Returns
// the descriptor, or -1 with the attempt's error in `error`.
int connect_one(const addrinfo& address, std::chrono::milliseconds timeout, const InterruptCheck& interrupt,
                int& error) {
  OwnedFd socket{::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol)};
  if (socket.fd < 0) {
    error = errno;
    return -1;
  }
  error = 0;
  if (::connect(socket.fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      error = errno;
    } else if ((error = wait_connected(socket.fd, Clock::now() + timeout, interrupt)) == 0) {
      socklen_t size = sizeof error;
      if (::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    }
  }
  if (error == 0) {
    const int flags = ::fcntl(socket.fd, F_GETFL);
    if (flags < 0 || ::fcntl(socket.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
  }
  return error == 0 ? socket.release() : -1;
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

// Whether the text, trailing whitespace aside, ends with a closing bracket: the usual
// reply, whole in one read, which is then parsed without scanning it first.
bool ends_with_bracket(const char* text, std::size_t size) {
  while (size != 0 && (text[size - 1] == ' ' || text[size - 1] == '\n' || text[size - 1] == '\r' ||
                       text[size - 1] == '\t')) {
    --size;
  }
  return size != 0 && (text[size - 1] == '}' || text[size - 1] == ']');
}

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

template <class Reply>
Result<Reply> read_parsed(const simdjson::dom::element& value) {
  if constexpr (std::is_same_v<Reply, GetDataState>) {
    return read_get_data(value);
  } else {
    return read_default(value);
  }
}

template <class Reply>
void panic_unless_read(const Result<Reply>& reply) {
  if (!reply) panic(reply.error().display());
}

}  // namespace

struct NetWork::Impl {
  Impl(int socket, Timeouts limits, InterruptCheck check) : fd(socket), timeouts(limits), interrupt(check) {
    set_slice(full_slice());
    // Both parsers made now, so that the first exchange on this thread allocates nothing.
    (void)thread_parser();
    one_pass::prepare(kReadSize);
  }
  ~Impl() { ::close(fd); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void send_all(std::string_view text, Clock::time_point deadline);
  std::size_t read_more(std::size_t used, Clock::time_point deadline);
  simdjson::dom::element receive_rest(std::size_t used, Clock::time_point deadline);
  void slice_ended(Clock::time_point deadline);
  simdjson::dom::element parse(std::size_t size);
  void grow(std::size_t used);
  std::chrono::microseconds full_slice() const;
  void set_slice(std::chrono::microseconds length);
  [[noreturn]] void lose_sync(const std::string& message);

  int fd;
  Timeouts timeouts;
  InterruptCheck interrupt;
  // The socket's receive and send time-outs: the longest one recv or send blocks. Shorter
  // than full_slice() only while a wait nears its deadline, until the next exchange.
  std::chrono::microseconds slice{0};
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

std::chrono::microseconds NetWork::Impl::full_slice() const {
  // At least 1 µs: a socket time-out of 0 means no limit at all.
  return std::clamp<std::chrono::microseconds>(timeouts.exchange, std::chrono::microseconds(1), kWaitSlice);
}

void NetWork::Impl::set_slice(std::chrono::microseconds length) {
  const timeval limit{static_cast<time_t>(length.count() / 1000000), static_cast<suseconds_t>(length.count() % 1000000)};
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
    panic(os_error_text(errno));
  }
  slice = length;
}

// A send or recv returned without progress: its slice passed, or a signal came. Ends the
// exchange, dropping the stream, when the host asks to stop or the deadline has passed;
// otherwise makes sure the next slice ends by the deadline.
void NetWork::Impl::slice_ended(Clock::time_point deadline) {
  if (interrupt.requested()) {
    out_of_sync = true;
    throw robot_behavior::Interrupted(kInterruptedExchange);
  }
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
  if (left <= std::chrono::microseconds::zero()) lose_sync(os_error_text(ETIMEDOUT));
  if (left < slice) set_slice(left);  // at least 1 µs: a socket time-out of 0 means no limit
}

void NetWork::Impl::send_all(std::string_view text, Clock::time_point deadline) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left != 0) {
    // MSG_NOSIGNAL: a peer that has gone away is a write error, not the end of the process.
    const ssize_t sent = ::send(fd, next, left, MSG_NOSIGNAL);
    if (sent > 0) {
      next += sent;
      left -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      panic(os_error_text(errno));
    } else {
      // A request that cannot be written in time may still go out later, in part or whole.
      slice_ended(deadline);
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

// One recv into the reply buffer after the `used` bytes already there, waiting in slices
// until something arrives; returns the count, 0 when the peer has closed.
std::size_t NetWork::Impl::read_more(std::size_t used, Clock::time_point deadline) {
  if (used == capacity) grow(used);
  // The first read takes at most kReadSize bytes, whatever the buffer has grown to.
  const std::size_t room = used == 0 && capacity > kReadSize ? kReadSize : capacity - used;
  for (;;) {
    const ssize_t got = ::recv(fd, buffer.get() + used, room, 0);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) panic(os_error_text(errno));
    slice_ended(deadline);
  }
}

// Goes on from the `used` bytes of the first read until one complete JSON value has
// arrived, and parses it.
//
// A first read that ends with a closing bracket is parsed at once, exactly as read: the
// usual reply, whole. Otherwise the scanner follows the text across reads and ends the wait
// as soon as a value is complete, or as soon as a byte shows that the text can never become
// one; the parser then reads everything received and reports any fault.
simdjson::dom::element NetWork::Impl::receive_rest(std::size_t used, Clock::time_point deadline) {
  if (used == 0) return parse(0);  // the peer closed before answering
  simdjson::dom::element root;
  if (ends_with_bracket(buffer.get(), used) &&
      thread_parser().parse(buffer.get(), used, false).get(root) == simdjson::SUCCESS) {
    return root;
  }
  scanner.reset();
  std::size_t before = 0;
  for (;;) {
    JsonScanner::Status status = scanner.feed(buffer.get() + before, used - before);
    if (status == JsonScanner::Status::NeedMore) status = scanner.end_of_read();
    if (status == JsonScanner::Status::Complete) return parse(used);
    if (status == JsonScanner::Status::Invalid) {
      // The parser would complain about the unfinished text; the scanner knows the fault.
      if (thread_parser().parse(buffer.get(), used, false).get(root) == simdjson::SUCCESS) return root;
      panic(std::string(robot_behavior::parser_error_text(parser_error(scanner.fault()))));
    }
    before = used;
    const std::size_t got = read_more(used, deadline);
    if (got == 0) return parse(used);  // the peer closed: what has arrived is all there is
    used += got;
  }
}

NetWork::NetWork() noexcept = default;
NetWork::NetWork(NetWork&&) noexcept = default;
NetWork& NetWork::operator=(NetWork&&) noexcept = default;
NetWork::~NetWork() = default;

NetWork::NetWork(std::string_view ip, Timeouts timeouts, robot_behavior::InterruptCheck interrupt) {
  // The caller's text is the host, the port is always kPort; "::1" and "[::1]" both name
  // the IPv6 loopback.
  std::string host(ip);
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
    fd = connect_one(*entry, timeouts.connect, interrupt, error);
  }
  if (!tried) panic("could not resolve to any addresses");
  if (fd < 0) panic(os_error_text(error));
  try {
    impl_ = std::make_unique<Impl>(fd, timeouts, interrupt);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

bool NetWork::has_stream() const noexcept { return impl_ != nullptr; }

void NetWork::set_interrupt_check(robot_behavior::InterruptCheck interrupt) noexcept {
  if (impl_) impl_->interrupt = interrupt;
}

void NetWork::set_exchange_timeout(std::chrono::milliseconds timeout) {
  if (!impl_) return;
  impl_->timeouts.exchange = timeout;
  if (impl_->slice != impl_->full_slice()) impl_->set_slice(impl_->full_slice());
}

// The usual reply arrives whole in the first read and is read into its record in one pass
// over the text. Every reply that pass does not settle (more reads needed, another form, a
// fault) is received and read exactly as it would be without it: the pass never decides
// that a reply is complete, it only reads one that the first read ended.
template <class Reply>
Result<Reply> NetWork::exchange() {
  Impl& io = *impl_;
  const auto deadline = Clock::now() + io.timeouts.exchange;
  Result<Reply> reply(std::in_place);
  try {
    if (io.slice != io.full_slice()) io.set_slice(io.full_slice());  // shortened near the last deadline
    io.send_all(out_, deadline);
    const std::size_t first = io.read_more(0, deadline);
    if (!(first != 0 && ends_with_bracket(io.buffer.get(), first) &&
          one_pass::read(std::string_view(io.buffer.get(), first), *reply))) {
      reply = read_parsed<Reply>(io.receive_rest(first, deadline));
    }
  } catch (...) {
    if (io.out_of_sync) impl_.reset();
    throw;
  }
  panic_unless_read(reply);
  return reply;
}

template Result<DefaultState> NetWork::exchange<DefaultState>();
template Result<GetDataState> NetWork::exchange<GetDataState>();

}  // namespace orvek
