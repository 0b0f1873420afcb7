#include "repositories/TutorialRepository.hpp"

namespace zqb {

TutorialRepository::TutorialRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap TutorialRepository::prepareContentValues(const TutorialMark& mark) {
    return {{"userId", SQLiteValue(mark.userId)}, {"step", SQLiteValue(mark.step)}};
}

bool TutorialRepository::insert(const TutorialMark& mark) {
    return insertRecord(mark, prepareContentValues(mark));
}

}  // namespace zqb
