#pragma once

#include "model/Storable.hpp"

namespace zqb {

// How much of each in-app currency the user holds ("cb"). The balance is always written, {} when empty.
struct CurrentBalance final : Storable {
    CurrentBalance(int64_t timestamp, int64_t sessionId, int64_t level, IntMap balance,
                   std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "cb";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    IntMap balance;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
