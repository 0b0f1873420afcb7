#include "api/CustomEventParametersCopy.hpp"

namespace zqb {

AnyCodableMap customEventParametersCopy(const ZQBCustomEventParameters& parameters) {
    AnyCodableMap copy;
    for (const auto& [key, value] : parameters.getAllParameters()) {
        copy.insertOrAssign(key, AnyCodable(value));
    }
    return copy;
}

}  // namespace zqb
