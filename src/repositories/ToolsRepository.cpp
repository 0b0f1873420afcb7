#include "repositories/ToolsRepository.hpp"

namespace zqb {

ToolsRepository::ToolsRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap ToolsRepository::prepareContentValues(const SdkTools& tools) {
    return {{"metadata", SQLiteValue(tools.metadata())}};
}

void ToolsRepository::insert(const std::shared_ptr<SdkTools>& tools) {
    if (tools) {
        insertRecord(tools, prepareContentValues(*tools));
    }
}

bool ToolsRepository::update(const std::shared_ptr<SdkTools>& tools) {
    return tools && updateRecord(tools, prepareContentValues(*tools), true);
}

}  // namespace zqb
