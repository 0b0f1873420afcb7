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
    // Set when the status is not the gateway's: why none came, as "no answer: " and the transport's reason,
    // or "not sent: " and what kept the request back.
    std::optional<std::string> withoutAnswer;

    // The status as a message shows it: its number, then the reason in brackets when no status came from the
    // gateway, "400 (no answer: ...)", so that a refused connection, a time-out and the gateway's own 400
    // tell apart in the log.
    std::string statusText() const {
        std::string text = std::to_string(statusCode);
        if (withoutAnswer) {
            text += " (" + *withoutAnswer + ")";
        }
        return text;
    }
};

}  // namespace zqb
