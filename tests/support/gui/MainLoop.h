#pragma once
// The GTK main loop for GUI tests. Main thread only.

#include <chrono>
#include <functional>

namespace vela::test {

// Initialises GTK once per process; false when there is no X server.
bool ensureGtk();

// Runs the default main context until `done` answers true or `limit` passes;
// answers `done()` at the end.
bool spinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// Dispatches everything already pending: what the X server has sent so far and the idle
// work it queued. For stepping an in-process drag event by event.
void drainEvents();

}  // namespace vela::test
