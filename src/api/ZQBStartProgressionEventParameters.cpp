#include <ZQBAnalytics/ZQBStartProgressionEventParameters.hpp>

#include "foundation/TextUtils.hpp"
#include "model/ZQBStartProgressionEventParametersLocal.hpp"

void ZQBStartProgressionEventParameters::setDifficulty(int64_t difficulty) {
    difficulty_ = difficulty;
}

void ZQBStartProgressionEventParameters::setSource(std::optional<std::string> source) {
    if (source) {
        source = zqb::text::repairUtf8(*source);
    }
    source_ = std::move(source);
}

std::string ZQBStartProgressionEventParameters::description() const {
    return zqb::ZQBStartProgressionEventParametersLocal::from(*this).description();
}
