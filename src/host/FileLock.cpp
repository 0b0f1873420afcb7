#include "host/FileLock.hpp"

#include "host/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace zqb::host {

FileLock::FileLock(const std::filesystem::path& lockFile) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFileMode);
    if (fd_ >= 0) {
        // Created under the umask, which may take bits the mode asks for.
        ::fchmod(fd_, kPrivateFileMode);
    } else if (errno == EISDIR) {
        // A folder is locked as it is: nothing is added to it.
        fd_ = ::open(lockFile.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
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
