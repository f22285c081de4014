#include "app/app/SingleInstance.h"

namespace vela {

SingleInstance::SingleInstance(const char* applicationId)
    : application_(g_application_new(applicationId, G_APPLICATION_HANDLES_COMMAND_LINE)) {
    g_signal_connect(application_.get(), "command-line", G_CALLBACK(onRemoteCommandLine), this);
    GError* error = nullptr;
    if (!g_application_register(application_.get(), nullptr, &error)) {
        g_clear_error(&error);
        return;
    }
    primary_ = !g_application_get_is_remote(application_.get());
    if (primary_)
        g_application_hold(application_.get());  // stays registered without its own loop
}

int SingleInstance::forward(int argc, char** argv) {
    // A remote application's run sends the command line and returns the primary's status.
    return g_application_run(application_.get(), argc, argv);
}

int SingleInstance::onRemoteCommandLine(GApplication*, GApplicationCommandLine* line,
                                        gpointer self) {
    auto& instance = *static_cast<SingleInstance*>(self);
    int argc = 0;
    gchar** argv = g_application_command_line_get_arguments(line, &argc);
    std::vector<std::string> arguments(argv, argv + argc);
    g_strfreev(argv);
    if (instance.onCommandLine)
        instance.onCommandLine(std::move(arguments));
    return 0;
}

}  // namespace vela
