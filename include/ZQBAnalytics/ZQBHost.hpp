#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <optional>
#include <string>

/// The user's answer to the prompt that asks whether the application may track them across other companies'
/// applications.
enum class ZQBTrackingAuthorizationStatus : int {
    notDetermined = 0,  ///< Not asked yet.
    restricted = 1,
    denied = 2,
    authorized = 3,
};

/// Entry points through which the host application tells the library what it cannot find out by itself on
/// Linux. Call them before `ZQBAnalytics::initialize`: the facts are read once when the library starts.
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

    /// The main screen: its size in points, the scale from points to pixels, and its native size in pixels.
    /// Every value must be finite and greater than zero. Without this call no screen facts are reported.
    static void setScreen(double widthPoints, double heightPoints, double scale, double nativeWidthPixels,
                          double nativeHeightPixels);

    /// The advertising identifier, a UUID text such as "E621E1F8-C36C-495A-93FC-0C247A3E6E5F" (an empty text:
    /// none), and whether the user allows advertising tracking. Without this call there is no identifier.
    static void setAdvertisingIdentifier(const std::string& identifier, bool trackingEnabled);

    /// The user's answer to the tracking prompt (default: not determined). Nothing means the host has no such
    /// prompt; the tracking flag given with the advertising identifier then decides.
    static void setTrackingAuthorizationStatus(std::optional<ZQBTrackingAuthorizationStatus> status);
};
