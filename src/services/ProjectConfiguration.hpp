#pragma once

#include "backend/Config.hpp"
#include "model/Project.hpp"

#include <optional>
#include <string>

namespace zqb {

// The analytics configuration a project holds, decoded from the project's stored text. A project without
// one, or with a text that does not decode, has the built-in default. The last decoding is kept and reused
// while the text stays the same, so that reading the configuration for every event costs a comparison.
//
// One instance per owner, used from one queue at a time.
class ProjectConfiguration {
public:
    const Config& of(const Project& project);

    // The text a project stores for `config`: its compact JSON, or the default configuration's when it
    // cannot be encoded.
    static std::optional<std::string> encode(const Config& config);

private:
    bool decoded_ = false;
    std::optional<std::string> text_;
    Config config_;
};

}  // namespace zqb
