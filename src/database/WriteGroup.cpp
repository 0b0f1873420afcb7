#include "database/WriteGroup.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteError.hpp"
#include "foundation/Logger.hpp"

#include <sqlite3.h>

#include <algorithm>

namespace zqb {
namespace {

// Failures that say nothing about the statement itself: it may well succeed later.
bool isPassing(int code) {
    switch (code & 0xff) {
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_INTERRUPT:
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
        case SQLITE_PROTOCOL:
            return true;
        default:
            return false;
    }
}

// The one line of a group given up as the connection closes: why, and how many writes it held.
void logLoss(const char* prefix, const std::exception& error, std::size_t lost) noexcept {
    try {
        const std::string writes =
            lost == 1 ? "the 1 write that was" : "the " + std::to_string(lost) + " writes that were";
        logDatabaseError(
            prefix, std::string(error.what()) + "; closing the database lost " + writes + " not committed");
    } catch (...) {
        logDatabaseError(prefix, error);
    }
}

int64_t millisecondsBetween(std::chrono::steady_clock::time_point from,
                            std::chrono::steady_clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

}  // namespace

WriteGroup::WriteGroup(Connection& connection, Replayer replayer)
    : connection_(connection), replayer_(std::move(replayer)) {}

void WriteGroup::setSchedule(Schedule schedule) {
    schedule_ = std::move(schedule);
}

bool WriteGroup::inTransaction() const {
    return sqlite3_get_autocommit(connection_.handle()) == 0;
}

bool WriteGroup::onWriterQueue() const {
    return schedule_ && !closed_ && schedule_->onWriterQueue();
}

std::chrono::steady_clock::time_point WriteGroup::now() const {
    return schedule_ ? schedule_->now() : std::chrono::steady_clock::now();
}

void WriteGroup::beforeWrite() {
    if (open_ && !inTransaction()) {
        open_ = false;
    }
    if (!open_ && !journal_.empty()) {
        restore();
    }
    if (!onWriterQueue()) {
        return;
    }
    if (!open_) {
        open();
    }
    if (!commitPosted_) {
        commitPosted_ = true;
        schedule_->post(Event::caughtUp);
    }
}

void WriteGroup::open() {
    connection_.execute("BEGIN");
    open_ = true;
    openedAt_ = now();
    armWindow(schedule_->windowMilliseconds);
}

void WriteGroup::armWindow(int64_t delayMs) {
    if (windowArmed_ || !schedule_ || !schedule_->runAfter) {
        return;
    }
    windowArmed_ = true;
    schedule_->runAfter(std::max<int64_t>(delayMs, 1), Event::windowCheck);
}

void WriteGroup::journal(const JournaledWrite& entry) {
    if (open_) {
        journal_.add(entry);
    }
}

void WriteGroup::afterWrite() {
    if (open_ && !failing_ && schedule_ &&
        (journal_.size() >= mostWritesPerGroup ||
         millisecondsBetween(openedAt_, now()) >= schedule_->windowMilliseconds)) {
        commit();
    }
}

void WriteGroup::failedWrite(std::size_t journaledBefore) {
    journal_.truncate(journaledBefore);
    // What SQLite rolled back is run again by the next statement or by the commit already posted.
    if (open_ && !inTransaction()) {
        open_ = false;
    }
}

void WriteGroup::beforeRead() {
    if (open_ && !inTransaction()) {
        open_ = false;
    }
    if (!open_ && !journal_.empty()) {
        try {
            restore();
        } catch (const std::exception&) {
            // The read sees the file as last committed; the group is tried again with the next write.
        }
    }
}

void WriteGroup::handle(Event event) {
    switch (event) {
        case Event::caughtUp:
            commitPosted_ = false;
            if (!failing_ || now() >= nextAttempt_) {
                commit();
            }
            break;
        case Event::windowCheck: {
            windowArmed_ = false;
            if (!open_ || failing_) {
                break;
            }
            const int64_t age = millisecondsBetween(openedAt_, now());
            if (age >= schedule_->windowMilliseconds) {
                commit();
            } else {
                armWindow(schedule_->windowMilliseconds - age);
            }
            break;
        }
        case Event::retryDue:
            retryArmed_ = false;
            if (failing_ && schedule_) {
                schedule_->post(Event::retry);
            }
            break;
        case Event::retry:
            if (failing_) {
                commit();
            }
            break;
    }
}

void WriteGroup::flush() {
    if (open_ || !journal_.empty()) {
        commit();
    }
}

void WriteGroup::close() {
    closed_ = true;
    if (!open_ && journal_.empty()) {
        return;
    }
    commit();
    if (open_ || !journal_.empty()) {
        // The last attempt failed (and said what it lost): what the file held before the group stays as it
        // was.
        rollbackQuietly();
        forgetJournal();
    }
}

void WriteGroup::commit() {
    if (schedule_ && schedule_->heldUntil.valid()) {
        schedule_->heldUntil.wait();
        schedule_->heldUntil = {};
    }
    const auto started = now();
    try {
        if (open_ && !inTransaction()) {
            open_ = false;
        }
        if (!open_ && !journal_.empty()) {
            restore();
        }
        if (!open_) {
            return;
        }
        connection_.execute("COMMIT");
    } catch (const std::exception& error) {
        commitFailed(error, started);
        return;
    }
    open_ = false;
    const bool burst = journal_.size() > keptJournalCapacity;
    forgetJournal();
    failing_ = false;
    failureLogged_ = false;
    // The pages SQLite cached for a burst's writes were taken from the writing thread's heap between the
    // short-lived blocks of those writes: kept, each would hold its part of that heap once the burst is
    // stored. Let go once such a group is committed (this connection's alone); the next group reads the few
    // it needs again. The usual small groups keep them: reading them again at every commit slowed delivery.
    if (burst) {
        sqlite3_db_release_memory(connection_.handle());
    }
}

void WriteGroup::commitFailed(const std::exception& error, std::chrono::steady_clock::time_point started) {
    // A COMMIT refused while the transaction stays open (the file busy) leaves the group as it is.
    open_ = inTransaction();
    failing_ = true;
    const char* prefix = journal_.empty() ? kInsertFailure : journal_.failurePrefix(0);
    if (closed_) {
        // No later attempt: the writes are lost, said once, also when the failure was said before.
        if (!journal_.empty()) {
            logLoss(prefix, error, journal_.size());
        }
        return;
    }
    if (!failureLogged_) {
        failureLogged_ = true;
        logDatabaseError(prefix, error);
    }
    // The group comes back at once, so that reads keep seeing what was reported stored.
    if (!open_) {
        try {
            restore();
        } catch (const std::exception&) {
        }
    }
    // Each attempt repeats the whole group: the pause grows with what that costs.
    const int64_t cost = millisecondsBetween(started, now());
    const int64_t pause = std::clamp<int64_t>(4 * cost, minimumRetryMilliseconds, maximumRetryMilliseconds);
    nextAttempt_ = now() + std::chrono::milliseconds(pause);
    if (!retryArmed_ && schedule_ && schedule_->runAfter) {
        retryArmed_ = true;
        schedule_->runAfter(pause, Event::retryDue);
    }
}

void WriteGroup::restore() {
    connection_.execute("BEGIN");
    open_ = true;
    openedAt_ = now();
    std::vector<std::size_t> refused;
    for (std::size_t index = 0; index < journal_.size(); ++index) {
        try {
            replayer_(journal_.at(index));
        } catch (const SQLiteError& error) {
            if (isPassing(error.code()) || !inTransaction()) {
                rollbackQuietly();
                throw;
            }
            // The file changed under the group (another connection wrote to it): this statement cannot be
            // repeated, the others still can.
            logDatabaseError(journal_.failurePrefix(index), error);
            refused.push_back(index);
        } catch (...) {
            rollbackQuietly();
            throw;
        }
    }
    for (auto index = refused.rbegin(); index != refused.rend(); ++index) {
        journal_.erase(*index);
    }
}

void WriteGroup::forgetJournal() {
    journal_.clear(keptJournalCapacity);
}

void WriteGroup::rollbackQuietly() {
    if (inTransaction()) {
        try {
            connection_.execute("ROLLBACK");
        } catch (const std::exception&) {
        }
    }
    open_ = false;
}

}  // namespace zqb
