#pragma once

#include "database/SQLiteValue.hpp"
#include "database/WriteJournal.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

class Connection;

// The transaction that the writes of a burst share, so that a burst costs one commit instead of one per
// row, and what keeps that sharing from losing anything.
//
// Every statement that changed the file inside the group is journaled, in a form that repeats it exactly (an
// insert with the row id it was given), until the group is committed. SQLite rolls a whole transaction back
// when its COMMIT fails (a full disk, an I/O error) and when a statement fails for such a reason; the
// journaled writes then run again in a new transaction before anything else reads or writes the file. A
// failure therefore loses at most the statement that failed, what the callers hold is what the file will
// hold, and no row id is handed out twice. The transaction stays in memory until its commit (the connection
// does not spill it into the file), so the statements inside it never fail for lack of space.
//
// A group opens with the first write made on the writer queue and is committed by the first of:
// - an operation posted on the writer queue when the group opened, which runs once that queue has caught up
//   with what was waiting then;
// - the next write once the group is `windowMilliseconds` old, or a timer at that age when nothing writes;
// - the provider closing.
// A commit that fails is logged once (until one succeeds again), and tried again by the first of those
// after a pause that grows with the cost of the failed attempt (at least a second, at most thirty), except
// at the close, where it is final.
// Writes made off the writer queue join an open group; with none open they commit on their own.
//
// Every member runs under the connection's serialisation.
class WriteGroup {
public:
    // A statement that changed the file, in the form that repeats its effect: one entry of the journal.
    using JournaledWrite = WriteJournal::Write;
    // Repeats a journaled write on the connection; throws as the statement does.
    using Replayer = std::function<void(const JournaledWrite&)>;

    enum class Event {
        caughtUp,     // on the writer queue, behind what was waiting when the group opened
        windowCheck,  // on a timer thread, at the group's age limit
        retryDue,     // on a timer thread, when a failed commit may be tried again
        retry,        // on the writer queue, posted by `retryDue`
    };
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    struct Schedule {
        std::function<bool()> onWriterQueue;
        // Delivers `event` to `handle` on the writer queue, behind the operations waiting there.
        std::function<void(Event)> post;
        // Delivers `event` to `handle` after `delayMs`, on a thread that is not the writer queue.
        std::function<void(int64_t delayMs, Event)> runAfter;
        Clock now = [] { return std::chrono::steady_clock::now(); };
        int64_t windowMilliseconds = defaultWindowMilliseconds;
        // When valid, the first commit waits until it is ready, on whichever thread makes it: the group
        // reaches the file only then. Let go once ready.
        std::shared_future<void> heldUntil;
    };

    static constexpr int64_t defaultWindowMilliseconds = 100;
    static constexpr int64_t minimumRetryMilliseconds = 1000;
    static constexpr int64_t maximumRetryMilliseconds = 30000;
    // The journal's room kept from one group to the next, in writes. A backlog's group journals thousands,
    // and the room they took goes back once it is committed.
    static constexpr std::size_t keptJournalCapacity = 256;
    // A group is committed once it holds this many writes, however young. SQLite keeps every page a group
    // dirties until its commit (nothing spills to the file before it), in the writing thread's heap: a group
    // of a whole burst grew that heap by megabytes, which stayed held there once freed, between blocks still
    // in use. A commit in the write-ahead log costs little (no sync), and the file holds a burst sooner.
    static constexpr std::size_t mostWritesPerGroup = 1000;

    WriteGroup(Connection& connection, Replayer replayer);

    // Without a schedule every write commits on its own.
    void setSchedule(Schedule schedule);

    // Before a write: brings back a group that SQLite rolled back, opens one on the writer queue, and makes
    // sure its commit is posted there. Throws when a lost group cannot be brought back; the write must then
    // not run, since it could be given a row id that a journaled insert holds.
    void beforeWrite();
    // A statement of the current write ran; journaled while a group is open.
    void journal(const JournaledWrite& entry);
    // The write is complete: commits the group when it has reached its age limit.
    void afterWrite();
    // The write failed: forgets what it journaled (its own statements were undone with it), and notices when
    // SQLite rolled the whole group back.
    void failedWrite(std::size_t journaledBefore);
    std::size_t journaled() const { return journal_.size(); }
    std::size_t journalCapacity() const { return journal_.capacity(); }

    // Before a read: a group that SQLite rolled back is brought back first, so that the read sees every
    // write that was reported done.
    void beforeRead();

    void handle(Event event);

    // Commits what is open now, also while a failed commit waits for its next attempt.
    void flush();
    // Commits what is open, once, when the provider closes. A commit that fails is final: the group is
    // rolled back, so that the file keeps what it held before it, and one ERROR names how many writes
    // were lost.
    void close();

    bool isOpen() const { return open_; }
    bool isFailing() const { return failing_; }

private:
    bool inTransaction() const;
    bool onWriterQueue() const;
    std::chrono::steady_clock::time_point now() const;
    void open();
    void commit();
    void commitFailed(const std::exception& error, std::chrono::steady_clock::time_point started);
    void restore();
    void rollbackQuietly();
    // Empties the journal, beyond `keptJournalCapacity` with its room.
    void forgetJournal();
    void armWindow(int64_t delayMs);

    Connection& connection_;
    Replayer replayer_;
    std::optional<Schedule> schedule_;
    // What the open group wrote, in order, to be repeated if SQLite rolls the group back.
    WriteJournal journal_;
    // A transaction of ours is open on the connection.
    bool open_ = false;
    std::chrono::steady_clock::time_point openedAt_{};
    bool commitPosted_ = false;
    bool windowArmed_ = false;
    // The last commit failed and nothing has been committed since.
    bool failing_ = false;
    bool failureLogged_ = false;
    bool retryArmed_ = false;
    bool closed_ = false;
    std::chrono::steady_clock::time_point nextAttempt_{};
};

}  // namespace zqb
