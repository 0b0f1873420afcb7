#pragma once

#include "platform/DeviceInfoCollector.hpp"
#include "platform/RootedCheck.hpp"

#include <functional>
#include <memory>

namespace zqb {

class DeviceInfoRepositoryProtocol {
public:
    virtual ~DeviceInfoRepositoryProtocol() = default;
    virtual std::string manufacturer() const = 0;
    virtual std::string osName() const = 0;
    virtual std::string osVersion() const = 0;
    virtual std::string country() const = 0;
    virtual std::optional<std::string> language() const = 0;
    virtual std::optional<std::string> displayResolution() const = 0;
    virtual std::optional<double> displayDiagonal() const = 0;
    virtual std::string model() const = 0;
    virtual int64_t timeZoneOffset() const = 0;
    virtual std::optional<int64_t> displayPpi() const = 0;
    virtual void isRooted(std::function<void(bool)> completion) = 0;
};

// The collector's facts plus what is derived from them: pixel density from the device model, the physical
// screen diagonal, and the jailbreak check.
class DeviceInfoRepository final : public DeviceInfoRepositoryProtocol {
public:
    DeviceInfoRepository(std::shared_ptr<DeviceInfoCollectorProtocol> collector,
                         std::shared_ptr<RootedCheckProtocol> rootedCheck);

    std::string manufacturer() const override;
    std::string osName() const override;
    std::string osVersion() const override;
    // "" when the locale names no region.
    std::string country() const override;
    std::optional<std::string> language() const override;
    std::optional<std::string> displayResolution() const override;
    // Inches, from the native pixel size and the pixel density; absent without a density.
    std::optional<double> displayDiagonal() const override;
    std::string model() const override;
    int64_t timeZoneOffset() const override;
    std::optional<int64_t> displayPpi() const override;
    void isRooted(std::function<void(bool)> completion) override;

    // Pixels per inch of a device model such as "iPhone12,1"; absent for models outside the known table.
    static std::optional<int64_t> pixelsPerInch(const std::string& model);

private:
    std::shared_ptr<DeviceInfoCollectorProtocol> collector_;
    std::shared_ptr<RootedCheckProtocol> rootedCheck_;
};

}  // namespace zqb
