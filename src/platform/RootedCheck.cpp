#include "platform/RootedCheck.hpp"

#include "host/AtomicFile.hpp"

#include <filesystem>
#include <system_error>

namespace zqb {

RootedCheck::RootedCheck(bool isSimulator, host::Environment& environment, RootedProbes probes)
    : isSimulator_(isSimulator),
      probes_(std::make_shared<const RootedProbes>(std::move(probes))),
      environment_(environment) {}

RootedProbes RootedCheck::jailbreakProbes() {
    RootedProbes probes;
    probes.paths = {"/Applications/Cydia.app",
                    "/Library/MobileSubstrate/MobileSubstrate.dylib",
                    "/bin/bash",
                    "/usr/sbin/sshd",
                    "/etc/apt",
                    "/private/var/lib/apt/"};
    probes.writeTestPath = "/private/JailbreakTest.txt";
    probes.fileExists = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(path, error);
    };
    probes.writeFile = [](const std::string& path, const std::string& text) {
        return host::AtomicFile::write(path, text, 0644);
    };
    return probes;
}

RootedProbes RootedCheck::linuxProbes() {
    return {};
}

bool RootedCheck::probe(const RootedProbes& probes) {
    for (const auto& path : probes.paths) {
        if (probes.fileExists && probes.fileExists(path)) {
            return true;
        }
    }
    // The test file is left in place when the write succeeds.
    return probes.writeTestPath && probes.writeFile && probes.writeFile(*probes.writeTestPath, writeTestText);
}

void RootedCheck::isRooted(std::function<void(bool)> completion) {
    if (isSimulator_ || probes_->empty()) {
        completion(false);
        return;
    }
    // The probes run on the run loop's thread; the answer leaves it at once, so a completion that takes its
    // time never holds up the timers.
    environment_.runLoop()->scheduleTimer(
        0, false, 0,
        [probes = probes_, &environment = environment_, completion = std::move(completion)]() mutable {
            const bool rooted = probe(*probes);
            environment.delayedScheduler()->runAfter(
                0, [rooted, completion = std::move(completion)] { completion(rooted); });
        });
}

}  // namespace zqb
