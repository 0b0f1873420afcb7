#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// An order id already reported for a project, by a real-currency or a subscription payment (a row of
// "realPaymentMarks").
struct RealPaymentMark {
    int64_t idKey = -1;
    int64_t projectId = -1;
    std::string orderId;

    // Columns: 0 id, 1 projectId, 2 orderId, all required.
    static std::optional<RealPaymentMark> fromRow(const SQLiteRow& row);
};

}  // namespace zqb
