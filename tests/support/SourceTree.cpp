#include "support/SourceTree.hpp"

namespace zqb::test {

std::filesystem::path sourceTree() {
    return ZQB_TEST_SOURCE_DIR;
}

}  // namespace zqb::test
