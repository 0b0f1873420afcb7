#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <string>

/// A social network, for `ZQBAnalytics::socialNetworkConnect` and `ZQBAnalytics::socialNetworkPost`.
///
/// Fourteen networks are predefined under two-letter codes. Any other network is made from its name, which
/// is checked when it is used: control characters are removed, it is cut to 24 characters, and an empty
/// name cancels the call.
class ZQB_EXPORT ZQBSocialNetwork {
public:
    /// A network always has a name.
    ZQBSocialNetwork() = delete;
    /// Text that is not valid UTF-8 is repaired (each ill-formed sequence becomes U+FFFD).
    explicit ZQBSocialNetwork(std::string name);

    const std::string& name() const { return name_; }

    static const ZQBSocialNetwork& facebook();    ///< "fb"
    static const ZQBSocialNetwork& vkontakte();   ///< "vk"
    static const ZQBSocialNetwork& twitter();     ///< "tw"
    static const ZQBSocialNetwork& googleplus();  ///< "gp"
    static const ZQBSocialNetwork& whatsapp();    ///< "wp"
    static const ZQBSocialNetwork& viber();       ///< "vb"
    static const ZQBSocialNetwork& evernote();    ///< "en"
    static const ZQBSocialNetwork& googlemail();  ///< "gm"
    static const ZQBSocialNetwork& linkedin();    ///< "in"
    static const ZQBSocialNetwork& pinterest();   ///< "pi"
    static const ZQBSocialNetwork& qzone();       ///< "qq"
    static const ZQBSocialNetwork& reddit();      ///< "rt"
    static const ZQBSocialNetwork& renren();      ///< "rr"
    static const ZQBSocialNetwork& tumblr();      ///< "tb"

private:
    std::string name_;
};
