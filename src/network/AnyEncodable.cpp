#include "network/AnyEncodable.hpp"

namespace zqb {

std::optional<std::string> AnyEncodable::toJSONData() const noexcept {
    try {
        return toJson().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
    } catch (...) {
        return std::nullopt;
    }
}

std::string AnyEncodable::toPrettyJson() const noexcept {
    try {
        return toJson().dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
    } catch (...) {
        return "Error in getting prettyJson";
    }
}

}  // namespace zqb
