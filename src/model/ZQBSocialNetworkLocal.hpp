#pragma once

#include <ZQBAnalytics/ZQBSocialNetwork.hpp>

#include <string>

namespace zqb {

// A social network as a queued call carries it: its name, copied on the host's thread.
struct ZQBSocialNetworkLocal {
    std::string name;

    static ZQBSocialNetworkLocal from(const ZQBSocialNetwork& network) { return {network.name()}; }

    bool operator==(const ZQBSocialNetworkLocal&) const = default;
};

}  // namespace zqb
