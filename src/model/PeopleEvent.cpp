#include "model/PeopleEvent.hpp"

#include "model/AnyCodable.hpp"
#include "model/JsonText.hpp"
#include "model/RecordDescription.hpp"

#include <exception>

namespace zqb {
namespace {

// The card as its JSON text reads back into dynamic values (so a whole Double comes out as an integer,
// as every reader of the stored card sees it); {} when the card's text cannot be made or read.
nlohmann::ordered_json parametersObject(const PeopleValueMap& parameters) {
    try {
        const AnyCodable read = AnyCodable::fromJson(JsonText::parse(dictionaryJson(parameters)));
        if (read.mapValue() != nullptr) {
            return read.toJson();
        }
    } catch (const std::exception&) {
    }
    return nlohmann::ordered_json::object();
}

}  // namespace

PeopleEvent::PeopleEvent(int64_t timestamp, int64_t sessionId, int64_t level,
                         std::optional<PeopleValueMap> parameters,
                         std::optional<std::vector<std::string>> inProgress,
                         std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      parameters(std::move(parameters)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void PeopleEvent::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.key("parameters");
    if (parameters) {
        out.tree(parametersObject(*parameters));
    } else {
        out.null();
    }
    out.experimentFields(inProgress, inExperiments);
}

std::string PeopleEvent::description() const {
    RecordDescription text;
    text.text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .parameterBlock(parameters);
    return text.experimentFields(inProgress, inExperiments).str();
}

}  // namespace zqb
