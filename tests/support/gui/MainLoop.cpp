#include "tests/support/gui/MainLoop.h"

#include "tests/support/Wait.h"

#include <gtk/gtk.h>

namespace vela::test {

bool ensureGtk() {
    static const bool ok = gtk_init_check(nullptr, nullptr);
    return ok;
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return waitUntil(done, limit, [] {
        g_main_context_iteration(nullptr, FALSE);
        if (!g_main_context_pending(nullptr))
            g_usleep(1000);
    });
}

void drainEvents() {
    gdk_display_sync(gdk_display_get_default());
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

}  // namespace vela::test
