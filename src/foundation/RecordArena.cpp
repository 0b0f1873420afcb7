#include "foundation/RecordArena.hpp"

#include "foundation/AddressChecker.hpp"
#include "foundation/SlabSpace.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

namespace zqb {
namespace {

constexpr std::size_t kRecordSlabBytes = SlabSpace::slabBytes;
// Larger records get a mapping of their own: a slab ends where the next record no longer fits, and this
// bounds what is left unused at its end.
constexpr std::size_t kLargestCut = kRecordSlabBytes / 4;
constexpr std::size_t kRecordReserveSlabs = RecordArena::reserveBytes / kRecordSlabBytes;

// At the start of every slab and of every record's own mapping.
struct Header {
    // The records in use, and one more while records are cut from the slab.
    std::atomic<std::size_t> users{0};
    std::size_t bytes = 0;
    // A record's own mapping, not a slab that records are cut from.
    bool single = false;
    Header* nextSpare = nullptr;
};
constexpr std::size_t kHeaderBytes =
    (sizeof(Header) + RecordArena::alignment - 1) & ~(RecordArena::alignment - 1);

constexpr std::size_t rounded(std::size_t size, std::size_t multiple) {
    return (size + multiple - 1) / multiple * multiple;
}

struct Arena {
    std::mutex lock;
    // The slab records are cut from, and where the next one starts in it.
    Header* cutting = nullptr;
    std::size_t cut = 0;
    // Empty slabs kept for the next records, linked through `nextSpare`.
    Header* spares = nullptr;
    std::size_t spareCount = 0;
    std::atomic<std::size_t> mapped{0};

    // Under the lock: keeps `slab`, whose last record has gone, for the next records, or answers it to be
    // unmapped once the lock is released.
    Header* keepOrReturn(Header* slab) {
        if (spareCount == kRecordReserveSlabs) {
            return slab;
        }
        AddressChecker::poison(reinterpret_cast<char*>(slab) + kHeaderBytes, kRecordSlabBytes - kHeaderBytes);
        slab->nextSpare = spares;
        spares = slab;
        ++spareCount;
        return nullptr;
    }

    void unmap(Header* slab) {
        const std::size_t bytes = slab->bytes;
        AddressChecker::unpoison(slab, bytes);
        SlabSpace::unmap(slab, bytes);
        mapped.fetch_sub(bytes, std::memory_order_relaxed);
    }
};

Arena& arena() {
    // Never destroyed: records may be released while the process exits.
    static Arena* const instance = new Arena;
    return *instance;
}

Header* mapHeader(std::size_t bytes, bool single) {
    auto* header = new (SlabSpace::map(bytes)) Header;
    header->bytes = bytes;
    header->single = single;
    arena().mapped.fetch_add(bytes, std::memory_order_relaxed);
    return header;
}

}  // namespace

void* RecordArena::allocate(std::size_t size) {
    size = rounded(size == 0 ? 1 : size, alignment);
    if (size > kLargestCut) {
        Header* own = mapHeader(rounded(kHeaderBytes + size, SlabSpace::pageBytes), true);
        own->users.store(1, std::memory_order_relaxed);
        return reinterpret_cast<char*>(own) + kHeaderBytes;
    }
    Arena& state = arena();
    char* record = nullptr;
    {
        std::lock_guard lock(state.lock);
        if (state.cutting == nullptr || state.cut + size > kRecordSlabBytes) {
            Header* next = nullptr;
            if (state.cutting != nullptr) {
                // The slab's own use ends; when its records are all released already, it is cut again.
                if (state.cutting->users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                    next = state.cutting;
                    AddressChecker::poison(reinterpret_cast<char*>(next) + kHeaderBytes,
                                           kRecordSlabBytes - kHeaderBytes);
                }
                state.cutting = nullptr;
            }
            if (next == nullptr && state.spares != nullptr) {
                next = state.spares;
                state.spares = next->nextSpare;
                --state.spareCount;
            }
            if (next == nullptr) {
                next = mapHeader(kRecordSlabBytes, false);
                AddressChecker::poison(reinterpret_cast<char*>(next) + kHeaderBytes,
                                       kRecordSlabBytes - kHeaderBytes);
            }
            next->users.store(1, std::memory_order_relaxed);
            state.cutting = next;
            state.cut = kHeaderBytes;
        }
        state.cutting->users.fetch_add(1, std::memory_order_relaxed);
        record = reinterpret_cast<char*>(state.cutting) + state.cut;
        state.cut += size;
    }
    AddressChecker::unpoison(record, size);
    return record;
}

void RecordArena::release(void* record) noexcept {
    if (record == nullptr) {
        return;
    }
    auto* header = reinterpret_cast<Header*>(SlabSpace::slabOf(record));
    if (header->users.fetch_sub(1, std::memory_order_acq_rel) != 1) {
        return;
    }
    Arena& state = arena();
    if (header->single) {
        state.unmap(header);
        return;
    }
    Header* emptied = nullptr;
    {
        std::lock_guard lock(state.lock);
        emptied = state.keepOrReturn(header);
    }
    if (emptied != nullptr) {
        state.unmap(emptied);
    }
}

std::size_t RecordArena::mappedBytes() noexcept {
    return arena().mapped.load(std::memory_order_relaxed);
}

}  // namespace zqb
