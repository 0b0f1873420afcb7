#pragma once

#include "database/SQLiteValue.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The running sum of one user's accruals of one currency from one source (a row of
// "currencyAccrualResources"), later folded into a currency-accrual event.
struct CurrencyAccrualResource {
    // Made at `timestamp` (Unix milliseconds); `userId` and `idKey` are -1 until the service stores the row.
    CurrencyAccrualResource(int64_t timestamp, std::string name, int64_t amount, std::string source,
                            ZQBAccrualType type, int64_t userId = -1, int64_t idKey = -1);

    int64_t idKey = -1;
    int64_t userId = -1;
    ZQBAccrualType type = ZQBAccrualType::earned;
    std::string name;
    int64_t amount = 0;
    std::string source;
    int64_t timestamp = 0;  // Unix milliseconds when the row was made

    // "\t userId: 1, \n\t type: earned, \n\t name: gold, \n\t amount: 5 \n\t source: shop"
    std::string description() const;

    // Columns: 0 id, 1 userId, 2 type, 3 name, 4 amount, 5 source, 6 timestamp, all required. A stored
    // type 1 is bought, any other earned.
    static std::optional<CurrencyAccrualResource> fromRow(const SQLiteRow& row);
};

// The row an accrual adds into: the same name, source, type and user. idKey, amount and timestamp take no
// part.
bool operator==(const CurrencyAccrualResource& a, const CurrencyAccrualResource& b);

}  // namespace zqb
