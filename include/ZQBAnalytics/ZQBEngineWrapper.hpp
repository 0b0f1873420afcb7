#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/// Entry points for game-engine plug-ins: what they need beyond `ZQBAnalytics`. Every member is static, may
/// be called from any thread, works whether or not the library has been initialised, and returns at once.
/// Texts that are not valid UTF-8 are repaired (each ill-formed sequence becomes U+FFFD).
class ZQB_EXPORT ZQBEngineWrapper {
public:
    using LogClosure = std::function<void(ZQBLogLevel level, const std::string& line)>;
    /// Product id to the ids of its restored transactions.
    using SubscriptionHistory = std::map<std::string, std::vector<std::string>>;

    /// Instances have nothing of their own; every member is static.
    ZQBEngineWrapper() = default;

    /// Receives every admitted log line: the level's word ("ERROR", "WARNING", ...), one blank, the message.
    /// It is called on whichever library thread logs, so it must accept calls from several threads.
    static LogClosure engineLoggerMessageClosure();
    /// Installs the log sink; an empty closure removes it and log lines are dropped.
    static void setEngineLoggerMessageClosure(LogClosure closure);

    /// Stops the library and releases everything it built, after the calls already made have run: it
    /// returns at once, and the destroy runs later on the library's queue. An `ZQBAnalytics::initialize` that
    /// follows, at once or later, starts the library afresh once the destroy has run, also after a start-up
    /// that failed (an empty application key, a database that could not be opened). A call made between
    /// `destroySDK` and that `initialize` is refused, as before any start-up, with ERROR "In the <method>
    /// method an error has occurred: The SDK is not initialized yet!". An upload under way when the destroy
    /// runs is let finish and no further one starts, but nothing waits for it (neither the destroy, nor the
    /// start and the stopping calls queued behind it): a report the gateway accepts is deleted as soon as it
    /// is, or by the library started next, which never sends it again; the stored ones wait for the next
    /// start. The destroy commits everything recorded to the database file and closes it, at once or once
    /// that upload has ended (before a new start opens it); what the disk refuses then (a full disk) is lost,
    /// with an ERROR saying how many writes.
    static void destroySDK();

    /// Replaces the library version reported from now on: the `getSDKVersion` answer, the configuration
    /// request, the report packages and the push-category request. Set before `initialize`, it is also the
    /// version the start-up compares with the one recorded on this device (and then records). Not checked.
    static void setSDKVersion(std::string_view version);

    /// Leaves the application version and build out of the configuration request and the report packages.
    /// Holds for the current library instance: after `destroySDK` it must be enabled again.
    static void enableEditorMode();

    /// The folder the library keeps its database in, or "fileMessagerError" when there is none.
    static std::string unitySdkFolderPath();

    /// Writes at DEBUG "[EngineWrapper] Test string:", then on indented lines the text as received
    /// ("Origin: [...]") and the standard Base64 form of its bytes ("Base64: [...]"). The Base64 form is of
    /// the bytes exactly as passed, so a plug-in can check that its text crosses over unchanged; the line
    /// itself shows the text repaired to valid UTF-8.
    static void testString(std::string_view value);

    /// The restored purchase history as product ids with their transaction ids. Reported once per project,
    /// until the configured subscription products change.
    static void engineSubscriptionHistory(const SubscriptionHistory& history);

    /// A subscription purchase given by product id and transaction id. A transaction id already reported
    /// counts as a renewal and is not reported again. (The spelling of the name is the one plug-ins call.)
    static void engineSubscriprtionPayment(std::string_view productId, std::string_view transactionId);
};
