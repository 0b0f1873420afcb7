#pragma once

#include "backend/Config.hpp"
#include "model/Project.hpp"

#include <memory>
#include <optional>
#include <string>

namespace zqb {

// The analytics configuration a project holds, decoded from the project's stored text. A project without
// one, or with a text that does not decode, has the built-in default. The last decoding is kept and reused
// while the text stays the same, so that reading the configuration for every event costs a comparison.
//
// The state manager keeps the one instance that the services and the logic read the active project's
// configuration through. Used from one queue at a time.
class ProjectConfiguration {
public:
    // `clock` dates the default configuration should this be its first use.
    explicit ProjectConfiguration(std::shared_ptr<const host::ClockProtocol> clock);

    const Config& of(const Project& project);
    // No project stands for the default configuration.
    const Config& of(const std::shared_ptr<Project>& project);

    // The text a project stores for `config`: its compact JSON, or the default configuration's when it
    // cannot be encoded.
    static std::optional<std::string> encode(const Config& config, const host::ClockProtocol& clock);

private:
    const Config& read(const std::optional<std::string>& text);

    const std::shared_ptr<const host::ClockProtocol> clock_;
    bool decoded_ = false;
    std::optional<std::string> text_;
    Config config_;
};

}  // namespace zqb
