#pragma once

#include "host/Environment.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

class RootedCheckProtocol {
public:
    virtual ~RootedCheckProtocol() = default;
    // Calls `completion` exactly once with the answer.
    virtual void isRooted(std::function<void(bool)> completion) = 0;
};

// What the jailbreak check looks at. The paths are tested in order and the first that exists answers true;
// when none exists and a write-test path is given, a successful write of the test text there answers true.
struct RootedProbes {
    std::vector<std::string> paths;
    std::optional<std::string> writeTestPath;
    std::function<bool(const std::string& path)> fileExists;
    std::function<bool(const std::string& path, const std::string& text)> writeFile;

    bool empty() const { return paths.empty() && !writeTestPath; }
};

// Decides whether the device is jailbroken. On Linux none of the mobile jailbreak traces means anything
// ("/bin/bash" exists on every machine), so the default probe set is empty and the check answers false at
// once. With probes, they run on the run loop's thread (never a thread the host or a library queue may
// block on) and the answer is delivered on another library thread (the delayed scheduler's).
class RootedCheck final : public RootedCheckProtocol {
public:
    static constexpr const char* writeTestText = "Jailbreak Test";

    RootedCheck(bool isSimulator, host::Environment& environment, RootedProbes probes = linuxProbes());

    // Simulator or no probes: `completion(false)` before returning, on the calling thread.
    void isRooted(std::function<void(bool)> completion) override;

    bool isSimulator() const { return isSimulator_; }

    // The traces of the mobile jailbreak tools, on the real file system.
    static RootedProbes jailbreakProbes();
    // The Linux default: nothing to look for.
    static RootedProbes linuxProbes();

private:
    static bool probe(const RootedProbes& probes);

    const bool isSimulator_;
    const std::shared_ptr<const RootedProbes> probes_;
    host::Environment& environment_;
};

}  // namespace zqb
