#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/SQLiteProviderSupport.hpp"

namespace zqb {

// SQLite leaves the content of a deleted or overwritten row in the page it was in, and whole pages of them
// in the file's free list, unless it was built or set to overwrite them (and another writer of the file may
// not be); the write-ahead log keeps older copies of pages until it starts over, also across a close while
// another connection holds the file. Rebuilding the file leaves none of them, and emptying the log none of
// its copies. Row ids stay: every table has its own.
void SQLiteProvider::eraseDeletedContent() noexcept {
    provider_support::runGuarded(kDeleteFailure, [&] {
        database_->serialized([&] {
            ensureOpen();
            if (group_) {
                group_->flush();
                if (group_->isOpen()) {
                    return;  // the commit failed, and said so; its writes wait for its next attempt
                }
            }
            // The rebuilt file may go through the disk as it is written: only the groups must stay in memory.
            database_->execute("PRAGMA cache_spill=ON");
            struct SpillOff {
                Connection& connection;
                ~SpillOff() {
                    try {
                        connection.execute("PRAGMA cache_spill=OFF");
                    } catch (...) {
                    }
                }
            } spillOff{*database_};
            database_->execute("VACUUM");
            database_->execute("PRAGMA wal_checkpoint(TRUNCATE)");
        });
    });
}

}  // namespace zqb
