// Heap allocations per realtime cycle in the C++ part (driver, transport, wire records),
// against a controller in another process, counted by the replaced operator new of
// counting_new.cpp.
//
//   alloc_bench HOST CYCLES
//
// Before it counts anything it shows that the counter works: a known number of allocations
// must be seen, and a run whose callable allocates one block per cycle must count exactly one
// per cycle. Prints one line of JSON; exits 1 when the counter fails its check.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "counting_new.hpp"
#include "liborvek/robot.hpp"

namespace {

using robot_behavior::Motion6;
using robot_behavior::MotionStep;

void* volatile g_escape = nullptr;  // where a deliberate allocation escapes to

constexpr std::size_t kWarmUp = 10;  // cycles before the steady state

struct Counts {
  std::size_t cycles = 0;
  unsigned long long total = 0;  // over the steady-state cycles
  unsigned long long max_per_cycle = 0;
};

// Runs `cycles` servo cycles; `extra` runs inside the callable each cycle. Every other cycle
// sends a Cartesian target, so both servo commands are counted.
template <class Extra>
Counts servo_run(orvek::OrvekRobot& robot, std::size_t cycles, Extra extra) {
  std::vector<unsigned long long> marks;
  marks.reserve(cycles + 2);
  auto closure = [&](const orvek::ArmState6&, std::chrono::nanoseconds) -> MotionStep {
    marks.push_back(orvek_bench_new_count());
    extra();
    const double step = 1e-4 * static_cast<double>(marks.size() % 100);
    if (marks.size() > cycles) return {Motion6{Motion6::Stop{}}, true};
    if (marks.size() % 2 == 0) return {Motion6{Motion6::Joint{{step, 90.0, -90.0, -90.0, -90.0, 0.0}}}, false};
    return {Motion6{Motion6::Cartesian{robot_behavior::Pose::Euler{{250.0, -120.0 + step, 460.0},
                                                                    {3.141592653589793, 0.0, 1.5707963267948966}}}},
            false};
  };
  if (auto run = robot.move_with_closure(closure); !run) {
    std::fprintf(stderr, "alloc_bench: move_with_closure: %s\n", run.error().display().c_str());
    std::exit(1);
  }
  Counts counts;
  for (std::size_t i = kWarmUp; i + 1 < marks.size(); ++i) {
    const unsigned long long n = marks[i + 1] - marks[i];
    ++counts.cycles;
    counts.total += n;
    if (n > counts.max_per_cycle) counts.max_per_cycle = n;
  }
  return counts;
}

Counts get_data_run(orvek::OrvekRobot& robot, std::size_t count) {
  Counts counts;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned long long before = orvek_bench_new_count();
    auto state = robot.state();
    const unsigned long long n = orvek_bench_new_count() - before;
    if (!state) std::exit(1);
    if (i < kWarmUp) continue;
    ++counts.cycles;
    counts.total += n;
    if (n > counts.max_per_cycle) counts.max_per_cycle = n;
  }
  return counts;
}

std::string json(const Counts& c) {
  return "{\"cycles\": " + std::to_string(c.cycles) + ", \"allocations\": " + std::to_string(c.total) +
         ", \"max_per_cycle\": " + std::to_string(c.max_per_cycle) + "}";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: alloc_bench HOST CYCLES\n", stderr);
    return 2;
  }
  const std::size_t cycles = std::strtoull(argv[2], nullptr, 10);
  try {
    // The counter sees a plain new, an array new and a string's buffer.
    const unsigned long long before = orvek_bench_new_count();
    {
      auto one = std::make_unique<double>(1.0);
      auto many = std::make_unique<int[]>(16);
      std::string text(100, 'x');
      g_escape = one.get();
      g_escape = many.get();
      g_escape = text.data();
    }
    const unsigned long long known = orvek_bench_new_count() - before;

    orvek::OrvekRobot robot(argv[1]);
    if (auto enabled = robot.enable(); !enabled) {
      std::fprintf(stderr, "alloc_bench: enable: %s\n", enabled.error().display().c_str());
      return 1;
    }
    const Counts allocating = servo_run(robot, cycles / 10 + kWarmUp, [] {
      auto block = std::make_unique<double>(2.0);
      g_escape = block.get();
    });
    const Counts steady = servo_run(robot, cycles, [] {});
    const Counts get_data = get_data_run(robot, cycles / 10 + kWarmUp);

    const bool counter_works = known == 3 && allocating.cycles > 0 && allocating.total == allocating.cycles &&
                               allocating.max_per_cycle == 1;
    std::printf(
        "{\"counter_check\": {\"expected\": 3, \"seen\": %llu}, \"allocating_callable\": %s, \"counter_works\": %s, "
        "\"steady\": %s, \"get_data\": %s}\n",
        known, json(allocating).c_str(), counter_works ? "true" : "false", json(steady).c_str(),
        json(get_data).c_str());
    return counter_works ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "alloc_bench: %s\n", error.what());
    return 1;
  }
}
