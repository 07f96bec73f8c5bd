// The simulated controller at exact times: replies, motion timing, the queue, stopping
// and servo steps. Scripts: their file format and the patched replies.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controller.hpp"
#include "script.hpp"

namespace orvek::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

SimRequest named(Command command, Body body = EmptyBody{}) {
  return SimRequest{std::string(wire_name(command)), command, body};
}

class SimController : public ::testing::Test {
 protected:
  std::string send(Command command, Body body = EmptyBody{}, double now = 0.0) {
    std::string reply;
    controller.handle(named(command, body), now, reply);
    return reply;
  }
  void enable() {
    ASSERT_EQ(send(Command::power_on), kOk);
    ASSERT_EQ(send(Command::enable_robot), kOk);
  }
  static constexpr const char* kOk = R"({"errorCode":"0","errorMsg":""})";
  Controller controller;
};

TEST_F(SimController, JointMoveFollowsItsProfileAndReportsSpeedUntilTheEnd) {
  enable();
  // 30 degrees at 60 deg/s and 240 deg/s^2: 0.25 s up, 0.25 s cruise, 0.25 s down.
  ASSERT_EQ(send(Command::joint_move, JointMoveData{{30, 0, 0, 0, 0, 0}, 60.0, 240.0, 1}, 10.0), kOk);
  EXPECT_NEAR(controller.joints(10.0)[0], 0.0, 1e-15);
  EXPECT_GT(controller.tcp_speed(10.0), 0.1);  // at once, not after the ramp
  EXPECT_EQ(controller.joints(10.375)[0], 15.0);
  EXPECT_TRUE(controller.moving(10.7499));
  EXPECT_FALSE(controller.moving(10.75));
  EXPECT_EQ(controller.tcp_speed(10.75), 0.0);
  EXPECT_EQ(controller.joints(11.0)[0], 30.0);  // degrees in, the same degrees out
}

TEST_F(SimController, CruiseSpeedOfAJointMoveIsTheToolsSpeedAtThoseRates) {
  enable();
  // Turning the base alone at 10 deg/s moves the tool on a circle of radius |(250, -120)| mm.
  send(Command::joint_move, JointMoveData{{90, 0, 0, 0, 0, 0}, 10.0, 1000.0, 1}, 0.0);
  EXPECT_NEAR(controller.tcp_speed(1.0), std::hypot(250.0, 120.0) * 10.0 * kDeg, 1e-9);
  // The wrist's last joint alone barely moves the tool: the floor of 1 mm/s is reported.
  send(Command::stop_program, EmptyBody{}, 1.0);
  send(Command::joint_move, JointMoveData{{0, 0, 0, 0, 0, 90}, 10.0, 1000.0, 1}, 2.0);
  EXPECT_EQ(controller.tcp_speed(3.0), Controller::kMinMovingSpeed);
}

TEST_F(SimController, QueuedMotionsStartWhereAndWhenThePreviousOneEnds) {
  enable();
  ASSERT_EQ(send(Command::joint_move, JointMoveData{{10, 0, 0, 0, 0, 0}, 10.0, 1e9, 1}, 0.0), kOk);
  ASSERT_EQ(send(Command::joint_move, JointMoveData{{10, 0, 0, 0, 0, 0}, 10.0, 1e9, 1}, 0.5), kOk);
  EXPECT_NEAR(controller.joints(1.5)[0], 15.0, 1e-6);
  EXPECT_TRUE(controller.moving(1.999));
  EXPECT_FALSE(controller.moving(2.0 + 1e-6));  // each ends 2e-8 s after 1 s of cruise
  EXPECT_NEAR(controller.joints(2.0 + 1e-6)[0], 20.0, 1e-15);
}

TEST_F(SimController, StopFreezesTheArmAndPowerOffDisablesIt) {
  enable();
  send(Command::joint_move, JointMoveData{{10, 0, 0, 0, 0, 0}, 10.0, 1e9, 1}, 0.0);
  ASSERT_EQ(send(Command::stop_program, EmptyBody{}, 0.5), kOk);
  EXPECT_NEAR(controller.joints(0.5)[0], 5.0, 1e-6);
  EXPECT_EQ(controller.joints(5.0), controller.joints(0.5));
  send(Command::joint_move, JointMoveData{{10, 0, 0, 0, 0, 0}, 10.0, 1e9, 1}, 1.0);
  ASSERT_EQ(send(Command::power_off, EmptyBody{}, 1.5), kOk);
  EXPECT_FALSE(controller.moving(1.5));
  EXPECT_FALSE(controller.enabled());
  EXPECT_EQ(send(Command::enable_robot), std::string(R"({"errorCode":"3","errorMsg":"robot is not powered on"})"));
}

TEST_F(SimController, RefusesMotionsThatWouldNeverEndOrOverfillTheQueue) {
  enable();
  EXPECT_EQ(send(Command::joint_move, JointMoveData{{10, 0, 0, 0, 0, 0}, 1e-300, 1.0, 1}),
            R"({"errorCode":"6","errorMsg":"motion would take longer than a day"})");
  for (std::size_t i = 0; i < Controller::kMaxQueued; ++i)
    ASSERT_EQ(send(Command::joint_move, JointMoveData{{1, 0, 0, 0, 0, 0}, 1.0, 1.0, 1}), kOk);
  EXPECT_EQ(send(Command::joint_move, JointMoveData{{1, 0, 0, 0, 0, 0}, 1.0, 1.0, 1}),
            R"({"errorCode":"5","errorMsg":"motion queue is full"})");
}

TEST_F(SimController, ServoStepSpeedIsItsTravelOverItsTimeAndFadesAfterATenth) {
  enable();
  ASSERT_EQ(send(Command::servo_move, ServoMoveData{1}, 0.0), kOk);
  // The base turns 1 degree in a 20 ms step: the tool travels a chord of that circle.
  ASSERT_EQ(send(Command::servo_j, ServoJData{{1, 90, -90, -90, -90, 0}, 0}, 0.02), kOk);
  const double chord = 2.0 * std::hypot(250.0, 120.0) * std::sin(0.5 * kDeg);
  EXPECT_NEAR(controller.tcp_speed(0.05), chord / 0.02, 1e-6);
  EXPECT_EQ(controller.tcp_speed(0.1201), 0.0);
  // Steps closer together than 8 ms count as 8 ms.
  ASSERT_EQ(send(Command::servo_j, ServoJData{{-1, 0, 0, 0, 0, 0}, 1}, 0.021), kOk);
  EXPECT_NEAR(controller.tcp_speed(0.021), chord / 0.008, 1e-6);
  EXPECT_NEAR(controller.joints(0.03)[0], 0.0, 1e-15);
}

TEST_F(SimController, GetDataLenIsTheLengthOfTheReply) {
  std::string reply;
  controller.handle(named(Command::get_data), 0.0, reply);
  const std::string key = "\"len\":";
  const auto at = reply.find(key);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(std::stoul(reply.substr(at + key.size())), reply.size());
}

TEST(SimScript, ReadsStepsDefaultsAndRepeats) {
  Script script;
  ASSERT_EQ(Script::parse(R"({
    "get_data": {"steps": [{"raw": "A", "times": 2}, {"hex": "42 ff"}], "default": {"delay_ms": 5}},
    "power_on": [{"segments": ["x", {"hex": "7a"}], "pause_ms": 20, "execute": true}, {"close": true}]
  })", script), std::nullopt);
  EXPECT_EQ(script.next("get_data")->segments, std::vector<std::string>{"A"});
  EXPECT_EQ(script.next("get_data")->segments, std::vector<std::string>{"A"});
  EXPECT_EQ(script.next("get_data")->segments, std::vector<std::string>{"B\xff"});
  for (int i = 0; i < 3; ++i) {
    const auto step = script.next("get_data");
    EXPECT_EQ(step->answer, Step::Answer::Simulated);
    EXPECT_EQ(step->delay, 0.005);
  }
  const auto segments = script.next("power_on");
  EXPECT_EQ(segments->segments, (std::vector<std::string>{"x", "z"}));
  EXPECT_EQ(segments->pause, 0.02);
  EXPECT_TRUE(segments->execute);
  const auto close = script.next("power_on");
  EXPECT_EQ(close->answer, Step::Answer::Close);
  EXPECT_FALSE(close->execute);
  EXPECT_FALSE(script.next("power_on").has_value());
  EXPECT_FALSE(script.next("enable_robot").has_value());
}

TEST(SimScript, NamesThePlaceOfEachFault) {
  const std::pair<const char*, const char*> cases[] = {
      {"[]", "the script must be a JSON object"},
      {R"({"a": 1})", "$.a: expected an array of steps"},
      {R"({"a": [{"rawr": "x"}]})", "$.a[0].rawr: unknown key"},
      {R"({"a": {"steps": [{}, {"hex": "4"}]}})", "$.a.steps[1].hex: odd number of hex digits"},
      {R"({"a": [{"segments": ["x", 1]}]})", "$.a[0].segments[1]: expected a string or {\"hex\": \"...\"}"},
      {R"({"a": [{"delay_ms": -1}]})", "$.a[0].delay_ms: expected a number of milliseconds from 0 to 3600000"},
      {R"({"a": [{"raw": "x", "pause_ms": 5}]})", "$.a[0]: pause_ms needs segments"},
      {R"({"a": [{"raw": "x", "patch": {}}]})", "$.a[0]: patch and remove apply to the simulated reply only"},
      {R"({"a": [{"execute": false}]})", "$.a[0]: a simulated reply always carries the command out"},
      {R"({"a": [{"close": true, "then_close": true}]})", "$.a[0]: then_close needs an answer to send"},
      {R"({"a": [{"times": 0}]})", "$.a[0].times: expected a whole number from 1"},
      {R"({"a": {"default": {"times": 2}}})", "$.a.default: times does not apply to the default step"},
      {R"({"a": {"later": []}})", "$.a.later: unknown key (expected steps or default)"},
  };
  for (const auto& [text, message] : cases) {
    Script script;
    EXPECT_EQ(Script::parse(text, script), std::optional<std::string>(message)) << text;
  }
}

TEST(SimScript, PatchReplacesKeysInPlaceAndKeepsTheRestByteForByte) {
  Step step;
  step.patch = {{"b", "[1,2]"}, {"new", "\"x\""}};
  step.remove = {"c"};
  EXPECT_EQ(apply_patch(R"({"a":1.50,"b":{"x":[]},"c":true,"d":"q\"u"})", step),
            R"({"a":1.50,"b":[1,2],"d":"q\"u","new":"x"})");
  EXPECT_EQ(apply_patch("[1]", step), "[1]");
}

}  // namespace
}  // namespace orvek::sim
