// Motion profiles and plans of the simulated arm, at exact times.

#include <gtest/gtest.h>

#include <cmath>

#include "kinematics.hpp"
#include "motion.hpp"

namespace orvek::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
const Joints kHome{0, kPi / 2, -kPi / 2, -kPi / 2, -kPi / 2, 0};

TEST(SimTrapezoid, CruisesWhenThePathIsLongEnough) {
  const Trapezoid p(100.0, 200.0, 1000.0);  // 0.2 s ramps of 20 mm each, 60 mm at 200 mm/s
  EXPECT_DOUBLE_EQ(p.duration(), 0.7);
  EXPECT_DOUBLE_EQ(p.peak_speed(), 200.0);
  EXPECT_DOUBLE_EQ(p.distance_at(0.1), 5.0);
  EXPECT_DOUBLE_EQ(p.distance_at(0.2), 20.0);
  EXPECT_DOUBLE_EQ(p.distance_at(0.35), 50.0);
  EXPECT_DOUBLE_EQ(p.distance_at(0.6), 95.0);
  EXPECT_DOUBLE_EQ(p.distance_at(0.7), 100.0);
  EXPECT_DOUBLE_EQ(p.distance_at(-1.0), 0.0);
  EXPECT_DOUBLE_EQ(p.distance_at(9.0), 100.0);
}

TEST(SimTrapezoid, ShortPathsNeverReachTheSpeedLimit) {
  const Trapezoid p(40.0, 200.0, 1000.0);  // exactly the two ramps' length: a triangle
  EXPECT_DOUBLE_EQ(p.duration(), 0.4);
  EXPECT_DOUBLE_EQ(p.peak_speed(), 200.0);
  const Trapezoid q(10.0, 200.0, 1000.0);
  EXPECT_DOUBLE_EQ(q.duration(), 0.2);
  EXPECT_DOUBLE_EQ(q.peak_speed(), 100.0);
  EXPECT_DOUBLE_EQ(q.distance_at(0.1), 5.0);
  const Trapezoid none(0.0, 200.0, 1000.0);
  EXPECT_EQ(none.duration(), 0.0);
  EXPECT_EQ(none.distance_at(1.0), 0.0);
}

TEST(SimTrapezoid, DistanceNeverFallsBack) {
  const Trapezoid p(123.4, 55.0, 77.0);
  double last = 0;
  for (double t = 0; t <= p.duration() + 0.1; t += 0.001) {
    const double s = p.distance_at(t);
    EXPECT_GE(s, last);
    last = s;
  }
  EXPECT_DOUBLE_EQ(last, 123.4);
}

TEST(SimJointMotion, JointsMoveTogetherAndTheLongestTravelSetsTheTime) {
  Joints end = kHome;
  end[0] += 0.5;
  end[5] -= 0.25;
  const JointMotion m(kHome, end, 1.0, 4.0);  // 0.25 s ramps of 0.125 rad, 0.25 rad cruise
  EXPECT_DOUBLE_EQ(m.duration(), 0.75);
  const Joints mid = m.joints_at(0.375);
  EXPECT_NEAR(mid[0], kHome[0] + 0.25, 1e-15);
  EXPECT_NEAR(mid[5], kHome[5] - 0.125, 1e-15);
  EXPECT_EQ(mid[1], kHome[1]);
  EXPECT_EQ(m.joints_at(0.75), end);
  const Joints rates = m.cruise_rates();
  EXPECT_DOUBLE_EQ(rates[0], 1.0);
  EXPECT_DOUBLE_EQ(rates[5], -0.5);
}

TEST(SimLinearMotion, StaysOnTheLineAndEndsOnTheTarget) {
  const Frame start = forward(kHome);
  Frame target = start;
  target.position[0] += 60.0;
  target.position[2] -= 80.0;
  target.rotation = multiply(from_six({0, 0, 0, 0.0, 0.0, 0.3}).rotation, start.rotation);
  std::optional<LinearMotion> m;
  ASSERT_EQ(LinearMotion::plan(kHome, target, 200.0, 1000.0, m), std::nullopt);
  EXPECT_DOUBLE_EQ(m->duration(), 0.7);
  EXPECT_DOUBLE_EQ(m->cruise_speed(), 200.0);
  for (double t = 0.0; t <= 0.7; t += 0.05) {
    const Frame f = forward(m->joints_at(t));
    const double along = Trapezoid(100.0, 200.0, 1000.0).distance_at(t) / 100.0;
    EXPECT_NEAR(f.position[0], start.position[0] + 60.0 * along, 1e-6) << t;
    EXPECT_NEAR(f.position[1], start.position[1], 1e-6) << t;
    EXPECT_NEAR(f.position[2], start.position[2] - 80.0 * along, 1e-6) << t;
    const Vec3 turn = rotation_vector(multiply(f.rotation, transpose(start.rotation)));
    EXPECT_NEAR(turn[2], 0.3 * along, 1e-9) << t;
  }
  const Frame last = forward(m->end());
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(last.position[k], target.position[k], 1e-7);
}

TEST(SimLinearMotion, APureTurnTakesTimeAndHasNoTranslationalSpeed) {
  const Frame start = forward(kHome);
  Frame target = start;
  target.rotation = multiply(from_six({0, 0, 0, 0.0, 0.0, 1.0}).rotation, start.rotation);  // 1 rad counts as 100 mm
  std::optional<LinearMotion> m;
  ASSERT_EQ(LinearMotion::plan(kHome, target, 200.0, 1000.0, m), std::nullopt);
  EXPECT_DOUBLE_EQ(m->duration(), 0.7);
  EXPECT_EQ(m->cruise_speed(), 0.0);
}

TEST(SimLinearMotion, RefusesLinesThatLeaveTheWorkspace) {
  Frame target = forward(kHome);
  target.position[0] += 300.0;
  target.position[1] += 300.0;  // the forearm cannot stretch that far with the tool down
  std::optional<LinearMotion> m;
  EXPECT_EQ(LinearMotion::plan(kHome, target, 200.0, 1000.0, m), "target is out of reach along the line");
  EXPECT_FALSE(m.has_value());
  target.position[0] = 1e308;  // a path length far beyond any sample count
  target.position[1] = -1e308;
  EXPECT_EQ(LinearMotion::plan(kHome, target, 200.0, 1000.0, m), "target is out of reach along the line");
  target.position[0] = INFINITY;
  EXPECT_EQ(LinearMotion::plan(kHome, target, 200.0, 1000.0, m), "target is not a finite pose");
}

}  // namespace
}  // namespace orvek::sim
