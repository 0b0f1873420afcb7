#pragma once

#include <filesystem>

namespace zqb::test {

// The project's source tree, for tests that read files kept beside the code (the documentation).
std::filesystem::path sourceTree();

}  // namespace zqb::test
