#include "repositories/RealPaymentRepository.hpp"

namespace zqb {

RealPaymentRepository::RealPaymentRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap RealPaymentRepository::prepareContentValues(const RealPaymentMark& mark) {
    return {{"projectId", SQLiteValue(mark.projectId)}, {"orderId", SQLiteValue(mark.orderId)}};
}

bool RealPaymentRepository::insert(const RealPaymentMark& mark) {
    return insertRecord(mark, prepareContentValues(mark));
}

}  // namespace zqb
