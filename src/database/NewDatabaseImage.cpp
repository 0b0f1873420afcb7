// Made by zqb_new_database_image from the schema's statements; not to be edited (see
// NewDatabaseImage.hpp).
// clang-format off
#include "database/NewDatabaseImage.hpp"

#include "database/ByteRuns.hpp"

namespace zqb {
namespace {

using namespace std::string_view_literals;

constexpr ByteRun kFileRuns[] = {
    {0,
     "SQLite format 3\000\020\000\002\002\000@  \000\000\000\003\000\000\000\023\000\000\000\000\000"
     "\000\000\000\000\000\000\015\000\000\000\004\000\000\000\000\000\000\000\000\000\000\000\001\000"
     "\000\000\001"sv},
    {95,
     "\003\000.c\001\005\000\000\000\001\017\373\000\000\000\000\023\017\373"sv},
    {4094,
     "\022\011\015\000\000\000\000\020"sv},
    {8192,
     "\012\000\000\000\000\020"sv},
    {12288,
     "\015\000\000\000\000\020"sv},
    {16384,
     "\015\000\000\000\000\020"sv},
    {20480,
     "\012\000\000\000\000\020"sv},
    {24576,
     "\015\000\000\000\000\020"sv},
    {28672,
     "\015\000\000\000\000\020"sv},
    {32768,
     "\015\000\000\000\000\020"sv},
    {36864,
     "\015\000\000\000\000\020"sv},
    {40960,
     "\015\000\000\000\000\020"sv},
    {45056,
     "\015\000\000\000\000\020"sv},
    {49152,
     "\015\000\000\000\000\020"sv},
    {53248,
     "\015\000\000\000\000\020"sv},
    {57344,
     "\015\000\000\000\000\020"sv},
    {61440,
     "\015\000\000\000\000\020"sv},
    {65536,
     "\015\000\000\000\000\020"sv},
    {69632,
     "\015\017\370\000\011\007\201\000\015\364\017\307\015\242\013\267\015w\012\350\011\374\010\355"
     "\007\201\005\366\005\007\004\035\002\344\0027\001\254\017\370"sv},
    {70060,
     "\017\370\005\325"sv},
    {71553,
     "\202i\011\007\027==\001\204etablecurrencyAccrualResourcescurrencyAccrualResources\012CREATE TABL"
     "E currencyAccrualResources (\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    userId"
     " INTEGER CONSTRAINT currencyAccrualResources_users_id_fk REFERENCES users(id),\012    type INTEG"
     "ER NOT NULL,\012    name TEXT,\012    amount INTEGER NOT NULL,\012    source TEXT,\012    timest"
     "amp INTEGER NOT NULL\012)\202\014\010\007\027''\001\203WtablelevelResourcelevelResource\011CREAT"
     "E TABLE levelResource (\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    userId INTE"
     "GER CONSTRAINT levelResource_users_id_fk REFERENCES users(id),\012    type INTEGER NOT NULL,\012"
     "    name TEXT,\012    amount INTEGER NOT NULL\012)\201i\007\007\027\033\033\001\203)tablereports"
     "reports\010CREATE TABLE reports (\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    u"
     "serId INTEGER CONSTRAINT reports_users_id_fk REFERENCES users(id),\012    packagesJson TEXT,\012"
     "    uuid TEXT DEFAULT '{}' NOT NULL\012)\201L\006\007\027\031\031\001\202stableeventsevents\007C"
     "REATE TABLE events (\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    code TEXT,\012"
     "    userId INTEGER CONSTRAINT events_users_id_fk REFERENCES users(id),\012    eventJson TEXT\012"
     ")\203=\004\007\027\027\027\001\206Ytableusersusers\005CREATE TABLE users (\012    id INTEGER NOT"
     " NULL PRIMARY KEY AUTOINCREMENT,\012    projectId INTEGER NOT NULL CONSTRAINT users_projects_id_"
     "fk REFERENCES projects(id),\012    level INTEGER DEFAULT 1 NOT NULL,\012    sessionId INTEGER,"
     "\012    userId TEXT,\012    previousUserId TEXT,\012    lastForegroundTime INTEGER,\012    lastB"
     "ackgroundTime INTEGER,\012    isDefaultUser INTEGER,\012    isResourceAggregationEnable INTEGER,"
     "\012UNIQUE(projectId, userId)\012))\005\006\027=\027\001\000indexsqlite_autoindex_users_1users"
     "\006P\003\006\027++\001Ytablesqlite_sequencesqlite_sequence\004CREATE TABLE sqlite_sequence(name"
     ",seq)\203P\001\007\027\035\035\001\206stableprojectsprojects\002CREATE TABLE projects (\012    i"
     "d INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    applicationKey TEXT NOT NULL UNIQUE,\012   "
     " activeUserId INTEGER,\012    trackingAvailable INTEGER,\012    applicationBundle TEXT,\012    a"
     "pplicationVersion TEXT,\012    applicationBuildVersion TEXT,\012    configuration TEXT DEFAULT '"
     "{}' NOT NULL,\012    isReferralSent INTEGER,\012    savedTime INTEGER,\012    categoriesVersion "
     "INTEGER,\012    isMigrated INTEGER DEFAULT 0 NOT NULL\012)/\002\006\027C\035\001\000indexsqlite_"
     "autoindex_projects_1projects\003\000\000\000\010\000\000\000\000\015\000\000\000\007\010m\000"
     "\016u\015\206\014\234\013c\012\266\012+\010m"sv},
    {75885,
     "\203;\020\007\027''\001\2065tablesubscriptionssubscriptions\021CREATE TABLE subscriptions (\012 "
     "   id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    projectId INTEGER NOT NULL CONSTRAINT s"
     "ubscriptions_projects_id_fk REFERENCES projects(id),\012    products TEXT DEFAULT '[]',\012    r"
     "estoredTransaction TEXT DEFAULT '[]',\012    alreadyRestored INTEGER DEFAULT 0 NOT NULL,\012    "
     "productIsChanged INTEGER DEFAULT 0 NOT NULL,\012    alreadySendRestoreEvent INTEGER DEFAULT 0 NO"
     "T NULL\012)\201\010\017\007\027\035\035\001\201ctablesdkToolssdkTools\020CREATE TABLE sdkTools ("
     "\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    metadata TEXT DEFAULT '[]'\012)"
     "\201*\016\007\027//\001\202\003tablemessagingCategorymessagingCategory\017CREATE TABLE messaging"
     "Category (\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    identifier TEXT,\012    "
     "buttons TEXT\012)\2026\015\007\027##\001\2043tablepeopleCardspeopleCards\016CREATE TABLE peopleC"
     "ards (\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    userId INTEGER CONSTRAINT pe"
     "opleCardEntry_users_id_fk REFERENCES users(id),\012    json TEXT,\012    updated INTEGER DEFAULT"
     " 0 NOT NULL,\012    cleared INTEGER DEFAULT 0 NOT NULL,\012    changedKeys TEXT\012)\201g\014"
     "\007\027//\001\202}tabletutorialMarkEntrytutorialMarkEntry\015CREATE TABLE tutorialMarkEntry ("
     "\012    id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT,\012    userId INTEGER CONSTRAINT tutorial"
     "MarkEntry_users_id_fk REFERENCES users(id),\012    step INTEGER\012)\201l\013\007\027--\001\203"
     "\013tablerealPaymentMarksrealPaymentMarks\014CREATE TABLE realPaymentMarks (\012    id INTEGER N"
     "OT NULL PRIMARY KEY AUTOINCREMENT,\012    projectId INTEGER CONSTRAINT realPaymentMarks_projects"
     "_id_fk REFERENCES projects(id),\012    orderId TEXT\012)\203\010\012\007\027//\001\205?tabledevi"
     "ceIdentifiersdeviceIdentifiers\013CREATE TABLE deviceIdentifiers (\012    id INTEGER NOT NULL PR"
     "IMARY KEY AUTOINCREMENT,\012    projectId INTEGER NOT NULL CONSTRAINT identifiers_projects_id_fk"
     " REFERENCES projects(id),\012    deviceIdentifier TEXT,\012    previousDeviceIdentifier TEXT,"
     "\012    vorantelId INTEGER,\012    crossPlatformVorantelId INTEGER,\012    uuid TEXT\012, vorant"
     "elIdTimestamp INTEGER)"sv},
};
alignas(8) constexpr auto kFile = spreadByteRuns<77824>(kFileRuns);

constexpr ByteRun kLogRuns[] = {
    {0,
     "7\177\006\202\000-\342\030\000\000\020\000\000\000\000\000\363\202\271BP\017\316\254\027\240\206"
     "\006|Vl\373\000\000\000\001\000\000\000\023\363\202\271BP\017\316\254\207\223jT\230\314H\036SQLi"
     "te format 3\000\020\000\002\002\000@  \000\000\000\003\000\000\000\023\000\000\000\000\000\000"
     "\000\000\000\000\000\015\000\000\000\004\000\000\000\000\000\000\000\000\000\000\000\001\000\000"
     "\000\001"sv},
    {151,
     "\003\000.c\001\005\000\000\000\001\017\373\000\000\000\000\023\017\373"sv},
    {4150,
     "\022\011"sv},
};
alignas(8) constexpr auto kLog = spreadByteRuns<4152>(kLogRuns);

}  // namespace

std::string_view NewDatabaseImage::file() {
    return {kFile.data(), kFile.size()};
}

std::string_view NewDatabaseImage::log() {
    return {kLog.data(), kLog.size()};
}

}  // namespace zqb
