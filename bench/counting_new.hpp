#pragma once
// The number of blocks the replaced operator new (counting_new.cpp) has handed out so far in
// this process. Exported by name, so that a process that preloads the counting library (a
// Python interpreter, through ctypes) can read it too.

extern "C" unsigned long long orvek_bench_new_count() noexcept;
