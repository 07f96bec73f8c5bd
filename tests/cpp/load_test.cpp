#include "robot_behavior/load.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace robot_behavior;

TEST(LoadState, DebugFormUsesTheDebugFormOfDoubles) {
  EXPECT_EQ(debug(LoadState{1.5, {0, 0, 0.1}, {}}),
            "LoadState { m: 1.5, x: [0.0, 0.0, 0.1], i: [0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0] }");
  EXPECT_EQ(debug(LoadState{2, {-0.0, 1e-5, 1e16}, {1, 2, 3, 4, 5, 6, 7, 8, std::numeric_limits<double>::quiet_NaN()}}),
            "LoadState { m: 2.0, x: [-0.0, 1e-5, 1e16], i: [1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, NaN] }");
}
