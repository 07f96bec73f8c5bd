// The transport against a fake controller on a thread of the test. Each test listens on
// its own loopback address 127.0.2.x:10001.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#include "counting_new.hpp"
#include "network/network.hpp"

namespace orvek {
namespace {

using namespace std::chrono_literals;
using robot_behavior::Panic;
using Clock = std::chrono::steady_clock;

// The connection as the fake controller sees it.
class Peer {
 public:
  explicit Peer(int fd) : fd_(fd) {}
  // Reads one request: up to its closing brace (requests hold no braces in strings).
  std::string request() {
    std::string text;
    int depth = 0;
    char byte;
    while (wait_readable() && ::recv(fd_, &byte, 1, 0) == 1) {
      text += byte;
      depth += byte == '{' ? 1 : byte == '}' ? -1 : 0;
      if (depth == 0) break;
    }
    received += text;
    return text;
  }
  // Each send is its own TCP segment (TCP_NODELAY).
  bool send(std::string_view text) {
    while (!text.empty()) {
      const ssize_t sent = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
  // Reads everything until the client closes the connection.
  void drain() {
    char block[4096];
    ssize_t got;
    while (wait_readable() && (got = ::recv(fd_, block, sizeof block, 0)) > 0) received.append(block, got);
  }
  void close() { ::shutdown(fd_, SHUT_RDWR); }

  std::string received;  // every byte the client wrote

 private:
  bool wait_readable() {
    pollfd entry{fd_, POLLIN, 0};
    return ::poll(&entry, 1, 10000) == 1;
  }
  int fd_;
};

class FakeController {
 public:
  // Listens on ip:10001; `ok()` is false when the address cannot be used here.
  explicit FakeController(const char* ip) {
    sockaddr_storage address{};
    socklen_t size = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, ip, &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(NetWork::kPort);
      size = sizeof *v4;
    } else if (::inet_pton(AF_INET6, ip, &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(NetWork::kPort);
      size = sizeof *v6;
    }
    listener_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ok_ = listener_ >= 0 && ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
          ::listen(listener_, 4) == 0;
  }
  ~FakeController() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  bool ok() const { return ok_; }

  // Accepts one connection and runs `script` on it on a thread of its own.
  void run(std::function<void(Peer&)> script) {
    thread_ = std::thread([this, script = std::move(script)] {
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      Peer peer(fd);
      script(peer);
      received_ = std::move(peer.received);
      ::close(fd);
    });
  }
  // Waits for the script to end; every byte the client wrote.
  std::string received() {
    thread_.join();
    return received_;
  }

 private:
  int listener_ = -1;
  bool ok_ = false;
  std::thread thread_;
  std::string received_;
};

std::string default_reply(std::string_view code, std::string_view message) {
  std::string text;
  serialize_into(text, DefaultState{std::string(code), std::string(message)});
  return text;
}

// The text of the internal failure `action` ends with.
std::string panic_text(const std::function<void()>& action) {
  try {
    action();
  } catch (const Panic& failure) {
    return failure.what();
  }
  return "no panic";
}

constexpr Timeouts kPatient{1000ms, 10000ms};  // failures must come well before 10 s
constexpr const char* address_reply = "connected";

TEST(NetWork, ExactBytesOnTheWireAndTheReplies) {
  FakeController fake("127.0.2.1");
  ASSERT_TRUE(fake.ok());
  GetDataState state = default_get_data_state();
  state.joint_actual_position[0] = 123.5;
  state.curr_tcp_trans_vel = 0.25;
  fake.run([&state](Peer& peer) {
    peer.request();
    peer.send(default_reply("5", "x"));
    peer.request();
    peer.send(default_reply("0", ""));
    peer.request();
    std::string text;
    serialize_into(text, state);
    // Two segments, split inside a number: "12" | "3.5".
    const std::size_t split = text.find("123.5") + 2;
    peer.send(text.substr(0, split));
    std::this_thread::sleep_for(50ms);
    peer.send(text.substr(split));
    peer.drain();
  });
  {
    NetWork network("127.0.2.1");
    ASSERT_TRUE(network.has_stream());
    // A controller error is a successful exchange; only the caller checks it.
    EXPECT_EQ(network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}), (DefaultState{"5", "x"}));
    EXPECT_EQ(network.send_and_recv<DefaultState>(Command::joint_move, JointMoveData{{0, 0, 0, 0, 0, 0}, 9, 20, 0}),
              (DefaultState{"0", ""}));
    EXPECT_EQ(network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}), state);
  }
  EXPECT_EQ(fake.received(),
            R"({"cmdName":"power_on"})"
            R"({"accel":20.0,"cmdName":"joint_move","jointPosition":[0.0,0.0,0.0,0.0,0.0,0.0],"relFlag":0,"speed":9.0})"
            R"({"cmdName":"get_data"})");
}

TEST(NetWork, RepliesOfAnyLengthUpToTheBound) {
  FakeController fake("127.0.2.2");
  ASSERT_TRUE(fake.ok());
  const std::string exactly_one_read = default_reply("0", std::string(10240 - 31, 'x'));
  const std::string longer = default_reply("0", std::string(300000, 'y'));
  fake.run([&](Peer& peer) {
    peer.request();
    peer.send(exactly_one_read);
    peer.request();
    peer.send(longer);
    peer.request();
    peer.send(default_reply("0", "after"));
    peer.drain();
  });
  NetWork network("127.0.2.2", kPatient);
  ASSERT_EQ(exactly_one_read.size(), 10240u);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{})->error_msg.size(), 10209u);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{})->error_msg.size(), 300000u);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{})->error_msg, "after");
}

TEST(NetWork, AReplyBeyondTheBoundFailsAndDropsTheStream) {
  FakeController fake("127.0.2.3");
  ASSERT_TRUE(fake.ok());
  fake.run([](Peer& peer) {
    peer.request();
    peer.send(R"({"errorCode":"0","errorMsg":")");
    const std::string block(65536, 'z');
    for (int i = 0; i < 64 && peer.send(block); ++i) {
    }
  });
  NetWork network("127.0.2.3", kPatient);
  EXPECT_EQ(panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::get_data, EmptyBody{}); }),
            "the controller's reply is longer than 1048576 bytes");
  EXPECT_FALSE(network.has_stream());
}

TEST(NetWork, APeerThatClosesIsAnInternalFailure) {
  FakeController fake("127.0.2.4");
  ASSERT_TRUE(fake.ok());
  fake.run([](Peer& peer) {
    peer.request();
    peer.send(R"({"errorCode":"0")");  // half a reply, then the connection ends
    peer.close();
  });
  NetWork network("127.0.2.4", kPatient);
  EXPECT_EQ(panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}); }),
            "The JSON document has an improper structure: missing or superfluous commas, braces, missing keys, etc.");
  EXPECT_TRUE(network.has_stream());  // kept, as after any failure but a time-out
  // Nothing more can come: an empty reply or a write error, never a RobotException.
  const std::string next = panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}); });
  EXPECT_TRUE(next == "Empty: no JSON found" || next == "Broken pipe (os error 32)" ||
              next == "Connection reset by peer (os error 104)")
      << next;
}

TEST(NetWork, AControllerThatNeverAnswersTimesOutAndTheStreamIsDropped) {
  FakeController fake("127.0.2.5");
  ASSERT_TRUE(fake.ok());
  fake.run([](Peer& peer) {
    peer.request();
    peer.drain();  // ends when the client closes the stream
    peer.send(default_reply("0", "late"));
  });
  NetWork network("127.0.2.5", Timeouts{1000ms, 200ms});
  const auto start = Clock::now();
  EXPECT_EQ(panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}); }),
            "Connection timed out (os error 110)");
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 2s);
  EXPECT_FALSE(network.has_stream());
  EXPECT_EQ(fake.received(), R"({"cmdName":"power_on"})");  // the drain ended: the socket is closed
  const auto next = network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{});
  ASSERT_FALSE(next);
  EXPECT_EQ(next.error().display(), "Network exception: TCP command stream is not initialized");
}

TEST(NetWork, BadRepliesFailFastAndKeepTheStream) {
  FakeController fake("127.0.2.6");
  ASSERT_TRUE(fake.ok());
  fake.run([](Peer& peer) {
    peer.request();
    peer.send("{\"errorCode\":\"0\",\"errorMsg\":\"\xff\"}");  // whole, not UTF-8
    peer.request();
    peer.send("{\"errorCode\":\"\xc3");  // unfinished, and then not UTF-8 either
    std::this_thread::sleep_for(20ms);
    peer.send("(\"");
    peer.request();
    peer.send("HTTP/1.1 400 Bad Request\r\n");
    peer.request();
    peer.send(R"({"errorCode":"0",)");
    std::this_thread::sleep_for(20ms);
    peer.send(R"(errorMsg:"")");
    peer.request();
    peer.send(R"({"errorCode":0,"errorMsg":"x"})");
    peer.request();
    peer.send(R"({"errorCode":"0","errorMsg":""}{"errorCode":"0","errorMsg":""})");
    peer.request();
    peer.send(default_reply("0", "fine"));
    peer.drain();
  });
  NetWork network("127.0.2.6", kPatient);
  auto exchange = [&] { (void)network.send_and_recv<DefaultState>(Command::clear_error, EmptyBody{}); };
  const std::string structure =
      "The JSON document has an improper structure: missing or superfluous commas, braces, missing keys, etc.";
  const auto start = Clock::now();
  EXPECT_EQ(panic_text(exchange), "The input is not valid UTF-8");
  EXPECT_EQ(panic_text(exchange), "The input is not valid UTF-8");
  EXPECT_EQ(panic_text(exchange), structure);
  EXPECT_EQ(panic_text(exchange), structure);
  EXPECT_EQ(panic_text(exchange),
            R"(Deserialize error: invalid type number 0 at key "errorCode": expected a string)");
  EXPECT_EQ(panic_text(exchange), structure);  // two replies run together
  EXPECT_LT(Clock::now() - start, 2s);         // no failure waited for the time-out
  EXPECT_TRUE(network.has_stream());
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::clear_error, EmptyBody{})->error_msg, "fine");
}

TEST(NetWork, SteadyStateExchangesAllocateNothing) {
  FakeController fake("127.0.2.7");
  ASSERT_TRUE(fake.ok());
  fake.run([](Peer& peer) {
    std::string data;
    serialize_into(data, default_get_data_state());
    for (int round = 0; round < 2; ++round) {
      peer.request();
      peer.send(data);
      peer.request();
      peer.send(default_reply("0", ""));
    }
    peer.drain();
  });
  NetWork network("127.0.2.7", kPatient);
  const ServoJData step{{0.1, 0.2, 0.3, 0.4, 0.5, 0.6}, 0};
  ASSERT_TRUE(network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}));
  ASSERT_TRUE(network.send_and_recv<DefaultState>(Command::servo_j, step));
  const long before = static_cast<long>(testing::thread_new_count());
  ASSERT_TRUE(network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}));
  ASSERT_TRUE(network.send_and_recv<DefaultState>(Command::servo_j, step));
  EXPECT_EQ(static_cast<long>(testing::thread_new_count()) - before, 0);
}

TEST(NetWork, ConnectFailures) {
  EXPECT_EQ(panic_text([] { NetWork network("127.0.2.99", kPatient); }), "Connection refused (os error 111)");
  EXPECT_EQ(panic_text([] { NetWork network("no-such-host.invalid", kPatient); }).rfind("failed to look up address information: ", 0), 0u);
  EXPECT_EQ(panic_text([] { NetWork network("127.0.2.1:80", kPatient); }).rfind("failed to look up address information: ", 0), 0u);
  NetWork absent;
  EXPECT_FALSE(absent.has_stream());
  EXPECT_EQ(absent.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}).error().display(),
            "Network exception: TCP command stream is not initialized");
}

// Connections share their thread's reply parser: replies read through one connection never
// show through another, whether they take turns on one thread or run on two threads at once.
std::string get_data_reply(double first_joint) {
  GetDataState state = default_get_data_state();
  state.joint_actual_position[0] = first_joint;
  std::string text;
  serialize_into(text, state);
  return text;
}

void serve_get_data(FakeController& fake, double first_joint, int count) {
  fake.run([first_joint, count](Peer& peer) {
    for (int i = 0; i < count; ++i) {
      peer.request();
      peer.send(get_data_reply(first_joint + i));
    }
    peer.drain();
  });
}

double first_joint(NetWork& network) {
  auto reply = network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{});
  return reply ? reply->joint_actual_position[0] : -1.0;
}

TEST(NetWork, ConnectionsTakingTurnsOnOneThreadReadTheirOwnReplies) {
  FakeController one("127.0.2.20");
  FakeController two("127.0.2.21");
  ASSERT_TRUE(one.ok() && two.ok());
  serve_get_data(one, 100.0, 3);
  serve_get_data(two, 200.0, 3);
  NetWork a("127.0.2.20", kPatient);
  NetWork b("127.0.2.21", kPatient);
  EXPECT_EQ(first_joint(a), 100.0);
  EXPECT_EQ(first_joint(b), 200.0);
  EXPECT_EQ(first_joint(b), 201.0);
  EXPECT_EQ(first_joint(a), 101.0);
  EXPECT_EQ(first_joint(a), 102.0);
  EXPECT_EQ(first_joint(b), 202.0);
}

TEST(NetWork, ConnectionsOnTwoThreadsAtOnceReadTheirOwnReplies) {
  constexpr int kCount = 300;
  FakeController one("127.0.2.22");
  FakeController two("127.0.2.23");
  ASSERT_TRUE(one.ok() && two.ok());
  serve_get_data(one, 1000.0, kCount);
  serve_get_data(two, 5000.0, kCount);
  auto client = [](const char* address, double base, int& wrong) {
    NetWork network(address, kPatient);
    for (int i = 0; i < kCount; ++i) wrong += first_joint(network) != base + i;
  };
  int wrong_one = 0;
  int wrong_two = 0;
  std::thread other(client, "127.0.2.23", 5000.0, std::ref(wrong_two));
  client("127.0.2.22", 1000.0, wrong_one);
  other.join();
  EXPECT_EQ(wrong_one, 0);
  EXPECT_EQ(wrong_two, 0);
}

// Connects to `address` and exchanges one command with a fake listening on `listen`.
void exchange_once(const char* listen, const char* address) {
  FakeController fake(listen);
  if (!fake.ok()) GTEST_SKIP() << "cannot listen on " << listen << ":10001 here";
  fake.run([](Peer& peer) {
    peer.request();
    peer.send(default_reply("0", address_reply));
    peer.drain();
  });
  NetWork network(address, kPatient);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{})->error_msg, address_reply) << address;
}

// "localhost" resolves to 127.0.0.1 and perhaps to ::1 as well (refused: the next address
// is tried).
TEST(NetWork, HostName) { exchange_once("127.0.0.1", "localhost"); }
TEST(NetWork, Ipv6WithAndWithoutBrackets) {
  exchange_once("::1", "::1");
  exchange_once("::1", "[::1]");
}

}  // namespace
}  // namespace orvek
