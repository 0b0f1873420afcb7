#pragma once

#include "core/LogicFactory.hpp"
#include "core/StateManager.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "logic/AnalyticsInitProtocol.hpp"
#include "logic/AnalyticsLogicProtocol.hpp"
#include "model/ZQBAnalyticsConfigurationLocal.hpp"
#include "services/UploadHandover.hpp"

#include <memory>
#include <optional>
#include <string>

namespace zqb {

class ApplicationLifeCycle;
class CoreFactory;
class ServiceFactory;

// The graph a start-up builds behind a core, and the start of its logic. Start-up and the logic tests build
// and start it here alone, so both run one sequence, over the queues and the host environment they name.
struct CoreGraph {
    // What a start-up builds from.
    struct Sources {
        std::string applicationKey;         // as the host passed it
        std::string validatedKey;           // as the key rule left it: the project's key
        std::optional<std::string> userId;  // the configured user the state manager starts with
        // Observing the application since `initialize`; null: a new one.
        std::shared_ptr<ApplicationLifeCycle> lifeCycle;
        StateManager::EditorMode editorMode;  // null: never in editor mode
        // Shared by the libraries the process starts one after the other: an upload a destroyed one left
        // under way (see `UploadHandover`). Taken over before the file is opened.
        std::shared_ptr<UploadHandover> uploads;
    };

    // On the income queue: the submodules (platform, life cycle, backend, database whose writes are grouped
    // on `queues.income`) and the core factory over them, the device and state managers (which settle the
    // project, the device identifiers, the migration of `parts` and the active user), the service factory,
    // and the analytics logic of `parts`, which may be none. Returns once the identifiers a new device was
    // given are in the keychain. Nothing when the database cannot be opened; everything built so far is then
    // released, and the keychain left as it was.
    static std::optional<CoreGraph> build(const Sources& sources, const LogicFactory& parts,
                                          const Queues& queues, host::Environment& environment);

    // On the income queue, in this order: the logic's callbacks, the validated configuration, the start of
    // the SDK.
    static void start(AnalyticsInitProtocol& logic,
                      const std::optional<ZQBAnalyticsConfigurationLocal>& configuration);

    std::shared_ptr<CoreFactory> coreFactory;
    std::shared_ptr<ServiceFactory> serviceFactory;
    std::shared_ptr<AnalyticsLogicProtocol> logic;
};

}  // namespace zqb
