#pragma once

#include "host/StoreKit.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include <memory>

namespace zqb::host {

// The host's public store provider seen as the store stand-in's provider: prices become decimals, texts are
// made valid UTF-8, and a product or discount whose price is not a decimal text is left out with an ERROR.
class HostStoreProvider final : public StoreProductsProvider {
public:
    explicit HostStoreProvider(std::shared_ptr<ZQBStoreProvider> provider);

    void requestProducts(const std::set<std::string>& productIdentifiers,
                         std::function<void(Result)> completion) override;

    static Result convert(const ZQBStoreProductsAnswer& answer);

private:
    std::shared_ptr<ZQBStoreProvider> provider_;
};

}  // namespace zqb::host
