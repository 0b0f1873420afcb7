#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <cstdint>
#include <map>
#include <string>

/// The outcome of a progression event (a level, a stage, a dungeon), passed to
/// `ZQBAnalytics::finishProgressionEvent(eventName, parameters)`.
///
/// A new object reports an unsuccessful completion of duration 0 with nothing spent or earned. (The
/// overload without parameters reports a successful completion.) The values are checked when the event is
/// reported: a duration outside 0...2147483647 cancels the call; resource names lose their control
/// characters and are cut to 24 characters, and entries with an empty name or an amount below 1 are
/// dropped. The call copies the object, so it may be changed or reused afterwards.
class ZQB_EXPORT ZQBFinishProgressionEventParameters {
public:
    ZQBFinishProgressionEventParameters() = default;

    bool successfulCompletion() const { return successfulCompletion_; }
    void setSuccessfulCompletion(bool successfulCompletion) { successfulCompletion_ = successfulCompletion; }

    /// Seconds spent in the progression.
    int64_t duration() const { return duration_; }
    void setDuration(int64_t duration) { duration_ = duration; }

    /// Currency or items spent, by name. Names that are not valid UTF-8 are repaired (each ill-formed
    /// sequence becomes U+FFFD).
    const std::map<std::string, int64_t>& spent() const { return spent_; }
    void setSpent(std::map<std::string, int64_t> spent);

    /// Currency or items earned, by name; names are repaired as for `setSpent`.
    const std::map<std::string, int64_t>& earned() const { return earned_; }
    void setEarned(std::map<std::string, int64_t> earned);

    /// "successfulCompletion: true|false\n", "duration: <n>\n", then a block per non-empty resource map:
    /// "\t resource: \n" and one "\t\t resource: <name> amount: <n>" line per entry, closed by "\n".
    std::string description() const;

private:
    bool successfulCompletion_ = false;
    int64_t duration_ = 0;
    std::map<std::string, int64_t> spent_;
    std::map<std::string, int64_t> earned_;
};
