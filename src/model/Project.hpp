#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zqb {

// The stored state of one application key (a row of "projects"). Shared by the state manager, the services
// and the project repository's cache, which all see changes at once.
struct Project {
    // A new project for an application key: tracking on, nothing sent or migrated, default configuration.
    explicit Project(std::string applicationKey) : applicationKey(std::move(applicationKey)) {}

    int64_t idKey = -1;
    std::string applicationKey;
    std::optional<int64_t> activeUserId;  // idKey of the active user
    bool trackingAvailable = true;
    bool isReferralSent = false;
    std::optional<std::string> applicationBundle;
    std::optional<std::string> applicationVersion;
    std::optional<std::string> applicationBuildVersion;
    // The analytics configuration as the JSON text the gateway sent and the row stores; absent stands for
    // the built-in default configuration (a new project, or a row whose column is not text; the project
    // repository also reads a text that is not a configuration as absent). The configuration record decodes
    // it, and falls back to its default when the text does not decode.
    std::optional<std::string> configurationJson;
    std::optional<int64_t> savedTime;
    std::optional<int64_t> categoriesVersion;
    bool isMigrated = false;

    // Columns: 0 id, 1 applicationKey required; 2 activeUserId optional; 3 trackingAvailable flag; 4-6 the
    // application facts optional; 7 configuration; 8 isReferralSent flag; 9 savedTime, 10
    // categoriesVersion optional; 11 isMigrated flag.
    static std::shared_ptr<Project> fromRow(const SQLiteRow& row);
};

}  // namespace zqb
