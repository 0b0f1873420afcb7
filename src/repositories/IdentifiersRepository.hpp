#pragma once

#include "model/DeviceIdentifiers.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "deviceIdentifiers": the device ids and the gateway's numbers of every project.
class IdentifiersRepository : public Repository<DeviceIdentifiers> {
public:
    static constexpr const char* table = "deviceIdentifiers";

    explicit IdentifiersRepository(std::shared_ptr<DatabaseProtocol> database);

    virtual void insert(const std::shared_ptr<DeviceIdentifiers>& identifiers);
    virtual bool update(const std::shared_ptr<DeviceIdentifiers>& identifiers);

    static ColumnMap prepareContentValues(const DeviceIdentifiers& identifiers);
};

}  // namespace zqb
