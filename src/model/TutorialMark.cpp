#include "model/TutorialMark.hpp"

namespace zqb {

std::optional<TutorialMark> TutorialMark::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto userId = rowInteger(row, 1);
    const auto step = rowInteger(row, 2);
    if (!id || !userId || !step) {
        return std::nullopt;
    }
    return TutorialMark{*id, *userId, *step};
}

}  // namespace zqb
