#pragma once

#include <utility>
#include <vector>

namespace zqb::test {

// Lowers SQLite's run-time limits on every connection opened while it lives, as a host does that sets them
// on each connection, or as an SQLite built with lower maximums has them: `limits` pairs a SQLITE_LIMIT_...
// category with its value. Connections opened before keep theirs. One at a time.
class ConnectionLimits {
public:
    explicit ConnectionLimits(std::vector<std::pair<int, int>> limits);
    ~ConnectionLimits();
    ConnectionLimits(const ConnectionLimits&) = delete;
    ConnectionLimits& operator=(const ConnectionLimits&) = delete;
};

}  // namespace zqb::test
