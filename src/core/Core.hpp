#pragma once

#include "core/AnalyticsObserverProtocol.hpp"
#include "core/AnalyticsProxy.hpp"
#include "core/LogicFactory.hpp"
#include "core/MessagingLogicProxyProtocol.hpp"
#include "foundation/BorrowRegistry.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/NotificationCenter.hpp"
#include "logic/AntiCheatLogicProtocol.hpp"
#include "logic/PeopleLogicProtocol.hpp"
#include "model/ZQBAnalyticsConfigurationLocal.hpp"
#include "services/UploadHandover.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zqb {

class ApplicationLifeCycle;
class DatabaseProtocol;

// The process-wide root of the library's object graph. Created on first use of `shared()`, it owns the
// fronts that the public classes forward to; `initialize` builds the graph behind them in one operation on
// the income queue, and `destroy` takes the core out of the shared slot at once and drops it, and with it
// the graph, in another.
//
// The shared slot and the initialised flag are read and written from any thread: a host that initialises
// from several threads at once gets one core and exactly one start-up.
class Core : public std::enable_shared_from_this<Core> {
public:
    // Starts every refusal and failure message of `initialize`.
    static constexpr const char* initializeErrorPrefix = "In the Initialize method an error has occurred:";
    // The line written to standard output when a core is released.
    static constexpr const char* deinitLine = "ZQBAnalytics deinit Core module";

    // The core in the shared slot, created first when there is none, for the length of one call that only
    // hands work to a queue. Takes no lock and changes no count other threads share, so callers on many
    // threads do not meet here; the destroy operation waits until no thread still borrows the core before it
    // releases it. A borrower must therefore never wait for the income queue.
    class Borrowed {
    public:
        Core* operator->() const { return core_; }
        Core& operator*() const { return *core_; }

    private:
        friend class Core;
        explicit Borrowed(const std::atomic<Core*>& published)
            : guard_(published), core_(guard_.get<Core>()) {}
        BorrowRegistry::Guard guard_;
        Core* core_;
    };
    static Borrowed borrowShared();

    // The core in the shared slot, created first when there is none. Never fails.
    static std::shared_ptr<Core> shared();
    // The core in the shared slot, or nothing; creates none.
    static std::shared_ptr<Core> current();
    // Takes the core out of the shared slot (creating one first when there is none), queues the destroy
    // operation on the income queue and returns. Calls queued before run on the old core; the operation
    // stops its logic, commits its database and closes it for good (whoever may still hold it; an upload
    // under way keeps it open until it ends, or until the next start-up) and releases it. The next
    // `shared()` creates a fresh core at once, so an `initialize` made meanwhile is accepted and starts up
    // once the destroy has run, and calls made before that start-up are refused by the fresh core's proxy as
    // not initialised.
    static void destroy();

    // The parts that cores created from now on build (see `LogicFactory`); empty members fall back to the
    // defaults. For tests and for wiring the library's own parts.
    static void setLogicFactory(LogicFactory factory);
    static void resetLogicFactory();

    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;
    // Writes the deinit line to standard output, in one write past the C library's buffer.
    virtual ~Core();

    // Returns at once. A second call on the same core is refused with an ERROR; otherwise the start-up
    // operation is queued on the income queue. When the application is in the background, the income queue
    // is paused until it first becomes active, so that start-up and the calls queued behind it wait for that.
    void initialize(const std::string& applicationKey,
                    std::optional<ZQBAnalyticsConfigurationLocal> configuration);

    const std::shared_ptr<AnalyticsProxy>& analyticsProxy() const { return analyticsProxy_; }
    const std::shared_ptr<PeopleLogicProtocol>& peopleLogic() const { return peopleLogic_; }
    const std::shared_ptr<AntiCheatLogicProtocol>& antiCheatLogic() const { return antiCheatLogic_; }
    const std::shared_ptr<MessagingLogicProxyProtocol>& messagingProxy() const { return messagingProxy_; }
    const std::shared_ptr<AnalyticsObserverProtocol>& analyticsObserver() const { return analyticsObserver_; }

    bool isEditorMode() const { return isEditorMode_.load(); }
    // Set by the engine wrapper; never cleared. A destroyed core takes it along.
    void enableEditorMode() { isEditorMode_.store(true); }

    // Set when an initialisation is accepted, never cleared (also after a failed start-up).
    bool isInitialized() const { return isInitialized_.load(); }

private:
    // Posts to `queues` and reaches the host through `environment`, as does the graph its start-up builds;
    // hands an upload under way at its destroy to `uploads`, which the cores of the process share.
    Core(LogicFactory factory, const Queues& queues, host::Environment& environment,
         std::shared_ptr<UploadHandover> uploads);

    // After every stop, on the income queue: what the stop and the calls before it wrote is committed to
    // the file before the stopping notification returns.
    static void commitWrites(const std::weak_ptr<Core>& weakCore);
    // Pauses the income queue until the first did-become-active notification.
    void pauseUntilActive();
    // The did-become-active handler of a background initialisation: resumes the income queue once.
    void onLoadAction();

    // The start-up operation, on the income queue.
    static void startUp(const std::weak_ptr<Core>& weakCore, const std::string& applicationKey,
                        std::optional<ZQBAnalyticsConfigurationLocal> configuration);
    void start(const std::string& applicationKey,
               std::optional<ZQBAnalyticsConfigurationLocal> configuration);
    // The destroy operation, on the income queue: stops the logic and has the database closed for good.
    static void destroySDK(std::shared_ptr<Core> core);

    const Queues queues_;
    host::Environment& environment_;
    const std::shared_ptr<UploadHandover> uploads_;
    const LogicFactory logicFactory_;
    const std::shared_ptr<AnalyticsProxy> analyticsProxy_;
    const std::shared_ptr<PeopleLogicProtocol> peopleLogic_;
    const std::shared_ptr<AntiCheatLogicProtocol> antiCheatLogic_;
    const std::shared_ptr<MessagingLogicProxyProtocol> messagingProxy_;
    const std::shared_ptr<AnalyticsObserverProtocol> analyticsObserver_;
    std::atomic<bool> isEditorMode_{false};
    std::atomic<bool> isInitialized_{false};

    std::mutex loadMutex_;
    bool waitingForActive_ = false;
    std::unique_ptr<host::NotificationCenter::Registration> loadRegistration_;

    // Made by the accepted `initialize`, before the start-up operation is queued, and handed to the graph
    // that operation builds; released with the core.
    std::shared_ptr<ApplicationLifeCycle> lifeCycle_;
    // The database of the running graph; set and read on the income queue only.
    std::weak_ptr<DatabaseProtocol> database_;
    // Set by the destroy operation; read by the start-up operation. Income queue only.
    bool destroyed_ = false;
};

}  // namespace zqb
