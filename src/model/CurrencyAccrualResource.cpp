#include "model/CurrencyAccrualResource.hpp"

#include "foundation/TextUtils.hpp"

namespace zqb {

CurrencyAccrualResource::CurrencyAccrualResource(int64_t timestamp, std::string name, int64_t amount,
                                                 std::string source, ZQBAccrualType type, int64_t userId,
                                                 int64_t idKey)
    : idKey(idKey),
      userId(userId),
      type(type),
      name(std::move(name)),
      amount(amount),
      source(std::move(source)),
      timestamp(timestamp) {}

std::string CurrencyAccrualResource::description() const {
    return "\t userId: " + std::to_string(userId) + ", \n\t type: " + std::string(::description(type)) +
           ", \n\t name: " + name + ", \n\t amount: " + std::to_string(amount) + " \n\t source: " + source;
}

std::optional<CurrencyAccrualResource> CurrencyAccrualResource::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto userId = rowInteger(row, 1);
    const auto type = rowInteger(row, 2);
    auto name = rowText(row, 3);
    const auto amount = rowInteger(row, 4);
    auto source = rowText(row, 5);
    const auto timestamp = rowInteger(row, 6);
    if (!id || !userId || !type || !name || !amount || !source || !timestamp) {
        return std::nullopt;
    }
    return CurrencyAccrualResource(*timestamp, std::move(*name), *amount, std::move(*source),
                                   *type == 1 ? ZQBAccrualType::bought : ZQBAccrualType::earned, *userId,
                                   *id);
}

bool operator==(const CurrencyAccrualResource& a, const CurrencyAccrualResource& b) {
    return a.userId == b.userId && a.type == b.type && text::canonicallyEqual(a.name, b.name) &&
           text::canonicallyEqual(a.source, b.source);
}

}  // namespace zqb
