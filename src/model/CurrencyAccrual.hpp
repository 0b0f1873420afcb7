#pragma once

#include "model/Storable.hpp"

namespace zqb {

// Currency accruals of a user folded into one event ("ca"): source -> (currency name -> amount), apart for
// earned and bought currency.
struct CurrencyAccrual final : Storable {
    using Accruals = std::map<std::string, IntMap>;

    // The progression names are accepted for the builder's convenience and not kept: the record has no
    // "inProgress".
    CurrencyAccrual(int64_t timestamp, int64_t sessionId, int64_t level, std::optional<Accruals> earned,
                    std::optional<Accruals> bought,
                    const std::optional<std::vector<std::string>>& inProgress = std::nullopt,
                    std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "ca";
    int64_t timestamp;  // when built; the folding of an earlier session replaces it
    int64_t sessionId;
    int64_t level;
    std::optional<Accruals> earned;
    std::optional<Accruals> bought;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
