#pragma once
// The one way work from other threads reaches the GTK main thread.
// Thread-safe: callable from any thread. The closure runs once, later, on the main
// loop of the default main context (never inside this call), and is destroyed there.

#include <functional>

namespace vela {

void postToMainThread(std::function<void()> work);

}  // namespace vela
