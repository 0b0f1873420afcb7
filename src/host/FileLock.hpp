#pragma once

#include <filesystem>

namespace zqb::host {

// An exclusive advisory lock (flock) on a lock file, or on a folder when the path names one, held for the
// object's lifetime. It serialises the read-modify-write of a shared file between threads and between
// processes of the same user. When the lock file cannot be opened, `isLocked()` is false and the caller goes
// on unlocked.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace zqb::host
