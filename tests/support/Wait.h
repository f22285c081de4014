#pragma once
// Waiting for an observable event, never for a fixed time: the deadline is a guard only.

#include <chrono>
#include <functional>

namespace vela::test {

// Calls `done` until it answers true or `limit` passes, running `step` between calls
// (by default a short pause; GUI tests pass one main-loop turn). Answers `done()` at the end.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10),
               const std::function<void()>& step = {});

}  // namespace vela::test
