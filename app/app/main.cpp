#include <gtk/gtk.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app/VelaAppDelegate.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);  // before GTK takes its own
    gtk_init(&argc, &argv);
    vela::VelaAppDelegate delegate(std::move(arguments));
    delegate.applicationDidFinishLaunching();
    gtk_main();
    // Quitting ends the process: settings are already saved, nothing else needs closing,
    // and in-flight requests must not hold the exit up.
    std::quick_exit(0);
}
