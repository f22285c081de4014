#pragma once
// One running Vela per desktop session. The first process owns the application id on the
// session bus; a later launch hands its command line to that process and exits, so a
// second launch (application menu, a desktop shortcut bound to `vela --capture`) acts in
// the running instance instead of starting a copy that fights it for the hot keys and the
// settings file.
//
// Ownership: owns its GApplication. Threads: main thread only; forwarded command lines
// arrive through the default main context (the GTK main loop).
// Failures: without a session bus, or when the name cannot be had, the process counts as
// the primary and runs alone.

#include <gio/gio.h>

#include <functional>
#include <string>
#include <vector>

#include "app/platform/GObjectPtr.h"

namespace vela {

class SingleInstance {
  public:
    explicit SingleInstance(const char* applicationId);
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process of this session already runs Vela.
    bool isPrimary() const { return primary_; }

    // Secondary only: sends `argv` to the primary and returns its exit status.
    int forward(int argc, char** argv);

    // Primary only: called with each later launch's arguments (program path first).
    std::function<void(std::vector<std::string>)> onCommandLine;

  private:
    static int onRemoteCommandLine(GApplication*, GApplicationCommandLine* line, gpointer self);

    GObjectPtr<GApplication> application_;
    bool primary_ = true;
};

}  // namespace vela
