#include "tests/support/gui/MainLoop.h"

#include <gtk/gtk.h>

namespace vela::test {

bool ensureGtk() {
    static const bool ok = gtk_init_check(nullptr, nullptr);
    return ok;
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        g_main_context_iteration(nullptr, FALSE);
        if (!g_main_context_pending(nullptr))
            g_usleep(1000);
    }
    return done();
}

void spinFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    spinUntil([&] { return std::chrono::steady_clock::now() >= end; }, duration);
}

}  // namespace vela::test
