#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <cstddef>
#include <functional>
#include <string>

/// A key of the referral (install attribution) data passed to `ZQBAnalytics::referrer(utmData)`, as a
/// `std::unordered_map<ZQBReferralProperty, std::string>`.
///
/// The five keys the gateway reads are predefined: `source()`, `campaign()`, `content()`, `medium()` and
/// `term()`. Two properties with the same name are equal and hash alike, so they address the same entry;
/// names that differ only in Unicode normalisation are the same name.
class ZQB_EXPORT ZQBReferralProperty {
public:
    /// A property always has a name.
    ZQBReferralProperty() = delete;
    /// Text that is not valid UTF-8 is repaired (each ill-formed sequence becomes U+FFFD).
    explicit ZQBReferralProperty(std::string name);

    const std::string& name() const { return name_; }

    /// "name: <name>".
    std::string description() const;

    bool operator==(const ZQBReferralProperty& other) const { return canonicalName_ == other.canonicalName_; }
    std::size_t hash() const { return std::hash<std::string>{}(canonicalName_); }

    /// "source"
    static const ZQBReferralProperty& source();
    /// "campaign"
    static const ZQBReferralProperty& campaign();
    /// "content"
    static const ZQBReferralProperty& content();
    /// "medium"
    static const ZQBReferralProperty& medium();
    /// "term"
    static const ZQBReferralProperty& term();

private:
    std::string name_;
    // The name in canonical composition: equality and hash agree for equivalent spellings.
    std::string canonicalName_;
};

template <>
struct std::hash<ZQBReferralProperty> {
    std::size_t operator()(const ZQBReferralProperty& property) const noexcept { return property.hash(); }
};
