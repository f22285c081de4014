// Starts the real `vela` program on the test's X server and checks what a user would see:
// the panel window, the settings file, the hot keys pressed and text typed through XTest,
// a screenshot translation dragged over a window of known text, and the launch switches.
// What the panel shows is read off the screen with the program's own text recogniser.
// Translations use the custom channel's demonstration key, which needs no network; the
// child's proxy settings point at a closed loopback port so nothing leaves the machine.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "app/platform/DesktopIntegration.h"
#include "app/platform/PortalScreenshot.h"
#include "app/platform/X11ScreenSource.h"
#include "core/capture/TextRecognizer.h"
#include "core/settings/ConfigStore.h"
#include "core/translation/HTTPTranslationTransport.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <utility>

#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/TextWindow.h"

namespace vela {
namespace {

using namespace std::chrono_literals;

class RunningVela {
  public:
    explicit RunningVela(const std::filesystem::path& configHome,
                         std::vector<std::string> switches = {}) {
        switches.insert(switches.begin(), VELA_PROGRAM);
        std::vector<char*> argv;
        for (auto& s : switches)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
                ::setenv(proxy, "http://127.0.0.1:9", 1);
            ::unsetenv("no_proxy");
            ::unsetenv("NO_PROXY");
            ::execv(VELA_PROGRAM, argv.data());
            ::_exit(127);
        }
    }
    ~RunningVela() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    bool alive() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
    // For a launch that hands its switches to the running instance: its exit status.
    int exitStatus() {
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
};

struct WindowBox {
    int x = 0, y = 0, width = 0, height = 0;
};

// Viewable windows anywhere on the tree whose name is `title` (any name when empty), with
// their places on the root window.
void findWindows(Display* dpy, Window w, const std::string& title, std::vector<WindowBox>& out) {
    XWindowAttributes attrs{};
    if (XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable &&
        w != DefaultRootWindow(dpy)) {
        XTextProperty name{};
        std::string windowName;
        if (XGetWMName(dpy, w, &name) && name.value) {
            windowName = reinterpret_cast<char*>(name.value);
            XFree(name.value);
        }
        if (title.empty() || windowName == title) {
            int x = 0, y = 0;
            Window child = 0;
            XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
            out.push_back({x, y, attrs.width, attrs.height});
        }
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &count))
        return;
    for (unsigned i = 0; i < count; ++i)
        findWindows(dpy, children[i], title, out);
    if (children)
        XFree(children);
}

// The panel: the viewable window titled "Vela".
std::optional<WindowBox> panelWindow(Display* dpy) {
    std::vector<WindowBox> found;
    findWindows(dpy, DefaultRootWindow(dpy), "Vela", found);
    // The overlay may carry the program's name too; the panel is never full-screen.
    const int screenWidth = DisplayWidth(dpy, DefaultScreen(dpy));
    for (const WindowBox& b : found)
        if (b.width >= 430 && b.height >= 440 && b.width < screenWidth)
            return b;
    return std::nullopt;
}
bool velaWindowVisible(Display* dpy, Window) {
    return panelWindow(dpy).has_value();
}

// The capture overlay: a viewable window covering the whole screen.
bool overlayVisible(Display* dpy) {
    std::vector<WindowBox> found;
    findWindows(dpy, DefaultRootWindow(dpy), "", found);
    const int w = DisplayWidth(dpy, DefaultScreen(dpy)), h = DisplayHeight(dpy, DefaultScreen(dpy));
    for (const WindowBox& b : found)
        if (b.x == 0 && b.y == 0 && b.width == w && b.height == h)
            return true;
    return false;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        // Keeps the test's own windows painted.
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// The text on the screen inside the panel above its footer, read by the program's own
// recogniser. The footer row (selectors and the wide hot-key hint) throws Tesseract's layout
// analysis off the source field, and the tests read nothing from it.
std::string panelText(Display* dpy) {
    auto box = panelWindow(dpy);
    if (!box)
        return {};
    constexpr int kFooterHeight = 64;
    const int screenHeight = DisplayHeight(dpy, DefaultScreen(dpy));
    X11ScreenSource::Options options{
        {}, ScreenLayout{{0, 0, DisplayWidth(dpy, DefaultScreen(dpy)), screenHeight}, 1}};
    if (isWaylandSession())  // XWayland's root window shows nothing of the desktop
        options.screenshot = [] { return takePortalScreenshot(); };
    X11ScreenSource source(options);
    auto image = source.capture(Rect(box->x, screenHeight - box->y - box->height + kFooterHeight,
                                     box->width, box->height - kFooterHeight),
                                0);
    if (!image)
        return {};
    // One engine for both scripts: the panel mixes Japanese labels with English text.
    auto lines = TextRecognizer::shared().recognize(*image, {{"ja-JP", "en-US"}, false, true});
    std::string text;
    for (const RecognizedLine& line : lines.value_or(std::vector<RecognizedLine>{}))
        if (!line.candidates.empty())
            text += line.candidates.front() + "\n";
    return text;
}

int occurrences(const std::string& text, const std::string& word) {
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// Real key events through XTest.
void pressKeys(Display* dpy, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XStringToKeysym(k)), True, CurrentTime);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XStringToKeysym(*it)), False, CurrentTime);
    XFlush(dpy);
    std::this_thread::sleep_for(60ms);
}
void typeText(Display* dpy, const std::string& text) {
    for (char c : text) {
        std::string name = c == ' ' ? "space" : std::string(1, c);
        pressKeys(dpy, {name.c_str()});
    }
}
void drag(Display* dpy, int x0, int y0, int x1, int y1) {
    XTestFakeMotionEvent(dpy, -1, x0, y0, CurrentTime);
    XFlush(dpy);
    std::this_thread::sleep_for(80ms);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XFlush(dpy);
    for (int i = 1; i <= 8; ++i) {
        std::this_thread::sleep_for(25ms);
        XTestFakeMotionEvent(dpy, -1, x0 + (x1 - x0) * i / 8, y0 + (y1 - y0) * i / 8, CurrentTime);
        XFlush(dpy);
    }
    std::this_thread::sleep_for(80ms);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);
}

constexpr std::string_view kDemoPrefix = "翻訳結果";

class VelaStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        gdk_set_allowed_backends("x11");  // the test's windows too, in a Wayland session
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "the GUI tests need an X server";
        dpy_ = XOpenDisplay(nullptr);
        ASSERT_NE(dpy_, nullptr) << "the GUI tests need an X server (DISPLAY)";
    }
    void TearDown() override {
        if (dpy_)
            XCloseDisplay(dpy_);
    }
    // Starts vela, waits for its window, and returns the settings file's bytes.
    std::string startAndReadSettings() {
        RunningVela vela(home_.path());
        EXPECT_TRUE(waitFor([&] { return velaWindowVisible(dpy_, DefaultRootWindow(dpy_)); }, 30s))
            << "the panel window never appeared";
        EXPECT_TRUE(vela.alive());
        return test::readFile(settings());
    }
    std::filesystem::path settings() const { return home_ / "VelaJP" / "config.json"; }
    // Drags over the window of known text (the overlay is up) and waits for the panel to
    // show that text and its translation.
    void dragOverKnownTextAndSeeItTranslated() {
        drag(dpy_, 310, 830, 1050, 930);
        std::string seen;
        EXPECT_TRUE(waitFor(
            [&] {
                seen = panelText(dpy_);
                return seen.find(kDemoPrefix) != std::string::npos &&
                       occurrences(seen, "harbor lights") >= 2;
            },
            30s))
            << seen;
    }

    Display* dpy_ = nullptr;
    test::TempDir home_;
};

TEST_F(VelaStartup, FirstStartShowsThePanelAndWritesTheDefaultSettings) {
    EXPECT_EQ(startAndReadSettings(), encodeSettingsFile(VelaConfig{}));
}

TEST_F(VelaStartup, DamagedSettingsAreReplacedAndValidOnesLeftByteForByte) {
    test::writeFile(settings(), "{\"captureShortcut\": {\"key\": \"S\"");
    EXPECT_EQ(startAndReadSettings(), encodeSettingsFile(VelaConfig{}));

    VelaConfig custom;
    custom.targetLanguage = "ko";
    custom.isPinned = false;
    std::string valid = encodeSettingsFile(custom);
    valid.insert(valid.size() - 2, ",\n  \"unknownMember\" : [1, 2]");
    test::writeFile(settings(), valid);
    EXPECT_EQ(startAndReadSettings(), valid);
}

// Settings for the scenarios: the custom channel with the demonstration key, and a
// manifest address that is a missing local file, so the launch sync changes nothing.
void useDemonstrationChannel(const std::filesystem::path& settingsFile,
                             const std::filesystem::path& home) {
    ConfigStore(settingsFile).update([&](VelaConfig& c) {
        c.channelMode = TranslationChannelMode::custom;
        c.customApiKey = std::string(HTTPTranslationTransport::demonstrationKey);
        c.remoteConfigURL = "file://" + (home / "no-manifest.json").string();
    });
}

TEST_F(VelaStartup, TextHotKeyTypingAndEnterTranslate) {
    useDemonstrationChannel(settings(), home_.path());
    RunningVela vela(home_.path());
    ASSERT_TRUE(waitFor([&] { return panelWindow(dpy_).has_value(); }, 30s));
    std::this_thread::sleep_for(1500ms);  // the page finishes loading

    // The default text shortcut: the panel comes to the front with the source field focused.
    pressKeys(dpy_, {"Control_L", "Alt_L", "g"});
    std::this_thread::sleep_for(500ms);
    typeText(dpy_, "good morning");
    pressKeys(dpy_, {"Return"});
    std::string seen;
    EXPECT_TRUE(waitFor(
        [&] {
            seen = panelText(dpy_);
            return seen.find(kDemoPrefix) != std::string::npos && occurrences(seen, "morning") >= 2;
        },
        20s))
        << seen;
    EXPECT_TRUE(vela.alive());
}

TEST_F(VelaStartup, CaptureHotKeyDragShowsTheRecognisedTextAndItsTranslation) {
    useDemonstrationChannel(settings(), home_.path());
    test::TextWindow known("Quiet harbor lights", 300, 820, 760, 120);
    RunningVela vela(home_.path());
    ASSERT_TRUE(waitFor([&] { return panelWindow(dpy_).has_value(); }, 30s));
    std::this_thread::sleep_for(1500ms);

    pressKeys(dpy_, {"Control_L", "Alt_L", "s"});
    ASSERT_TRUE(waitFor([&] { return overlayVisible(dpy_); }, 10s));
    EXPECT_FALSE(panelWindow(dpy_).has_value());
    std::this_thread::sleep_for(300ms);
    dragOverKnownTextAndSeeItTranslated();
    EXPECT_FALSE(overlayVisible(dpy_));
}

// Later launches hand their switches to the running instance and exit at once: one process
// acts on them, so one process writes the settings file.
TEST_F(VelaStartup, LaunchSwitchesReachTheRunningInstance) {
    useDemonstrationChannel(settings(), home_.path());
    RunningVela running(home_.path(), {"--capture", "--settings"});
    // "--capture" wins over "--settings": the overlay without the panel; Escape closes it.
    ASSERT_TRUE(waitFor([&] { return overlayVisible(dpy_); }, 30s));
    EXPECT_FALSE(panelWindow(dpy_).has_value());
    pressKeys(dpy_, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return !overlayVisible(dpy_); }, 10s));

    EXPECT_EQ(RunningVela(home_.path(), {"--translate-text", "good morning"}).exitStatus(), 0);
    std::string seen;
    EXPECT_TRUE(waitFor(
        [&] {
            seen = panelText(dpy_);
            return occurrences(seen, "morning") >= 2 && seen.find(kDemoPrefix) != std::string::npos;
        },
        30s))
        << seen;

    EXPECT_EQ(RunningVela(home_.path(), {"--settings"}).exitStatus(), 0);
    EXPECT_TRUE(waitFor(
        [&] {
            auto box = panelWindow(dpy_);
            return box && box->width == 470 && box->height == 640;
        },
        30s));

    EXPECT_EQ(RunningVela(home_.path(), {"--capture"}).exitStatus(), 0);
    EXPECT_TRUE(waitFor([&] { return overlayVisible(dpy_); }, 30s));
    pressKeys(dpy_, {"Escape"});
    EXPECT_TRUE(waitFor([&] { return !overlayVisible(dpy_); }, 10s));
    EXPECT_TRUE(running.alive());
}

// Run inside scripts/wayland-session.sh: the windows live on XWayland, the frozen frame comes
// from the screenshot portal, and a desktop shortcut's `vela --capture` reaches the running
// instance.
TEST_F(VelaStartup, WaylandSessionCapturesThroughThePortal) {
    ASSERT_TRUE(isWaylandSession()) << "run through scripts/wayland-session.sh";
    useDemonstrationChannel(settings(), home_.path());
    test::TextWindow known("Quiet harbor lights", 300, 820, 760, 120);
    RunningVela running(home_.path());
    ASSERT_TRUE(waitFor([&] { return panelWindow(dpy_).has_value(); }, 30s));

    EXPECT_EQ(RunningVela(home_.path(), {"--capture"}).exitStatus(), 0);
    ASSERT_TRUE(waitFor([&] { return overlayVisible(dpy_); }, 30s));
    dragOverKnownTextAndSeeItTranslated();
    EXPECT_EQ(RunningVela(home_.path()).exitStatus(), 0);
    EXPECT_TRUE(running.alive());
}

TEST_F(VelaStartup, RequiredUpdatePreviewBlocksTranslationAcrossARestart) {
    useDemonstrationChannel(settings(), home_.path());
    {
        RunningVela vela(home_.path(), {"--tour-step-4"});
        std::string seen;
        EXPECT_TRUE(waitFor(
            [&] {
                seen = panelText(dpy_);
                return seen.find("アップデートのお知らせ") != std::string::npos;
            },
            30s))
            << seen;
        EXPECT_TRUE(
            waitFor([&] { return ConfigStore(settings()).config().forceUpdateBlocked; }, 5s));
    }
    // Restarted, the launch sync fails (no manifest) and the block stays: a translation is
    // refused with the required-update notice instead of a result.
    RunningVela vela(home_.path(), {"--translate-text", "good morning"});
    std::string seen;
    EXPECT_TRUE(waitFor(
        [&] {
            seen = panelText(dpy_);
            return seen.find("アップデートのお知らせ") != std::string::npos;
        },
        30s))
        << seen;
    EXPECT_EQ(seen.find(kDemoPrefix), std::string::npos) << seen;
    EXPECT_TRUE(ConfigStore(settings()).config().forceUpdateBlocked);
}

}  // namespace
}  // namespace vela
