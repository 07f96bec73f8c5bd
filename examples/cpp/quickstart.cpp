// Quickstart: connect to an arm's controller, move the arm, read where it is.
//
//     quickstart ADDRESS      # e.g. 127.0.0.1, where an orvek-sim listens
//
// The library converts no unit: every number goes to the controller exactly as given and comes
// back exactly as sent. The numbers below are in orvek-sim's units (joints in degrees, positions
// in millimetres, pose angles in radians); check your controller's before you copy them.
//
// Every fallible call returns a std::expected whose error is a RobotException; an internal
// failure (a connection that fails, a broken exchange) is thrown as robot_behavior::Panic.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>
#include <string>

#include <liborvek/robot.hpp>

namespace {

using orvek::Joints;
using orvek::OrvekRobot;
using robot_behavior::Result;

std::string numbers(std::span<const double> values, int digits = 1) {
  std::string text = "[";
  char number[64];
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::snprintf(number, sizeof number, "%s%.*f", i == 0 ? "" : ", ", digits, values[i]);
    text += number;
  }
  return text + "]";
}

// An operation that must succeed here: on an error, say which and end the program.
void must(const Result<void>& result, const char* what) {
  if (result) return;
  std::fprintf(stderr, "%s failed: %s\n", what, result.error().display().c_str());
  std::exit(EXIT_FAILURE);
}

int run(const std::string& address) {
  // Connecting can fail; the library throws that as its internal failure, Panic.
  std::printf("connecting to %s:10001\n", address.c_str());
  OrvekRobot robot = [&] {
    try {
      return OrvekRobot(address);
    } catch (const robot_behavior::Panic& error) {
      std::fprintf(stderr, "cannot reach the controller at %s: %s\n", address.c_str(), error.what());
      std::exit(EXIT_FAILURE);
    }
  }();

  std::printf("powering on and enabling the arm\n");
  must(robot.enable(), "enable");

  // 0.2 of full speed for every later move: joints 36 deg/s and 80 deg/s^2,
  // linear moves 200 mm/s and 800 mm/s^2.
  std::printf("speed: set_speed(0.2)\n");
  robot.set_speed(0.2);

  // Blocking moves return once the arm is at rest.
  const Joints target{30, 90, -90, -90, -90, 0};
  std::printf("joint move to %s ...\n", numbers(target, 0).c_str());
  must(robot.move_joint(target), "joint move");
  std::printf("  at rest\n");

  std::printf("linear move 50 mm straight down, relative to the tool's current position ...\n");
  must(robot.move_linear_with_euler_rel({0, 0, -50, 0, 0, 0}), "linear move");
  std::printf("  at rest\n");

  const Result<orvek::ArmState6> state = robot.state();
  if (!state) {
    std::fprintf(stderr, "state failed: %s\n", state.error().display().c_str());
    return EXIT_FAILURE;
  }
  const auto [position, angles] = state->pose_o_to_ee->euler();
  std::printf("state:\n");
  std::printf("  joints           %s\n", numbers(*state->joint).c_str());
  std::printf("  tool position    %s\n", numbers(position).c_str());
  std::printf("  roll, pitch, yaw %s\n", numbers(angles, 3).c_str());

  const orvek::LoadState payload{1.5, {0, 0, 50}, {}};  // mass, centre of mass, inertia (not sent)
  std::printf("payload: %s\n", robot_behavior::debug(payload).c_str());
  must(robot.set_load(payload), "set_load");

  // The controller refuses what it cannot do: the error carries its code and message.
  std::printf("joint move to 400 degrees on the first joint ...\n");
  if (const Result<void> moved = robot.move_joint({400, 90, -90, -90, -90, 0}); !moved) {
    std::printf("  refused: %s\n", moved.error().display().c_str());
  } else {
    std::fprintf(stderr, "the controller accepted a joint target of 400 degrees\n");
    return EXIT_FAILURE;
  }

  std::printf("disabling and powering off\n");
  must(robot.disable(), "disable");
  must(robot.shutdown(), "shutdown");
  std::printf("done\n");
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s ADDRESS\n", argv[0]);
    return 2;
  }
  try {
    return run(argv[1]);
  } catch (const robot_behavior::Panic& error) {
    std::fprintf(stderr, "internal failure: %s\n", error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "unexpected failure: %s\n", error.what());
  }
  return EXIT_FAILURE;
}
