#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// What one exchange with the gateway gave. A request that was never sent, a transport failure before any
// status line, a time-out or an answer that is not HTTP all leave the status at 400, which every caller
// treats like any other status that is not a success. A status line that arrived keeps its status even
// when the transfer failed after it.
struct Response {
    int64_t statusCode = 400;
    std::optional<std::string> data;
    // The transport's description of a failure; informative only.
    std::optional<std::string> error;
};

}  // namespace zqb
