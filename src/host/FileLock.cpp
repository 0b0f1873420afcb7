#include "host/FileLock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace zqb::host {

FileLock::FileLock(const std::filesystem::path& lockFile) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        return;
    }
    int result = 0;
    do {
        result = ::flock(fd_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    locked_ = result == 0;
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        // Closing the descriptor releases the lock.
        ::close(fd_);
    }
}

}  // namespace zqb::host
