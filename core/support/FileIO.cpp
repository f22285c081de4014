#include "core/support/FileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vela {

namespace {
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
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
            if (errno == EINTR) continue;
            return {std::nullopt, errno == EISDIR ? FileReadError::notFound : FileReadError::ioError};
        }
        if (n == 0) break;
        if (data.size() + static_cast<std::size_t>(n) > maxBytes) {
            return {std::nullopt, FileReadError::tooLarge};
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    return {std::move(data), FileReadError::ioError};
}

bool createDirectories(const std::filesystem::path& folder, mode_t mode) {
    if (folder.empty()) return true;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        if (!createDirectories(folder.parent_path(), mode)) return false;
    }
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

std::optional<FileWriteError> writeFileAtomically(const std::filesystem::path& path,
                                                  std::string_view bytes, mode_t mode) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string tmpl = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    int raw = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (raw < 0) return FileWriteError::cannotCreateTemporary;
    Fd f(raw);
    const auto fail = [&](FileWriteError e) {
        ::close(f.release());
        ::unlink(tmpl.c_str());
        return e;
    };
    if (::fchmod(f.fd, mode) != 0) return fail(FileWriteError::writeFailed);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(f.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(FileWriteError::writeFailed);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(f.fd) != 0) return fail(FileWriteError::syncFailed);
    if (::close(f.release()) != 0) {
        ::unlink(tmpl.c_str());
        return FileWriteError::writeFailed;
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return FileWriteError::renameFailed;
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) ::fsync(dir.fd);
    return std::nullopt;
}

}  // namespace vela
