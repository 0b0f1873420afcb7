#pragma once

#include "host/Clock.hpp"
#include "model/Project.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// Reads a row of "projects" as `Project::fromRow` does. A configuration text that does not read as a
// configuration counts as none: the project has the default configuration, and its next update stores the
// default configuration's text in place of the unreadable one.
struct ProjectRow {
    static std::shared_ptr<Project> fromRow(const SQLiteRow& row);
};

// The table "projects": one row per application key, with the project's analytics configuration.
class ProjectRepository : public Repository<Project, ProjectRow> {
public:
    static constexpr const char* table = "projects";

    // `clock` dates the default configuration should a project without one be the first to need it.
    ProjectRepository(std::shared_ptr<DatabaseProtocol> database,
                      std::shared_ptr<const host::ClockProtocol> clock);

    // On success the project gets its row id and joins the cache. A second project with the same
    // application key is refused by the table and keeps idKey -1.
    virtual void insert(const std::shared_ptr<Project>& project);
    // Writes every column from the shared object (which the cache already holds). Whether the row was
    // written.
    virtual bool update(const std::shared_ptr<Project>& project);

    // "configuration" is the project's configuration text, or the default configuration's text when the
    // project has none of its own.
    ColumnMap prepareContentValues(const Project& project) const;

private:
    const std::shared_ptr<const host::ClockProtocol> clock_;
};

}  // namespace zqb
