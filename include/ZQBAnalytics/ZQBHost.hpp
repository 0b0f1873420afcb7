#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The user's answer to the prompt that asks whether the application may track them across other companies'
/// applications.
enum class ZQBTrackingAuthorizationStatus : int {
    notDetermined = 0,  ///< Not asked yet.
    restricted = 1,
    denied = 2,
    authorized = 3,
};

/// A discount of a store product: a promotional offer (which has an identifier) or an introductory offer.
struct ZQBStoreProductDiscount {
    std::optional<std::string> identifier;
    std::string price;  ///< Decimal text such as "0.99".
};

/// A product as the host's store knows it.
struct ZQBStoreProduct {
    std::string productIdentifier;
    std::string price;  ///< Decimal text such as "4.99", in the currency of the price locale.
    /// The locale of the price, such as "fr_FR": its region ("FR") and currency ("EUR") follow from it; a
    /// "@currency=XXX" keyword names the currency explicitly.
    std::string priceLocaleIdentifier;
    std::optional<std::string> introductoryPrice;  ///< Decimal text of the introductory offer's price.
    std::vector<ZQBStoreProductDiscount> discounts;
};

/// A purchase or a restore of a product, as the host's store reports it (for
/// `ZQBAnalytics::subscriptionPayment` and `ZQBAnalytics::subscriptionHistory`).
struct ZQBStoreTransaction {
    std::optional<std::string> transactionIdentifier;
    std::string productIdentifier;  ///< The product of the transaction's payment.
    /// For a restored transaction, the purchase it restores (only its identifier is read).
    std::shared_ptr<const ZQBStoreTransaction> originalTransaction;
};

/// The store's answer to one products request.
struct ZQBStoreProductsAnswer {
    std::vector<ZQBStoreProduct> products;
    std::vector<std::string> invalidProductIdentifiers;  ///< Identifiers the store does not know.
    /// Set when the request failed, with a description of the failure; the products are then ignored and the
    /// library asks again later.
    std::optional<std::string> error;
};

/// The host's store of in-app products, asked for the subscription products that the project lists.
class ZQB_EXPORT ZQBStoreProvider {
public:
    virtual ~ZQBStoreProvider() = default;
    /// Called on a library thread. Call `answer` exactly once, from any thread, also before returning if the
    /// products are at hand; later calls are ignored. A product whose price is not a decimal text is treated
    /// as unknown.
    virtual void requestProducts(const std::vector<std::string>& productIdentifiers,
                                 std::function<void(ZQBStoreProductsAnswer)> answer) = 0;
};

/// Entry points through which the host application tells the library what it cannot find out by itself on
/// Linux. Call them before `ZQBAnalytics::initialize`: the facts are read once when the library starts, and
/// `setBundleInfo`, `setScreen` and `setAdvertisingIdentifier` called once it is initialised log a WARNING
/// naming the call (the change is kept for a start after `ZQBEngineWrapper::destroySDK`).
/// Every member may be called from any thread; invalid arguments are refused with an ERROR log line and
/// change nothing.
class ZQB_EXPORT ZQBHost {
public:
    ZQBHost() = delete;

    /// The application's display name, reverse-DNS identifier, version and build number. The name keys the
    /// device identifiers kept for this application; the identifier names its data folder. Without this call
    /// both are the executable's name and the versions are empty. An empty name or identifier is refused.
    static void setBundleInfo(const std::string& name, const std::string& identifier,
                              const std::string& version, const std::string& build);

    /// The file that holds the application's purchase receipt, which `ZQBAntiCheat::verifyPayment(handler)`
    /// reads and sends for verification when it runs (an empty text: none). Without this call there is no
    /// receipt file, and that verification answers `internalError`. A path holding a NUL byte is refused.
    static void setReceiptPath(const std::string& path);

    /// The main screen: its size in points, the scale from points to pixels, and its native size in pixels.
    /// Every value must be finite and greater than zero. Without this call no screen facts are reported.
    static void setScreen(double widthPoints, double heightPoints, double scale, double nativeWidthPixels,
                          double nativeHeightPixels);

    /// The advertising identifier, a UUID text such as "E621E1F8-C36C-495A-93FC-0C247A3E6E5F" (an empty text:
    /// none), and whether the user allows advertising tracking. Without this call there is no identifier.
    ///
    /// The library uses the identifier only while the user allows tracking: the tracking prompt answered
    /// `authorized`, or, for a host without a prompt (`setTrackingAuthorizationStatus(std::nullopt)`),
    /// `trackingEnabled` true. Then the device event carries it as "idfa" with "isLimitAdTrackingEnabled"
    /// false, and it becomes the device id (`ZQBAnalytics::getDeviceId`, the "DeviceId" header). In every
    /// other case (the prompt not answered yet, as by default, restricted or denied; no prompt and
    /// `trackingEnabled` false) the identifier is treated as the all-zero one the platform gives: the device
    /// event has no "idfa" and "isLimitAdTrackingEnabled" true, and the device id is the vendor identifier, a
    /// random UUID made once per device and application. The same holds while the host has switched the
    /// library's tracking off (`ZQBAnalytics::setTrackingAvailability(false)`), whatever the user answered.
    ///
    /// Once the identifier is not allowed, no request carries it (in a header or a body) and neither the
    /// library's files nor the ids it keeps for the application outside them hold it, from the start that
    /// finds it refused on, or at once when the host switches tracking off: a device id that was the
    /// advertising identifier becomes the vendor identifier with no previous device id, users named after it
    /// lose that name (the default user takes the vendor identifier, a previous user id that was it is
    /// dropped), and device events recorded while it was allowed and not sent yet go without their "idfa",
    /// with "isLimitAdTrackingEnabled" true. Allowed again, it is the device id again from the next start,
    /// with the vendor identifier as the previous device id. Every other change of the device id is reported
    /// with the one it replaces as the previous device id. An id an earlier version of the library kept is
    /// known to be the advertising identifier only once a start that allows tracking has seen it again; a
    /// refusal before that is reported as any other change.
    static void setAdvertisingIdentifier(const std::string& identifier, bool trackingEnabled);

    /// The user's answer to the tracking prompt (default: not determined). Nothing means the host has no such
    /// prompt; the tracking flag given with the advertising identifier then decides. Only `authorized`
    /// allows tracking (see `setAdvertisingIdentifier`).
    static void setTrackingAuthorizationStatus(std::optional<ZQBTrackingAuthorizationStatus> status);

    /// The store the subscription products are looked up in. Without one (or after a null), every lookup
    /// finds no products.
    static void setStoreProvider(std::shared_ptr<ZQBStoreProvider> provider);

    /// Life-cycle transitions of the application. The library counts sessions from them: becoming active
    /// starts (or continues) the activity; resigning active, entering the background and terminating stop
    /// it. Call them from the thread that runs the application's event loop, whenever the transition
    /// happens, before or after `initialize`. Without these calls the application counts as active.
    ///
    /// The three stopping calls return only once the library has recorded the stop and handed the pending
    /// reports to its network queue (the network sending itself is not waited for). If the library was
    /// initialised while the application was in the background, its start waits for the first
    /// `applicationDidBecomeActive()`.
    static void applicationDidBecomeActive();
    static void applicationWillResignActive();
    static void applicationDidEnterBackground();
    /// Sets the state to background, as the application is leaving.
    static void applicationWillTerminate();
};
