#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The keep-alive ping ("al"); never stored, always sent at once.
struct Alive final : Storable {
    explicit Alive(int64_t timestamp, std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "al";
    int64_t timestamp;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
