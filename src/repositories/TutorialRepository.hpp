#pragma once

#include "model/TutorialMark.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "tutorialMarkEntry": the tutorial steps each user has reported.
class TutorialRepository : public Repository<TutorialMark> {
public:
    static constexpr const char* table = "tutorialMarkEntry";

    explicit TutorialRepository(std::shared_ptr<DatabaseProtocol> database);

    // The cache gets a copy with the new row id; the caller's value keeps idKey -1. Whether the row was
    // stored.
    virtual bool insert(const TutorialMark& mark);

    static ColumnMap prepareContentValues(const TutorialMark& mark);
};

}  // namespace zqb
