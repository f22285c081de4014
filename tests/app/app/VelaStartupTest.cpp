// Starts the real `vela` program on the test's X server and checks what a user
// would see at start-up: the panel window appears and the settings file is in place.
#include <gtest/gtest.h>
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using namespace std::chrono_literals;

class RunningVela {
public:
    explicit RunningVela(const std::filesystem::path& configHome) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            ::execl(VELA_PROGRAM, VELA_PROGRAM, static_cast<char*>(nullptr));
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

private:
    pid_t pid_ = -1;
};

// A viewable top-level window titled "Vela", looked for on the whole window tree.
bool velaWindowVisible(Display* dpy, Window w) {
    XWindowAttributes attrs{};
    if (XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable) {
        XTextProperty name{};
        if (XGetWMName(dpy, w, &name) && name.value) {
            bool match = std::string(reinterpret_cast<char*>(name.value)) == "Vela";
            XFree(name.value);
            if (match) return attrs.width >= 430 && attrs.height >= 440;
        }
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &count)) return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) found = velaWindowVisible(dpy, children[i]);
    if (children) XFree(children);
    return found;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

class VelaStartup : public ::testing::Test {
protected:
    void SetUp() override {
        dpy_ = XOpenDisplay(nullptr);
        ASSERT_NE(dpy_, nullptr) << "the GUI tests need an X server (DISPLAY)";
    }
    void TearDown() override {
        if (dpy_) XCloseDisplay(dpy_);
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

}  // namespace
}  // namespace vela
