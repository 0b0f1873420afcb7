#include "model/Storable.hpp"

#include "foundation/Logger.hpp"
#include "host/Environment.hpp"
#include "model/JsonText.hpp"

#include <exception>

namespace zqb {

std::string Storable::getJson() const {
    try {
        return JsonText::write(toJson());
    } catch (const std::exception& error) {
        Logger::writeLog(ZQBLogLevel::error, "When trying to get json string from \n\t[" + description() +
                                                 "] \n\tobject an error has occurred: " + error.what());
        return "";
    }
}

int64_t Storable::currentTimestamp() {
    return host::millisecondsSince1970(*host::Environment::shared().clock());
}

void Storable::putExperimentFields(nlohmann::ordered_json& json,
                                   const std::optional<std::vector<std::string>>& inProgress,
                                   const std::optional<std::string>& inExperiments) {
    putIfPresent(json, "inProgress", inProgress);
    putIfPresent(json, "inExperiments", inExperiments);
}

}  // namespace zqb
