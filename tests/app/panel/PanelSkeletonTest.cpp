// The panel window in-process: the embedded page loads in the real web view and
// messages it posts reach the native "vela" handler.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>

#include "app/panel/FloatingTranslationPanel.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

// Runs the GTK main loop until `done` or the time limit.
bool spinUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        g_main_context_iteration(nullptr, FALSE);
        if (!g_main_context_pending(nullptr)) g_usleep(2000);
    }
    return done();
}

TEST(PanelSkeleton, PageLoadsAndPostsReachTheNativeHandler) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "the GUI tests need an X server (DISPLAY)";
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    FloatingTranslationPanel panel(store);
    std::vector<nlohmann::json> messages;
    panel.onPageMessage = [&](const std::string& json) { messages.push_back(nlohmann::json::parse(json)); };
    bool loaded = false;
    panel.onPageLoaded = [&] { loaded = true; };
    panel.showForTextInput();

    ASSERT_TRUE(spinUntil([&] { return loaded; }, std::chrono::seconds(30)));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(panel.window())));
    int w = 0, h = 0;
    gtk_window_get_size(panel.window(), &w, &h);
    EXPECT_EQ(w, 430);
    EXPECT_EQ(h, 440);

    messages.clear();
    webkit_web_view_evaluate_javascript(
        panel.webView(),
        "window.webkit.messageHandlers.vela.postMessage({action: 'ping', text: '日本語 \\'q\\''});", -1,
        nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(spinUntil([&] { return !messages.empty(); }, std::chrono::seconds(10)));
    EXPECT_EQ(messages.back()["action"], "ping");
    EXPECT_EQ(messages.back()["text"], "日本語 'q'");
}

}  // namespace
}  // namespace vela
