#include "tests/support/allocation_limit.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace {

thread_local std::size_t g_limit = std::numeric_limits<std::size_t>::max();

}  // namespace

namespace testsupport {

AllocationLimit::AllocationLimit(std::size_t bytes) : previous_(g_limit) { g_limit = bytes; }
AllocationLimit::~AllocationLimit() { g_limit = previous_; }

}  // namespace testsupport

// The array and nothrow forms call these.
void* operator new(std::size_t size) {
  if (size <= g_limit) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  }
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
