#include "model/Alive.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

Alive::Alive(int64_t timestamp, std::optional<std::string> inExperiments)
    : timestamp(timestamp), inExperiments(std::move(inExperiments)) {}

void Alive::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.memberIfPresent("inExperiments", inExperiments);
}

std::string Alive::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .optionalText("inExperiments", inExperiments)
        .str();
}

}  // namespace zqb
