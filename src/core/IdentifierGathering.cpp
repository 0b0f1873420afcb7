#include "core/IdentifierGathering.hpp"

#include <system_error>

namespace zqb {
namespace {

// On the gathering's thread: the identifiers, kept by the platform for the start-up's first read, then, once
// the start-up has decided, what gathering them held back for the keychain.
void gatherThenStore(const std::shared_ptr<PlatformiOS>& platform, std::future<bool> decision) {
    try {
        platform->getIdentifierData();
    } catch (...) {
        // The start-up's own read gathers them again, and meets the failure.
    }
    if (decision.get()) {
        platform->writeHeldKeychainItems();
    }
}

}  // namespace

IdentifierGathering::IdentifierGathering(std::shared_ptr<PlatformiOS> platform)
    : platform_(std::move(platform)) {
    platform_->holdKeychainWrites();
    try {
        stored_ = std::async(std::launch::async, gatherThenStore, platform_, decision_.get_future()).share();
        threaded_ = true;
    } catch (const std::system_error&) {
        stored_ = storedWithoutThread_.get_future().share();
    }
}

IdentifierGathering::~IdentifierGathering() {
    if (!decided_) {
        decided_ = true;
        if (threaded_) {
            decision_.set_value(false);
        } else {
            storedWithoutThread_.set_value();
        }
    }
    stored_.wait();
}

void IdentifierGathering::store() {
    if (decided_) {
        return;
    }
    decided_ = true;
    if (threaded_) {
        decision_.set_value(true);
        return;
    }
    platform_->writeHeldKeychainItems();
    storedWithoutThread_.set_value();
}

}  // namespace zqb
