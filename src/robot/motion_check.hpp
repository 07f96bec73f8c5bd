#pragma once
// Checks a motion passes before anything is sent: no user frame, no number that is not finite.

#include <array>
#include <span>
#include <string_view>

#include "robot_behavior/coord.hpp"
#include "robot_behavior/exception.hpp"

namespace orvek {

// The names of the six-number form of a pose.
inline constexpr std::array<std::string_view, 6> kSixNames = {"x", "y", "z", "roll", "pitch", "yaw"};

// InvalidInstruction naming the first value that is NaN or infinite, e.g.
// "cartPosition[3] (roll) is not a finite number: NaN" or "speed is not a finite number: inf".
robot_behavior::Result<void> require_finite(std::string_view field, std::span<const double> values,
                                            std::span<const std::string_view> element_names = {});

// UnprocessableInstructionError "user frames are not supported by this controller" for Other.
robot_behavior::Result<void> require_named_frame(const robot_behavior::Coord& frame);

}  // namespace orvek
