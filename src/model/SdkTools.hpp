#pragma once

#include "database/SQLiteValue.hpp"
#include "model/PeopleValueType.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

// The library's own bookkeeping values (the one row of "sdkTools"), such as the last version seen under
// "sdkVersion".
struct SdkTools {
    explicit SdkTools(PeopleValueMap properties = {}) : properties(std::move(properties)) {}

    int64_t idKey = -1;
    PeopleValueMap properties;

    std::optional<PeopleValueType> getMetadataByKey(std::string_view key) const;
    void setMetadataByKey(const std::string& key, PeopleValueType value);
    void removeMetadataByKey(std::string_view key);

    // The JSON text of the properties, as the row stores it.
    std::string metadata() const { return dictionaryJson(properties); }

    // Columns: 0 id, 1 metadata, both required. The metadata keeps its Bool, String, Int, Double and null
    // members; a JSON number is never read as a Bool.
    static std::shared_ptr<SdkTools> fromRow(const SQLiteRow& row);
};

}  // namespace zqb
