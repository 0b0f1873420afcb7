#pragma once

#include "model/Project.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "projects": one row per application key, with the project's analytics configuration.
class ProjectRepository : public Repository<Project> {
public:
    static constexpr const char* table = "projects";

    explicit ProjectRepository(std::shared_ptr<DatabaseProtocol> database);

    // On success the project gets its row id and joins the cache. A second project with the same
    // application key is refused by the table and keeps idKey -1.
    virtual void insert(const std::shared_ptr<Project>& project);
    // Writes every column from the shared object (which the cache already holds).
    virtual void update(const std::shared_ptr<Project>& project);

    // "configuration" is the project's configuration text, or the default configuration's text when the
    // project has none of its own.
    static ColumnMap prepareContentValues(const Project& project);
};

}  // namespace zqb
