#pragma once

#include "host/StoreKit.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include <optional>

namespace zqb {

// The store's transaction as a queued call carries it, with valid UTF-8 texts. Only the original
// transaction's own fields are kept (one level): nothing reads further, and the host's chain may be long or
// even circular.
host::PaymentTransaction paymentTransactionCopy(const ZQBStoreTransaction& transaction);

// The store's product as a queued call carries it, with valid UTF-8 texts and decimal prices. A product
// whose price is not a decimal text gives nothing after an ERROR that names the method; an introductory
// price or a discount that is not a decimal text is left out with an ERROR.
std::optional<host::StoreProduct> storeProductCopy(const ZQBStoreProduct& product, std::string_view method);

}  // namespace zqb
