#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace zqb::test {

// A mount made in a mount namespace of the process's own, so that nothing outside sees it; undone when
// destroyed (and in any case when the process ends). Needs root, or unprivileged user namespaces. Threads
// started before the first mount stay in the old namespace and do not see it: mount before the library starts
// a thread (ctest runs every test in a process of its own; see `hasOtherThreads`).
class PrivateMount {
public:
    // A tmpfs of `bytes` at `at`.
    static PrivateMount smallFileSystem(const std::filesystem::path& at, std::size_t bytes);
    // The file or folder at `path`, read-only for everyone, root included (a read-only bind mount).
    static PrivateMount readOnly(const std::filesystem::path& path);

    PrivateMount(PrivateMount&& other) noexcept;
    PrivateMount& operator=(PrivateMount&&) = delete;
    ~PrivateMount();

    // Makes a mounted small file system read-only, or writable again; "" when it worked.
    std::string setReadOnly(bool readOnly);

    bool mounted() const { return refusal_.empty(); }
    // Why the mount was not made, when it was not.
    const std::string& refusal() const { return refusal_; }

    // Whether the process runs more than one thread.
    static bool hasOtherThreads();

private:
    PrivateMount(std::filesystem::path path, std::string refusal, std::string options = {})
        : path_(std::move(path)), refusal_(std::move(refusal)), options_(std::move(options)) {}

    std::filesystem::path path_;
    std::string refusal_;
    std::string options_;
};

}  // namespace zqb::test
