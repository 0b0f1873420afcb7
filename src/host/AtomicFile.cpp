#include "host/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <string>

namespace zqb::host {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        if (fd_ < 0) {
            return true;
        }
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::filesystem::path temporarySibling(const std::filesystem::path& path) {
    static std::atomic<unsigned long> counter{0};
    std::string name = "." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter.fetch_add(1));
    return path.parent_path() / name;
}

}  // namespace

AtomicFile::ReadStatus AtomicFile::read(const std::filesystem::path& path, std::string& bytes,
                                        std::size_t maxBytes, std::error_code* error) {
    bytes.clear();
    const auto failed = [&](int reason) {
        if (error) {
            *error = std::error_code(reason, std::generic_category());
        }
        bytes.clear();
        return ReadStatus::failed;
    };
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return errno == ENOENT ? ReadStatus::missing : failed(errno);
    }
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failed(errno);
        }
        if (count == 0) {
            return ReadStatus::ok;
        }
        if (static_cast<std::size_t>(count) > maxBytes - bytes.size()) {
            return failed(EFBIG);
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

bool AtomicFile::write(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
    const std::filesystem::path temporary = temporarySibling(path);
    Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        return false;
    }
    // The creation mode is narrowed by the umask; the file must end up with exactly `mode`.
    bool ok = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here no longer affects what readers see.
    const std::filesystem::path directory = path.parent_path();
    sync(directory.empty() ? std::filesystem::path(".") : directory);
    return true;
}

bool AtomicFile::sync(const std::filesystem::path& path) {
    // Read-only suffices: fsync flushes whatever the file or folder holds, whoever wrote it.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

bool AtomicFile::ensureDirectory(const std::filesystem::path& directory, mode_t mode,
                                 std::error_code* error) {
    const auto failed = [&](int reason) {
        if (error) {
            *error = std::error_code(reason, std::generic_category());
        }
        return false;
    };
    const auto isDirectory = [&](int& reason) {
        struct stat info {};
        if (::stat(directory.c_str(), &info) != 0) {
            reason = errno;
            return false;
        }
        reason = S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
        return reason == 0;
    };
    int reason = 0;
    if (isDirectory(reason)) {
        return true;
    }
    if (reason != ENOENT) {
        return failed(reason);
    }
    const std::filesystem::path parent = directory.parent_path();
    if (!parent.empty() && parent != directory && !ensureDirectory(parent, mode, error)) {
        return false;
    }
    if (::mkdir(directory.c_str(), mode) != 0) {
        const int refused = errno;
        // Made meanwhile by another thread or process: fine if it is a folder.
        if (refused == EEXIST && isDirectory(reason)) {
            return true;
        }
        return failed(refused == EEXIST ? reason : refused);
    }
    // The umask may have taken bits that `mode` asks for.
    ::chmod(directory.c_str(), mode);
    return true;
}

bool AtomicFile::canMakeDirectory(const std::filesystem::path& directory) {
    std::filesystem::path missing = directory;
    for (;;) {
        struct stat info {};
        if (::stat(missing.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                return false;
            }
            return missing == directory || ::access(missing.c_str(), W_OK | X_OK) == 0;
        }
        // A name taken by a file on the way gives ENOTDIR; only a missing name may still be made.
        if (errno != ENOENT) {
            return false;
        }
        const std::filesystem::path parent = missing.parent_path();
        if (parent.empty() || parent == missing) {
            return false;
        }
        missing = parent;
    }
}

bool AtomicFile::createFile(const std::filesystem::path& path, mode_t mode, std::error_code* error) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        if (errno == EEXIST) {
            return true;
        }
        if (error) {
            *error = std::error_code(errno, std::generic_category());
        }
        return false;
    }
    // The creation mode is narrowed by the umask, which may take bits that `mode` asks for.
    ::fchmod(fd.get(), mode);
    return true;
}

void AtomicFile::restrictMode(const std::filesystem::path& path, mode_t mode) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
        return;
    }
    const mode_t current = info.st_mode & 07777;
    if ((current & ~mode) != 0) {
        ::chmod(path.c_str(), current & mode);
    }
}

}  // namespace zqb::host
