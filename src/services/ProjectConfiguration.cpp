#include "services/ProjectConfiguration.hpp"

#include "core/Logger.hpp"
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
    try {
        config_ = Config::decode(*text_);
    } catch (const std::exception& error) {
        Logger::writeLog(ZQBLogLevel::error,
                         std::string("The stored analytics configuration cannot be read, using the default "
                                     "configuration: ") +
                             error.what());
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
