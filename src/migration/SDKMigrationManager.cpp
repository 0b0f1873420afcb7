#include "migration/SDKMigrationManager.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"
#include "migration/CoreFactoryProtocol.hpp"
#include "migration/KeyedDecoder.hpp"
#include "migration/KeyedUnarchiver.hpp"
#include "migration/UsersStoragesMigration.hpp"
#include "model/JsonSupport.hpp"
#include "model/PeopleCard.hpp"
#include "repositories/PeopleRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"

#include <cmath>
#include <exception>
#include <system_error>

namespace zqb {
namespace {

// The whole file when it is a regular file of at most `maxBytes` (a pipe or device is never opened).
std::optional<std::string> readFile(const std::filesystem::path& path, std::size_t maxBytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::string bytes;
    if (host::AtomicFile::read(path, bytes, maxBytes) != host::AtomicFile::ReadStatus::ok) {
        return std::nullopt;
    }
    return bytes;
}

// The key names a folder: one that would leave the application-support directory, or that the system would
// cut short, finds nothing.
bool isFolderName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

SDKMigrationManager::SDKMigrationManager(std::shared_ptr<CoreFactoryProtocol> coreFactory,
                                         std::string applicationKey,
                                         std::shared_ptr<host::FilesProtocol> files)
    : coreFactory_(std::move(coreFactory)),
      applicationKey_(std::move(applicationKey)),
      files_(std::move(files)) {}

void SDKMigrationManager::migrate(const std::shared_ptr<Project>& project) {
    if (!project || project->isMigrated) {
        return;
    }
    if (const auto folder = getNativeMigratePath()) {
        migrateFromNativeSDK(*folder, project);
    }
    if (const auto object = loadJson(jsonFileName)) {
        migrateFromObject(*object, project);
    }
}

std::optional<std::filesystem::path> SDKMigrationManager::getNativeMigratePath() const {
    const std::filesystem::path support =
        files_ ? files_->applicationSupportDirectory() : std::filesystem::path();
    if (support.empty() || !isFolderName(applicationKey_)) {
        return std::nullopt;
    }
    return support / (nativeFolderPrefix + applicationKey_);
}

std::optional<std::filesystem::path> SDKMigrationManager::getUnityMigratePath(
    const std::string& fileName) const {
    const std::filesystem::path support =
        files_ ? files_->applicationSupportDirectory() : std::filesystem::path();
    if (support.empty() || !isFolderName(applicationKey_)) {
        return std::nullopt;
    }
    return support / pluginFolderName / applicationKey_ / fileName;
}

std::optional<MigrationObject> SDKMigrationManager::loadJson(const std::string& fileName) const {
    const auto path = getUnityMigratePath(fileName);
    if (!path) {
        return std::nullopt;
    }
    const auto bytes = readFile(*path, maxJsonBytes);
    if (!bytes) {
        return std::nullopt;
    }
    return decodeJson<MigrationObject>(*bytes);
}

void SDKMigrationManager::migrateFromNativeSDK(const std::filesystem::path& folder,
                                               const std::shared_ptr<Project>& project) {
    const auto bytes = readFile(folder / archiveFileName, KeyedUnarchiver::maxArchiveBytes);
    if (!bytes) {
        return;
    }
    if (const auto object = objectFromArchive(*bytes)) {
        migrateFromObject(*object, project);
    }
}

std::optional<MigrationObject> SDKMigrationManager::objectFromArchive(std::string_view bytes) {
    try {
        // The decoder knows objects by their place in the graph: the graph lives as long as the decoder.
        const ArchivedRef top = KeyedUnarchiver::topLevelObject(bytes);
        KeyedDecoder decoder;
        const auto storages = decoder.decode<UsersStoragesMigration>(top);
        if (!storages) {
            return std::nullopt;
        }
        const auto found = storages->dataStorages.find(storages->activeUserId);
        if (found == storages->dataStorages.end()) {
            return std::nullopt;
        }
        const DataStorageMigration& user = *found->second;
        return MigrationObject{
            .deviceId = std::nullopt,
            .prevDeviceId = std::nullopt,
            .userId = user.userUid,
            .prevUserId = user.prevUid,
            .trackingAvailable = storages->trackingAvailable,
            .level = user.level,
            .userCard = user.playerPreferences ? processUserCardInfo(user.playerPreferences->preferences)
                                               : PeopleValueMap{},
            .transactionIds = user.transactionIds,
            .tutorCompletedSteps = user.tutorCompletedSteps,
        };
    } catch (const std::exception&) {
        // Not an archive, or one beyond the reader's limits: like an unreadable file.
        return std::nullopt;
    }
}

PeopleValueMap SDKMigrationManager::processUserCardInfo(
    const std::map<std::string, ArchivedRef>& preferences) {
    PeopleValueMap card;
    for (const auto& [key, value] : preferences) {
        if (const auto* number = value->get<int64_t>()) {
            card.emplace(key, *number);
        } else if (const auto* text = value->get<std::string>()) {
            card.emplace(key, *text);
        } else if (const auto* real = value->get<double>()) {
            // The card is stored as JSON, which has no NaN or infinity: such a value alone is left out.
            if (std::isfinite(*real)) {
                card.emplace(key, *real);
            }
        } else if (const auto* flag = value->get<bool>()) {
            card.emplace(key, *flag);
        } else if (value->holds<ArchivedValue::NullObject>()) {
            card.emplace(key, PeopleValueType::null());
        }
    }
    return card;
}

void SDKMigrationManager::migrateFromObject(const MigrationObject& object,
                                            const std::shared_ptr<Project>& project) {
    if (!object.userId) {
        Logger::writeLog(ZQBLogLevel::error, "Migration failed: userId not found");
        return;
    }
    if (!object.level) {
        Logger::writeLog(ZQBLogLevel::error, "Migration failed: level not found");
        return;
    }
    const auto users = coreFactory_->userRepository();
    const auto projects = coreFactory_->projectRepository();

    std::shared_ptr<User> user;
    for (const auto& stored : users->list()) {
        if (stored->projectId == project->idKey && stored->userId &&
            text::canonicallyEqual(*stored->userId, *object.userId)) {
            user = stored;
            break;
        }
    }
    if (!user) {
        user = std::make_shared<User>(project->idKey, object.userId, false);
        user->level = *object.level;
        user->previousUserId = object.prevUserId;
        users->insert(user);
        // Without its row the user's card, steps and the project's active user would point at no one: leave
        // everything as it was, so that a later start tries again.
        if (user->idKey == -1) {
            Logger::writeLog(ZQBLogLevel::error, "Migration failed: the user could not be stored");
            return;
        }
    }

    project->activeUserId = user->idKey;
    project->trackingAvailable = object.trackingAvailable;
    projects->update(project);

    auto card = std::make_shared<PeopleCard>(user->idKey);
    card->properties = object.userCard;
    card->json = dictionaryJson(object.userCard);
    coreFactory_->peopleRepository()->insert(card);

    const auto payments = coreFactory_->realPaymentRepository();
    for (const std::string& orderId : object.transactionIds) {
        payments->insert(RealPaymentMark{.idKey = -1, .projectId = project->idKey, .orderId = orderId});
    }
    const auto tutorial = coreFactory_->tutorialRepository();
    for (const int64_t step : object.tutorCompletedSteps) {
        tutorial->insert(TutorialMark{.idKey = -1, .userId = user->idKey, .step = step});
    }

    project->isMigrated = true;
    projects->update(project);
    if (Logger::isLogged(ZQBLogLevel::debug)) {
        Logger::writeLog(ZQBLogLevel::debug, "Completely migrate data with data: \n" + object.description());
    }
}

}  // namespace zqb
