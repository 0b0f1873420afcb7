#pragma once

#include "model/Package.hpp"
#include "model/Reports.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace zqb::test {

// The stored packages text and the upload body as they were written through trees: each package a tree of
// its facts and of its event texts, each read into a dynamic value (an empty object where it holds no
// object), the whole tree then written. The reference that the text writer is held to.
nlohmann::ordered_json packageTree(const Package& package);
// The packages text, "[]" when the packages cannot be written.
std::string treePackagesText(const std::vector<Package>& packages);
// The body, nothing when it cannot be written.
std::optional<std::string> treeBody(const Reports& body);
// The body as the request's log line shows it.
std::string treeBodyPretty(const Reports& body);

}  // namespace zqb::test
