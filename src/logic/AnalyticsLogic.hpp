#pragma once

#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "logic/AnalyticsLogicProtocol.hpp"
#include "logic/LifeCycleProtocol.hpp"
#include "logic/LifeCycleRepositoryProtocol.hpp"
#include "model/User.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

struct Config;
struct SubscriptionProduct;
class Storable;
class ServiceFactoryProtocol;
class StateManagerProtocol;
class ProjectServiceProtocol;
class EventsServiceProtocol;
class TimerServiceProtocol;
class ConfigServiceProctocol;
class ReportServiceProtocol;
class UserServiceProtocol;
class ActivityServiceProtocol;
class CurrencyAccrualServiceProtocol;
class LevelResourceServiceProtocol;
class AntiCheatServiceProctocol;
class PeopleServiceProtocol;
class SubscriptionServiceProtocol;

// The business rules of every analytics operation: start and stop of the SDK, sessions, tracking on and
// off, user switching, levels, the reporting operations and flushing. One logic is built per start-up.
//
// Everything runs on the income queue, the logic's only execution context, so it takes no locks. The
// services' callbacks and every block the logic queues hold it weakly and do nothing once it is gone.
// Create it with `create`, which also makes it the life cycle's listener.
//
// The definitions are kept by concern: construction and shared steps (AnalyticsLogic.cpp), set-up and
// configuration (AnalyticsLogicStart.cpp), sessions (AnalyticsLogicSession.cpp), identity and level
// (AnalyticsLogicUser.cpp), event operations (AnalyticsLogicEvents.cpp) and payments
// (AnalyticsLogicPayment.cpp).
class AnalyticsLogic final : public AnalyticsLogicProtocol,
                             public LifeCycleProtocol,
                             public std::enable_shared_from_this<AnalyticsLogic> {
public:
    static std::shared_ptr<AnalyticsLogic> create(std::shared_ptr<ServiceFactoryProtocol> serviceFactory,
                                                  std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle,
                                                  QueueManager& incomeQueue, host::Environment& environment);

    AnalyticsLogic(const AnalyticsLogic&) = delete;
    AnalyticsLogic& operator=(const AnalyticsLogic&) = delete;

    // Start-up.
    void prepareCallBacks() override;
    void applyAnalyticsConfiguration(
        const std::optional<ZQBAnalyticsConfigurationLocal>& configuration) override;
    void tryStartSDK() override;

    // Identifiers broadcaster.
    IdentifiersUpdate onBackendIdentifiersUpdate() const override;
    void setOnBackendIdentifiersUpdate(IdentifiersUpdate closure) override;
    void forceUpdate() override;

    // Life cycle: already on the income queue (the life cycle queues and, for the stops, waits).
    void goActive() override;
    void goInactive() override;
    void goBackground() override;
    void goTerminate() override;

    // Analytics operations.
    void stopSDK() override;
    void getDeviceId(StringCompletion completion) override;
    void getSDKVersion(StringCompletion completion) override;
    void getTrackingAvailability(BoolCompletion completion) override;
    void setTrackingAvailability(bool value) override;
    void getUserId(StringCompletion completion) override;
    void setUserId(std::string userId) override;
    void replaceUserId(std::string fromUserId, std::string toUserId) override;
    void getCurrentLevel(LevelCompletion completion) override;
    void setCurrentLevel(int64_t level) override;
    void levelUp(int64_t level, IntMap balances) override;
    void currentBalance(IntMap balances) override;
    void customEvent(std::string name, AnyCodableMap parameters) override;
    void sendBufferedEvents() override;
    void virtualCurrencyPayment(std::string purchaseId, std::string purchaseType, int64_t purchaseAmount,
                                IntMap resources) override;
    void currencyAccrual(std::string currencyName, int64_t currencyAmount, std::string source,
                         ZQBAccrualType accrualType) override;
    void startProgressionEvent(std::string eventName,
                               ZQBStartProgressionEventParametersLocal parameters) override;
    void finishProgressionEvent(std::string eventName,
                                ZQBFinishProgressionEventParametersLocal parameters) override;
    void realCurrencyPayment(std::string orderId, double price, std::string productId,
                             std::string currencyCode) override;
    void socialNetworkConnect(ZQBSocialNetworkLocal network) override;
    void socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) override;
    void tutorial(int64_t step) override;
    void referrer(ReferralData utmData) override;
    int64_t getCustomEventParamsCount() override;
    void isRestoreTransactionHistoryRequired(BoolCompletion completion) override;
    void subscriptionPayment(host::PaymentTransaction transaction, host::StoreProductTexts product) override;
    void subscriptionPayment(std::string productId, std::string transactionId) override;
    void subscriptionHistory(std::vector<host::PaymentTransaction> transactions) override;
    void subscriptionHistory(SubscriptionHistory history) override;
    void adImpression(std::string network, double revenue, std::optional<std::string> placement,
                      std::optional<std::string> unit) override;

    // The steps the operations above share; public so that tests can drive them one by one.

    // The start sequence: saved accruals, activity, device information, the full user card, a flush, the
    // configuration and, when missing, the server identifiers. As the start-up runs it: the activity starts
    // also while the application is still inactive, as it is on a host that is launching.
    void startSDK();
    // Opens or continues a session and starts the timers, while tracking is on, as becoming active does:
    // unless the application is in the background.
    void startActivity();
    // Closes the running activity: pending accruals and card changes become events, the engagement is
    // recorded, everything is flushed and the timers stop.
    void stopActivity();
    // The alive ping, sent at once without storage, while tracking is on.
    void sendAlive();
    // Stores the device-information event unless "di" is excluded.
    void sendDeviceInfo();
    // The active user's pending currency accruals as one event, while the user has a session.
    void addCurrencyAccrual();
    // Accruals saved for the project's users by earlier runs, each as an event of its user's session.
    void addSavedCurrencyAccrualResources();
    // The changed (or, with `needFullCard`, all) user-card values as one event.
    void generatePeopleEvent(bool needFullCard);
    // Asks the store for the configured subscription products.
    void startSubscriptionsService();
    // Empties the events, reports and both resource tables for every user.
    void removeEventsAndResources();
    // Deletes these users and everything stored for them.
    void removeUsers(const std::vector<std::shared_ptr<User>>& users);

    // True once `startSDK()` has run.
    bool started() const { return started_; }

private:
    // What starts an activity. Becoming active, and the start-up, which on a host that is launching finds the
    // application still inactive, open the session then; an operation (a switch of user, the takeover of the
    // active id, tracking switched on) opens it only while the application is active.
    enum class ActivityStart { activation, operation };

    AnalyticsLogic(std::shared_ptr<ServiceFactoryProtocol> serviceFactory,
                   std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle, QueueManager& incomeQueue,
                   host::Environment& environment);

    void startSDK(ActivityStart start);
    void startActivity(ActivityStart start);
    // Whether the application's state lets this start open an activity now.
    bool applicationInUse(ActivityStart start) const;

    void prepareTimersCallback();
    void prepareConfigCallbacks();
    void prepareReportSendCallback();
    void preparePeopleCardCallback();
    void onConfigurationReceived(const Config& config);
    void onReportSent();
    void onProductsReceived(const std::optional<std::vector<SubscriptionProduct>>& products);
    void sendSubscriptionsHistoryEvent();
    // The history is restored once, whichever form the host gives it in.
    template <typename Transactions>
    void restoreSubscriptionHistory(const Transactions& transactions);
    // Publishes the custom-event parameter limit of the active project's configuration, which the host's
    // threads read.
    void publishParamsLimit();

    void prepareCurrencyAccrualEvent(int64_t sessionId, int64_t level, std::optional<int64_t> timestamp,
                                     const std::shared_ptr<User>& user);
    // Closes the active user's session before another user becomes active.
    void closeSessionForUserSwitch();
    void markOrderId(const std::string& orderId);
    void flush();

    std::shared_ptr<User> activeUser() const;
    bool trackingAvailable() const;
    // The active progression location's name as a one-element list, or nothing.
    std::optional<std::vector<std::string>> inProgress() const;
    void store(const Storable& event);
    // Unix milliseconds on the environment's clock: the time stamp of every record the logic makes.
    int64_t now() const;

    std::shared_ptr<ServiceFactoryProtocol> serviceFactory_;
    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle_;
    std::shared_ptr<ProjectServiceProtocol> projectService_;
    std::shared_ptr<EventsServiceProtocol> eventsService_;
    std::shared_ptr<TimerServiceProtocol> timerService_;
    std::shared_ptr<ConfigServiceProctocol> configService_;
    std::shared_ptr<ReportServiceProtocol> reportService_;
    std::shared_ptr<UserServiceProtocol> userService_;
    std::shared_ptr<ActivityServiceProtocol> activityService_;
    std::shared_ptr<CurrencyAccrualServiceProtocol> currencyAccrualService_;
    std::shared_ptr<LevelResourceServiceProtocol> levelResourceService_;
    std::shared_ptr<AntiCheatServiceProctocol> anticheatService_;
    std::shared_ptr<PeopleServiceProtocol> peopleService_;
    std::shared_ptr<SubscriptionServiceProtocol> subscriptionService_;
    QueueManager& incomeQueue_;
    host::Environment& environment_;
    // Taken once: every record reads it, and the environment's getter takes a lock.
    const std::shared_ptr<host::ClockProtocol> clock_;
    bool started_ = false;
};

}  // namespace zqb
