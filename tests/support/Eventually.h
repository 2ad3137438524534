#pragma once
#include <chrono>
#include <thread>

namespace lumivane::test {

// Waits for another thread's progress that nothing notifies, without
// sleeping; the bound only keeps a broken test from hanging.
template <typename Predicate>
bool Eventually(Predicate predicate) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace lumivane::test
