#pragma once

#include "host/Environment.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace zqb {

class DeviceInfoCollectorProtocol {
public:
    virtual ~DeviceInfoCollectorProtocol() = default;
    virtual std::string manufacturer() const = 0;
    virtual std::string osName() const = 0;
    virtual std::string osVersion() const = 0;
    virtual std::optional<std::string> country() const = 0;
    virtual std::optional<std::string> language() const = 0;
    virtual std::string model() const = 0;
    virtual int64_t timeZoneOffset() const = 0;
    virtual std::optional<std::string> displayResolution() const = 0;
    // Width and height of the screen in pixels; absent when no screen is known.
    virtual std::optional<std::pair<double, double>> nativeScreenBounds() const = 0;
};

// Reads the device facts from the host (the environment's device and clock) at every call.
class DeviceInfoCollector final : public DeviceInfoCollectorProtocol {
public:
    DeviceInfoCollector(bool isSimulator, host::Environment& environment)
        : isSimulator_(isSimulator), environment_(environment) {}
    bool isSimulator() const { return isSimulator_; }

    std::string manufacturer() const override;
    std::string osName() const override;
    std::string osVersion() const override;
    std::optional<std::string> country() const override;
    // The first preferred language up to its first "-": "en-GB" gives "en".
    std::optional<std::string> language() const override;
    // The machine identifier, ASCII only.
    std::string model() const override;
    int64_t timeZoneOffset() const override;
    // "<larger>x<smaller>" of the screen's points times its scale, each truncated toward zero.
    std::optional<std::string> displayResolution() const override;
    std::optional<std::pair<double, double>> nativeScreenBounds() const override;

    // The resolution text of a screen; absent when a side is not finite or does not fit an integer.
    static std::optional<std::string> resolutionText(double widthPoints, double heightPoints, double scale);

private:
    bool isSimulator_;
    host::Environment& environment_;
};

}  // namespace zqb
