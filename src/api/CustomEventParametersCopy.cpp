#include "api/CustomEventParametersCopy.hpp"

#include <utility>
#include <variant>

struct zqb_detail::CustomEventParametersAccess {
    static const auto& entries(const ZQBCustomEventParameters& parameters) { return parameters.entries_; }
};

namespace zqb {

FlatParameters customEventParametersCopy(const ZQBCustomEventParameters& parameters) {
    FlatParameters flat;
    // Read in place, in the set's order of keys.
    for (const auto& entry : zqb_detail::CustomEventParametersAccess::entries(parameters)) {
        std::visit([&](const auto& held) { flat.add(entry.key, held); }, entry.value);
    }
    return flat;
}

}  // namespace zqb
