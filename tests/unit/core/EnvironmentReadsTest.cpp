#include "support/SourceTree.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zqb::test {
namespace {

// The core names the process-wide environment once and hands its members down; a folder below it that
// reached for the environment itself would take the system's clock and folders where a test, or a second
// core, gave others.
TEST(EnvironmentReads, NoFolderBelowTheCoreReadsTheProcessWideEnvironment) {
    const std::filesystem::path src = sourceTree() / "src";
    ASSERT_TRUE(std::filesystem::is_directory(src)) << src;
    const std::set<std::string> above{"core", "api"};
    // The environment's own definition of it.
    const std::set<std::string> defining{"host/Environment.cpp"};
    std::vector<std::string> readers;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const auto relative = std::filesystem::relative(entry.path(), src);
        if (above.count(relative.begin()->string()) != 0) {
            continue;
        }
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        std::string body = text.str();
        if (defining.count(relative.generic_string()) != 0) {
            const std::string definition = "Environment& Environment::shared() {";
            if (const auto at = body.find(definition); at != std::string::npos) {
                body.erase(at, definition.size());
            }
        }
        if (body.find("Environment::shared()") != std::string::npos) {
            readers.push_back(relative.generic_string());
        }
    }
    EXPECT_TRUE(readers.empty()) << ::testing::PrintToString(readers);
}

}  // namespace
}  // namespace zqb::test
