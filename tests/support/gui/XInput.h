#pragma once
// A user at the keyboard and mouse: real X input through XTest, sent on an X connection of
// its own, so it reaches another process and passes grabs held by the tested client. Every
// call returns once the server has processed the events (XSync). Test thread only.

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

namespace vela::test {

class XInput {
  public:
    XInput();  // connects to $DISPLAY; ok() is false without one
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    bool ok() const { return dpy_ != nullptr; }
    Display* display() const { return dpy_; }

    unsigned keycode(const char* keysymName) const;
    void key(unsigned keycode, bool down);
    // Presses the keys in order and releases them in reverse: {"Control_L", "Alt_L", "s"}.
    void chord(const std::vector<const char*>& keysymNames);
    // The same by key codes: {37, 64, 39}.
    void chordCodes(const std::vector<unsigned>& keycodes);
    // Types lower-case ASCII letters, digits and spaces key by key.
    void type(const std::string& text);

    void move(int x, int y);
    void button(unsigned number, bool down);
    void click(int x, int y, unsigned number = 1);
    // Press at (x0, y0), eight moves, release at (x1, y1). `between` runs after each event
    // (an in-process test passes drainEvents so its widgets see every step).
    void drag(int x0, int y0, int x1, int y1, const std::function<void()>& between = {});

  private:
    void sync(const std::function<void()>& between = {});
    Display* dpy_;
    // Held by key() and button() and not yet let go: released on destruction, so a test that
    // stops half-way leaves no key or button down.
    std::vector<unsigned> keysDown_, buttonsDown_;
};

}  // namespace vela::test
