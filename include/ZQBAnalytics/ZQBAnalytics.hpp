#pragma once

#include <ZQBAnalytics/ZQBAnalyticsConfiguration.hpp>
#include <ZQBAnalytics/ZQBAntiCheat.hpp>
#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>
#include <ZQBAnalytics/ZQBFinishProgressionEventParameters.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>
#include <ZQBAnalytics/ZQBIdentifiersListener.hpp>
#include <ZQBAnalytics/ZQBReferralProperty.hpp>
#include <ZQBAnalytics/ZQBSocialNetwork.hpp>
#include <ZQBAnalytics/ZQBStartProgressionEventParameters.hpp>
#include <ZQBAnalytics/ZQBUserCard.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// The analytics interface of the library. Every member is static and may be called from any thread.
///
/// **Start-up.** Call `initialize` once, early. Calls made before it are refused with an ERROR log line "In
/// the <method> method an error has occurred: The SDK is not initialized yet!" (queries then answer their
/// default); calls made after it wait for the start-up and are then served, even when made right after
/// `initialize` has returned.
///
/// **Leaving.** A host may return from `main` or call `exit()` without `ZQBEngineWrapper::destroySDK()`.
/// Once the process has begun to exit, the library calls none of the host's code (log closure, handlers,
/// listener), lets the work under way end and starts no other; what it had committed to its database stays
/// there, so the events reported before a stopping call of `ZQBHost` are all kept. The exit takes no lock:
/// one from a signal handler, or in a child that `fork()` made (whose exit waits for nothing of the
/// parent's, and which runs none of the calls it makes and waits in none), ends too.
///
/// **Nothing blocks.** Every member returns at once. The work, the checks and their log lines run later on
/// the library's own queue, in the order of the calls; a call is never reported back as failed. Values
/// come back through completion handlers, which run on that library thread (never on the caller's thread):
/// a host that updates its user interface from one must move to its own UI thread.
///
/// **Arguments are checked, never trusted.** Texts lose their control characters and are cut to their
/// limit with a WARNING (a long text is shortened, not refused); an empty required text, a number out of
/// range, a NaN or a number cast to an enumeration that is none of its cases cancels the call with an ERROR
/// ("Execution of the <method> method was canceled!"); bad entries of a dictionary are dropped one by one.
/// Lengths are counted in characters, not bytes. Text that is not valid UTF-8 is repaired (each ill-formed
/// sequence becomes U+FFFD) before anything else. The project's configuration on the analytics service may
/// also exclude events; an excluded call is dropped with an INFO line. Arguments are copied at the moment of
/// the call: objects passed in may be changed or reused at once.
class ZQB_EXPORT ZQBAnalytics {
public:
    using StringHandler = std::function<void(const std::string&)>;
    using BoolHandler = std::function<void(bool)>;
    using LevelHandler = std::function<void(int64_t)>;
    /// Currency (or item) name to amount.
    using Balances = std::map<std::string, int64_t>;
    using ReferralData = std::unordered_map<ZQBReferralProperty, std::string>;

    ZQBAnalytics() = delete;

    // ---- Start-up ----------------------------------------------------------------------------------------

    /// Starts the library with the application key issued by the analytics service and optional settings
    /// (copied now). A second call is refused with ERROR "In the Initialize method an error has occurred:
    /// SDK is already initialized", until `ZQBEngineWrapper::destroySDK()`: an `initialize` made after that,
    /// even at once, is accepted. An empty key, and one holding a character other than the ASCII letters,
    /// digits and - . _ ~ ! $ ' ( ) * , (the key travels unescaped in every request's address), is refused
    /// with an ERROR when the start-up runs, and every later call is then refused as not initialised.
    ///
    /// When the application is in the background (see `ZQBHost`), the start-up and every call made after it
    /// wait until the application first becomes active.
    static void initialize(std::string_view applicationKey, const ZQBAnalyticsConfiguration& configuration);
    static void initialize(std::string_view applicationKey);

    // ---- Log ---------------------------------------------------------------------------------------------

    /// The level of the library's log (default `ZQBLogLevel::error`).
    static ZQBLogLevel logLevel();
    /// Sets the log level; `ZQBLogLevel::unknown` is ignored and leaves the level in force. A number cast to
    /// `ZQBLogLevel` that is none of its cases is refused with an ERROR.
    static void setLogLevel(ZQBLogLevel level);

    /// A closure that the host may store and read back. The library passes no log line to it: log lines go
    /// to `ZQBEngineWrapper::engineLoggerMessageClosure`.
    static std::function<void(const std::string&)> loggerMessageClosure();
    static void setLoggerMessageClosure(std::function<void(const std::string&)> closure);

    // ---- Queries: each handler is called exactly once, on the library's thread -------------------------

    /// The device id the library reports with; "" before start-up.
    static void getDeviceId(StringHandler completionHandler);
    /// The library version in force (the engine wrapper may replace it); "" before start-up.
    static void getSDKVersion(StringHandler completionHandler);
    /// Whether tracking is on; false before start-up.
    static void getTrackingAvailability(BoolHandler completionHandler);
    /// The id of the active user; "" before start-up.
    static void getUserId(StringHandler completionHandler);
    /// The active user's level; 1 before start-up.
    static void getCurrentLevel(LevelHandler completionHandler);
    /// Whether the purchase history still has to be restored (see `subscriptionHistory`); false before
    /// start-up.
    static void isRestoreTransactionHistoryRequired(BoolHandler completionHandler);

    // ---- Users and tracking ------------------------------------------------------------------------------

    /// Switches tracking on or off. Off, nothing leaves the device and the stored events are removed, and
    /// the advertising identifier is withdrawn at once (see `ZQBHost::setAdvertisingIdentifier`): the
    /// tracking status sent now, and the one each start with tracking off sends, name the device by its
    /// vendor identifier. Switched on again, the advertising identifier the user allows is the device id
    /// again from the next start.
    static void setTrackingAvailability(bool value);
    /// Reports for the user with this id (at most 64 characters), creating the user when new; "" selects
    /// the device's default user.
    static void setUserId(std::string_view userId);
    /// Renames the user `fromUserId` to `toUserId` (both required, at most 64 characters).
    static void replace(std::string_view fromUserId, std::string_view toUserId);
    /// Sets the active user's level, 1...2147483646.
    static void setCurrentLevel(int64_t currentLevel);

    // ---- Levels and balances -----------------------------------------------------------------------------

    /// A new level, 1...2147483646, without balances.
    static void levelUp(int64_t level);
    /// A new level with the balances held on reaching it (names at most 24 characters).
    static void levelUp(int64_t level, const Balances& balances);
    /// The balances held now; at least one valid entry is required.
    static void currentBalance(const Balances& balance);

    // ---- Events ------------------------------------------------------------------------------------------

    /// A custom event without parameters. The name is required and cut to 72 characters.
    static void customEvent(std::string_view eventName);
    /// A custom event with the parameters the set holds now (see `ZQBCustomEventParameters` for their
    /// limits); parameters added to the set afterwards are not sent.
    static void customEvent(std::string_view eventName, const ZQBCustomEventParameters& parameters);
    /// Sends the stored events now instead of waiting for the next batch.
    static void sendBufferedEvents();

    /// A purchase paid with one virtual currency: `purchasePrice` of `purchaseCurrency`. Purchase id (at
    /// most 32 characters) and type (96) are required; amount and price are 1...2147483647.
    static void virtualCurrencyPayment(std::string_view purchaseId, std::string_view purchaseType,
                                       int64_t purchaseAmount, int64_t purchasePrice,
                                       std::string_view purchaseCurrency);
    /// A purchase paid with several virtual currencies: currency name (at most 24 characters) to price,
    /// 1...2147483647 each; at least one valid entry is required.
    static void virtualCurrencyPayment(std::string_view purchaseId, std::string_view purchaseType,
                                       int64_t purchaseAmount, const Balances& resources);
    /// Virtual currency earned or bought: name (at most 24 characters) and source (32) required, amount
    /// 1...2147483647, the accrual type one of its cases.
    static void currencyAccrual(std::string_view currencyName, int64_t currencyAmount,
                                std::string_view source, ZQBAccrualType accrualType);

    /// The start of a progression event (a level, a stage, a dungeon); the name is required and cut to 40
    /// characters. Without parameters, difficulty and source are absent.
    static void startProgressionEvent(std::string_view eventName);
    static void startProgressionEvent(std::string_view eventName,
                                      const ZQBStartProgressionEventParameters& parameters);
    /// The finish of a progression event. Without parameters it reports a successful completion of
    /// duration 0 (a new `ZQBFinishProgressionEventParameters` reports an unsuccessful one).
    static void finishProgressionEvent(std::string_view eventName);
    static void finishProgressionEvent(std::string_view eventName,
                                       const ZQBFinishProgressionEventParameters& parameters);

    /// An in-app purchase paid in real money. Order id (at most 65 characters) and product id (255) are
    /// required; the currency code must have exactly 3 characters ("USD"); the price must be finite. An order
    /// id is reported once per project: a repeated one is refused with a WARNING.
    static void realCurrencyPayment(std::string_view orderId, double price, std::string_view productId,
                                    std::string_view currencyCode);

    /// The restored purchase history, as the store reports the restored transactions; for each, the
    /// original transaction's id is grouped under the product id.
    static void subscriptionHistory(const std::vector<ZQBStoreTransaction>& transactions);
    /// A subscription purchase, as the store reports the transaction and the product. When the product's
    /// price is not a decimal text the payment is still reported, but the product is not; an introductory
    /// price or discount that is not a decimal text is left out.
    static void subscriptionPayment(const ZQBStoreTransaction& transaction, const ZQBStoreProduct& product);

    /// A connection to a social network.
    static void socialNetworkConnect(const ZQBSocialNetwork& socialNetwork);
    /// A post to a social network for a reason (required, at most 32 characters).
    static void socialNetworkPost(const ZQBSocialNetwork& socialNetwork, std::string_view reason);
    /// A tutorial step, -2...2147483647; each step is reported once per user.
    static void tutorial(int64_t step);
    /// Referral (install attribution) data; values are required and cut to 255 characters, bad entries are
    /// dropped, and at least one entry must remain.
    static void referrer(const ReferralData& utmData);
    /// Revenue of one ad impression: network (required, at most 100 characters), revenue 0 or more (finite),
    /// optional placement and unit (at most 100 characters; an empty one counts as absent).
    static void adImpression(std::string_view network, double revenue,
                             const std::optional<std::string>& placement = std::nullopt,
                             const std::optional<std::string>& unit = std::nullopt);

    // ---- Identifiers listener ----------------------------------------------------------------------------

    /// Registers the listener told the numeric user id the analytics service assigns (nullptr removes it).
    /// Takes effect at once; a listener registered after start-up is told the known id right away, on the
    /// library's thread.
    static void setIdentifiersListener(std::shared_ptr<ZQBIdentifiersListener> listener);

    // ---- Test and maintenance hooks (they run on the caller's thread) -----------------------------------

    /// Writes one line per level: ERROR "this is error message", WARNING "this is warning message", INFO
    /// "this is info message", DEBUG "this is debug message", each subject to the log level.
    static void testLogs();
    /// A base address (http or https) used instead of the service's gateway for every later request; ""
    /// restores the gateway. Kept until changed or the process ends.
    static void setTestProxyUrl(std::string_view url);
    /// Calls the handler at once, on the caller's thread, with the current test base address ("" when none).
    static void getTestProxyUrl(StringHandler urlHandler);
    /// A path appended to the base address of every later request; "" removes it.
    static void setTestCustomUrl(std::string_view url);
    /// Calls the handler at once, on the caller's thread, with the current appended path ("" when none).
    static void getTestCustomUrl(StringHandler urlHandler);
    /// The folder the library keeps its database in, or "fileMessagerError" when there is none and none
    /// can be made (no data directory, or its name or a parent's taken by a file). Works before
    /// `initialize`.
    static std::string sdkFolderPath();
    /// Deletes the device identifiers the library keeps for this application outside its data folder, so
    /// that the next start of a fresh process makes a new device id. A running library keeps the ids it has
    /// read; the database is left alone.
    static void clearKeychain();
};
