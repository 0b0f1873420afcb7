#include "support/PrivateMount.hpp"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace zqb::test {
namespace {

std::string failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool writeFile(const char* path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string enterPrivateNamespace() {
    static const std::string result = []() -> std::string {
        if (unshare(CLONE_NEWNS) != 0) {
            // Without the right to, a user namespace of our own maps us to root inside it.
            const auto uid = geteuid();
            const auto gid = getegid();
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                return failure("a mount namespace of the test's own was refused");
            }
            if (!writeFile("/proc/self/setgroups", "deny") ||
                !writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
                return "the user namespace could not be set up";
            }
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return failure("the mounts could not be made private");
        }
        return "";
    }();
    return result;
}

}  // namespace

PrivateMount PrivateMount::smallFileSystem(const std::filesystem::path& at, std::size_t bytes) {
    if (auto refused = enterPrivateNamespace(); !refused.empty()) {
        return PrivateMount(at, refused);
    }
    const std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        return PrivateMount(at, failure("mounting a small tmpfs was refused"));
    }
    return PrivateMount(at, "", options);
}

std::string PrivateMount::setReadOnly(bool readOnly) {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    if (!mounted() || mount("tmpfs", path_.c_str(), "tmpfs", flags, options_.c_str()) != 0) {
        return failure("remounting was refused");
    }
    return "";
}

PrivateMount PrivateMount::readOnly(const std::filesystem::path& path) {
    if (auto refused = enterPrivateNamespace(); !refused.empty()) {
        return PrivateMount(path, refused);
    }
    if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return PrivateMount(path, failure("a bind mount was refused"));
    }
    if (mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        const std::string refused = failure("a read-only bind mount was refused");
        umount2(path.c_str(), MNT_DETACH);
        return PrivateMount(path, refused);
    }
    return PrivateMount(path, "");
}

PrivateMount::PrivateMount(PrivateMount&& other) noexcept
    : path_(std::move(other.path_)),
      refusal_(std::move(other.refusal_)),
      options_(std::move(other.options_)) {
    other.refusal_ = "moved";
}

PrivateMount::~PrivateMount() {
    if (mounted()) {
        umount2(path_.c_str(), MNT_DETACH);
    }
}

bool PrivateMount::hasOtherThreads() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoi(line.substr(8)) > 1;
        }
    }
    return true;
}

}  // namespace zqb::test
