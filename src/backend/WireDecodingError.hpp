#pragma once

#include "model/JsonSupport.hpp"

#include <string>
#include <vector>

namespace zqb {

// Why a gateway answer (or a stored configuration text) does not read as the record it should be. `what()`
// is the error's full textual form, with its case, coding path and detail, e.g.
//   keyNotFound("serverTime", codingPath: [], debugDescription: "No value associated with key
//   \"serverTime\".")
// and `localizedDescription()` the short sentence for messages.
class WireDecodingError : public DecodingError {
public:
    enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    WireDecodingError(Kind kind, std::string subject, std::vector<std::string> codingPath,
                      std::string detail);

    Kind kind() const { return kind_; }
    const std::vector<std::string>& codingPath() const { return codingPath_; }
    const std::string& debugDescription() const { return detail_; }
    // "The data couldn’t be read because it is missing." for an absent key or value, "The data couldn’t be
    // read because it isn’t in the correct format." otherwise.
    std::string localizedDescription() const;

private:
    static std::string textualForm(Kind kind, const std::string& subject,
                                   const std::vector<std::string>& path, const std::string& detail);

    Kind kind_;
    std::vector<std::string> codingPath_;
    std::string detail_;
};

}  // namespace zqb
