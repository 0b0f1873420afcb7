#pragma once

#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zqb {

// Repositories over a real database file in a temporary application-support directory.
class RepositoriesTest : public ::testing::Test {
protected:
    void SetUp() override { database = zqb::test::sharedDatabase(); }

    // Closes the file and opens it again, as a relaunch does.
    void reopen() {
        database.reset();
        database = zqb::test::sharedDatabase();
    }

    std::filesystem::path file() const { return env.directory() / "vorantel" / "vorantel.db"; }

    std::vector<SQLiteRow> rows(const std::string& sql) {
        Connection connection(file().string());
        Statement statement(connection, sql);
        std::vector<SQLiteRow> result;
        while (statement.step()) {
            result.push_back(statement.cursor().row());
        }
        return result;
    }
    void execute(const std::string& sql) { Connection(file().string()).execute(sql); }

    // The cache holds exactly what a fresh repository reads from the table after a relaunch: the same ids,
    // in the same order, with the same column values.
    template <typename Repo, typename... Arguments>
    void expectInStep(Repo& repository, const Arguments&... arguments) {
        const auto cached = repository.cache();
        reopen();
        Repo fresh(database, arguments...);
        const auto stored = fresh.list();
        ASSERT_EQ(cached.size(), stored.size());
        for (std::size_t index = 0; index < cached.size(); ++index) {
            const auto& a = recordOf(cached[index]);
            const auto& b = recordOf(stored[index]);
            EXPECT_EQ(a.idKey, b.idKey) << "element " << index;
            EXPECT_EQ(fresh.prepareContentValues(a), fresh.prepareContentValues(b)) << "element " << index;
        }
    }
    template <typename T>
    static const T& recordOf(const std::shared_ptr<T>& element) {
        return *element;
    }
    template <typename T>
    static const T& recordOf(const T& element) {
        return element;
    }

    test::ScopedEnvironment env;
    std::shared_ptr<SQLiteProvider> database;
};

}  // namespace zqb
