// Counts the heap allocations a test binary makes while counting is on, by
// replacing every plain and array form of operator new and delete (so that no
// allocation escapes the count and no block is freed by another allocator
// than the one that made it). The module under test must be linked into the
// binary for its allocations to be seen.
//
// Include in exactly one source file of a test binary: it defines the
// replacement operators.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {
inline std::atomic<long> gAllocations{0};
inline std::atomic<bool> gCounting{false};

// Counting from zero, until Stop().
inline void Start() {
  gAllocations = 0;
  gCounting = true;
}
// Stops counting; answers the allocations made since Start().
inline long Stop() {
  gCounting = false;
  return gAllocations.load();
}
}  // namespace allocation_counter

void* operator new(std::size_t n) {
  if (allocation_counter::gCounting.load(std::memory_order_relaxed))
    allocation_counter::gAllocations.fetch_add(1);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (allocation_counter::gCounting.load(std::memory_order_relaxed))
    allocation_counter::gAllocations.fetch_add(1);
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
// Each delete frees what the matching new above took from malloc. Once GCC
// inlines a new/delete pair it sees only the free and warns of a mismatch
// that is not there (mingw's GCC does so).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
