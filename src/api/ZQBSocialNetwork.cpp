#include <ZQBAnalytics/ZQBSocialNetwork.hpp>

#include "foundation/TextUtils.hpp"

ZQBSocialNetwork::ZQBSocialNetwork(std::string name) : name_(zqb::text::repairUtf8(name)) {}

#define ZQB_SOCIAL_NETWORK(member, code)                 \
    const ZQBSocialNetwork& ZQBSocialNetwork::member() { \
        static const ZQBSocialNetwork network(code);     \
        return network;                                  \
    }

ZQB_SOCIAL_NETWORK(facebook, "fb")
ZQB_SOCIAL_NETWORK(vkontakte, "vk")
ZQB_SOCIAL_NETWORK(twitter, "tw")
ZQB_SOCIAL_NETWORK(googleplus, "gp")
ZQB_SOCIAL_NETWORK(whatsapp, "wp")
ZQB_SOCIAL_NETWORK(viber, "vb")
ZQB_SOCIAL_NETWORK(evernote, "en")
ZQB_SOCIAL_NETWORK(googlemail, "gm")
ZQB_SOCIAL_NETWORK(linkedin, "in")
ZQB_SOCIAL_NETWORK(pinterest, "pi")
ZQB_SOCIAL_NETWORK(qzone, "qq")
ZQB_SOCIAL_NETWORK(reddit, "rt")
ZQB_SOCIAL_NETWORK(renren, "rr")
ZQB_SOCIAL_NETWORK(tumblr, "tb")

#undef ZQB_SOCIAL_NETWORK
