#include "services/ProjectConfiguration.hpp"

#include "model/JsonText.hpp"

#include <exception>

namespace zqb {

const Config& ProjectConfiguration::of(const Project& project) {
    if (decoded_ && text_ == project.configurationJson) {
        return config_;
    }
    text_ = project.configurationJson;
    decoded_ = true;
    if (!text_) {
        config_ = Config::defaulConfiguration();
        return config_;
    }
    // A text that is not a configuration stands for the default configuration, as an absent one does.
    try {
        config_ = Config::decode(*text_);
    } catch (const std::exception&) {
        config_ = Config::defaulConfiguration();
    }
    return config_;
}

std::optional<std::string> ProjectConfiguration::encode(const Config& config) {
    if (auto text = toJSONData(config)) {
        return text;
    }
    return toJSONData(Config::defaulConfiguration());
}

}  // namespace zqb
