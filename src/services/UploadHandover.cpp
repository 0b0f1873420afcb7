#include "services/UploadHandover.hpp"

#include <algorithm>
#include <utility>

namespace zqb {

UploadHandover::Run::Run(std::shared_ptr<UploadHandover> handover, std::shared_ptr<Parking> parking)
    : handover_(std::move(handover)), parking_(std::move(parking)) {}

UploadHandover::Run::~Run() {
    handover_->runEnded(parking_);
}

std::unique_ptr<UploadHandover::Run> UploadHandover::runUnderWay(
    const std::shared_ptr<UploadHandover>& handover) {
    std::shared_ptr<Parking> parking;
    {
        std::lock_guard lock(handover->mutex_);
        if (!handover->gathering_) {
            handover->gathering_ = std::make_shared<Parking>();
        }
        parking = handover->gathering_;
        ++parking->runs;
    }
    return std::make_unique<Run>(handover, std::move(parking));
}

void UploadHandover::closeWhenRunsEnd(std::shared_ptr<DatabaseProtocol> database) {
    if (!database) {
        return;
    }
    database->commitWrites();
    {
        std::lock_guard lock(mutex_);
        const std::shared_ptr<Parking> parking = std::exchange(gathering_, nullptr);
        if (parking && parking->runs > 0 && !parking->closed) {
            parking->database = std::move(database);
            parked_.push_back(parking);
            return;
        }
    }
    database->closeForGood();
}

void UploadHandover::takeOver() {
    std::vector<std::shared_ptr<DatabaseProtocol>> closing;
    {
        std::lock_guard lock(mutex_);
        for (const auto& parking : parked_) {
            parking->closed = true;
            closing.push_back(std::move(parking->database));
        }
        parked_.clear();
    }
    // Outside the lock: a run's deletion may be waiting for it.
    for (const auto& database : closing) {
        database->closeForGood();
    }
}

void UploadHandover::runEnded(const std::shared_ptr<Parking>& parking) {
    std::shared_ptr<DatabaseProtocol> closing;
    {
        std::lock_guard lock(mutex_);
        if (--parking->runs > 0 || !parking->database || parking->closed) {
            return;
        }
        parking->closed = true;
        closing = std::move(parking->database);
        std::erase(parked_, parking);
    }
    closing->closeForGood();
}

void UploadHandover::addAccepted(const std::vector<std::string>& uuids) {
    std::lock_guard lock(mutex_);
    accepted_.insert(uuids.begin(), uuids.end());
}

bool UploadHandover::claimAccepted(const std::string& uuid) {
    std::lock_guard lock(mutex_);
    return accepted_.erase(uuid) > 0;
}

}  // namespace zqb
