#include "services/ReportService.hpp"

#include "backend/Config.hpp"
#include "foundation/Logger.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/SdkConstraints.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace zqb {

namespace {

std::string joinedUuids(const Reports& reports) {
    std::string text;
    for (const auto& report : reports.reports) {
        if (!text.empty()) {
            text += ", ";
        }
        text += report->uuid;
    }
    return text;
}

}  // namespace

ReportService::ReportService(std::shared_ptr<StateManagerProtocol> stateManager,
                             std::shared_ptr<EventRepository> eventRepository,
                             std::shared_ptr<ReportsRepository> reportsRepository,
                             std::shared_ptr<BackendProtocol> backend,
                             std::shared_ptr<UploadHandover> uploads, QueueManager& incomeQueue,
                             QueueManager& networkSerialQueue, QueueManager& networkFlashQueue)
    : stateManager_(std::move(stateManager)),
      eventRepository_(std::move(eventRepository)),
      reportsRepository_(std::move(reportsRepository)),
      backend_(std::move(backend)),
      uploads_(std::move(uploads)),
      incomeQueue_(incomeQueue),
      networkSerialQueue_(networkSerialQueue),
      networkFlashQueue_(networkFlashQueue) {}

std::vector<std::shared_ptr<User>> ReportService::projectUsersInSendingOrder() {
    const auto project = stateManager_->getActiveProject();
    auto users = stateManager_->getAllUsers();
    std::erase_if(users, [&](const std::shared_ptr<User>& user) {
        return !user || !project || user->projectId != project->idKey;
    });
    // Users without a session go last; equal keys keep their stored order.
    std::stable_sort(users.begin(), users.end(), [](const auto& a, const auto& b) {
        constexpr auto last = std::numeric_limits<int64_t>::max();
        return a->sessionId.value_or(last) < b->sessionId.value_or(last);
    });
    return users;
}

std::vector<Package> ReportService::createPackages(std::span<const std::shared_ptr<EventObject>> events) {
    const auto deviceData = stateManager_->getDeviceData();
    if (!deviceData) {
        Logger::writeLog(ZQBLogLevel::error, "Cannot obtain device information!");
        return {};
    }
    const auto application = stateManager_->getAppData();
    const bool editorMode = stateManager_->isEditorMode();
    const auto project = stateManager_->getActiveProject();
    const int64_t count =
        std::max<int64_t>(project ? stateManager_->getActiveConfiguration().countForRequest : 1, 1);

    Package facts;
    facts.language = deviceData->language;
    if (!editorMode) {
        facts.appVersion = application.applicationVersion;
        facts.appBuildVersion = application.applicationBuildVersion;
    }
    facts.sdkVersion = SdkConstraints::sdkVersion();
    facts.sdkCodeVersion = SdkConstraints::sdkCodeVersion;
    facts.bundle = application.applicationBundle;

    std::vector<Package> packages;
    std::vector<std::string> texts;
    for (std::size_t index = 0; index < events.size(); ++index) {
        texts.push_back(events[index]->json());
        if (static_cast<int64_t>(texts.size()) >= count || index + 1 == events.size()) {
            Package package = facts;
            package.events = std::move(texts);
            packages.push_back(std::move(package));
            texts.clear();
        }
    }
    return packages;
}

void ReportService::sendBufferedEvents() {
    const auto users = projectUsersInSendingOrder();
    // A backlog's events, read in the cache itself (only the events packed below leave it meanwhile) and
    // collected in memory of the cache's kind: a copy of the cache would be as large as it.
    const auto& stored = eventRepository_->loaded();
    for (const auto& user : users) {
        EventRepository::Cache events;
        for (const auto& event : stored) {
            if (event->userId == user->idKey) {
                events.push_back(event);
            }
        }
        if (events.empty()) {
            continue;
        }
        auto packages = createPackages(events);
        if (packages.empty()) {
            continue;
        }
        auto report = std::make_shared<Report>(std::move(packages));
        report->userId = user->idKey;
        reportsRepository_->insert(report);
        // The events leave their table only once the report that carries them has a row of its own.
        if (report->idKey < 0) {
            Logger::writeLog(ZQBLogLevel::error, "The report for user [" + user->userId.value_or("") +
                                                     "] could not be stored; its " +
                                                     std::to_string(events.size()) +
                                                     " events are kept for the next attempt");
            continue;
        }
        // Events that stay would be packed and sent again: the report goes instead, and they wait for the
        // next attempt.
        if (!eventRepository_->deleteItems(events)) {
            reportsRepository_->deleteItems({report});
        }
    }
    sendSavedReports();
}

void ReportService::sendSavedReports() {
    if (isSending_) {
        resendWhenFinish_ = true;
        return;
    }
    removeAcceptedReports();
    std::unordered_set<int64_t> accepted;
    {
        std::lock_guard lock(acceptedMutex_);
        for (const auto& report : accepted_) {
            accepted.insert(report->idKey);
        }
    }
    const auto users = projectUsersInSendingOrder();
    const auto activeUser = stateManager_->getActiveUser();
    const auto project = stateManager_->getActiveProject();
    const std::string appKey = project ? project->applicationKey : std::string();
    const auto device = stateManager_->getActiveDeviceIdentifiers();
    // Read in the cache itself: nothing changes it before the run is queued, and a backlog's reports are
    // thousands.
    const auto& stored = reportsRepository_->loaded();

    // One entry for every stored report: a backlog's thousands take memory mapped for them.
    MappedVector<Outgoing> run;
    for (const auto& user : users) {
        Identifiers identifiers;
        if (device) {
            identifiers.deviceId = device->deviceIdentifier;
            identifiers.previousDeviceId = device->previousDeviceIdentifier;
        }
        identifiers.userId = user->userId;
        identifiers.previousUserId = user->previousUserId;
        // The gateway's numbers belong to the active user only.
        if (device && activeUser && user->idKey == activeUser->idKey) {
            identifiers.vorantelId = device->vorantelId;
            identifiers.crossPlatformVorantelId = device->crossPlatformVorantelId;
            identifiers.vorantelIdTimestamp = device->vorantelIdTimestamp;
        }
        bool any = false;
        for (const auto& report : stored) {
            if (report->userId == user->idKey && !accepted.contains(report->idKey) && isSendable(*report)) {
                run.push_back(Outgoing{report, appKey, identifiers});
                any = true;
            }
        }
        if (any) {
            Logger::writeLog(ZQBLogLevel::info,
                             "Send buffered events for user [" + user->userId.value_or("") + "]");
        }
    }
    if (run.empty()) {
        return;
    }
    isSending_ = true;
    {
        std::lock_guard lock(acceptedMutex_);
        runUnderWay_ = true;
    }
    postWeakly(networkSerialQueue_, weak_from_this(), &ReportService::sendReports, std::move(run),
               onReportSendAction_, clearings_.load());
}

bool ReportService::isSendable(const Report& report) {
    if (!report.packages.empty()) {
        return true;
    }
    if (unreadableReports_.insert(report.idKey).second) {
        Logger::writeLog(ZQBLogLevel::error, "The stored report [" + report.uuid +
                                                 "] cannot be read and is not sent; its row is kept");
    }
    return false;
}

void ReportService::sendReports(const MappedVector<Outgoing>& run, const std::function<void()>& action,
                                uint64_t clearingsAtStart) {
    bool completed = true;
    for (const auto& item : run) {
        // Shared with the reports cache: nothing writes a stored report's packages after its insert.
        const Reports reports{{item.report}};
        if (finished_) {
            completed = false;
            break;
        }
        if (clearings_.load() != clearingsAtStart) {
            // Tracking was switched off since the run was made: nothing more leaves the device (the tracking
            // status excepted, which a run asked for meanwhile carries), and the headers it holds may name a
            // device id withdrawn meanwhile. (The reports of users removed meanwhile, among them the end of
            // the session a replaced user left, still go.)
            break;
        }
        if (uploads_->claimAccepted(item.report->uuid)) {
            // Accepted by the gateway during an upload of a library destroyed since: not sent again.
            Logger::writeLog(ZQBLogLevel::debug, "The report [" + item.report->uuid +
                                                     "] was accepted before the library was started again; "
                                                     "it is deleted, not sent again");
            removeReports(reports.reports);
            continue;
        }
        if (!sendReport(item, reports, action)) {
            completed = false;
            break;
        }
    }
    endRun();
    if (!completed) {
        postWeakly(incomeQueue_, weak_from_this(), [](ReportService& self) {
            self.isSending_ = false;
            self.resendWhenFinish_ = false;
        });
        return;
    }
    postWeakly(incomeQueue_, weak_from_this(), [](ReportService& self) {
        self.isSending_ = false;
        // A run asked for meanwhile is not made once sending has finished for good: the library is being
        // destroyed and its database closed.
        if (self.resendWhenFinish_ && !self.finished_) {
            self.resendWhenFinish_ = false;
            self.sendSavedReports();
        }
    });
}

void ReportService::endRun() {
    std::unique_ptr<UploadHandover::Run> ended;
    std::lock_guard lock(acceptedMutex_);
    runUnderWay_ = false;
    // Released after the lock: a file left open for this run is closed now.
    ended = std::move(endedRun_);
}

bool ReportService::sendReport(const Outgoing& item, const Reports& reports,
                               const std::function<void()>& action) {
    Logger::writeLog(ZQBLogLevel::info, "Trying to send the Report [" + item.report->uuid + "]");
    return responseHandler(reports, backend_->sendAnalytics(item.appKey, item.identifiers, reports), action);
}

bool ReportService::responseHandler(const Reports& reports, const SendAnalyticsResult& result,
                                    const std::function<void()>& action) {
    const auto uuids = joinedUuids(reports);
    if (!result.isSuccess()) {
        Logger::writeLog(ZQBLogLevel::error,
                         "Report [" + uuids + "] submission failed: " + result.error->localizedDescription());
        Logger::writeLog(ZQBLogLevel::debug, "The network queue is stopped");
        return false;
    }
    Logger::writeLog(ZQBLogLevel::info, "The report [" + uuids + "] has been sent successfully");
    removeReports(reports.reports);
    if (action) {
        action();
    }
    return true;
}

void ReportService::removeReports(const std::vector<std::shared_ptr<Report>>& reports) {
    {
        std::lock_guard lock(acceptedMutex_);
        if (!finished_) {
            accepted_.insert(accepted_.end(), reports.begin(), reports.end());
        } else {
            // The library was destroyed meanwhile: the deletion posted to the income queue would land where
            // the service is gone. The rows go now, while the file is open for this run; once a start-up has
            // taken it over, the library started there deletes them.
            const bool deleted =
                endedRun_ && endedRun_->whileOpen([&] { return reportsRepository_->deleteItems(reports); });
            if (!deleted) {
                std::vector<std::string> uuids;
                for (const auto& report : reports) {
                    uuids.push_back(report->uuid);
                }
                uploads_->addAccepted(uuids);
            }
            return;
        }
    }
    postWeakly(incomeQueue_, weak_from_this(), &ReportService::removeAcceptedReports);
}

void ReportService::removeAcceptedReports() {
    std::lock_guard lock(acceptedMutex_);
    // Once sending has ended, `finishSending` has deleted them, and later ones are deleted on the network
    // queue.
    if (!finished_) {
        deleteAccepted();
    }
}

void ReportService::deleteAccepted() {
    if (!accepted_.empty() && reportsRepository_->deleteItems(accepted_)) {
        accepted_.clear();
    }
}

void ReportService::finishSending() {
    // The run under way is not waited for: a stopping call of the host queued behind this operation would
    // wait with it. It sends no further report, and deletes what the gateway accepts meanwhile itself.
    std::lock_guard lock(acceptedMutex_);
    finished_ = true;
    deleteAccepted();
    if (!accepted_.empty()) {
        // The file refused their deletion: the library started next deletes them instead of sending them.
        std::vector<std::string> uuids;
        for (const auto& report : accepted_) {
            uuids.push_back(report->uuid);
        }
        uploads_->addAccepted(uuids);
        accepted_.clear();
    }
    if (runUnderWay_) {
        endedRun_ = UploadHandover::runUnderWay(uploads_);
    }
}

void ReportService::sendFlashEvent(const Storable& event) {
    const auto project = stateManager_->getActiveProject();
    const auto user = stateManager_->getActiveUser();
    const std::string appKey = project ? project->applicationKey : std::string();
    const Identifiers identifiers = user ? stateManager_->getIdentifiers(*user) : Identifiers{};

    const std::vector<std::shared_ptr<EventObject>> events{
        EventObject::make(event.eventCode(), -1, -1, event.getJson())};
    // Without device facts the report still goes out, with no packages.
    auto report = std::make_shared<Report>(createPackages(events));

    networkFlashQueue_.addOperation(
        [weak = weak_from_this(), report = std::move(report), appKey, identifiers] {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            Logger::writeLog(ZQBLogLevel::info, "Trying to send the Report [" + report->uuid + "]");
            const auto result = self->backend_->sendAnalytics(appKey, identifiers, Reports{{report}});
            if (result.isSuccess()) {
                Logger::writeLog(ZQBLogLevel::info,
                                 "The report [" + report->uuid + "] has been sent successfully");
            } else {
                Logger::writeLog(ZQBLogLevel::error, "Report [" + report->uuid + "] submission failed: " +
                                                         result.error->localizedDescription());
            }
        });
}

void ReportService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    reportsRepository_->deleteForDataForUsers(User::idKeys(users));
}

void ReportService::removeAllReports() {
    clearings_.fetch_add(1);
    reportsRepository_->clear();
}

}  // namespace zqb
