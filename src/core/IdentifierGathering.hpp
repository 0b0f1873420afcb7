#pragma once

#include "platform/PlatformiOS.hpp"

#include <future>
#include <memory>

namespace zqb {

// The device's identifiers for one start-up, gathered on a thread of their own while the start-up opens the
// database. On a new device gathering them makes items for the keychain; those wait for `store()`, which the
// start-up calls once the database is open, and are then written on the same thread while the start-up goes
// on building. A start-up that fails before (the gathering dropped without `store()`) writes none: it leaves
// the keychain as it found it.
class IdentifierGathering {
public:
    // Holds the keychain writes of `platform` from here on and starts gathering.
    explicit IdentifierGathering(std::shared_ptr<PlatformiOS> platform);
    // Without `store()` the held items are dropped. Waits for the thread.
    ~IdentifierGathering();
    IdentifierGathering(const IdentifierGathering&) = delete;
    IdentifierGathering& operator=(const IdentifierGathering&) = delete;

    // The held items, and those gathering still makes, go to the keychain.
    void store();
    // Ready once what `store()` lets go is in the keychain (at once where nothing was held).
    const std::shared_future<void>& stored() const { return stored_; }

private:
    const std::shared_ptr<PlatformiOS> platform_;
    std::promise<bool> decision_;
    bool decided_ = false;
    // Without a thread the identifiers are gathered when first asked for, and `store()` writes on its
    // caller's thread.
    bool threaded_ = false;
    std::promise<void> storedWithoutThread_;
    std::shared_future<void> stored_;
};

}  // namespace zqb
