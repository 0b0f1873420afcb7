#include "support/ScriptedStoreKit.hpp"

#include <stdexcept>

namespace zqb::test {

void ScriptedStoreKit::Request::setDelegate(std::weak_ptr<host::ProductsRequestDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

void ScriptedStoreKit::Request::start() {
    std::lock_guard lock(mutex_);
    started_ = true;
}

void ScriptedStoreKit::Request::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
}

bool ScriptedStoreKit::Request::isStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool ScriptedStoreKit::Request::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

std::shared_ptr<host::ProductsRequestDelegate> ScriptedStoreKit::Request::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void ScriptedStoreKit::Request::answer(const host::ProductsResponse& response) {
    if (const auto target = delegate()) {
        target->productsRequestDidReceive(shared_from_this(), response);
    }
}

void ScriptedStoreKit::Request::finish() {
    if (const auto target = delegate()) {
        target->requestDidFinish(shared_from_this());
    }
}

void ScriptedStoreKit::Request::fail(const std::string& description) {
    if (const auto target = delegate()) {
        target->requestDidFail(shared_from_this(), host::StoreError{description});
    }
}

std::shared_ptr<host::ProductsRequest> ScriptedStoreKit::makeProductsRequest(
    std::set<std::string> productIdentifiers) {
    auto request = std::make_shared<Request>(std::move(productIdentifiers));
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    return request;
}

std::string ScriptedStoreKit::systemVersion() const {
    std::lock_guard lock(mutex_);
    return systemVersion_;
}

void ScriptedStoreKit::setSystemVersion(std::string version) {
    std::lock_guard lock(mutex_);
    systemVersion_ = std::move(version);
}

std::vector<std::shared_ptr<ScriptedStoreKit::Request>> ScriptedStoreKit::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t ScriptedStoreKit::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

std::shared_ptr<ScriptedStoreKit::Request> ScriptedStoreKit::last() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? nullptr : requests_.back();
}

host::StoreProduct storeProduct(const std::string& identifier, const std::string& price,
                                const std::string& localeIdentifier) {
    const auto value = Decimal::parse(price);
    if (!value) {
        throw std::invalid_argument("not a decimal: " + price);
    }
    return host::StoreProduct{identifier, *value, host::PriceLocale{localeIdentifier}};
}

host::StoreProductTexts offeredProduct(const std::string& identifier, const std::string& price,
                                       const std::string& localeIdentifier) {
    return host::StoreProductTexts{identifier, price, host::PriceLocale{localeIdentifier}};
}

}  // namespace zqb::test
