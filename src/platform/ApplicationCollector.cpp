#include "platform/ApplicationCollector.hpp"

#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"

namespace zqb {

ApplicationCollector::ApplicationCollector(std::shared_ptr<host::BundleProtocol> bundle, bool isSimulator)
    : bundle_(std::move(bundle)), isSimulator_(isSimulator) {}

std::string ApplicationCollector::applicationVersion() const {
    return text::repairUtf8(bundle_->info().version);
}

std::string ApplicationCollector::applicationBuildVersion() const {
    return text::repairUtf8(bundle_->info().build);
}

std::string ApplicationCollector::applicationBundle() const {
    return text::repairUtf8(bundle_->info().identifier);
}

int64_t ApplicationCollector::sandboxState() const {
    if (isSimulator_) {
        return 1;
    }
    const auto path = bundle_->pathForResource("embedded", "mobileprovision");
    if (!path) {
        return 0;
    }
    std::string profile;
    if (host::AtomicFile::read(*path, profile) != host::AtomicFile::ReadStatus::ok) {
        return 0;
    }
    return sandboxStateOfProfile(profile);
}

int64_t ApplicationCollector::sandboxStateOfProfile(std::string_view profile) {
    // The profile is a signed binary around a property list; the entry may be spread over lines and indented.
    std::string compact;
    compact.reserve(profile.size());
    for (const char c : profile) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
            compact.push_back(c);
        }
    }
    return compact.find("<key>get-task-allow</key><true/>") != std::string::npos ? 1 : 2;
}

}  // namespace zqb
