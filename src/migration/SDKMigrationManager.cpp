#include "migration/SDKMigrationManager.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"
#include "migration/CoreFactoryProtocol.hpp"
#include "migration/KeyedDecoder.hpp"
#include "migration/KeyedUnarchiver.hpp"
#include "migration/PluginFileText.hpp"
#include "migration/UsersStoragesMigration.hpp"
#include "model/JsonSupport.hpp"
#include "model/JsonText.hpp"
#include "model/PeopleCard.hpp"
#include "repositories/PeopleRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>

namespace zqb {
namespace {

// The whole file when it is a regular file of at most `maxBytes` (a pipe or device is never opened). A larger
// one is left unread, with a WARNING: nothing else would tell why its data never arrives.
std::optional<std::string> readFile(const std::filesystem::path& path, std::size_t maxBytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    const auto skipped = [&](std::uintmax_t size) {
        Logger::writeLog(ZQBLogLevel::warning, "Legacy data not migrated: the file " + path.string() +
                                                   " holds " + std::to_string(size) +
                                                   " bytes, more than the " + std::to_string(maxBytes) +
                                                   " that are read");
        return std::nullopt;
    };
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > maxBytes) {
        return skipped(size);
    }
    std::string bytes;
    std::error_code readError;
    if (host::AtomicFile::read(path, bytes, maxBytes, &readError) != host::AtomicFile::ReadStatus::ok) {
        if (readError == std::errc::file_too_large) {
            // It grew while it was read.
            const std::uintmax_t grown = std::filesystem::file_size(path, error);
            return skipped(error ? maxBytes + 1 : std::max<std::uintmax_t>(grown, maxBytes + 1));
        }
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

// The double that is exactly `value`, if there is one.
std::optional<double> exactDouble(uint64_t value) {
    const double real = static_cast<double>(value);
    // The largest values round to 2^64, which lies outside the unsigned range.
    if (real >= 0x1p64 || static_cast<uint64_t>(real) != value) {
        return std::nullopt;
    }
    return real;
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
    return objectFromPluginFile(*bytes);
}

std::optional<MigrationObject> SDKMigrationManager::objectFromPluginFile(std::string_view bytes) {
    const auto text = PluginFileText::decode(bytes);
    if (!text) {
        return std::nullopt;
    }
    try {
        return JsonText::parse(PluginFileText::withLargeNumbersReplaced(*text),
                               JsonText::DeepValues::readEmpty)
            .get<MigrationObject>();
    } catch (const std::exception&) {
        return std::nullopt;
    }
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
        // Ids compare canonically, as in the user search of the import: a precomposed id finds the user
        // stored under its decomposed form and the other way round. The entry of the same bytes comes first.
        auto found = storages->dataStorages.find(storages->activeUserId);
        if (found == storages->dataStorages.end()) {
            found = std::find_if(storages->dataStorages.begin(), storages->dataStorages.end(),
                                 [&storages](const auto& entry) {
                                     return text::canonicallyEqual(entry.first, storages->activeUserId);
                                 });
        }
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
        } else if (const auto* wide = value->get<uint64_t>()) {
            if (const auto real = exactDouble(*wide)) {
                card.emplace(key, *real);
            }
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
    // Every write is checked, and the project is marked migrated only by the last one: an import that stops
    // at a failed write leaves the files to a later start, which reuses the user and stores the rest again.
    const auto failed = [](const char* what) {
        Logger::writeLog(ZQBLogLevel::error,
                         std::string("Migration failed: ") + what + " could not be stored");
    };
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
        // Without its row the user's card, steps and the project's active user would point at no one.
        if (user->idKey == -1) {
            failed("the user");
            return;
        }
    }

    project->activeUserId = user->idKey;
    project->trackingAvailable = object.trackingAvailable;
    if (!projects->update(project)) {
        failed("the project");
        return;
    }

    auto card = std::make_shared<PeopleCard>(user->idKey);
    card->properties = object.userCard;
    card->json = dictionaryJson(object.userCard);
    coreFactory_->peopleRepository()->insert(card);
    if (card->idKey == -1) {
        failed("the user card");
        return;
    }

    const auto payments = coreFactory_->realPaymentRepository();
    for (const std::string& orderId : object.transactionIds) {
        if (!payments->insert(
                RealPaymentMark{.idKey = -1, .projectId = project->idKey, .orderId = orderId})) {
            failed("an order id");
            return;
        }
    }
    const auto tutorial = coreFactory_->tutorialRepository();
    for (const int64_t step : object.tutorCompletedSteps) {
        if (!tutorial->insert(TutorialMark{.idKey = -1, .userId = user->idKey, .step = step})) {
            failed("a tutorial step");
            return;
        }
    }

    project->isMigrated = true;
    if (!projects->update(project)) {
        // The project in memory keeps what the file holds: unmarked, to be imported again at a later start.
        project->isMigrated = false;
        failed("the project's migration mark");
        return;
    }
    if (Logger::isLogged(ZQBLogLevel::debug)) {
        Logger::writeLog(ZQBLogLevel::debug, "Completely migrate data with data: \n" + object.description());
    }
}

}  // namespace zqb
