// The host program of the README snippet test (tests/durability/ReadmeSnippetTest.cpp): a program of its own
// that links the library alone, shared or static, as a host does, and whose whole work is the README's
// "Using it" snippet as it stands.
//
//   zqb_readme_snippet_host --snippet <gateway url> exit|stay
//   zqb_readme_snippet_host --next-launch <gateway url>
//
// "--snippet" runs the snippet, then either ends the process the moment its last call has returned ("exit")
// or stays alive as a host that goes on in the background ("stay"). "--next-launch" is the host's next start:
// it initialises and becomes active, which sends what the first launch stored. A host that stays is killed by
// the test once the gateway has what it waits for.
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>
#include <ZQBAnalytics/ZQBUserCard.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

// The snippet's own bundle and key (the build reads the key from the snippet), which the next launch repeats
// to find its data folder and project.
constexpr const char* kBundleName = "My Game";
constexpr const char* kBundleIdentifier = "com.example.mygame";
constexpr const char* kApplicationKey = ZQB_README_KEY;

void runUsingItSnippet() {
#include "ReadmeUsingIt.inc"
}

int runSnippet(const std::string& gatewayUrl, bool exitsAtOnce) {
    ZQBAnalytics::setTestProxyUrl(gatewayUrl);
    runUsingItSnippet();
    if (exitsAtOnce) {
        std::fflush(stderr);
        _exit(0);
    }
    std::this_thread::sleep_for(std::chrono::minutes(5));
    return 1;
}

int runNextLaunch(const std::string& gatewayUrl) {
    ZQBHost::setBundleInfo(kBundleName, kBundleIdentifier, "1.4.0", "140");
    ZQBAnalytics::setTestProxyUrl(gatewayUrl);
    ZQBAnalytics::initialize(kApplicationKey);
    ZQBHost::applicationDidBecomeActive();
    std::this_thread::sleep_for(std::chrono::minutes(5));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && mode == "--snippet") {
        return runSnippet(argv[2], std::string(argv[3]) == "exit");
    }
    if (argc == 3 && mode == "--next-launch") {
        return runNextLaunch(argv[2]);
    }
    std::fprintf(stderr, "usage: %s --snippet <gateway url> exit|stay | --next-launch <gateway url>\n",
                 argv[0]);
    return 2;
}
