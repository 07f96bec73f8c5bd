// A replaced global operator new (every form) that counts the blocks it hands out, for the
// whole process and for each thread. Linked into the allocation test and benchmark, and built
// as the preloadable library liborvek_count_new.so, which counts the C++ allocations of a
// whole Python process: CPython allocates through its own allocators, so in a process running
// liborvek every count comes from the module's C++ code.

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "counting_new.hpp"

namespace {

std::atomic<unsigned long long> g_allocations{0};
thread_local std::size_t t_allocations = 0;

void count() noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  ++t_allocations;
}

void* counted(std::size_t size) noexcept {
  count();
  return std::malloc(size == 0 ? 1 : size);
}

void* counted_aligned(std::size_t size, std::align_val_t align) noexcept {
  count();
  const auto alignment = static_cast<std::size_t>(align);
  const std::size_t bytes = size == 0 ? 1 : size;
  return std::aligned_alloc(alignment, (bytes + alignment - 1) / alignment * alignment);
}

}  // namespace

extern "C" unsigned long long orvek_bench_new_count() noexcept {
  return g_allocations.load(std::memory_order_relaxed);
}

std::size_t orvek::testing::thread_new_count() noexcept { return t_allocations; }

void* operator new(std::size_t size) {
  if (void* block = counted(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* block = counted(size)) return block;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  if (void* block = counted_aligned(size, align)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) {
  if (void* block = counted_aligned(size, align)) return block;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return counted_aligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return counted_aligned(size, align);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
