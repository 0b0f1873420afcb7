#include "api/CustomEventParametersCopy.hpp"

#include <utility>
#include <variant>

namespace zqb {

AnyCodableMap customEventParametersCopy(const ZQBCustomEventParameters& parameters) {
    // This runs on the host's thread for every event: the one copy of the set gives up its keys and texts
    // instead of being copied again, and the pairs go into room made once.
    auto all = parameters.getAllParameters();
    AnyCodableMap copy;
    copy.reserve(all.size());
    while (!all.empty()) {
        auto node = all.extract(all.begin());
        copy.insertOrAssign(
            std::move(node.key()),
            std::visit([](auto& held) { return AnyCodable(std::move(held)); }, node.mapped()));
    }
    return copy;
}

}  // namespace zqb
