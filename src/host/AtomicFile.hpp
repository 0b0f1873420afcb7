#pragma once

#include <sys/types.h>
#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace zqb::host {

// The library's own folders and files are its user's alone, wherever they live and whatever the umask.
inline constexpr mode_t kPrivateFolderMode = 0700;
inline constexpr mode_t kPrivateFileMode = 0600;

// Whole-file reads and crash-safe whole-file replacement for the small files the stand-ins keep.
class AtomicFile {
public:
    AtomicFile() = delete;

    enum class ReadStatus { ok, missing, failed };

    // Reads the whole file into `bytes`; `missing` when there is no file at `path`. A file that proves longer
    // than `maxBytes` is `failed`, with nothing kept. On `failed`, `error` (when given) receives the reason.
    static ReadStatus read(const std::filesystem::path& path, std::string& bytes,
                           std::size_t maxBytes = std::numeric_limits<std::size_t>::max(),
                           std::error_code* error = nullptr);

    // Writes `bytes` to a fresh temporary file beside `path`, flushes it to disk and renames it over `path`.
    // Readers see the old content or the new one, never a mix; when any step fails the temporary file is
    // removed, the old file stays as it was and the answer is false. The new file gets exactly `mode`.
    // The parent directory must exist.
    static bool write(const std::filesystem::path& path, std::string_view bytes, mode_t mode);

    // Flushes a file, or a folder's list of names, to disk. False when it cannot be opened or flushed.
    static bool sync(const std::filesystem::path& path);

    // Creates `directory`, and each of its missing parents, with exactly `mode` unless it exists; a folder
    // that exists keeps its mode. On failure `error` (when given) receives the reason.
    static bool ensureDirectory(const std::filesystem::path& directory, mode_t mode,
                                std::error_code* error = nullptr);

    // True when `directory` is a folder, or is missing and its nearest existing parent is a folder this
    // process may add to, so that `ensureDirectory` could make it. Creates nothing.
    static bool canMakeDirectory(const std::filesystem::path& directory);

    // Creates an empty file with exactly `mode` unless something exists at `path` (true then too). On
    // failure `error` (when given) receives the reason.
    static bool createFile(const std::filesystem::path& path, mode_t mode, std::error_code* error = nullptr);

    // Takes from an existing file or folder every permission bit outside `mode`; leaves a symbolic link, a
    // missing path and a path this process may not change as they are.
    static void restrictMode(const std::filesystem::path& path, mode_t mode);
};

}  // namespace zqb::host
