#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app/AppTexts.h"
#include "app/app/SingleInstance.h"
#include "app/app/VelaAppDelegate.h"
#include "app/platform/DesktopIntegration.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);  // before GTK takes its own
    vela::SingleInstance instance(vela::applicationId);
    if (!instance.isPrimary())
        return instance.forward(argc, argv);
    // Placement beside the selection, keep-above and the frozen-frame overlay need X11,
    // so a Wayland session runs Vela's windows through XWayland.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fputs(vela::AppTexts::noDisplayError.data(), stderr);
        return EXIT_FAILURE;
    }
    vela::VelaAppDelegate delegate(std::move(arguments));
    delegate.applicationDidFinishLaunching();
    instance.onCommandLine = [&delegate](std::vector<std::string> forwarded) {
        delegate.actOnCommandLine(forwarded);
    };
    gtk_main();
    // Quitting ends the process: settings are already saved, nothing else needs closing,
    // and in-flight requests must not hold the exit up.
    std::quick_exit(0);
}
