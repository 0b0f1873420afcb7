#pragma once

// The door of a separately shipped push-messaging module into the analytics library. Host applications do
// not use it: they call `ZQBAnalytics` (<ZQBAnalytics/ZQBAnalytics.hpp>), which does not include this
// header.
//
// The categories come as JSON objects of nlohmann-json, so a module that includes this header needs
// <nlohmann/json.hpp> on its include path (CMake: `find_package(nlohmann_json 3.10 CONFIG)` and link
// `nlohmann_json::nlohmann_json`), of the same version the library was built with.

#include <ZQBAnalytics/ZQBExport.hpp>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

/// What a push-messaging module may ask of the analytics library. Every member is static, may be called
/// from any thread and returns at once; nothing is thrown to the module.
///
/// Push tokens, push openings and category requests are served in call order on the library's own queue,
/// once the host has called `ZQBAnalytics::initialize` and the library has started. Made before that, they
/// are dropped with an ERROR log line "In the <method> method an error has occurred: The SDK is not
/// initialized yet!" (method "pushToken(_:_:)", "pushOpened(_:_:_:)" or "getPushCategories(_:)"), and a
/// dropped category request never calls its handler. Made after `initialize`, they wait for the start-up.
/// Texts that are not valid UTF-8 are repaired (each ill-formed sequence becomes U+FFFD).
class ZQB_EXPORT ZQBEventsRouter {
public:
    /// One JSON object per push category, in the stored order: {"id": "<category id>", "buttons": [{"id":
    /// "<button id>", "text": "<title>", "activationMode": "<mode>"}, ...]}, "activationMode" only when the
    /// gateway gave one. A category that cannot be written as JSON comes as an empty object.
    using CategoriesHandler = std::function<void(std::vector<nlohmann::json> categories)>;

    ZQBEventsRouter() = delete;

    /// The project's push categories: those stored by earlier requests, merged with what the analytics
    /// gateway answers now (new and changed categories, removed ones dropped); the stored ones alone when
    /// the gateway cannot be reached. The handler is called once, on a library thread; an exception it
    /// throws is caught and named in an ERROR log line.
    static void getMessagingCategories(CategoriesHandler handler);

    /// Records the device's push token and whether the user allows notifications (`isAllowed`), then asks
    /// for the stored events to be sent at once. The token is recorded as given, also when empty.
    static void sendPushToken(std::string_view token, bool isAllowed);

    /// Records that the user opened the push notification `pushId` at `timestamp` (milliseconds since
    /// 1970, recorded as given) with `button`, when one was chosen; then asks for the stored events to be
    /// sent at once.
    static void sendPushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string_view> button);

    /// Writes `message` to the library's log at once, on the calling thread, unchanged: level 1 as ERROR, 2
    /// as WARNING, 3 as INFO and any other value as DEBUG. It reaches the host like the library's own lines,
    /// when the log level lets it through.
    static void sendLogMessage(int64_t level, std::string_view message);

    /// Whether the host has called `ZQBAnalytics::initialize` (true from that moment, before the start-up
    /// has run, and also when the start-up failed).
    static bool isAnalyticsInited();
};
