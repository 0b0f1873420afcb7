#include "migration/DataStorageMigration.hpp"

namespace zqb {

DataStorageMigration::DataStorageMigration(KeyedDecoder& decoder, const ArchivedObject& object)
    : level(decoder.decodeInteger(object, "level").value_or(0)),
      userUid(decoder.decodeString(object, "userId")),
      prevUid(decoder.decodeString(object, "prevId")),
      playerPreferences(decoder.decodeObject<PlayerPreferencesMigration>(object, "playerPreferences")),
      transactionIds(decoder.decodeStrings(object, "transactionIds").value_or(std::vector<std::string>{})),
      tutorCompletedSteps(
          decoder.decodeIntegers(object, "tutorCompletedSteps").value_or(std::vector<int64_t>{})) {}

}  // namespace zqb
