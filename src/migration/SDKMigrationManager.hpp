#pragma once

#include "host/Files.hpp"
#include "migration/ArchivedValue.hpp"
#include "migration/MigrationObject.hpp"
#include "migration/SDKMigrationManagerProtocol.hpp"
#include "model/PeopleValueType.hpp"

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

class CoreFactoryProtocol;

// Moves what the earlier generation of the library left on the device into the database, once per project.
// Two sources are read, both below the application-support directory and named after the application key:
// the native library's keyed archive "vorantel_<key>/UsersStorage" and the engine plug-in's JSON file
// "vorantel/<key>/migrationData.json". Each source that yields a user with a level is imported (the archive
// first); the project is marked migrated by the import, so until a source yields one, both are probed again
// at every start. The files are only read.
class SDKMigrationManager final : public SDKMigrationManagerProtocol {
public:
    static constexpr const char* nativeFolderPrefix = "vorantel_";
    static constexpr const char* archiveFileName = "UsersStorage";
    static constexpr const char* pluginFolderName = "vorantel";
    static constexpr const char* jsonFileName = "migrationData.json";
    // Far above what the plug-in wrote for one user; keeps a stray large file out of memory.
    static constexpr std::size_t maxJsonBytes = 1024 * 1024;

    SDKMigrationManager(std::shared_ptr<CoreFactoryProtocol> coreFactory, std::string applicationKey,
                        std::shared_ptr<host::FilesProtocol> files);

    void migrate(const std::shared_ptr<Project>& project) override;

    // The record of the archive's active user: nothing for bytes that are no readable archive, a root of
    // another class, no users, or no user under the active id.
    static std::optional<MigrationObject> objectFromArchive(std::string_view bytes);
    // The archived card values that the card holds: integers, texts, finite numbers, booleans, and the null
    // object as the unset marker. Anything else is left out.
    static PeopleValueMap processUserCardInfo(const std::map<std::string, ArchivedRef>& preferences);

private:
    std::optional<std::filesystem::path> getNativeMigratePath() const;
    std::optional<std::filesystem::path> getUnityMigratePath(const std::string& fileName) const;
    std::optional<MigrationObject> loadJson(const std::string& fileName) const;
    void migrateFromNativeSDK(const std::filesystem::path& folder, const std::shared_ptr<Project>& project);
    void migrateFromObject(const MigrationObject& object, const std::shared_ptr<Project>& project);

    const std::shared_ptr<CoreFactoryProtocol> coreFactory_;
    const std::string applicationKey_;
    const std::shared_ptr<host::FilesProtocol> files_;
};

}  // namespace zqb
