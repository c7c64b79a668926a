#pragma once
// Waiting for what another thread or process does: a test polls a condition with a generous limit that only a
// broken program reaches, and never asserts on how long it took.

#include <chrono>
#include <thread>

// Polls iCondition every 20 ms until it holds or iTimeout passed; returns its last value.
template <class TCondition>
bool WaitUntil(TCondition&& iCondition, std::chrono::milliseconds iTimeout = std::chrono::seconds(15))
{
  const auto deadline = std::chrono::steady_clock::now() + iTimeout;
  while (!iCondition())
  {
    if (std::chrono::steady_clock::now() >= deadline)
      return iCondition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
