// Heap allocations per realtime cycle, counted by a replaced global operator new. Its own
// executable, so the replacement touches no other test.
//
// The count is per thread: the fake controller allocates freely on its own thread.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fake_controller.hpp"
#include "liborvek/robot.hpp"
#include "counting_new.hpp"

namespace {
void* volatile g_escape = nullptr;  // where a test's allocation escapes to
}  // namespace

namespace orvek {
namespace {

using robot_behavior::MotionStep;

constexpr std::size_t kCycles = 400;
constexpr std::size_t kWarmUp = 5;

// Allocations made during each cycle: one servo exchange plus one call of the callable.
// `extra` runs inside the callable, to show that the measurement sees what it should.
template <class Extra>
std::vector<std::size_t> allocations_per_cycle(Extra extra) {
  testing::FakeController controller;
  OrvekRobot robot(controller.host());
  std::vector<std::size_t> marks;
  marks.reserve(kCycles + 1);
  auto closure = [&](const ArmState6&, std::chrono::nanoseconds) -> MotionStep {
    marks.push_back(testing::thread_new_count());
    extra();
    const double step = 0.001 * static_cast<double>(marks.size());
    if (marks.size() > kCycles) return {Motion6{Motion6::Stop{}}, true};
    if (marks.size() % 2 == 0) return {Motion6{Motion6::Joint{{step, 0.5, -step, 1e-7, 123456.75, 0}}}, false};
    return {Motion6{Motion6::Cartesian{Pose::Quat{{0, 0, std::sin(step), std::cos(step)}, {400, step, 300}}}}, false};
  };
  EXPECT_EQ(testing::shown(robot.move_with_closure(closure)), "ok");
  EXPECT_EQ(controller.request_count(), kCycles + 2);
  std::vector<std::size_t> per_cycle;
  for (std::size_t i = kWarmUp; i + 1 < marks.size(); ++i) per_cycle.push_back(marks[i + 1] - marks[i]);
  return per_cycle;
}

TEST(RealtimeAllocations, TheCounterSeesEveryAllocationOfThisThread) {
  const std::size_t before = testing::thread_new_count();
  auto boxed = std::make_unique<double>(1.0);
  std::string long_text(100, 'x');
  EXPECT_EQ(testing::thread_new_count() - before, 2u);
}

TEST(RealtimeAllocations, SteadyStateCyclesAllocateNothing) {
  const auto per_cycle = allocations_per_cycle([] {});
  EXPECT_EQ(per_cycle, std::vector<std::size_t>(kCycles - kWarmUp, 0));
}

TEST(RealtimeAllocations, AnAllocatingCallableIsCountedOncePerCycle) {
  const auto per_cycle = allocations_per_cycle([] {
    auto boxed = std::make_unique<double>(2.0);
    g_escape = boxed.get();  // the allocation cannot be optimised away
  });
  EXPECT_EQ(per_cycle, std::vector<std::size_t>(kCycles - kWarmUp, 1));
}

}  // namespace
}  // namespace orvek
