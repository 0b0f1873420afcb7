#pragma once

#include <string>
#include <vector>

namespace zqb::test {

// The stored text of every kind of event record the library writes, with texts, escapes, numbers and
// optional members of every form those records give.
std::vector<std::string> everyRecordText();

}  // namespace zqb::test
