// Request text: exact bytes of every command the driver sends.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "types/request.hpp"

namespace orvek {
namespace {

template <class Body>
std::string text(Command command, const Body& body) {
  std::string out = "left over from an earlier request";
  serialize_into(out, command, body);
  return out;
}

TEST(RequestText, EmptyBodyIsTheCommandNameAlone) {
  EXPECT_EQ(text(Command::power_on, EmptyBody{}), R"({"cmdName":"power_on"})");
  EXPECT_EQ(text(Command::power_off, EmptyBody{}), R"({"cmdName":"power_off"})");
  EXPECT_EQ(text(Command::enable_robot, EmptyBody{}), R"({"cmdName":"enable_robot"})");
  EXPECT_EQ(text(Command::disable_robot, EmptyBody{}), R"({"cmdName":"disable_robot"})");
  EXPECT_EQ(text(Command::stop_program, EmptyBody{}), R"({"cmdName":"stop_program"})");
  EXPECT_EQ(text(Command::clear_error, EmptyBody{}), R"({"cmdName":"clear_error"})");
  EXPECT_EQ(text(Command::get_data, EmptyBody{}), R"({"cmdName":"get_data"})");
}

TEST(RequestText, BodiesWithKeysInByteOrder) {
  EXPECT_EQ(text(Command::joint_move, JointMoveData{{0, 0, 0, 0, 0, 0}, 9, 20, 0}),
            R"({"accel":20.0,"cmdName":"joint_move","jointPosition":[0.0,0.0,0.0,0.0,0.0,0.0],"relFlag":0,"speed":9.0})");
  EXPECT_EQ(text(Command::moveL, MoveLData{{100.5, -2, 3e-7, 0.1, 1e16, -0.0}, 50, 0.25, 1}),
            R"({"accel":0.25,"cartPosition":[100.5,-2.0,3e-7,0.1,1e16,-0.0],"cmdName":"moveL","relFlag":1,"speed":50.0})");
  EXPECT_EQ(text(Command::servo_j, ServoJData{{1, 2, 3, 4, 5, 6.125}, 1}),
            R"({"cmdName":"servo_j","jointPosition":[1.0,2.0,3.0,4.0,5.0,6.125],"relFlag":1})");
  EXPECT_EQ(text(Command::servo_p, ServoPData{{0.5, 0, 0, 0, 0, 0}, 0}),
            R"({"catPosition":[0.5,0.0,0.0,0.0,0.0,0.0],"cmdName":"servo_p","relFlag":0})");
  EXPECT_EQ(text(Command::servo_move, ServoMoveData{1}), R"({"cmdName":"servo_move","relFlag":1})");
  EXPECT_EQ(text(Command::set_payload, SetPayloadData{2.5, {0, 0.01, 120}}),
            R"({"centroid":[0.0,0.01,120.0],"cmdName":"set_payload","mass":2.5})");
  EXPECT_EQ(text(Command::servo_move, ServoMoveData{255}), R"({"cmdName":"servo_move","relFlag":255})");
}

TEST(RequestText, NumbersThatAreNotFiniteAreNull) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(text(Command::joint_move, JointMoveData{{nan, inf, -inf, 0, 0, 0}, nan, 1, 0}),
            R"({"accel":1.0,"cmdName":"joint_move","jointPosition":[null,null,null,0.0,0.0,0.0],"relFlag":0,"speed":null})");
}

TEST(RequestText, ShortestRoundTripDigits) {
  const std::string out = text(Command::set_payload, SetPayloadData{0.1 + 0.2, {1.0 / 3, 123456789.125, 5e-324}});
  EXPECT_EQ(out, R"({"centroid":[0.3333333333333333,123456789.125,5e-324],"cmdName":"set_payload","mass":0.30000000000000004})");
}

}  // namespace
}  // namespace orvek
