#include "model/ZQBFinishProgressionEventParametersLocal.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

std::string ZQBFinishProgressionEventParametersLocal::description() const {
    std::string out = "successfulCompletion: ";
    out += successfulCompletion ? "true" : "false";
    out += "\nduration: " + std::to_string(duration) + "\n";
    // Both blocks carry the same header word.
    RecordDescription blocks;
    blocks.mapBlock("resource", spent, "resource", "amount");
    blocks.mapBlock("resource", earned, "resource", "amount");
    return out + blocks.str();
}

}  // namespace zqb
