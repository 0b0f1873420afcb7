#pragma once

#include "model/Storable.hpp"
#include "model/SubscriptionProduct.hpp"

namespace zqb {

// The subscription products that the application offers ("sbsp").
struct SubscriptionProductsEvent final : Storable {
    SubscriptionProductsEvent(int64_t timestamp, std::vector<SubscriptionProduct> products);

    std::string code = "sbsp";
    int64_t timestamp;
    std::vector<SubscriptionProduct> products;  // written in this order, [] when empty

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
