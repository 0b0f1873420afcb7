#pragma once

#include "model/Storable.hpp"
#include "model/User.hpp"

#include <functional>
#include <memory>
#include <vector>

namespace zqb {

// Batching of stored events into reports, their sending, and flash sends of single events.
class ReportServiceProtocol {
public:
    virtual ~ReportServiceProtocol() = default;

    // Called on the network serial queue once for every stored report the gateway accepted, right after its
    // removal was queued on the income queue. Set on the income queue; a run takes the closure in force
    // when it was queued.
    virtual const std::function<void()>& onReportSendAction() const = 0;
    virtual void setOnReportSendAction(std::function<void()> action) = 0;

    // The operations below are called on the income queue.

    // Sends one event at once on the network flash queue, never stored and never retried.
    virtual void sendFlashEvent(const Storable& event) = 0;
    // Packs every user's stored events into stored reports, then sends the stored reports.
    virtual void sendBufferedEvents() = 0;
    // Deletes the stored reports of these users.
    virtual void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) = 0;
    // Deletes every stored report.
    virtual void removeAllReports() = 0;
    // Ends sending for good, before the service is released, without waiting for the network: a run under
    // way stops after the report in flight. The reports the gateway accepted are deleted before this returns,
    // and one it accepts afterwards as soon as it does (see `UploadHandover`), so that a library started
    // afterwards never sends them again.
    virtual void finishSending() = 0;
};

}  // namespace zqb
