#pragma once

#include "database/DatabaseProtocol.hpp"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace zqb {

// What a destroyed library's report upload still under way hands to what comes after it, so that the destroy
// never waits for the upload: a host thread's stopping call, queued behind the destroy and a new start-up,
// would wait with it (for as long as a gateway that never answers takes to time out).
//
// - The destroy leaves the file open for the run under way (`closeWhenRunsEnd`): a report the gateway accepts
//   afterwards is deleted through it, and the file is closed for good once the run has ended.
// - A start-up made meanwhile closes it first (`takeOver`), before it opens the file itself: two providers on
//   one file never meet. A report accepted after that is kept here (`addAccepted`), and the new library's
//   run, which the serial network queue starts only after the old one has ended, deletes it instead of
//   sending it again (`claimAccepted`).
//
// One per process, shared by every library it starts; safe from any thread.
class UploadHandover {
    struct Parking;

public:
    UploadHandover() = default;
    UploadHandover(const UploadHandover&) = delete;
    UploadHandover& operator=(const UploadHandover&) = delete;

    // Held by a report service whose sending has ended while a run of it was still under way, until that run
    // has ended.
    class Run {
    public:
        Run(std::shared_ptr<UploadHandover> handover, std::shared_ptr<Parking> parking);
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

        // Calls `remove` (which deletes reports the gateway accepted, and says whether it did) while the
        // run's file is still open, and returns what it returns; false once a start-up has closed the file.
        template <typename Remove>
        bool whileOpen(Remove&& remove) {
            std::lock_guard lock(handover_->mutex_);
            return !parking_->closed && remove();
        }

    private:
        std::shared_ptr<UploadHandover> handover_;
        std::shared_ptr<Parking> parking_;
    };

    // A run of the library being destroyed is still under way: its file stays open until it ends.
    static std::unique_ptr<Run> runUnderWay(const std::shared_ptr<UploadHandover>& handover);
    // The destroy: closes `database` for good now, or once the runs registered since the last destroy have
    // ended, unless a start-up takes over first. What was written is committed at once either way.
    void closeWhenRunsEnd(std::shared_ptr<DatabaseProtocol> database);
    // A start-up, before it opens the file: closes every file still left open for a run.
    void takeOver();

    // Reports (by uuid) that the gateway accepted after their library was destroyed and a start-up had taken
    // over its file.
    void addAccepted(const std::vector<std::string>& uuids);
    // True once for a report added above: the caller deletes it instead of sending it.
    bool claimAccepted(const std::string& uuid);

private:
    struct Parking {
        std::shared_ptr<DatabaseProtocol> database;
        int runs = 0;
        bool closed = false;
    };

    void runEnded(const std::shared_ptr<Parking>& parking);

    std::mutex mutex_;
    // The runs registered by the destroy under way, whose file it has not handed over yet.
    std::shared_ptr<Parking> gathering_;
    std::vector<std::shared_ptr<Parking>> parked_;
    std::unordered_set<std::string> accepted_;
};

}  // namespace zqb
