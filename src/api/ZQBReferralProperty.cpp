#include <ZQBAnalytics/ZQBReferralProperty.hpp>

#include "foundation/TextUtils.hpp"

ZQBReferralProperty::ZQBReferralProperty(std::string name)
    : name_(zqb::text::repairUtf8(name)), canonicalName_(zqb::text::nfc(name_)) {}

std::string ZQBReferralProperty::description() const {
    return "name: " + name_;
}

// The five keys are never destroyed: queued referrals compare with them on the income queue, which the
// exit may still let run after the statics of the process have begun to be destroyed.
const ZQBReferralProperty& ZQBReferralProperty::source() {
    static const ZQBReferralProperty& property = *new ZQBReferralProperty("source");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::campaign() {
    static const ZQBReferralProperty& property = *new ZQBReferralProperty("campaign");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::content() {
    static const ZQBReferralProperty& property = *new ZQBReferralProperty("content");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::medium() {
    static const ZQBReferralProperty& property = *new ZQBReferralProperty("medium");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::term() {
    static const ZQBReferralProperty& property = *new ZQBReferralProperty("term");
    return property;
}
