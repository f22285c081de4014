// Starts the real `vela` program on the test's X server for what only the whole program
// shows: the launch, the capture hot key through a drag over a window of known text, and
// switches handed on to the running program. What the panel shows is read from the state its
// page publishes on its window. The child's proxy settings point at a closed loopback port
// so nothing leaves the machine.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/panel/FloatingTranslationPanel.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/GObjectPtr.h"
#include "core/settings/ConfigStore.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "core/translation/TranslationMessages.h"
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
using nlohmann::json;

// The program, killed and reaped however the test ends.
class RunningVela {
  public:
    template <class... Switches>
    explicit RunningVela(Switches... switches) {
        const char* argv[] = {VELA_PROGRAM, switches..., nullptr};
        process_ =
            GObjectPtr<GSubprocess>(g_subprocess_newv(argv, G_SUBPROCESS_FLAGS_NONE, nullptr));
    }
    ~RunningVela() {
        if (process_) {
            g_subprocess_force_exit(process_.get());
            g_subprocess_wait(process_.get(), nullptr, nullptr);
        }
    }
    // For a launch that hands its switches on: whether it exits by itself with status 0.
    bool exitsCleanly() const {
        return test::waitUntil([&] { return !g_subprocess_get_identifier(process_.get()); }, 30s) &&
               g_subprocess_get_successful(process_.get());
    }

  private:
    GObjectPtr<GSubprocess> process_;
};

class VelaStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        gdk_set_allowed_backends("x11");  // the test's windows too, in a Wayland session
        ASSERT_TRUE(test::ensureGtk() && input.ok()) << "the GUI tests need an X server";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
            ::setenv(proxy, "http://127.0.0.1:9", 1);
        ::unsetenv("no_proxy");
        ::unsetenv("NO_PROXY");
    }
    // The panel: the viewable top-level window (no window manager reparents them) titled
    // "Vela" that does not cover the screen.
    std::optional<Window> panel() {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        std::optional<Window> found;
        XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a{};
            char* name = nullptr;
            if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable &&
                a.width < DisplayWidth(dpy, 0) && XFetchName(dpy, children[i], &name) &&
                std::string_view(name) == "Vela")
                found = children[i];
            XFree(name);
        }
        XFree(children);
        return found;
    }
    // The overlay: the window under the pointer covers the screen (a compositor may raise
    // it only after mapping it).
    bool overlayUnderPointer() {
        Window root = 0, child = 0;
        int x = 0, y = 0;
        unsigned mask = 0;
        XWindowAttributes a{};
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &x, &y, &mask);
        return child && XGetWindowAttributes(dpy, child, &a) && a.map_state == IsViewable &&
               a.x == 0 && a.y == 0 && a.width == DisplayWidth(dpy, 0) &&
               a.height == DisplayHeight(dpy, 0);
    }
    // Waits until the state the shown panel's page publishes on its window has `source` and
    // its translation.
    void expectTranslationShown(const std::string& source) {
        json state;
        EXPECT_TRUE(test::spinUntil(
            [&] {
                XTextProperty property{};
                const Atom atom = XInternAtom(dpy, FloatingTranslationPanel::pageStateProperty, 0);
                if (auto window = panel();
                    window && XGetTextProperty(dpy, *window, &property, atom)) {
                    state = json::parse(property.value, property.value + property.nitems, nullptr,
                                        false);
                    XFree(property.value);
                }
                return state.is_object() && state.value("source", "") == source &&
                       state.dump().find(std::string(messages::demoPrefixOther) + source) !=
                           std::string::npos;
            },
            30s))
            << state;
    }

    test::XInput input;
    Display* dpy = input.display();
    test::TempDir home;
};

// The launch, the capture hot key (in a Wayland session, run inside
// scripts/wayland-session.sh: a desktop shortcut's `vela --capture`, the frozen frame from
// the screenshot portal) and a later launch handing its switches to the running program.
TEST_F(VelaStartup, CaptureDragAndForwardedSwitchesReachThePanel) {
    // The custom channel's demonstration key answers without any network; the manifest is a
    // missing local file, so the launch sync changes nothing.
    ConfigStore(home / "VelaJP" / "config.json").update([&](VelaConfig& c) {
        c.channelMode = TranslationChannelMode::custom;
        c.customApiKey = std::string(HTTPTranslationTransport::demonstrationKey);
        c.remoteConfigURL = "file://" + (home / "no-manifest.json").string();
    });
    test::TextWindow known("Quiet harbor lights", 300, 820, 760, 120);
    RunningVela vela;
    // The hot keys are registered before the panel first shows.
    ASSERT_TRUE(test::spinUntil([&] { return panel().has_value(); }, 30s));
    if (isWaylandSession())
        EXPECT_TRUE(RunningVela("--capture").exitsCleanly());
    else
        input.chord({"Control_L", "Alt_L", "s"});
    input.move(310, 830);
    ASSERT_TRUE(test::spinUntil([&] { return overlayUnderPointer(); }, 30s));
    input.drag(310, 830, 1050, 930);
    expectTranslationShown("Quiet harbor lights");
    EXPECT_FALSE(overlayUnderPointer());
    EXPECT_TRUE(RunningVela("--translate-text", "good morning").exitsCleanly());
    expectTranslationShown("good morning");
}

}  // namespace
}  // namespace vela
