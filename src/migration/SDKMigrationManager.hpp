#pragma once

#include "host/Files.hpp"
#include "migration/ArchivedValue.hpp"
#include "migration/KeyedDecoder.hpp"
#include "migration/KeyedUnarchiver.hpp"
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
    // The JSON reader has no budget of its own: the tree it builds costs up to 24 bytes for each byte of
    // text (a list of short texts or decimals). The plug-in's file is read up to the size whose tree stays
    // within what the archive's reader may build and copy out (its expansion bound and decoding budget).
    static constexpr std::size_t maxJsonBytes =
        (KeyedUnarchiver::maxExpandedBytes + KeyedDecoder::defaultBudget) / 24;

    SDKMigrationManager(std::shared_ptr<CoreFactoryProtocol> coreFactory, std::string applicationKey,
                        std::shared_ptr<host::FilesProtocol> files);

    void migrate(const std::shared_ptr<Project>& project) override;

    // The record of the archive's active user: nothing for bytes that are no readable archive, a root of
    // another class, no users, or no user under the active id.
    static std::optional<MigrationObject> objectFromArchive(std::string_view bytes);
    // The record of the plug-in's file, in UTF-8, UTF-16 or UTF-32 (`PluginFileText`): nothing for bytes that
    // are no JSON object of the record's shape.
    // A value the JSON reader cannot hold (a number beyond a double, nesting beyond its depth) is read as
    // one of no type the record takes, so that the field's own rule applies to it alone.
    static std::optional<MigrationObject> objectFromPluginFile(std::string_view bytes);
    // The archived card values that the card holds: integers, texts, finite numbers, booleans, and the null
    // object as the unset marker. An integer above the signed 64-bit range is kept as the number it is when
    // a double holds it exactly. Anything else is left out.
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
