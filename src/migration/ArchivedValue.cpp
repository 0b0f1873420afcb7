#include "migration/ArchivedValue.hpp"

namespace zqb {

ArchivedRef ArchivedObject::field(const std::string& key) const {
    const auto found = fields.find(key);
    return found == fields.end() ? nullptr : found->second;
}

}  // namespace zqb
