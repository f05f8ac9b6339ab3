// Makes allocations above a size fail on the calling thread, as they would
// when memory runs out. Linking allocation_limit.cpp replaces the program's
// global operator new.
#pragma once

#include <cstddef>

namespace testsupport {

// While the object lives, every operator new of more than `bytes` bytes on
// this thread throws std::bad_alloc.
class AllocationLimit {
 public:
  explicit AllocationLimit(std::size_t bytes);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;

 private:
  std::size_t previous_;
};

}  // namespace testsupport
