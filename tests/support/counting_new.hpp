#pragma once
// Counts of the blocks the replaced global operator new (counting_new.cpp) has handed out.
// Linked into the executables that measure allocations, and built as a preloadable library
// for a Python process.

#include <cstddef>

// Blocks handed out in this process so far. Exported by name, so that a process that
// preloads the counting library (a Python interpreter, through ctypes) can read it too.
extern "C" unsigned long long orvek_bench_new_count() noexcept;

namespace orvek::testing {

// Blocks handed out on the calling thread so far: a fake controller on another thread may
// allocate freely without disturbing a measurement.
std::size_t thread_new_count() noexcept;

}  // namespace orvek::testing
