#include "database/SQLiteContracts.hpp"

#include <cctype>
#include <string_view>

namespace zqb {
namespace {

std::vector<SQLiteContracts::KeptTable> keptTables() {
    static constexpr std::string_view create = "CREATE TABLE IF NOT EXISTS ";
    static constexpr std::string_view alter = "ALTER TABLE ";
    static constexpr std::string_view addColumn = " ADD COLUMN ";
    const auto withoutClosing = [](std::string text) {
        while (!text.empty() &&
               (text.back() == ';' || std::isspace(static_cast<unsigned char>(text.back())))) {
            text.pop_back();
        }
        return text;
    };
    std::vector<SQLiteContracts::KeptTable> tables;
    for (const auto& step : SQLiteContracts::map()) {
        for (const auto& statement : step) {
            if (statement.rfind(create, 0) == 0) {
                const std::string rest = withoutClosing(statement.substr(create.size()));
                tables.push_back({rest.substr(0, rest.find_first_of(" (")), "CREATE TABLE " + rest});
                continue;
            }
            const auto add = statement.find(addColumn);
            if (statement.rfind(alter, 0) != 0 || add == std::string::npos) {
                continue;
            }
            const std::string table = statement.substr(alter.size(), add - alter.size());
            for (auto& kept : tables) {
                const auto closing = kept.statement.rfind(')');
                if (kept.name == table && closing != std::string::npos) {
                    kept.statement.insert(closing,
                                          ", " + withoutClosing(statement.substr(add + addColumn.size())));
                }
            }
        }
    }
    return tables;
}

}  // namespace

const char* const SQLiteContracts::createTableProjects = R"(CREATE TABLE IF NOT EXISTS projects (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    applicationKey TEXT NOT NULL UNIQUE,
    activeUserId INTEGER,
    trackingAvailable INTEGER,
    applicationBundle TEXT,
    applicationVersion TEXT,
    applicationBuildVersion TEXT,
    configuration TEXT DEFAULT '{}' NOT NULL,
    isReferralSent INTEGER,
    savedTime INTEGER,
    categoriesVersion INTEGER,
    isMigrated INTEGER DEFAULT 0 NOT NULL
);)";

const char* const SQLiteContracts::createTableUsers = R"(CREATE TABLE IF NOT EXISTS users (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    projectId INTEGER NOT NULL CONSTRAINT users_projects_id_fk REFERENCES projects(id),
    level INTEGER DEFAULT 1 NOT NULL,
    sessionId INTEGER,
    userId TEXT,
    previousUserId TEXT,
    lastForegroundTime INTEGER,
    lastBackgroundTime INTEGER,
    isDefaultUser INTEGER,
    isResourceAggregationEnable INTEGER,
UNIQUE(projectId, userId)
);)";

const char* const SQLiteContracts::createTableEvents = R"(CREATE TABLE IF NOT EXISTS events (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    code TEXT,
    userId INTEGER CONSTRAINT events_users_id_fk REFERENCES users(id),
    eventJson TEXT
);)";

const char* const SQLiteContracts::createTableReports = R"(CREATE TABLE IF NOT EXISTS reports (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    userId INTEGER CONSTRAINT reports_users_id_fk REFERENCES users(id),
    packagesJson TEXT,
    uuid TEXT DEFAULT '{}' NOT NULL
);)";

const char* const SQLiteContracts::createTableLevelResources = R"(CREATE TABLE IF NOT EXISTS levelResource (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    userId INTEGER CONSTRAINT levelResource_users_id_fk REFERENCES users(id),
    type INTEGER NOT NULL,
    name TEXT,
    amount INTEGER NOT NULL
);)";

const char* const SQLiteContracts::createTableCurrencyAccrualResources =
    R"(CREATE TABLE IF NOT EXISTS currencyAccrualResources (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    userId INTEGER CONSTRAINT currencyAccrualResources_users_id_fk REFERENCES users(id),
    type INTEGER NOT NULL,
    name TEXT,
    amount INTEGER NOT NULL,
    source TEXT,
    timestamp INTEGER NOT NULL
);)";

const char* const SQLiteContracts::createTableDeviceIdentifiers =
    R"(CREATE TABLE IF NOT EXISTS deviceIdentifiers (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    projectId INTEGER NOT NULL CONSTRAINT identifiers_projects_id_fk REFERENCES projects(id),
    deviceIdentifier TEXT,
    previousDeviceIdentifier TEXT,
    vorantelId INTEGER,
    crossPlatformVorantelId INTEGER,
    uuid TEXT
);)";

const char* const SQLiteContracts::createTableRealPaymentMarks =
    R"(CREATE TABLE IF NOT EXISTS realPaymentMarks (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    projectId INTEGER CONSTRAINT realPaymentMarks_projects_id_fk REFERENCES projects(id),
    orderId TEXT
);)";

const char* const SQLiteContracts::createTableTutorialMarks =
    R"(CREATE TABLE IF NOT EXISTS tutorialMarkEntry (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    userId INTEGER CONSTRAINT tutorialMarkEntry_users_id_fk REFERENCES users(id),
    step INTEGER
);)";

const char* const SQLiteContracts::createPeopleCardEntry = R"(CREATE TABLE IF NOT EXISTS peopleCards (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    userId INTEGER CONSTRAINT peopleCardEntry_users_id_fk REFERENCES users(id),
    json TEXT,
    updated INTEGER DEFAULT 0 NOT NULL,
    cleared INTEGER DEFAULT 0 NOT NULL,
    changedKeys TEXT
);)";

const char* const SQLiteContracts::createTableMessagingCategory =
    R"(CREATE TABLE IF NOT EXISTS messagingCategory (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    identifier TEXT,
    buttons TEXT
);)";

const char* const SQLiteContracts::createTableSdkTools = R"(CREATE TABLE IF NOT EXISTS sdkTools (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    metadata TEXT DEFAULT '[]'
);)";

const char* const SQLiteContracts::createTableSubscriptions = R"(CREATE TABLE IF NOT EXISTS subscriptions (
    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,
    projectId INTEGER NOT NULL CONSTRAINT subscriptions_projects_id_fk REFERENCES projects(id),
    products TEXT DEFAULT '[]',
    restoredTransaction TEXT DEFAULT '[]',
    alreadyRestored INTEGER DEFAULT 0 NOT NULL,
    productIsChanged INTEGER DEFAULT 0 NOT NULL,
    alreadySendRestoreEvent INTEGER DEFAULT 0 NOT NULL
);)";

const char* const SQLiteContracts::updateTableDeviceIdentifiers =
    "ALTER TABLE deviceIdentifiers ADD COLUMN vorantelIdTimestamp INTEGER;";

const std::vector<std::vector<std::string>>& SQLiteContracts::map() {
    // Never destroyed: the income queue may still open a database while the process exits.
    static const auto& steps = *new std::vector<std::vector<std::string>>{
        {createTableProjects, createTableUsers, createTableEvents, createTableReports,
         createTableLevelResources, createTableCurrencyAccrualResources, createTableDeviceIdentifiers,
         createTableRealPaymentMarks, createTableTutorialMarks, createPeopleCardEntry,
         createTableMessagingCategory, createTableSdkTools},
        {createTableSubscriptions, updateTableDeviceIdentifiers},
    };
    return steps;
}

const std::vector<SQLiteContracts::KeptTable>& SQLiteContracts::tablesAsKept() {
    // Never destroyed, as the steps.
    static const auto& tables = *new std::vector<KeptTable>(keptTables());
    return tables;
}

}  // namespace zqb
