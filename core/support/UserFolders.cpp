#include "core/support/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vela {

namespace {

std::filesystem::path homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

}  // namespace

std::filesystem::path configHomeFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/')
        return xdg;
    return homeFolder() / ".config";
}

}  // namespace vela
