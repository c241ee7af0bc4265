// Counts heap allocations by standing in for the C runtime's allocator and handing each request on
// to glibc's own. operator new allocates through malloc, so C and C++ allocations are both seen,
// and so are those the C runtime makes for itself (a stdio stream's FILE and buffer, say).
#include "tools/bench/heap_count.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<int64_t> allocations{0};

void count() {
  allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

int64_t heapAllocations() {
  return allocations.load(std::memory_order_relaxed);
}

extern "C" {

void* malloc(std::size_t size) noexcept {
  count();
  return __libc_malloc(size);
}

void* calloc(std::size_t items, std::size_t size) noexcept {
  count();
  return __libc_calloc(items, size);
}

void* realloc(void* block, std::size_t size) noexcept {
  count();
  return __libc_realloc(block, size);
}

void free(void* block) noexcept {
  __libc_free(block);
}

}  // extern "C"
