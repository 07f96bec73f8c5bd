// Cost of each pose conversion, per source representation.
#include <benchmark/benchmark.h>

#include <cmath>

#include "robot_behavior/pose.hpp"

using namespace robot_behavior;

namespace {

const Pose kEuler = Pose::Euler{{400.0, -20.0, 300.0}, {0.3, -0.7, 2.1}};
const Pose kQuat = Pose::Quat{{0.1825742, 0.3651484, 0.5477226, 0.7302967}, {400.0, -20.0, 300.0}};
const Pose kHomo = Pose::Homo{kEuler.homo()};
const Pose kAxisAngle = AxisAngle{{400.0, -20.0, 300.0}, {1.0, 2.0, 3.0}, 1.2};

void BM_EulerToQuat(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kEuler.quat());
}
void BM_EulerToHomo(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kEuler.homo());
}
void BM_EulerToAxisAngle(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kEuler.axis_angle());
}
void BM_QuatToEuler(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kQuat.euler());
}
void BM_QuatToHomo(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kQuat.homo());
}
void BM_QuatToSix(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kQuat.six());
}
void BM_AxisAngleToEuler(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kAxisAngle.euler());
}
void BM_AxisAngleToHomo(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kAxisAngle.homo());
}
void BM_HomoToQuat(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kHomo.quat());
}
void BM_HomoToEuler(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kHomo.euler());
}

// homo_to_isometry on blocks that are not rotations: scaled, skewed, a half turn.
void BM_HomoToIsometryScaled(benchmark::State& state) {
  Matrix4 m = kEuler.homo();
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) m[i] *= 2.5;
  for (auto _ : state) benchmark::DoNotOptimize(homo_to_isometry(m));
}
void BM_HomoToIsometrySkewed(benchmark::State& state) {
  Matrix4 m = kEuler.homo();
  m[1] += 0.05;
  m[8] -= 0.03;
  for (auto _ : state) benchmark::DoNotOptimize(homo_to_isometry(m));
}
void BM_HomoToIsometryHalfTurn(benchmark::State& state) {
  const Matrix4 m{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
  for (auto _ : state) benchmark::DoNotOptimize(homo_to_isometry(m));
}
void BM_HomoToIsometryMinusIdentity(benchmark::State& state) {
  const Matrix4 m{-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
  for (auto _ : state) benchmark::DoNotOptimize(homo_to_isometry(m));
}

}  // namespace

BENCHMARK(BM_EulerToQuat);
BENCHMARK(BM_EulerToHomo);
BENCHMARK(BM_EulerToAxisAngle);
BENCHMARK(BM_QuatToEuler);
BENCHMARK(BM_QuatToHomo);
BENCHMARK(BM_QuatToSix);
BENCHMARK(BM_AxisAngleToEuler);
BENCHMARK(BM_AxisAngleToHomo);
BENCHMARK(BM_HomoToQuat);
BENCHMARK(BM_HomoToEuler);
BENCHMARK(BM_HomoToIsometryScaled);
BENCHMARK(BM_HomoToIsometrySkewed);
BENCHMARK(BM_HomoToIsometryHalfTurn);
BENCHMARK(BM_HomoToIsometryMinusIdentity);

BENCHMARK_MAIN();
