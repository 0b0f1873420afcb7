#include "model/RealPaymentMark.hpp"

namespace zqb {

std::optional<RealPaymentMark> RealPaymentMark::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto projectId = rowInteger(row, 1);
    auto orderId = rowText(row, 2);
    if (!id || !projectId || !orderId) {
        return std::nullopt;
    }
    return RealPaymentMark{*id, *projectId, std::move(*orderId)};
}

}  // namespace zqb
