#include "app/platform/MainThread.h"

#include <glib.h>

#include <memory>

namespace vela {

void postToMainThread(std::function<void()> work) {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    // Always deferred, also when called on the main thread itself.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        owned.release(),
        [](gpointer data) {
            std::unique_ptr<std::function<void()>>(static_cast<std::function<void()>*>(data));
        });
}

}  // namespace vela
