#include "migration/PlayerPreferencesMigration.hpp"

namespace zqb {

PlayerPreferencesMigration::PlayerPreferencesMigration(KeyedDecoder& decoder, const ArchivedObject& object)
    : preferences(
          decoder.decodeDictionary(object, "preferences").value_or(std::map<std::string, ArchivedRef>{})) {}

}  // namespace zqb
