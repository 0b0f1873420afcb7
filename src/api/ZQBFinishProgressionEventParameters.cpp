#include <ZQBAnalytics/ZQBFinishProgressionEventParameters.hpp>

#include "foundation/TextUtils.hpp"
#include "model/ZQBFinishProgressionEventParametersLocal.hpp"

namespace {

std::map<std::string, int64_t> repairedKeys(std::map<std::string, int64_t> resources) {
    bool valid = true;
    for (const auto& entry : resources) {
        valid = valid && zqb::text::isValidUtf8(entry.first);
    }
    if (valid) {
        return resources;
    }
    std::map<std::string, int64_t> repaired;
    for (auto& [name, amount] : resources) {
        repaired.insert_or_assign(zqb::text::repairUtf8(name), amount);
    }
    return repaired;
}

}  // namespace

void ZQBFinishProgressionEventParameters::setSpent(std::map<std::string, int64_t> spent) {
    spent_ = repairedKeys(std::move(spent));
}

void ZQBFinishProgressionEventParameters::setEarned(std::map<std::string, int64_t> earned) {
    earned_ = repairedKeys(std::move(earned));
}

std::string ZQBFinishProgressionEventParameters::description() const {
    return zqb::ZQBFinishProgressionEventParametersLocal::from(*this).description();
}
