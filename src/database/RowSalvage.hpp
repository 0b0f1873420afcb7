#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace zqb {

class Connection;

// Carries into a new database what SQLite can still read of a file that could not serve: its projects,
// users, reports and events, so that the host's active user, the import flag and the events and reports not
// yet sent outlive the damage. Best effort and bounded in time: a table is read up to its first unreadable
// page. The file is only read, never written.
//
// Rows keep their ids, so that users, events and reports keep pointing at each other. A row is carried only
// when it fits the schema: each value of the column's type (after the conversion SQLite itself applies), no
// key already taken, and the project or user it belongs to carried before it. A second row with the key of
// one already carried (the same application key, or the same user id in a project) is the same project or
// user: what pointed at it points at the one carried. An active user that was not carried is forgotten.
class RowSalvage {
public:
    RowSalvage() = delete;

    // The tables carried, in the order they are carried: each after those its rows point at, and the reports,
    // each of which holds many events, before the events.
    static const std::vector<std::string>& tables();

    // Start-up waits on the salvage: it gives up reading at this bound.
    static constexpr std::chrono::milliseconds defaultBudget{800};

    struct Outcome {
        // The rows carried, per table of `tables()`, in that order.
        std::vector<std::pair<std::string, int64_t>> carried;
        // Why reading ended before the end of a table (an unreadable page, the time bound), empty when every
        // table was read to its end.
        std::string stoppedBy;
    };

    // Reads `source` and writes what fits into the same tables of `target`, a database that has the
    // library's schema and none of these rows yet. Rows are committed in batches, so that the new file's
    // memory stays bounded; a failure to write into `target` ends the salvage and keeps the batches before.
    static Outcome carry(const std::filesystem::path& source, Connection& target,
                         std::chrono::milliseconds budget = defaultBudget);
};

}  // namespace zqb
