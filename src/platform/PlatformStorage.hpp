#pragma once

#include <optional>
#include <string>

namespace zqb {

class PlatformStorageProtocol {
public:
    virtual ~PlatformStorageProtocol() = default;
    virtual void saveUDID(const std::string& udid) = 0;
    virtual std::optional<std::string> loadUDID() const = 0;
};

// Built empty by the start-up and handed to the platform facade, which holds it without using it.
class PlatformStorage final : public PlatformStorageProtocol {
public:
    void saveUDID(const std::string& udid) override { savedUdid = udid; }
    std::optional<std::string> loadUDID() const override { return savedUdid; }

    std::optional<std::string> savedUdid;
};

}  // namespace zqb
