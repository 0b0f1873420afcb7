#pragma once

#include "database/SQLiteValue.hpp"
#include "foundation/MappedBlocks.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zqb {

// The writes an open group has made, kept until its commit to be repeated if SQLite rolls it back. A burst's
// group keeps thousands, each with its row's texts: held as the statements' own values, they would fill the
// writing thread's heap between the short-lived blocks of each write, and that heap would keep the pages
// once the group is committed. They are copied instead, one after the other, into chunks of memory mapped
// for the journal, kept for the next group as far as it uses them; a write's own values are freed as it
// returns.
class WriteJournal {
public:
    // A statement that changed the file, in the form that repeats its effect.
    struct Write {
        std::shared_ptr<const std::string> sql;
        std::vector<OptionalSQLiteValue> values;
        // How the database module names a failure of such a write ("Error in inserting: ", ...).
        const char* failurePrefix = "";
        // Repeated through the provider's cached statement of the same text (inserts and short deletions,
        // which repeat by the thousand), not a statement prepared afresh.
        bool cachedStatement = false;
    };

    WriteJournal() = default;
    ~WriteJournal() { releaseChunks(0); }
    WriteJournal(const WriteJournal&) = delete;
    WriteJournal& operator=(const WriteJournal&) = delete;

    void add(const Write& write);
    // The write at `index`, as it was added.
    Write at(std::size_t index) const;
    const char* failurePrefix(std::size_t index) const { return writes_[index].failurePrefix; }

    std::size_t size() const { return writes_.size(); }
    bool empty() const { return writes_.empty(); }
    // The writes the journal has room for without growing.
    std::size_t capacity() const { return writes_.capacity(); }

    // Keeps the first `count` writes.
    void truncate(std::size_t count);
    void erase(std::size_t index);
    // Forgets every write, and the room beyond `keptCapacity` writes.
    void clear(std::size_t keptCapacity);

private:
    // The values are written in chunks of this size, or in one of their own when larger.
    static constexpr std::size_t kChunkBytes = 128 * 1024;

    struct Kept {
        std::shared_ptr<const std::string> sql;
        const char* values = nullptr;  // in a chunk: each a kind byte and its bytes (a number's eight, a
                                       // text's length and text)
        std::size_t count = 0;
        const char* failurePrefix = "";
        bool cachedStatement = false;
    };
    struct Chunk {
        char* bytes = nullptr;
        std::size_t size = 0;
    };

    // Room for `bytes` bytes in a row.
    char* room(std::size_t bytes);
    void releaseChunks(std::size_t kept) noexcept;

    MappedVector<Kept> writes_;
    std::vector<Chunk> chunks_;
    std::size_t current_ = 0;  // the chunk written now, and its bytes used
    std::size_t used_ = 0;
};

}  // namespace zqb
