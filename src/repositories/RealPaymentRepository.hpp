#pragma once

#include "model/RealPaymentMark.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "realPaymentMarks": the order ids each project has reported.
class RealPaymentRepository : public Repository<RealPaymentMark> {
public:
    static constexpr const char* table = "realPaymentMarks";

    explicit RealPaymentRepository(std::shared_ptr<DatabaseProtocol> database);

    // The cache gets a copy with the new row id; the caller's value keeps idKey -1. Whether the row was
    // stored.
    virtual bool insert(const RealPaymentMark& mark);

    static ColumnMap prepareContentValues(const RealPaymentMark& mark);
};

}  // namespace zqb
