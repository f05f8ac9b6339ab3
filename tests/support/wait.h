// The one way tests wait for something another thread or process does:
// poll the condition until it holds or the patience runs out.
#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds patience = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace testsupport
