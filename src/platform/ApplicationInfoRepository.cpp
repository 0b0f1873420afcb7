#include "platform/ApplicationInfoRepository.hpp"

namespace zqb {

ApplicationInfoRepository::ApplicationInfoRepository(std::shared_ptr<ApplicationCollectorProtocol> collector)
    : collector_(std::move(collector)) {}

int64_t ApplicationInfoRepository::sandboxState() const {
    return collector_->sandboxState();
}

std::string ApplicationInfoRepository::applicationVersion() const {
    return collector_->applicationVersion();
}

std::string ApplicationInfoRepository::applicationBuildVersion() const {
    return collector_->applicationBuildVersion();
}

std::string ApplicationInfoRepository::applicationBundle() const {
    return collector_->applicationBundle();
}

}  // namespace zqb
