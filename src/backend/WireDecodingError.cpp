#include "backend/WireDecodingError.hpp"

namespace zqb {

WireDecodingError::WireDecodingError(Kind kind, std::string subject, std::vector<std::string> codingPath,
                                     std::string detail)
    : DecodingError(textualForm(kind, subject, codingPath, detail)),
      kind_(kind),
      codingPath_(std::move(codingPath)),
      detail_(std::move(detail)) {}

std::string WireDecodingError::localizedDescription() const {
    if (kind_ == Kind::keyNotFound || kind_ == Kind::valueNotFound) {
        return "The data couldn\u2019t be read because it is missing.";
    }
    return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
}

std::string WireDecodingError::textualForm(Kind kind, const std::string& subject,
                                           const std::vector<std::string>& path, const std::string& detail) {
    std::string text;
    switch (kind) {
        case Kind::typeMismatch:
            text = "typeMismatch(";
            break;
        case Kind::valueNotFound:
            text = "valueNotFound(";
            break;
        case Kind::keyNotFound:
            text = "keyNotFound(";
            break;
        case Kind::dataCorrupted:
            text = "dataCorrupted(";
            break;
    }
    if (!subject.empty()) {
        text += subject + ", ";
    }
    text += "codingPath: [";
    for (std::size_t i = 0; i < path.size(); ++i) {
        text += (i > 0 ? ", \"" : "\"") + path[i] + "\"";
    }
    text += "], debugDescription: \"" + detail + "\")";
    return text;
}

}  // namespace zqb
