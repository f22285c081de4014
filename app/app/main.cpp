#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "app/app/VelaAppDelegate.h"

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    std::vector<std::string> arguments(argv, argv + argc);
    vela::VelaAppDelegate delegate(std::move(arguments));
    delegate.applicationDidFinishLaunching();
    gtk_main();
    return 0;
}
