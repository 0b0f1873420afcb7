#include "api/CustomEventParametersCopy.hpp"

#include <utility>
#include <variant>

struct zqb_detail::CustomEventParametersAccess {
    static const auto& entries(const ZQBCustomEventParameters& parameters) { return parameters.entries_; }
};

namespace zqb {

PackedParameters customEventParametersCopy(const ZQBCustomEventParameters& parameters) {
    PackedParameters packed;
    // Read in place, in the set's order of keys.
    for (const auto& entry : zqb_detail::CustomEventParametersAccess::entries(parameters)) {
        std::visit([&](const auto& held) { packed.add(entry.key, held); }, entry.value);
    }
    return packed;
}

}  // namespace zqb
