#include "host/StoreKit.hpp"

#include "foundation/QueueManager.hpp"

namespace zqb::host {

// A request of the Linux store. Everything it tells its delegate happens on the store's queue, whatever
// thread the provider answers on.
class StoreKit::Request final : public ProductsRequest, public std::enable_shared_from_this<Request> {
public:
    Request(std::set<std::string> productIdentifiers, std::shared_ptr<StoreProductsProvider> provider,
            std::shared_ptr<QueueManager> queue)
        : productIdentifiers_(std::move(productIdentifiers)),
          provider_(std::move(provider)),
          queue_(std::move(queue)) {}

    const std::set<std::string>& productIdentifiers() const override { return productIdentifiers_; }

    void setDelegate(std::weak_ptr<ProductsRequestDelegate> delegate) override {
        std::lock_guard lock(mutex_);
        delegate_ = std::move(delegate);
    }

    void start() override {
        {
            std::lock_guard lock(mutex_);
            if (started_ || cancelled_) {
                return;
            }
            started_ = true;
        }
        queue_->addOperation([self = shared_from_this()] { self->ask(); });
    }

    void cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }

private:
    void ask() {
        if (isCancelled()) {
            return;
        }
        if (!provider_) {
            ProductsResponse response;
            response.invalidProductIdentifiers.assign(productIdentifiers_.begin(), productIdentifiers_.end());
            deliver(std::move(response));
            return;
        }
        // The request stays alive until the provider answers; a second answer is ignored.
        provider_->requestProducts(productIdentifiers_, [self = shared_from_this(), queue = queue_](
                                                            StoreProductsProvider::Result result) {
            queue->addOperation(
                [self, result = std::move(result)]() mutable { self->deliver(std::move(result)); });
        });
    }

    void deliver(StoreProductsProvider::Result result) {
        std::shared_ptr<ProductsRequestDelegate> delegate;
        {
            std::lock_guard lock(mutex_);
            if (answered_ || cancelled_) {
                return;
            }
            answered_ = true;
            delegate = delegate_.lock();
        }
        if (!delegate) {
            return;
        }
        const auto self = std::static_pointer_cast<ProductsRequest>(shared_from_this());
        if (const auto* response = std::get_if<ProductsResponse>(&result)) {
            delegate->productsRequestDidReceive(self, *response);
            if (!isCancelled()) {
                delegate->requestDidFinish(self);
            }
        } else {
            delegate->requestDidFail(self, std::get<StoreError>(result));
        }
    }

    bool isCancelled() const {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }

    const std::set<std::string> productIdentifiers_;
    const std::shared_ptr<StoreProductsProvider> provider_;
    const std::shared_ptr<QueueManager> queue_;
    mutable std::mutex mutex_;
    std::weak_ptr<ProductsRequestDelegate> delegate_;
    bool started_ = false;
    bool cancelled_ = false;
    bool answered_ = false;
};

StoreKit::StoreKit() : queue_(std::make_shared<QueueManager>("StoreKit")) {}

StoreKit::~StoreKit() = default;

std::shared_ptr<ProductsRequest> StoreKit::makeProductsRequest(std::set<std::string> productIdentifiers) {
    return std::make_shared<Request>(std::move(productIdentifiers), provider(), queue_);
}

std::string StoreKit::systemVersion() const {
    std::lock_guard lock(mutex_);
    return systemVersion_;
}

void StoreKit::setProvider(std::shared_ptr<StoreProductsProvider> provider) {
    std::lock_guard lock(mutex_);
    provider_.swap(provider);
}

std::shared_ptr<StoreProductsProvider> StoreKit::provider() const {
    std::lock_guard lock(mutex_);
    return provider_;
}

void StoreKit::setSystemVersion(std::string version) {
    std::lock_guard lock(mutex_);
    systemVersion_ = std::move(version);
}

}  // namespace zqb::host
