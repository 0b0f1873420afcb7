#include "support/FullDiskVfs.hpp"

#include <sqlite3.h>

#include <atomic>
#include <stdexcept>
#include <utility>

namespace zqb::test {
namespace {

std::atomic<bool> full{false};
std::atomic<std::size_t> refused{0};
std::atomic<std::size_t> synced{0};
sqlite3_vfs* real = nullptr;
std::function<void(const char*)> beforeWrite;

// Our file object, followed in the same allocation by the real file system's own.
struct File {
    sqlite3_file base;
    sqlite3_file* inner;
    // Lives as long as the file is open (SQLite's names do, and so must the caller's).
    const char* name;
};

sqlite3_file* inner(sqlite3_file* file) {
    return reinterpret_cast<File*>(file)->inner;
}

const sqlite3_io_methods& methods(sqlite3_file* file) {
    return *inner(file)->pMethods;
}

const sqlite3_io_methods ioMethods = {
    3,
    [](sqlite3_file* file) { return methods(file).xClose(inner(file)); },
    [](sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
        return methods(file).xRead(inner(file), buffer, amount, offset);
    },
    [](sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
        if (beforeWrite) {
            const char* const name = reinterpret_cast<File*>(file)->name;
            beforeWrite(name == nullptr ? "" : name);
        }
        if (full.load()) {
            ++refused;
            return SQLITE_FULL;
        }
        return methods(file).xWrite(inner(file), buffer, amount, offset);
    },
    [](sqlite3_file* file, sqlite3_int64 size) { return methods(file).xTruncate(inner(file), size); },
    [](sqlite3_file* file, int flags) {
        ++synced;
        return methods(file).xSync(inner(file), flags);
    },
    [](sqlite3_file* file, sqlite3_int64* size) { return methods(file).xFileSize(inner(file), size); },
    [](sqlite3_file* file, int lock) { return methods(file).xLock(inner(file), lock); },
    [](sqlite3_file* file, int lock) { return methods(file).xUnlock(inner(file), lock); },
    [](sqlite3_file* file, int* result) { return methods(file).xCheckReservedLock(inner(file), result); },
    [](sqlite3_file* file, int op, void* argument) {
        return methods(file).xFileControl(inner(file), op, argument);
    },
    [](sqlite3_file* file) { return methods(file).xSectorSize(inner(file)); },
    [](sqlite3_file* file) { return methods(file).xDeviceCharacteristics(inner(file)); },
    [](sqlite3_file* file, int page, int size, int extend, void volatile** memory) {
        return methods(file).xShmMap(inner(file), page, size, extend, memory);
    },
    [](sqlite3_file* file, int offset, int count, int flags) {
        return methods(file).xShmLock(inner(file), offset, count, flags);
    },
    [](sqlite3_file* file) { methods(file).xShmBarrier(inner(file)); },
    [](sqlite3_file* file, int deleteFlag) { return methods(file).xShmUnmap(inner(file), deleteFlag); },
    // No memory-mapped reads: every page goes through xRead.
    [](sqlite3_file*, sqlite3_int64, int, void** page) {
        *page = nullptr;
        return SQLITE_OK;
    },
    [](sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; },
};

int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* ours = reinterpret_cast<File*>(file);
    ours->inner = reinterpret_cast<sqlite3_file*>(ours + 1);
    ours->base.pMethods = nullptr;
    ours->name = name;
    const int result = real->xOpen(real, name, ours->inner, flags, outFlags);
    if (ours->inner->pMethods != nullptr) {
        ours->base.pMethods = &ioMethods;
    }
    return result;
}

sqlite3_vfs vfs = {
    3,
    0,
    0,
    nullptr,
    "zqb-full-disk",
    nullptr,
    &open,
    [](sqlite3_vfs*, const char* name, int syncDir) { return real->xDelete(real, name, syncDir); },
    [](sqlite3_vfs*, const char* name, int flags, int* result) {
        return real->xAccess(real, name, flags, result);
    },
    [](sqlite3_vfs*, const char* name, int size, char* out) {
        return real->xFullPathname(real, name, size, out);
    },
    [](sqlite3_vfs*, const char* name) { return real->xDlOpen(real, name); },
    [](sqlite3_vfs*, int size, char* message) { real->xDlError(real, size, message); },
    [](sqlite3_vfs*, void* handle, const char* symbol) { return real->xDlSym(real, handle, symbol); },
    [](sqlite3_vfs*, void* handle) { real->xDlClose(real, handle); },
    [](sqlite3_vfs*, int size, char* out) { return real->xRandomness(real, size, out); },
    [](sqlite3_vfs*, int microseconds) { return real->xSleep(real, microseconds); },
    [](sqlite3_vfs*, double* now) { return real->xCurrentTime(real, now); },
    [](sqlite3_vfs*, int size, char* message) { return real->xGetLastError(real, size, message); },
    [](sqlite3_vfs*, sqlite3_int64* now) { return real->xCurrentTimeInt64(real, now); },
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

FullDiskVfs::FullDiskVfs() {
    if (real != nullptr) {
        throw std::logic_error("one FullDiskVfs at a time");
    }
    real = sqlite3_vfs_find(nullptr);
    vfs.szOsFile = static_cast<int>(sizeof(File)) + real->szOsFile;
    vfs.mxPathname = real->mxPathname;
    full = false;
    refused = 0;
    synced = 0;
    sqlite3_vfs_register(&vfs, 1);
}

FullDiskVfs::~FullDiskVfs() {
    full = false;
    sqlite3_vfs_unregister(&vfs);
    beforeWrite = nullptr;
    real = nullptr;
}

void FullDiskVfs::setFull(bool value) {
    full = value;
}

std::size_t FullDiskVfs::refusedWrites() const {
    return refused.load();
}

std::size_t FullDiskVfs::syncs() const {
    return synced.load();
}

void FullDiskVfs::setBeforeWrite(std::function<void(const char* path)> hook) {
    beforeWrite = std::move(hook);
}

}  // namespace zqb::test
