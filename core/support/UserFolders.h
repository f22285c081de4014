#pragma once
// Where the user's own files go. Reads the environment (and the password database when
// $HOME is unset); thread-safe as long as nothing changes the environment meanwhile.
// Never fails: without any home folder the answer lies under /tmp.

#include <filesystem>

namespace vela {

// $XDG_CONFIG_HOME when it is an absolute path (relative values are invalid and ignored),
// else ~/.config.
std::filesystem::path configHomeFolder();

}  // namespace vela
