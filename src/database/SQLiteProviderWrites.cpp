#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteProviderSupport.hpp"
#include "database/Statement.hpp"

#include <sqlite3.h>

namespace zqb {

// The road of a write made on the writer queue, to the file:
// - `write` opens the group if none is open (BEGIN; a `caughtUp` posted on the writer queue behind what waits
//   there; a `windowCheck` timer at the window, 100 ms). The statement runs inside the group and is journaled
//   in the form that repeats it, an insert with the row id it was given.
// - The caller has its result at once, before any commit: a repository caches the record on success, leaves
//   its cache as it was on failure. Reads go through the same connection and see the group's writes.
// - The group commits at the first of: `caughtUp` (the queue has caught up), a write or the timer once the
//   group is as old as the window, `commitWrites`, the provider's close (`closeForGood`, which the
//   library's destroy calls, or its release). A writer held (`heldUntil`: the start-up, until the keychain
//   has the identifiers its rows carry) makes that first commit wait for the hold to be let go.
// - A COMMIT that fails (full disk, I/O error) is rolled back by SQLite. The journal is replayed at once in a
//   new transaction, so reads, and the caches filled from them, keep seeing every write reported done; the
//   failure is logged once, and the commit is tried again after 1 to 30 s (`retryDue` on a timer, then
//   `retry` on the writer queue) or at `commitWrites`. Only a journaled write that no longer repeats (the
//   file changed under the group, which only another process can do: the library's destroy closes the
//   provider before a next start-up opens another) is lost, with an ERROR. Once a commit passes the journal
//   is dropped: the file holds what the caches hold.
// - At the close a failed commit is final: the group is rolled back, the file keeps what was committed
//   before it, and one ERROR names how many writes were lost.
// Writes made off the writer queue join an open group, or commit on their own.
void SQLiteProvider::groupWritesOn(WriterQueue queue) {
    const std::weak_ptr<SQLiteProvider> weak = weak_from_this();
    if (weak.expired() || !queue.isCurrent || !queue.post) {
        return;
    }
    WriteGroup::Schedule schedule;
    schedule.onWriterQueue = std::move(queue.isCurrent);
    schedule.post = [weak, post = std::move(queue.post)](WriteGroup::Event event) {
        post([weak, event] {
            if (const auto self = weak.lock()) {
                self->handleGroupEvent(event);
            }
        });
    };
    if (queue.runAfter) {
        schedule.runAfter = [weak, runAfter = std::move(queue.runAfter)](int64_t delayMs,
                                                                         WriteGroup::Event event) {
            runAfter(delayMs, [weak, event] {
                if (const auto self = weak.lock()) {
                    self->handleGroupEvent(event);
                }
            });
        };
    }
    if (queue.now) {
        schedule.now = std::move(queue.now);
    }
    schedule.windowMilliseconds = queue.windowMilliseconds;
    schedule.heldUntil = std::move(queue.heldUntil);
    database_->serialized([&] { group_->setSchedule(std::move(schedule)); });
}

void SQLiteProvider::handleGroupEvent(WriteGroup::Event event) {
    database_->serialized([&] {
        if (!closedForGood_) {
            group_->handle(event);
        }
    });
}

void SQLiteProvider::commitWrites() noexcept {
    provider_support::runGuarded(kInsertFailure, [&] {
        database_->serialized([&] {
            if (!closedForGood_) {
                group_->flush();
            }
        });
    });
}

// A destroyed library's graph may outlive the destroy: a network operation under way holds its services,
// and through them the provider, until its exchange ends. Left open, the provider would meet the one the
// next start-up opens on the same file: its open group would keep that one's writes out, and a group that
// SQLite had rolled back would be repeated over rows the new provider wrote meanwhile (row ids given
// twice, a deletion by id taking another row), while the stale caches above it could still write. So the
// destroy closes it here, before it returns, and whoever still holds it finds every operation refused.
//
// A commit that fails here (the disk full) is final, and its writes are rolled back. Kept for later, they
// would have to be carried in memory across the destroy to a start that most hosts never make (a destroy is
// mostly followed by the exit, where they go without a word: no host code runs once the exit has begun),
// and be repeated over a file that start may have mended or replaced. The close is the last moment the
// host can be told what was lost.
void SQLiteProvider::closeForGood() noexcept {
    if (!database_ || !group_) {
        return;
    }
    provider_support::runGuarded(kInsertFailure, [&] {
        database_->serialized([&] {
            if (closedForGood_) {
                return;
            }
            closedForGood_ = true;
            provider_support::runGuarded(kInsertFailure, [&] { group_->close(); });
            // The statements are finalized first, so that the file is let go now, not when they are.
            statementCache_.clear();
            database_->closeNow();
        });
    });
}

void SQLiteProvider::ensureOpen() const {
    if (closedForGood_) {
        throw SQLiteError("the database is closed", SQLITE_MISUSE);
    }
}

void SQLiteProvider::runJournaled(const std::string& sql, std::vector<OptionalSQLiteValue> values,
                                  const char* failurePrefix) {
    Statement(*database_, sql, values).run();
    if (group_->isOpen()) {
        group_->journal({std::make_shared<const std::string>(sql), std::move(values), failurePrefix, false});
    }
}

std::shared_ptr<const std::string> SQLiteProvider::journaledText(const std::string& sql) {
    auto& text = journaledTexts_[sql];
    if (!text) {
        text = std::make_shared<const std::string>(sql);
    }
    return text;
}

void SQLiteProvider::replay(const WriteGroup::JournaledWrite& entry) {
    if (entry.cachedStatement) {
        runWithCachedStatement(*entry.sql, entry.values);
    } else {
        Statement(*database_, *entry.sql, entry.values).run();
    }
}

}  // namespace zqb
