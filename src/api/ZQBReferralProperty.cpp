#include <ZQBAnalytics/ZQBReferralProperty.hpp>

#include "foundation/TextUtils.hpp"

ZQBReferralProperty::ZQBReferralProperty(std::string name)
    : name_(zqb::text::repairUtf8(name)), canonicalName_(zqb::text::nfc(name_)) {}

std::string ZQBReferralProperty::description() const {
    return "name: " + name_;
}

const ZQBReferralProperty& ZQBReferralProperty::source() {
    static const ZQBReferralProperty property("source");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::campaign() {
    static const ZQBReferralProperty property("campaign");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::content() {
    static const ZQBReferralProperty property("content");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::medium() {
    static const ZQBReferralProperty property("medium");
    return property;
}

const ZQBReferralProperty& ZQBReferralProperty::term() {
    static const ZQBReferralProperty property("term");
    return property;
}
