#include "tests/support/gui/XInput.h"

#include <X11/extensions/XTest.h>

#include <vector>

namespace vela::test {

XInput::XInput() : dpy_(XOpenDisplay(nullptr)) {}

XInput::~XInput() {
    if (!dpy_)
        return;
    // The server keeps them down after we disconnect, for every later test to meet.
    for (unsigned code : keysDown_)
        XTestFakeKeyEvent(dpy_, code, False, CurrentTime);
    for (unsigned number : buttonsDown_)
        XTestFakeButtonEvent(dpy_, number, False, CurrentTime);
    XCloseDisplay(dpy_);
}

void XInput::sync(const std::function<void()>& between) {
    XSync(dpy_, False);
    if (between)
        between();
}

unsigned XInput::keycode(const char* keysymName) const {
    return XKeysymToKeycode(dpy_, XStringToKeysym(keysymName));
}

void XInput::key(unsigned keycode, bool down) {
    XTestFakeKeyEvent(dpy_, keycode, down, CurrentTime);
    std::erase(keysDown_, keycode);
    if (down)
        keysDown_.push_back(keycode);
    sync();
}

void XInput::chord(const std::vector<const char*>& keysymNames) {
    std::vector<unsigned> codes;
    for (const char* name : keysymNames)
        codes.push_back(keycode(name));
    chordCodes(codes);
}

void XInput::chordCodes(const std::vector<unsigned>& keycodes) {
    for (unsigned code : keycodes)
        XTestFakeKeyEvent(dpy_, code, True, CurrentTime);
    for (auto it = keycodes.rbegin(); it != keycodes.rend(); ++it)
        XTestFakeKeyEvent(dpy_, *it, False, CurrentTime);
    sync();
}

void XInput::type(const std::string& text) {
    for (char c : text) {
        const std::string name = c == ' ' ? "space" : std::string(1, c);
        chord({name.c_str()});
    }
}

void XInput::move(int x, int y) {
    XTestFakeMotionEvent(dpy_, -1, x, y, CurrentTime);
    sync();
}

void XInput::button(unsigned number, bool down) {
    XTestFakeButtonEvent(dpy_, number, down, CurrentTime);
    std::erase(buttonsDown_, number);
    if (down)
        buttonsDown_.push_back(number);
    sync();
}

void XInput::click(int x, int y, unsigned number) {
    move(x, y);
    button(number, true);
    button(number, false);
}

void XInput::drag(int x0, int y0, int x1, int y1, const std::function<void()>& between) {
    XTestFakeMotionEvent(dpy_, -1, x0, y0, CurrentTime);
    sync(between);
    XTestFakeButtonEvent(dpy_, 1, True, CurrentTime);
    sync(between);
    constexpr int steps = 8;
    for (int i = 1; i <= steps; ++i) {
        XTestFakeMotionEvent(dpy_, -1, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps,
                             CurrentTime);
        sync(between);
    }
    XTestFakeButtonEvent(dpy_, 1, False, CurrentTime);
    sync(between);
}

}  // namespace vela::test
