#pragma once

#include <cstddef>
#include <functional>

namespace zqb::test {

// SQLite's default file system with a switch that fills the disk: while it is on, every write to a file
// (the database, its write-ahead log) fails as on a full disk, with SQLITE_FULL; reads go on. It also counts
// the syncs SQLite asks for. It is the default file system for its lifetime, so every connection opened
// meanwhile goes through it. One at a time.
class FullDiskVfs {
public:
    FullDiskVfs();
    ~FullDiskVfs();
    FullDiskVfs(const FullDiskVfs&) = delete;
    FullDiskVfs& operator=(const FullDiskVfs&) = delete;

    void setFull(bool full);
    // Writes refused since construction.
    std::size_t refusedWrites() const;
    // Syncs of a file (with the folder's, when SQLite adds it) since construction.
    std::size_t syncs() const;
    // Runs `hook` with the file's path before each write to a file, on the writing thread; set it before
    // any connection is opened.
    void setBeforeWrite(std::function<void(const char* path)> hook);
};

}  // namespace zqb::test
