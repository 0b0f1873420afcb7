#pragma once

#include "model/SdkTools.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "sdkTools": the library's own bookkeeping row.
class ToolsRepository : public Repository<SdkTools> {
public:
    static constexpr const char* table = "sdkTools";

    explicit ToolsRepository(std::shared_ptr<DatabaseProtocol> database);

    virtual void insert(const std::shared_ptr<SdkTools>& tools);
    // The metadata is written, then the given object takes the place of the cached row with its idKey.
    virtual bool update(const std::shared_ptr<SdkTools>& tools);

    static ColumnMap prepareContentValues(const SdkTools& tools);
};

}  // namespace zqb
