// Starts the real `vela` program on the test's X server for what only the whole program
// shows: the first launch, the capture hot key through a drag over a window of known text,
// switches handed to the running instance, and (inside scripts/wayland-session.sh) the
// capture through the screenshot portal. What the panel shows is read from the state its
// page publishes on the window. Translations use the custom channel's demonstration key; the
// child's proxy settings point at a closed loopback port so nothing leaves the machine.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/panel/FloatingTranslationPanel.h"
#include "app/panel/PanelGeometry.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/GObjectPtr.h"
#include "core/settings/ConfigStore.h"
#include "core/settings/SettingsFileCodec.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/TextWindow.h"
#include "tests/support/gui/XInput.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/Xutil.h>

namespace vela {
namespace {

using namespace std::chrono_literals;

// The program, killed and reaped however the test ends.
class RunningVela {
  public:
    explicit RunningVela(const std::vector<std::string>& switches = {}) {
        std::vector<const char*> argv{VELA_PROGRAM};
        for (const std::string& s : switches)
            argv.push_back(s.c_str());
        argv.push_back(nullptr);
        process_ = GObjectPtr<GSubprocess>(
            g_subprocess_newv(argv.data(), G_SUBPROCESS_FLAGS_NONE, nullptr));
    }
    ~RunningVela() {
        if (process_) {
            g_subprocess_force_exit(process_.get());
            g_subprocess_wait(process_.get(), nullptr, nullptr);
        }
    }
    bool alive() const { return process_ && g_subprocess_get_identifier(process_.get()); }
    // For a launch that hands its switches on: its exit status, -1 unless it exits by itself.
    int exitStatus() const {
        return test::waitUntil([&] { return !alive(); }, 30s) &&
                       g_subprocess_get_if_exited(process_.get())
                   ? g_subprocess_get_exit_status(process_.get())
                   : -1;
    }

  private:
    GObjectPtr<GSubprocess> process_;
};

constexpr std::string_view kDemoResult = "【カスタムAI無制限】翻訳結果：";

struct WindowBox {
    Window id = 0;
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;
};

class VelaStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        gdk_set_allowed_backends("x11");  // the test's windows too, in a Wayland session
        ASSERT_TRUE(test::ensureGtk() && input.ok()) << "the GUI tests need an X server";
        dpy = input.display();
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
            ::setenv(proxy, "http://127.0.0.1:9", 1);
        ::unsetenv("no_proxy");
        ::unsetenv("NO_PROXY");
    }
    std::filesystem::path settings() const { return home / "VelaJP" / "config.json"; }
    // The custom channel with the demonstration key, and a manifest address that is a
    // missing local file, so the launch sync changes nothing.
    void useDemonstrationChannel() {
        ConfigStore(settings()).update([&](VelaConfig& c) {
            c.channelMode = TranslationChannelMode::custom;
            c.customApiKey = std::string(HTTPTranslationTransport::demonstrationKey);
            c.remoteConfigURL = "file://" + (home / "no-manifest.json").string();
        });
    }
    // The viewable top-level windows (no window manager reparents them), with their places.
    std::vector<WindowBox> windows() {
        std::vector<WindowBox> found;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a{};
            char* name = nullptr;
            if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable) {
                XFetchName(dpy, children[i], &name);
                found.push_back({children[i], name ? name : "", a.x, a.y, a.width, a.height});
                XFree(name);
            }
        }
        XFree(children);
        return found;
    }
    // The panel: a window titled "Vela" that is not the full-screen overlay.
    std::optional<WindowBox> panel() {
        for (const WindowBox& b : windows())
            if (b.name == "Vela" && b.width < DisplayWidth(dpy, 0))
                return b;
        return std::nullopt;
    }
    // The overlay when it covers the screen and is the window under the pointer (a
    // compositor may raise it only after mapping it).
    bool overlayUnderPointer() {
        Window root = 0, child = 0;
        int x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &x, &y, &mask);
        return std::ranges::any_of(windows(), [&](const WindowBox& b) {
            return b.id == child && b.x == 0 && b.y == 0 && b.width == DisplayWidth(dpy, 0) &&
                   b.height == DisplayHeight(dpy, 0);
        });
    }
    // Waits until the state the panel's page publishes on its window has `source` and its
    // translation.
    void expectTranslationShown(const std::string& source) {
        std::string state;
        EXPECT_TRUE(test::spinUntil(
            [&] {
                XTextProperty property{};
                auto box = panel();
                if (box &&
                    XGetTextProperty(
                        dpy, box->id, &property,
                        XInternAtom(dpy, FloatingTranslationPanel::pageStateProperty, False))) {
                    state.assign(reinterpret_cast<char*>(property.value), property.nitems);
                    XFree(property.value);
                }
                const auto json = nlohmann::json::parse(state, nullptr, false);
                return json.is_object() && json.value("source", "") == source &&
                       state.find(std::string(kDemoResult) + source) != std::string::npos;
            },
            30s))
            << state;
    }

    test::XInput input;
    Display* dpy = nullptr;
    test::TempDir home;
};

TEST_F(VelaStartup, FirstLaunchShowsThePanelAndWritesTheDefaultSettings) {
    RunningVela vela;
    ASSERT_TRUE(test::spinUntil([&] { return panel().has_value(); }, 30s));
    EXPECT_EQ(test::readFile(settings()), encodeSettingsFile(VelaConfig{}));
}

// The capture hot key on X11; in a Wayland session (run inside scripts/wayland-session.sh)
// a desktop shortcut's `vela --capture`, and the frozen frame comes from the screenshot portal.
TEST_F(VelaStartup, CaptureDragShowsTheRecognisedTextAndItsTranslation) {
    useDemonstrationChannel();
    test::TextWindow known("Quiet harbor lights", 300, 820, 760, 120);
    RunningVela vela;
    // The hot keys are registered before the panel first shows.
    ASSERT_TRUE(test::spinUntil([&] { return panel().has_value(); }, 30s));
    if (isWaylandSession())
        EXPECT_EQ(RunningVela({"--capture"}).exitStatus(), 0);
    else
        input.chord({"Control_L", "Alt_L", "s"});
    input.move(310, 830);
    ASSERT_TRUE(test::spinUntil([&] { return overlayUnderPointer(); }, 30s));
    EXPECT_FALSE(panel().has_value());
    input.drag(310, 830, 1050, 930);
    expectTranslationShown("Quiet harbor lights");
    EXPECT_FALSE(overlayUnderPointer());
}

// Later launches hand their switches to the running instance and exit at once.
TEST_F(VelaStartup, LaunchSwitchesReachTheRunningInstance) {
    useDemonstrationChannel();
    RunningVela running({"--settings"});
    ASSERT_TRUE(test::spinUntil(
        [&] {
            auto box = panel();
            return box && box->width == settingsPanelSize.width &&
                   box->height == settingsPanelSize.height;
        },
        30s));
    EXPECT_EQ(RunningVela({"--translate-text", "good morning"}).exitStatus(), 0);
    expectTranslationShown("good morning");
    EXPECT_TRUE(running.alive());
}

}  // namespace
}  // namespace vela
