#include "model/DeviceIdentifiers.hpp"

namespace zqb {

std::shared_ptr<DeviceIdentifiers> DeviceIdentifiers::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto projectId = rowInteger(row, 1);
    auto deviceIdentifier = rowText(row, 2);
    auto uuid = rowText(row, 6);
    if (!id || !projectId || !deviceIdentifier || !uuid) {
        return nullptr;
    }
    auto identifiers = std::make_shared<DeviceIdentifiers>(
        *projectId, std::move(*deviceIdentifier), std::move(*uuid), rowText(row, 3), rowInteger(row, 7));
    identifiers->idKey = *id;
    identifiers->vorantelId = rowInteger(row, 4);
    identifiers->crossPlatformVorantelId = rowInteger(row, 5);
    return identifiers;
}

}  // namespace zqb
