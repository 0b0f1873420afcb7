#pragma once

#include "backend/Config.hpp"
#include "host/Environment.hpp"
#include "logic/AnalyticsLogic.hpp"
#include "model/Project.hpp"
#include "model/User.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/ManualClock.hpp"
#include "support/QueueRunner.hpp"
#include "support/RecordingServices.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/TempDir.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {
class CoreFactory;
class ServiceFactory;
class SQLiteProvider;
class StateManagerProtocol;
}  // namespace zqb

namespace zqb::test {

// Where the bed's manual clock starts, for the tests that compare stamped times with it.
inline constexpr int64_t kStart = ManualClock::kDefaultStartMs;

// The analytics logic over the library's own graph, wired by start-up's own functions (core factory with the
// real platform and database in a temporary folder, whose writes are grouped on the income queue; device and
// state managers and service factory), on the manual clock and run loop, with the gateway on a loopback
// server that accepts every report and answers the configuration request with `config` and the identification
// request with fixed ids. The logic is built but not started: `start()` runs the start-up steps, or a test
// drives them one by one.
//
// The logic, the services and the records they share belong to the income queue: tests reach them through
// `income()`, and `user()`/`project()` give copies taken there. `settle()` waits until the income queue and
// the network queues are idle.
class LogicTestBed {
public:
    static constexpr const char* kApplicationKey = "logic-test-key";
    static constexpr const char* kConfigPath = "/v2/analytics/config";
    static constexpr const char* kIdentificationPath = "/v2/analytics/identification";
    static constexpr const char* kReportPath = "/v2/analytics/report";

    struct Options {
        Config config = defaultTestConfig();  // the gateway's configuration answer
        bool storeConfig = true;              // also the project's stored configuration before start-up
        bool answerConfig = true;             // else the configuration request is answered 404
        std::optional<std::string> userId;    // the configured user id the state manager starts with
        int64_t startMs = ManualClock::kDefaultStartMs;
        // The logic gets recording events, report and timer services (`recording`): a test then sees the
        // logic's decisions to store, send and time rather than their effects.
        bool recordingServices = false;
        // The application's state when the graph is built, as the host's launch leaves it.
        host::ApplicationState applicationState = host::ApplicationState::active;
        // When set, the graph is built over an environment of the bed's own: the process-wide one's members
        // but the clock, a manual clock of its own starting here, and the files, whose application-support
        // directory is a folder of its own. The process-wide environment keeps its clock and folder.
        std::optional<int64_t> ownClockMs;
        // When set, the database file the graph opens holds this text before it is built.
        std::optional<std::string> fileBefore;
    };

    // The built-in default with a batch large enough that nothing is sent before a test flushes.
    static Config defaultTestConfig();
    // The default options with the recording services.
    static Options recordingOptions();

    LogicTestBed();
    explicit LogicTestBed(Options options);
    ~LogicTestBed();
    LogicTestBed(const LogicTestBed&) = delete;
    LogicTestBed& operator=(const LogicTestBed&) = delete;

    // Runs `work` as one operation of the income queue and returns its result once it has run.
    template <typename Work>
    auto income(Work&& work) {
        return onIncome(std::forward<Work>(work));
    }

    // The start-up steps of the core on the income queue (callbacks, configuration, start), then settles.
    void start(const std::optional<ZQBAnalyticsConfigurationLocal>& configuration = std::nullopt);
    void settle();
    // Moves virtual time (firing due timers), then settles.
    void advance(int64_t ms);
    // The application leaves the foreground or comes back as a host reports it: the state first, then the
    // notifications; then settles. `toInactive` resigns active and stays there, as under a system alert.
    void toBackground();
    void toInactive();
    void toForeground();

    User user();
    Project project();
    int64_t now() { return env.clock().milliseconds(); }
    std::string deviceId();
    bool started();
    // Stores a user of the project besides the active one, last seen `lastSeenMs` (a session of that time).
    std::shared_ptr<User> storeUser(const std::string& userId, int64_t lastSeenMs);

    // Waits until the writes of the operations queued so far are committed to the file.
    void committed();
    // Rows of "events" as another connection reads them, once committed.
    struct StoredEvent {
        std::string code;
        int64_t userId;
        nlohmann::ordered_json json;
    };
    std::vector<StoredEvent> storedEvents();
    std::vector<StoredEvent> storedEvents(const std::string& code);
    int64_t rowCount(const std::string& table);

    // Every event the gateway received in report uploads, in order, flash sends included.
    std::vector<nlohmann::ordered_json> sentEvents();
    std::vector<nlohmann::ordered_json> sentEvents(const std::string& code);
    std::size_t requestCount(const std::string& path);
    // The repeating timers scheduled on the run loop.
    std::size_t repeatingTimers();
    // Every timer pending on the run loop but the database's commit timer, which a group of writes schedules
    // for its window's end and which commits nothing once the group was committed.
    std::size_t pendingTimers();

    LoopbackGateway gateway;  // first: outlives every exchange still running on the network queues
    ScopedEnvironment env;    // before the database, which lives in its folder
    // With `Options::ownClockMs`: the graph's environment, its clock and the folder of its files.
    TempDir ownDirectory;
    std::shared_ptr<ManualClock> ownClock;
    host::Environment ownEnvironment;
    // The environment the graph is built over: `ownEnvironment` or the process-wide one.
    host::Environment& graphEnvironment();
    LogCapture log;
    std::shared_ptr<CoreFactory> coreFactory;
    std::shared_ptr<StateManagerProtocol> state;
    std::shared_ptr<ServiceFactory> services;
    std::shared_ptr<RecordingServiceFactory> recording;  // with `Options::recordingServices` only
    std::shared_ptr<AnalyticsLogic> logic;
    // A second connection on the same file: the rows as committed, without the repositories' caches. Read
    // it after `committed()`.
    std::shared_ptr<SQLiteProvider> observer;
};

}  // namespace zqb::test
