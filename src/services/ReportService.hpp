#pragma once

#include "backend/Backend.hpp"
#include "foundation/MappedBlocks.hpp"
#include "foundation/QueueManager.hpp"
#include "model/EventObject.hpp"
#include "model/Identifiers.hpp"
#include "model/Package.hpp"
#include "model/Report.hpp"
#include "model/Reports.hpp"
#include "model/Storable.hpp"
#include "model/User.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/UploadHandover.hpp"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

namespace zqb {

// Moves each user's buffered events into stored reports and sends those, one report per request, on the
// network serial queue; a report leaves the store only after the gateway accepted it, and a failure stops
// the run with everything after it kept for the next trigger. Single events go out at once as flash
// reports on the network flash queue.
//
// Every state read and every write of the sending flags happen on the income queue; a sending run gets a
// snapshot of what it sends (report, application key, identifiers) taken there. Blocks queued elsewhere
// hold the service weakly. Create it with `std::make_shared`.
//
// What makes it send, all on the income queue (every call but the flash ones goes through
// `sendBufferedEvents`, and the batch size and the timer periods are those of the state manager's active
// configuration):
// - a full stack: the events service counts the configuration's "countForRequest" stored events;
// - the request timer's tick ("timeForRequest") and a cleared user card, each after the card's changes;
// - the start sequence, a new session, the end of an activity, a switch or replacement of the user, a change
//   of level (set or level up), and tracking switched on or off;
// - the events that go out at once: a finished progression, the referrer, a real-currency or subscription
//   payment, the subscription products and the restored subscription history;
// - the host's own request (the public `sendBufferedEvents`, which the messaging logic uses too);
// - a run asked for while another was under way: the saved reports go once that one has finished.
// Flash reports: the alive timer's ping ("aliveTimeout") and the tracking-off status of a start-up.
class ReportService final : public ReportServiceProtocol, public std::enable_shared_from_this<ReportService> {
public:
    ReportService(std::shared_ptr<StateManagerProtocol> stateManager,
                  std::shared_ptr<EventRepository> eventRepository,
                  std::shared_ptr<ReportsRepository> reportsRepository,
                  std::shared_ptr<BackendProtocol> backend, std::shared_ptr<UploadHandover> uploads,
                  QueueManager& incomeQueue, QueueManager& networkSerialQueue,
                  QueueManager& networkFlashQueue);

    const std::function<void()>& onReportSendAction() const override { return onReportSendAction_; }
    void setOnReportSendAction(std::function<void()> action) override {
        onReportSendAction_ = std::move(action);
    }

    void sendFlashEvent(const Storable& event) override;
    void sendBufferedEvents() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;
    void removeAllReports() override;
    void finishSending() override;

    // Income queue only: a sending run is queued or under way; another run was asked for meanwhile.
    bool isSending() const { return isSending_; }
    bool resendWhenFinish() const { return resendWhenFinish_; }

private:
    // One stored report of a run, with what the request needs, fixed on the income queue.
    struct Outgoing {
        std::shared_ptr<Report> report;  // read only once queued
        std::string appKey;
        Identifiers identifiers;
    };

    std::vector<std::shared_ptr<User>> projectUsersInSendingOrder();
    std::vector<Package> createPackages(std::span<const std::shared_ptr<EventObject>> events);
    void sendSavedReports();
    // False for a stored report without packages: sent, it would be accepted empty and deleted, and the
    // events it stood for would vanish unseen. Its row stays; the first meeting logs an ERROR.
    bool isSendable(const Report& report);
    // Stops at the first report that is not accepted, before any report once sending has ended, and before
    // any once every stored report was removed after `clearingsAtStart`.
    void sendReports(const MappedVector<Outgoing>& run, const std::function<void()>& action,
                     uint64_t clearingsAtStart);
    // Whether the gateway accepted it.
    bool sendReport(const Outgoing& item, const Reports& reports, const std::function<void()>& action);
    bool responseHandler(const Reports& reports, const SendAnalyticsResult& result,
                         const std::function<void()>& action);
    // On the network serial queue: the gateway accepted these reports; their rows go on the income queue, or,
    // once sending has ended, through the file left open for the run (or to the library started next).
    void removeReports(const std::vector<std::shared_ptr<Report>>& reports);
    // On the income queue, until sending ends: deletes the accepted reports whose rows are still stored.
    void removeAcceptedReports();
    // The same, under `acceptedMutex_`.
    void deleteAccepted();
    // On the network serial queue, once a run has sent what it sends.
    void endRun();

    std::function<void()> onReportSendAction_;
    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<EventRepository> eventRepository_;
    std::shared_ptr<ReportsRepository> reportsRepository_;
    std::shared_ptr<BackendProtocol> backend_;
    const std::shared_ptr<UploadHandover> uploads_;
    QueueManager& incomeQueue_;
    QueueManager& networkSerialQueue_;
    QueueManager& networkFlashQueue_;
    bool isSending_ = false;
    bool resendWhenFinish_ = false;
    // Stored reports whose packages no longer read, each reported once.
    std::unordered_set<int64_t> unreadableReports_;
    // Reports the gateway accepted whose rows are still to be deleted: added on the network serial queue as
    // each is accepted, deleted on the income queue right after, or at the latest when sending ends for
    // good. One whose deletion the file refused stays here: it is never sent again, and its deletion is
    // tried again before every later run. Once sending has ended, the rows are deleted on the network queue
    // under this lock, which orders those deletions after the income queue's last.
    std::mutex acceptedMutex_;
    std::vector<std::shared_ptr<Report>> accepted_;
    // Under `acceptedMutex_`: a run is queued or under way on the network queue; and, once sending has ended
    // while it was, what keeps the file open for it.
    bool runUnderWay_ = false;
    std::unique_ptr<UploadHandover::Run> endedRun_;
    // Sending has ended for good: a run under way sends no further report.
    std::atomic<bool> finished_{false};
    // Counts the removals of every stored report (tracking switched off), on the income queue; a run under
    // way stops at the next one.
    std::atomic<uint64_t> clearings_{0};
};

}  // namespace zqb
