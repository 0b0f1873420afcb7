#include "model/CurrencyAccrual.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {
namespace {

std::string accrualBlock(const char* name, const CurrencyAccrual::Accruals& accruals) {
    std::string out = "\t ";
    out += name;
    out += ": \n";
    bool firstSource = true;
    for (const auto& [source, currencies] : accruals) {
        if (!firstSource) {
            out += '\n';
        }
        firstSource = false;
        out += "\t\tsource: " + source + " \n\t\tresources:\n";
        bool firstCurrency = true;
        for (const auto& [currency, amount] : currencies) {
            if (!firstCurrency) {
                out += '\n';
            }
            firstCurrency = false;
            out += "\t\t\tresource: " + currency + " amount: " + std::to_string(amount);
        }
    }
    out += '\n';
    return out;
}

}  // namespace

CurrencyAccrual::CurrencyAccrual(int64_t timestamp, int64_t sessionId, int64_t level,
                                 std::optional<Accruals> earned, std::optional<Accruals> bought,
                                 const std::optional<std::vector<std::string>>& /*inProgress*/,
                                 std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      earned(std::move(earned)),
      bought(std::move(bought)),
      inExperiments(std::move(inExperiments)) {}

void CurrencyAccrual::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.memberIfPresent("earned", earned);
    out.memberIfPresent("bought", bought);
    out.memberIfPresent("inExperiments", inExperiments);
}

std::string CurrencyAccrual::description() const {
    RecordDescription text;
    text.text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level);
    if (earned && !earned->empty()) {
        text.raw(accrualBlock("earned", *earned));
    }
    if (bought && !bought->empty()) {
        text.raw(accrualBlock("bought", *bought));
    }
    return text.optionalText("inExperiments", inExperiments).str();
}

}  // namespace zqb
