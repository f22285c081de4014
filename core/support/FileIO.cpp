#include "core/support/FileIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace vela {

namespace {
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};
}  // namespace

FileReadResult readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) {
        return {std::nullopt, errno == ENOENT || errno == ENOTDIR ? FileReadError::notFound
                              : errno == EACCES                   ? FileReadError::permissionDenied
                                                                  : FileReadError::ioError};
    }
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {std::nullopt,
                    errno == EISDIR ? FileReadError::notFound : FileReadError::ioError};
        }
        if (n == 0)
            break;
        if (data.size() + static_cast<std::size_t>(n) > maxBytes) {
            return {std::nullopt, FileReadError::tooLarge};
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    return {std::move(data), FileReadError::ioError};
}

bool createDirectories(const std::filesystem::path& folder, mode_t mode) {
    if (folder.empty())
        return true;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        if (!createDirectories(folder.parent_path(), mode))
            return false;
    }
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

namespace {
std::string temporaryPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string() + ".";
}
constexpr std::size_t kTemporarySuffixLength = 6;  // the "XXXXXX" of mkostemp
}  // namespace

std::filesystem::path followSymlinks(const std::filesystem::path& path) {
    std::filesystem::path current = path;
    for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit on link chains
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error))) {
            return current;
        }
        std::filesystem::path next = std::filesystem::read_symlink(current, error);
        if (error)
            return path;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return path;
}

void removeStaleTemporaries(const std::filesystem::path& path) {
    const std::filesystem::path target = followSymlinks(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    const std::string prefix = temporaryPrefix(target);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix)) {
            continue;
        }
        Fd f(::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // A writer holds its lock until the rename: only orphans can be locked here.
        if (::flock(f.fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(entry.path().c_str());
    }
}

std::optional<FileWriteError> writeFileAtomically(const std::filesystem::path& requested,
                                                  std::string_view bytes, mode_t mode) {
    const std::filesystem::path path = followSymlinks(requested);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    std::string tmpl = (folder / (temporaryPrefix(path) + "XXXXXX")).string();
    int raw = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (raw < 0)
        return FileWriteError::cannotCreateTemporary;
    Fd f(raw);
    // Marks the temporary as in use for removeStaleTemporaries of another process.
    (void)::flock(f.fd, LOCK_EX);
    const auto fail = [&](FileWriteError e) {
        ::close(f.release());
        ::unlink(tmpl.c_str());
        return e;
    };
    if (::fchmod(f.fd, mode) != 0)
        return fail(FileWriteError::writeFailed);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(f.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(FileWriteError::writeFailed);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(f.fd) != 0)
        return fail(FileWriteError::syncFailed);
    // Renamed while still open, so the lock covers the temporary's whole life.
    if (::rename(tmpl.c_str(), path.c_str()) != 0)
        return fail(FileWriteError::renameFailed);
    (void)::close(f.release());  // the data is on disk already
    // Make the rename itself durable.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0)
        ::fsync(dir.fd);
    return std::nullopt;
}

}  // namespace vela
