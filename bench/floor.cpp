// The floor: the exchanges of the Python benchmarks, made by the C++ driver with no Python in
// the process. What the Python module adds on top of these figures is the binding's cost.
//
//   bench_floor realtime HOST CYCLES WARMUP   servo loop: one "servo_j" per cycle, as
//                                             move_joint_with_closure with a trivial function
//   bench_floor get_data HOST COUNT WARMUP    "get_data" exchanges, read into the driver's state
//
// WARMUP cycles or exchanges run first, unmeasured, as in the Python benchmarks.
// The controller must be running on HOST (port 10001); "realtime" enables the arm first.
// Prints one line of JSON: {"samples_ns": [...]}, one figure per cycle or exchange; with a
// trailing argument "quiet", {} instead (for counting instructions per call).
// A realtime sample is the time from one call of the callable to the next: building the
// state, the callable and one command-and-reply round trip.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "liborvek/robot.hpp"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nanoseconds(Clock::duration d) { return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count(); }

bool g_quiet = false;

void print_samples(const std::vector<std::int64_t>& samples) {
  if (g_quiet) {
    std::fputs("{}\n", stdout);
    return;
  }
  std::string out = "{\"samples_ns\": [";
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (i != 0) out += ',';
    out += std::to_string(samples[i]);
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
}

// One servo run of `cycles` targets; the time of each call of the callable in `calls`.
bool servo_run(orvek::OrvekRobot& robot, std::size_t cycles, std::vector<Clock::time_point>& calls) {
  calls.clear();
  calls.reserve(cycles + 1);
  // The same answer as the Python function of the benchmark: six zeros, finished after
  // `cycles` targets.
  const robot_behavior::Motion6 target{robot_behavior::Motion6::Joint{{0.0, 0.0, 0.0, 0.0, 0.0, 0.0}}};
  auto closure = [&](const orvek::ArmState6&, std::chrono::nanoseconds) -> robot_behavior::MotionStep {
    calls.push_back(Clock::now());
    return {target, calls.size() > cycles};
  };
  if (auto run = robot.move_with_closure(closure); !run) {
    std::fprintf(stderr, "bench_floor: move_with_closure: %s\n", run.error().display().c_str());
    return false;
  }
  return true;
}

int realtime(orvek::OrvekRobot& robot, std::size_t cycles, std::size_t warmup) {
  if (auto enabled = robot.enable(); !enabled) {
    std::fprintf(stderr, "bench_floor: enable: %s\n", enabled.error().display().c_str());
    return 1;
  }
  std::vector<Clock::time_point> calls;
  if (!servo_run(robot, warmup, calls) || !servo_run(robot, cycles, calls)) return 1;
  std::vector<std::int64_t> samples;
  samples.reserve(cycles);
  for (std::size_t i = 1; i < calls.size(); ++i) samples.push_back(nanoseconds(calls[i] - calls[i - 1]));
  print_samples(samples);
  return 0;
}

int get_data(orvek::OrvekRobot& robot, std::size_t count, std::size_t warmup) {
  std::vector<std::int64_t> samples;
  samples.reserve(count);
  double sink = 0.0;  // keeps the reading of the record in the measurement
  for (std::size_t i = 0; i < warmup + count; ++i) {
    const auto start = Clock::now();
    auto state = robot.state();
    const auto end = Clock::now();
    if (!state) {
      std::fprintf(stderr, "bench_floor: state: %s\n", state.error().display().c_str());
      return 1;
    }
    sink += (*state->joint)[0];
    if (i >= warmup) samples.push_back(nanoseconds(end - start));
  }
  print_samples(samples);
  return sink == 12345.678 ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && !(argc == 6 && std::string_view(argv[5]) == "quiet")) {
    std::fputs("usage: bench_floor realtime|get_data HOST COUNT WARMUP [quiet]\n", stderr);
    return 2;
  }
  g_quiet = argc == 6;
  const std::string_view mode = argv[1];
  const std::size_t count = std::strtoull(argv[3], nullptr, 10);
  const std::size_t warmup = std::strtoull(argv[4], nullptr, 10);
  try {
    orvek::OrvekRobot robot(argv[2]);
    if (mode == "realtime") return realtime(robot, count, warmup);
    if (mode == "get_data") return get_data(robot, count, warmup);
    std::fprintf(stderr, "bench_floor: unknown mode %s\n", argv[1]);
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_floor: %s\n", error.what());
    return 1;
  }
}
