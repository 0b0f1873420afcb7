#include "api/CustomEventParametersCopy.hpp"

#include <utility>
#include <variant>

namespace zqb {

PackedParameters customEventParametersCopy(const ZQBCustomEventParameters& parameters) {
    PackedParameters packed;
    for (const auto& [key, value] : parameters.getAllParameters()) {
        std::visit([&, &key = key](const auto& held) { packed.add(key, held); }, value);
    }
    return packed;
}

}  // namespace zqb
