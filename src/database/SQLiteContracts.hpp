#pragma once

#include <string>
#include <vector>

namespace zqb {

// The text of every schema statement of the library's database and the ordered steps that bring a file to
// the current version. Row readers read columns by position, so the column order below is binding.
class SQLiteContracts {
public:
    SQLiteContracts() = delete;

    // The version stored in PRAGMA user_version once every step has been applied.
    static constexpr int currentVersion = 1;

    static const char* const createTableProjects;
    static const char* const createTableUsers;
    static const char* const createTableEvents;
    static const char* const createTableReports;
    static const char* const createTableLevelResources;
    static const char* const createTableCurrencyAccrualResources;
    static const char* const createTableDeviceIdentifiers;
    static const char* const createTableRealPaymentMarks;
    static const char* const createTableTutorialMarks;
    static const char* const createPeopleCardEntry;
    static const char* const createTableMessagingCategory;
    static const char* const createTableSdkTools;
    static const char* const createTableSubscriptions;
    static const char* const updateTableDeviceIdentifiers;

    // Step 0 creates the first twelve tables, step 1 the subscriptions table and the identifiers' timestamp.
    static const std::vector<std::vector<std::string>>& map();

    // Each table the steps make, with its statement as SQLite keeps it once every step has run: from "CREATE
    // TABLE" on, without "IF NOT EXISTS" and the closing semicolon, with the columns later steps add (which
    // SQLite writes before the closing parenthesis, after a comma and a blank). In the order the steps make
    // the tables. Run as they are, they make the tables of every step at once, word for word.
    struct KeptTable {
        std::string name;
        std::string statement;
    };
    static const std::vector<KeptTable>& tablesAsKept();
};

}  // namespace zqb
