#include "services/ProjectConfiguration.hpp"

#include "model/JsonText.hpp"

#include <exception>

namespace zqb {

ProjectConfiguration::ProjectConfiguration(std::shared_ptr<const host::ClockProtocol> clock)
    : clock_(std::move(clock)) {}

const Config& ProjectConfiguration::of(const Project& project) {
    return read(project.configurationJson);
}

const Config& ProjectConfiguration::of(const std::shared_ptr<Project>& project) {
    return read(project ? project->configurationJson : std::nullopt);
}

const Config& ProjectConfiguration::read(const std::optional<std::string>& text) {
    if (decoded_ && text_ == text) {
        return config_;
    }
    text_ = text;
    decoded_ = true;
    if (!text_) {
        config_ = Config::defaulConfiguration(*clock_);
        return config_;
    }
    // A text that is not a configuration stands for the default configuration, as an absent one does.
    try {
        config_ = Config::decode(*text_);
    } catch (const std::exception&) {
        config_ = Config::defaulConfiguration(*clock_);
    }
    return config_;
}

std::optional<std::string> ProjectConfiguration::encode(const Config& config,
                                                        const host::ClockProtocol& clock) {
    if (auto text = toJSONData(config)) {
        return text;
    }
    return toJSONData(Config::defaulConfiguration(clock));
}

}  // namespace zqb
