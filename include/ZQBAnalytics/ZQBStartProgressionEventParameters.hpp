#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {
struct ZQBStartProgressionEventParametersLocal;
}

/// Optional circumstances of the start of a progression event (a level, a stage, a dungeon), passed to
/// `ZQBAnalytics::startProgressionEvent(eventName, parameters)`.
///
/// Both values are absent until set. They are checked when the event is reported: a difficulty outside
/// 0...2147483647 cancels the call; the source loses its control characters and is cut to 40 characters.
/// The call copies the object, so it may be changed or reused afterwards.
class ZQB_EXPORT ZQBStartProgressionEventParameters {
public:
    ZQBStartProgressionEventParameters() = default;

    /// Sets the difficulty. Once set, it cannot be made absent again.
    void setDifficulty(int64_t difficulty);

    /// Where the progression was entered from, or nothing.
    const std::optional<std::string>& source() const { return source_; }
    /// Text that is not valid UTF-8 is repaired (each ill-formed sequence becomes U+FFFD).
    void setSource(std::optional<std::string> source);

    /// "difficulty: <n>\n" when a difficulty is set, then "source: <source>" when a source is set.
    std::string description() const;

private:
    friend struct zqb::ZQBStartProgressionEventParametersLocal;

    std::optional<int64_t> difficulty_;
    std::optional<std::string> source_;
};
