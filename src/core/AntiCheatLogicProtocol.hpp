#pragma once

#include <memory>

namespace zqb {

class AntiCheatServiceProctocol;

// The front of receipt verification, owned by the core from its creation. It has no service until the
// start-up operation hands it the anti-cheat service; the verification operation joins here with the logic
// that implements it.
class AntiCheatLogicProtocol {
public:
    virtual ~AntiCheatLogicProtocol() = default;

    virtual std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() const = 0;
    // On the income queue, by the start-up operation.
    virtual void setAntiCheatService(std::shared_ptr<AntiCheatServiceProctocol> antiCheatService) = 0;
};

}  // namespace zqb
