#pragma once
// A white window with large black text at a fixed place on the screen, for captures to
// read. Constructed once it is painted and its pixels are on the X server; destroyed with
// the object. Main thread only.

#include <gtk/gtk.h>

#include <string>

namespace vela::test {

class TextWindow {
  public:
    TextWindow(const std::string& text, int x, int y, int width, int height);
    ~TextWindow() { gtk_widget_destroy(window_); }
    TextWindow(const TextWindow&) = delete;
    TextWindow& operator=(const TextWindow&) = delete;

  private:
    GtkWidget* window_;
    bool drawn_ = false;  // painted at least once
};

}  // namespace vela::test
