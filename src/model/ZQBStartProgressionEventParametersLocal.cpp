#include "model/ZQBStartProgressionEventParametersLocal.hpp"

namespace zqb {

std::string ZQBStartProgressionEventParametersLocal::description() const {
    std::string out;
    if (difficulty) {
        out += "difficulty: " + std::to_string(*difficulty) + "\n";
    }
    if (source) {
        out += "source: " + *source;
    }
    return out;
}

}  // namespace zqb
