#include "backend/Config.hpp"

#include "backend/WireReader.hpp"
#include "host/Clock.hpp"

namespace zqb {

const Config& Config::defaulConfiguration(const host::ClockProtocol& clock) {
    // Never destroyed: queues may still read it while the process exits.
    static const Config* value = [&clock] {
        auto* config = new Config();
        config->serverTime = host::millisecondsSince1970(clock);
        config->currencyAggregationTimeout = 360000;
        config->sbsConfigVersion = 0;
        return config;
    }();
    return *value;
}

Config Config::fromJson(const nlohmann::ordered_json& json) {
    const WireReader reader(json);
    Config config;
    config.timeForRequest = reader.requiredInt64("timeForRequest");
    config.countForRequest = reader.requiredInt64("countForRequest");
    config.eventParamsCount = reader.requiredInt64("eventParamsCount");
    config.sessionTimeout = reader.requiredInt64("sessionTimeout");
    config.serverTime = reader.requiredInt64("serverTime");
    config.aliveTimeout = reader.requiredInt64("aliveTimeout");
    config.userCounting = reader.requiredBool("userCounting");
    config.currencyAggregationTimeout = reader.optionalInt64("currencyAggregationTimeout");
    if (const auto* bundles = reader.optional("sbsBundles")) {
        std::vector<std::string> list;
        const auto& array = reader.array("sbsBundles", *bundles);
        for (std::size_t i = 0; i < array.size(); ++i) {
            list.push_back(WireReader::stringAt(array[i], reader.pathTo("sbsBundles", i)));
        }
        config.sbsBundles = std::move(list);
    }
    config.sbsConfigVersion = reader.optionalInt64("sbsConfigVersion");
    if (const auto* exclude = reader.optional("exclude")) {
        config.exclude = ExcludeEvents::fromJson(*exclude, reader.pathTo("exclude"));
    }
    if (const auto* properties = reader.optional("userProperties")) {
        config.userProperties = BackendUserProperties::fromJson(*properties, reader.pathTo("userProperties"));
    }
    return config;
}

Config Config::decode(std::string_view text) {
    return fromJson(WireReader::parse(text));
}

nlohmann::ordered_json Config::toJson() const {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    json["timeForRequest"] = timeForRequest;
    json["countForRequest"] = countForRequest;
    json["eventParamsCount"] = eventParamsCount;
    json["sessionTimeout"] = sessionTimeout;
    json["serverTime"] = serverTime;
    json["aliveTimeout"] = aliveTimeout;
    json["userCounting"] = userCounting;
    if (currencyAggregationTimeout) {
        json["currencyAggregationTimeout"] = *currencyAggregationTimeout;
    }
    if (sbsBundles) {
        json["sbsBundles"] = *sbsBundles;
    }
    if (sbsConfigVersion) {
        json["sbsConfigVersion"] = *sbsConfigVersion;
    }
    if (exclude) {
        json["exclude"] = exclude->toJson();
    }
    if (userProperties) {
        json["userProperties"] = userProperties->toJson();
    }
    return json;
}

void to_json(nlohmann::ordered_json& json, const Config& config) {
    json = config.toJson();
}

}  // namespace zqb
