#pragma once
// Whole-file reads and crash-safe whole-file writes.
// Thread-safe as far as the file system is; callers serialise writes to one path.

#include <sys/types.h>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace vela {

enum class FileReadError { notFound, permissionDenied, tooLarge, ioError };

struct FileReadResult {
    std::optional<std::string> bytes;              // set on success
    FileReadError error = FileReadError::ioError;  // meaningful only without bytes
};

// Reads at most `maxBytes`; a longer file is `tooLarge`.
FileReadResult readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

enum class FileWriteError { cannotCreateTemporary, writeFailed, syncFailed, renameFailed };

// Writes `bytes` to a temporary file beside `path` with permissions `mode`,
// flushes it to disk, renames it over `path` and flushes the folder. A reader,
// or a crash at any moment, sees either the old file or the new one whole.
// When `path` is a symbolic link, the file it finally points to is replaced
// the same way, in that file's own folder, and the link stays.
// On failure the temporary file is removed and `path` is untouched.
std::optional<FileWriteError> writeFileAtomically(const std::filesystem::path& path,
                                                  std::string_view bytes, mode_t mode);

// `path` with its symbolic links followed to the file they finally name (which
// need not exist); `path` itself when it is no link or the chain is too long.
std::filesystem::path followSymlinks(const std::filesystem::path& path);

// Removes the temporaries that interrupted writeFileAtomically calls left
// beside `path` (after following its links). A temporary still being written
// by a running process is locked and kept.
void removeStaleTemporaries(const std::filesystem::path& path);

// Creates the folder and its missing parents with `mode` (existing ones keep theirs).
bool createDirectories(const std::filesystem::path& folder, mode_t mode);

}  // namespace vela
