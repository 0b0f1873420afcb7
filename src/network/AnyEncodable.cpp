#include "network/AnyEncodable.hpp"

#include "model/JsonText.hpp"

namespace zqb {

std::optional<std::string> AnyEncodable::toJSONData() const noexcept {
    try {
        if (auto text = value_->text()) {
            return text;
        }
        return JsonText::write(toJson());
    } catch (...) {
        return std::nullopt;
    }
}

std::string AnyEncodable::toPrettyJson() const noexcept {
    try {
        return JsonText::write(toJson(), JsonText::Style::pretty);
    } catch (...) {
        return "Error in getting prettyJson";
    }
}

}  // namespace zqb
