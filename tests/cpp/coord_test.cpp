#include "robot_behavior/coord.hpp"

#include <gtest/gtest.h>

#include "robot_behavior/exception.hpp"

using namespace robot_behavior;

TEST(Coord, DefaultIsOcs) {
  const Coord coord;
  EXPECT_TRUE(coord.is_ocs());
  EXPECT_FALSE(coord.is_user_frame());
}

TEST(Coord, TheThreeNamesMatchByExactBytes) {
  EXPECT_EQ(coord_from_string("OCS"), Coord{Coord::OCS{}});
  EXPECT_EQ(coord_from_string("Shot"), Coord{Coord::Shot{}});
  EXPECT_EQ(coord_from_string("Interial"), Coord{Coord::Interial{}});

  // Near misses are not names: they go to the pose reader and fail there.
  EXPECT_EQ(coord_from_string("ocs").error(), (JsonTextError{"expected a JSON value, found 'o'", 1, 1}));
  EXPECT_EQ(coord_from_string("Inertial").error(), (JsonTextError{"expected a JSON value, found 'I'", 1, 1}));
  EXPECT_EQ(coord_from_string(" OCS").error(), (JsonTextError{"expected a JSON value, found 'O'", 1, 2}));
  EXPECT_EQ(coord_from_string(std::string_view("OCS\0", 4)).error(),
            (JsonTextError{"expected a JSON value, found 'O'", 1, 1}));
}

TEST(Coord, AnyOtherTextIsOnePoseGivingAUserFrame) {
  const Coord expected{Coord::Other{Pose::Position{{0, 0, 100}}}};
  EXPECT_EQ(coord_from_string(R"({"Position": [0, 0, 100]})"), expected);
  EXPECT_EQ(coord_from_string(" \n{\"Position\": [0, 0, 100]}\r\n "), expected);
  EXPECT_TRUE(coord_from_string(R"({"Position": [0, 0, 100]})")->is_user_frame());
  EXPECT_EQ(coord_from_string(R"({"Euler": [[1, 2, 3], [0, 0.5, 0]]})"),
            (Coord{Coord::Other{Pose::Euler{{1, 2, 3}, {0, 0.5, 0}}}}));
}

TEST(Coord, ABadFrameTextFailsWithTheReadersMessageAndPlace) {
  const auto quoted = coord_from_string(R"("OCS")");
  ASSERT_FALSE(quoted.has_value());
  EXPECT_EQ(quoted.error(),
            (JsonTextError{R"(expected a pose (an object with one member named "Euler", "Quat", "Homo", "AxisAngle" or "Position"), found a string)",
                           1, 1}));

  // What the robot class shows when it unwraps a bad frame.
  const auto bad = coord_from_string(R"({"Position": [0, 0]})");
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(std::string(kUnwrapPrefix) + bad.error().debug(),
            "called `Result::unwrap()` on an `Err` value: "
            R"x(Error("expected an array of 3 numbers, found 2 items (\"Position\")", line: 1, column: 14))x");
}
