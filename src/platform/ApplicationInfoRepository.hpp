#pragma once

#include "platform/ApplicationCollector.hpp"

#include <memory>

namespace zqb {

class ApplicationInfoRepositoryProtocol {
public:
    virtual ~ApplicationInfoRepositoryProtocol() = default;
    virtual int64_t sandboxState() const = 0;
    virtual std::string applicationVersion() const = 0;
    virtual std::string applicationBuildVersion() const = 0;
    virtual std::string applicationBundle() const = 0;
};

class ApplicationInfoRepository final : public ApplicationInfoRepositoryProtocol {
public:
    explicit ApplicationInfoRepository(std::shared_ptr<ApplicationCollectorProtocol> collector);

    int64_t sandboxState() const override;
    std::string applicationVersion() const override;
    std::string applicationBuildVersion() const override;
    std::string applicationBundle() const override;

private:
    std::shared_ptr<ApplicationCollectorProtocol> collector_;
};

}  // namespace zqb
