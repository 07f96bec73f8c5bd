// The transport against a fake controller on a thread of the test, on a loopback address
// of its own (127.0.2.99, which nothing listens on, is refused).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "counting_new.hpp"
#include "counting_syscalls.hpp"
#include "fake_controller.hpp"
#include "network/network.hpp"

namespace orvek {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using testing::panic_text;
using testing::FakeController;

std::string default_reply(std::string_view code, std::string_view message) {
  std::string text;
  serialize_into(text, DefaultState{std::string(code), std::string(message)});
  return text;
}

constexpr Timeouts kPatient{1000ms, 10000ms};  // failures must come well before 10 s
constexpr const char* address_reply = "connected";

TEST(NetWork, ExactBytesOnTheWireAndTheReplies) {
  FakeController fake;
  GetDataState state = default_get_data_state();
  state.joint_actual_position[0] = 123.5;
  state.curr_tcp_trans_vel = 0.25;
  fake.reply(default_reply("5", "x"));
  fake.reply(default_reply("0", ""));
  std::string text;
  serialize_into(text, state);
  // Two segments, split inside a number: "12" | "3.5".
  const std::size_t split = text.find("123.5") + 2;
  fake.reply_in_parts({text.substr(0, split), text.substr(split)}, 50ms);
  {
    NetWork network(fake.host());
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
  FakeController fake;
  const std::string exactly_one_read = default_reply("0", std::string(10240 - 31, 'x'));
  fake.reply(exactly_one_read);
  fake.reply(default_reply("0", std::string(300000, 'y')));
  fake.reply(default_reply("0", "after"));
  NetWork network(fake.host(), kPatient);
  ASSERT_EQ(exactly_one_read.size(), 10240u);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{})->error_msg.size(), 10209u);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{})->error_msg.size(), 300000u);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{})->error_msg, "after");
}

TEST(NetWork, AReplyBeyondTheBoundFailsAndDropsTheStream) {
  FakeController fake;
  fake.reply(R"({"errorCode":"0","errorMsg":")" + std::string(64 * 65536, 'z'));
  NetWork network(fake.host(), kPatient);
  EXPECT_EQ(panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::get_data, EmptyBody{}); }),
            "the controller's reply is longer than 1048576 bytes");
  EXPECT_FALSE(network.has_stream());
}

TEST(NetWork, APeerThatClosesIsAnInternalFailure) {
  FakeController fake;
  fake.reply_and_close(R"({"errorCode":"0")");  // half a reply, then the connection ends
  NetWork network(fake.host(), kPatient);
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
  FakeController fake;
  fake.stay_silent();
  NetWork network(fake.host(), Timeouts{1000ms, 200ms});
  const auto start = Clock::now();
  EXPECT_EQ(panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}); }),
            "Connection timed out (os error 110)");
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 2s);
  EXPECT_FALSE(network.has_stream());
  EXPECT_EQ(fake.received(), R"({"cmdName":"power_on"})");  // waits for the client to close the socket
  const auto next = network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{});
  ASSERT_FALSE(next);
  EXPECT_EQ(next.error().display(), "Network exception: TCP command stream is not initialized");
}

TEST(NetWork, BadRepliesFailFastAndKeepTheStream) {
  FakeController fake;
  fake.reply("{\"errorCode\":\"0\",\"errorMsg\":\"\xff\"}");  // whole, not UTF-8
  fake.reply_in_parts({"{\"errorCode\":\"\xc3", "(\""}, 20ms);  // unfinished, and then not UTF-8 either
  fake.reply("HTTP/1.1 400 Bad Request\r\n");
  fake.reply_in_parts({R"({"errorCode":"0",)", R"(errorMsg:"")"}, 20ms);
  fake.reply(R"({"errorCode":0,"errorMsg":"x"})");
  fake.reply(R"({"errorCode":"0","errorMsg":""}{"errorCode":"0","errorMsg":""})");
  fake.reply(default_reply("0", "fine"));
  NetWork network(fake.host(), kPatient);
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

// A whole reply that the one-pass reading does not settle, after it has filled part of the
// record, is read from the start by the strict reader: nothing of the first try remains.
TEST(NetWork, RepliesInLessUsualFormsAreReadWhole) {
  FakeController fake;
  GetDataState state = default_get_data_state();
  state.joint_actual_position = {1.5, -2.25, 3, 4, 5, 6};
  state.error_msg = "busy";
  std::string text;
  serialize_into(text, state);
  fake.reply(text.substr(0, text.size() - 1) + R"(,"zz":{"a":[1]}})");  // an unknown key last
  fake.reply(R"({"errorCode":"5","errorMsg":"a","errorCode":"0"})");   // the last duplicate counts
  fake.reply(R"(["7","x"])");                                            // the array form
  NetWork network(fake.host(), kPatient);
  EXPECT_EQ(network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}), state);
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{}), (DefaultState{"0", "a"}));
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::stop_program, EmptyBody{}), (DefaultState{"7", "x"}));
}

// Steady state: a reply that arrives whole costs one send and one recv, and nothing is
// allocated.
TEST(NetWork, SteadyStateExchangesAllocateNothingAndCostOneSendAndOneRecv) {
  FakeController fake;
  for (int round = 0; round < 2; ++round) {
    fake.reply_get_data(default_get_data_state());
    fake.reply(default_reply("0", ""));
  }
  NetWork network(fake.host(), kPatient);
  const ServoJData step{{0.1, 0.2, 0.3, 0.4, 0.5, 0.6}, 0};
  ASSERT_TRUE(network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}));
  ASSERT_TRUE(network.send_and_recv<DefaultState>(Command::servo_j, step));
  const long allocations = static_cast<long>(testing::thread_new_count());
  const auto before = testing::thread_socket_calls();
  ASSERT_TRUE(network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{}));
  ASSERT_TRUE(network.send_and_recv<DefaultState>(Command::servo_j, step));
  const auto after = testing::thread_socket_calls();
  EXPECT_EQ(static_cast<long>(testing::thread_new_count()) - allocations, 0);
  EXPECT_EQ(after.send - before.send, 2u);
  EXPECT_EQ(after.recv - before.recv, 2u);
  EXPECT_EQ(after.poll - before.poll, 0u);
  EXPECT_EQ(after.setsockopt - before.setsockopt, 0u);
}

// An interruption check that fires on its third call.
bool third_call(void* calls) { return ++*static_cast<int*>(calls) == 3; }

TEST(NetWork, AnInterruptedWaitEndsBySlicesAndDropsTheStream) {
  FakeController fake;
  fake.reply_in_parts({R"({"errorCode":"0",)", R"("errorMsg":"late"})"}, 150ms);  // one slice without bytes
  fake.stay_silent();
  fake.stay_silent();
  int calls = 0;
  NetWork network(fake.host(), kPatient, {&third_call, &calls});
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{})->error_msg, "late");
  EXPECT_EQ(calls, 1);
  const auto start = Clock::now();
  EXPECT_THROW((void)network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}), robot_behavior::Interrupted);
  const auto waited = Clock::now() - start;
  EXPECT_EQ(calls, 3);
  EXPECT_GE(waited, 200ms);  // asked after each 100 ms slice
  EXPECT_LT(waited, 1s);
  EXPECT_FALSE(network.has_stream());
  EXPECT_EQ(network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}).error().display(),
            "Network exception: TCP command stream is not initialized");
}

TEST(NetWork, TheExchangeTimeOutCanBeSetAndItsLastSliceEndsAtTheDeadline) {
  FakeController fake;
  fake.reply_ok();
  fake.stay_silent();
  NetWork network(fake.host(), kPatient);
  ASSERT_TRUE(network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}));
  network.set_exchange_timeout(120ms);  // a slice of 100 ms, then one of 20 ms
  const auto start = Clock::now();
  EXPECT_EQ(panic_text([&] { (void)network.send_and_recv<DefaultState>(Command::power_on, EmptyBody{}); }),
            "Connection timed out (os error 110)");
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 120ms);
  EXPECT_LT(waited, 195ms);  // two whole slices would be 200 ms
  EXPECT_FALSE(network.has_stream());
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
  for (int i = 0; i < count; ++i) fake.reply(get_data_reply(first_joint + i));
}

double first_joint(NetWork& network) {
  auto reply = network.send_and_recv<GetDataState>(Command::get_data, EmptyBody{});
  return reply ? reply->joint_actual_position[0] : -1.0;
}

TEST(NetWork, ConnectionsTakingTurnsOnOneThreadReadTheirOwnReplies) {
  FakeController one;
  FakeController two;
  serve_get_data(one, 100.0, 3);
  serve_get_data(two, 200.0, 3);
  NetWork a(one.host(), kPatient);
  NetWork b(two.host(), kPatient);
  EXPECT_EQ(first_joint(a), 100.0);
  EXPECT_EQ(first_joint(b), 200.0);
  EXPECT_EQ(first_joint(b), 201.0);
  EXPECT_EQ(first_joint(a), 101.0);
  EXPECT_EQ(first_joint(a), 102.0);
  EXPECT_EQ(first_joint(b), 202.0);
}

TEST(NetWork, ConnectionsOnTwoThreadsAtOnceReadTheirOwnReplies) {
  constexpr int kCount = 300;
  FakeController one;
  FakeController two;
  serve_get_data(one, 1000.0, kCount);
  serve_get_data(two, 5000.0, kCount);
  auto client = [](const std::string& address, double base, int& wrong) {
    NetWork network(address, kPatient);
    for (int i = 0; i < kCount; ++i) wrong += first_joint(network) != base + i;
  };
  int wrong_one = 0;
  int wrong_two = 0;
  std::thread other(client, two.host(), 5000.0, std::ref(wrong_two));
  client(one.host(), 1000.0, wrong_one);
  other.join();
  EXPECT_EQ(wrong_one, 0);
  EXPECT_EQ(wrong_two, 0);
}

// Connects to `address` and exchanges one command with a fake listening on `listen`.
void exchange_once(const char* listen, const char* address) {
  std::optional<FakeController> fake;
  try {
    fake.emplace(listen);
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "cannot listen on " << listen << ":10001 here";
  }
  fake->reply(default_reply("0", address_reply));
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
