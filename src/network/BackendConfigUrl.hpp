#pragma once

#include <string>
#include <string_view>

namespace zqb {

// The gateway's base address and the two test overrides. The overrides are written on the host's thread
// and read by every network queue, so they are kept behind a lock; they live for the process and are kept
// across destroy.
class BackendConfigUrl {
public:
    BackendConfigUrl() = delete;

    static constexpr std::string_view defaultBaseUrl = "https://api.vorantel.com";

    // "" switches an override off. Stored as given; a value that does not make a valid http or https
    // address shows up as a request that is not sent (status 400).
    static std::string testProxyUrl();
    static void setTestProxyUrl(std::string url);
    static std::string testCustomUrl();
    static void setTestCustomUrl(std::string url);

    // Read anew for every request: the proxy override (when set) in place of the built-in address, then the
    // custom override (when set) appended as is.
    static std::string baseApiUrl();
};

}  // namespace zqb
